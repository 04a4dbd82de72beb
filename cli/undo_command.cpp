// harmonyfox-cli undo: takes back the last action of the journal, whichever
// front end did it, and says what came back and what could not.
#include <cstdio>
#include <optional>
#include <string>

#include "command.h"
#include "command_line.h"
#include "journal_report.h"

namespace {

const char kDescription[] =
    "Takes back the last action that 'harmonyfox-cli apply' or the desktop\n"
    "program did: trashed files come back from the trash, moved files move\n"
    "back, rewritten files get their old bytes. A file whose place is taken,\n"
    "or that is gone (the trash was emptied), is named and left as it is:\n"
    "nothing is ever written over a file. Run it again to take back the\n"
    "action before (the journal keeps the last 20).";

const char kFooter[] =
    "Output, one line per file, tab separated, paths escaped as in the scan's\n"
    "tsv: \"back PATH\" or \"not back PATH REASON\".\n"
    "\n"
    "Exit status: 0 every file came back; 1 some could not, there was\n"
    "nothing to undo, or the journal cannot be used; 2 bad arguments.\n";

int RunUndo(int argc, char** argv) {
    CLI::App app(kDescription, "harmonyfox-cli undo");
    SetUpCommandLine(app);
    app.footer(kFooter);
    if (const std::optional<int> exit = ParseCommandLine(app, argc, argv)) {
        return *exit;
    }
    ActionJournal journal;
    TrashCan trash;
    if (!MendAtStart(journal, trash, "undo")) {
        return kExitFailure;
    }
    ActionReport report;
    const HRESULT undone = UndoLast(journal, trash, &report);
    if (Failed(undone) && report.files.empty()) {
        std::fprintf(stderr, "harmonyfox-cli undo: %s\n", JournalFailure(undone, journal).c_str());
        return kExitFailure;
    }
    PrintTakenBack(report);
    std::fprintf(stderr, "harmonyfox-cli undo: took back \"%s\": %zu files back, %zu could not\n",
                 report.what.c_str(), report.Done(), report.NotDone());
    return Succeeded(undone) && report.NotDone() == 0 ? kExitOk : kExitFailure;
}

const CommandRegistration kUndo("undo", "take back the last trash or move", RunUndo);

}  // namespace
