#include "journal_report.h"

#include <cstdio>

#include "not_duplicates.h"

bool MendAtStart(ActionJournal& journal, TrashCan& trash, const char* command) {
    ActionReport mended;
    const HRESULT result = MendInterrupted(journal, trash, &mended);
    if (Failed(result)) {
        std::fprintf(stderr, "harmonyfox-cli %s: %s\n", command,
                     JournalFailure(result, journal).c_str());
        return false;
    }
    if (!mended.files.empty()) {
        std::fprintf(stderr,
                     "harmonyfox-cli %s: an action a crash interrupted was rolled back: %zu files "
                     "back, %zu could not come back\n",
                     command, mended.Done(), mended.NotDone());
        PrintTakenBack(mended);
    }
    return true;
}

std::string JournalFailure(HRESULT result, const ActionJournal& journal) {
    if (result == E_JOURNAL_BUSY) {
        return "another Harmonyfox is acting on files; try again when it is done";
    }
    if (result == E_NOTHING_TO_UNDO) {
        return "nothing to undo";
    }
    return "the journal cannot be written in " +
           (journal.folder().empty() ? std::string("the data folder (no home folder)")
                                     : journal.folder());
}

void PrintOutcome(const char* what, const std::string& path, const std::string& more) {
    std::string line = std::string(what) + "\t" + TsvEscape(BytesToU16(path));
    if (!more.empty()) {
        line += "\t" + TsvEscape(BytesToU16(more));
    }
    std::printf("%s\n", line.c_str());
}

void PrintTakenBack(const ActionReport& report) {
    for (const FileOutcome& file : report.files) {
        if (file.done) {
            PrintOutcome("back", file.path, std::string());
        } else {
            PrintOutcome("not back", file.path, file.reason);
        }
    }
}
