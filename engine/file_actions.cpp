#include "file_actions.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <set>

#include "file_io.h"
#include "file_move.h"

namespace {

constexpr char kJournalUnwritten[] = "the journal cannot be written";

bool Exists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

// Writes the saved bytes over path through a replacement that keeps its mode.
bool PutBack(const std::string& saved, const std::string& path, std::string* reason) {
    const int in = open(saved.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        *reason = "its saved copy is gone";
        return false;
    }
    struct stat now {};
    const bool hadMode = stat(path.c_str(), &now) == 0;
    const int out = CreateReplacement(path);
    if (out < 0) {
        close(in);
        *reason = "it cannot be written";
        return false;
    }
    if (hadMode) {
        fchmod(out, now.st_mode & 07777);
    }
    const uint64_t size = FileSize(in);
    const bool copied = CopyRange(in, 0, out, 0, size) && FileSize(out) == size;
    close(in);
    if (!CommitReplacement(out, path, copied)) {
        *reason = "it cannot be written";
        return false;
    }
    close(out);
    return true;
}

enum class Back { kBack, kNeverLeft, kStuck };

// Takes one step back. mending: the step may have been cut short, so the
// file system says how far it went.
Back StepBack(const JournalStep& step, TrashCan& trash, bool mending, std::string* reason) {
    switch (step.kind) {
        case StepKind::kTrash:
            if (mending && !Exists(step.place) && Exists(step.path)) {
                trash.Release({step.place, step.info});
                return Back::kNeverLeft;
            }
            return Succeeded(trash.Restore({step.place, step.info}, step.path, reason))
                       ? Back::kBack
                       : Back::kStuck;
        case StepKind::kMove:
            if (mending && Exists(step.path)) {
                // The original never left: only the hidden copy is ours.
                unlink(PartialCopyName(step.place).c_str());
                return Back::kNeverLeft;
            }
            if (!Exists(step.place)) {
                *reason = "it is no longer at " + step.place;
                return Back::kStuck;
            }
            if (Exists(step.path)) {
                *reason = "its place is taken";
                return Back::kStuck;
            }
            return Succeeded(MoveFile(step.place, step.path, reason)) ? Back::kBack : Back::kStuck;
        case StepKind::kRewrite:
            // A rewrite cut short leaves the file half new: mending always
            // puts the old bytes back.
            if (!mending && RewriteStamp(step.path) != step.info) {
                *reason = "it changed after it was rewritten";
                return Back::kStuck;
            }
            return PutBack(step.place, step.path, reason) ? Back::kBack : Back::kStuck;
    }
    return Back::kStuck;
}

// Takes back the steps of action that happened (when mending, those that
// may have), newest first, and stores it as undone.
HRESULT TakeBack(ActionJournal& journal, TrashCan& trash, JournalAction& action, bool mending,
                 ActionReport* report, const ActionProgress& progress) {
    report->what = action.what;
    const size_t total = action.steps.size();
    size_t dealt = 0;
    std::vector<std::string> touched;
    for (auto step = action.steps.rbegin(); step != action.steps.rend(); ++step) {
        const bool happened =
            step->state == StepState::kDone || (mending && step->state == StepState::kPlanned);
        if (happened) {
            FileOutcome outcome{step->path, step->place, false, {}};
            const Back back = StepBack(*step, trash, mending, &outcome.reason);
            outcome.done = back != Back::kStuck;
            step->state = outcome.done ? StepState::kBack : StepState::kStuck;
            step->reason = outcome.reason;
            touched.push_back(step->path);
            touched.push_back(step->place);
            if (back != Back::kNeverLeft) {
                report->files.push_back(std::move(outcome));
            }
        }
        if (progress) {
            progress(++dealt, total);
        }
    }
    SyncFileSystems(touched);
    action.state = ActionState::kUndone;
    const HRESULT stored = journal.Store(action);
    journal.Prune();
    return stored;
}

}  // namespace

size_t ActionReport::Done() const {
    return static_cast<size_t>(
        std::count_if(files.begin(), files.end(), [](const FileOutcome& f) { return f.done; }));
}

HRESULT TrashFiles(ActionJournal& journal, TrashCan& trash, const std::vector<std::string>& paths,
                   ActionReport* report, const ActionProgress& progress) {
    JournalAction* action = journal.current();
    if (action == nullptr) {
        return E_FAIL;
    }
    const size_t first = action->steps.size();
    const size_t reported = report->files.size();
    // outcome index -> step index, for the files that have a place in the trash
    std::vector<std::pair<size_t, size_t>> planned;
    for (const std::string& path : paths) {
        FileOutcome outcome{path, {}, false, {}};
        TrashPlace place;
        if (Succeeded(trash.Reserve(path, &place, &outcome.reason))) {
            outcome.to = place.file;
            planned.emplace_back(report->files.size(), action->steps.size());
            action->steps.push_back(
                {StepKind::kTrash, StepState::kPlanned, path, place.file, place.info, {}});
        }
        report->files.push_back(std::move(outcome));
    }
    std::vector<std::string> touched;
    for (auto [file, step] : planned) {
        touched.push_back(action->steps[step].info);
    }
    // The .trashinfo files are on disk before the journal names them.
    SyncFileSystems(touched);
    if (Failed(journal.Write())) {
        for (auto [file, step] : planned) {
            trash.Release({action->steps[step].place, action->steps[step].info});
        }
        action->steps.resize(first);
        for (size_t i = reported; i < report->files.size(); ++i) {
            report->files[i].reason = kJournalUnwritten;
        }
        return E_FAIL;
    }
    size_t dealt = 0;
    for (auto [file, index] : planned) {
        JournalStep& step = action->steps[index];
        FileOutcome& outcome = report->files[file];
        if (Succeeded(trash.Put(step.path, {step.place, step.info}, &outcome.reason))) {
            // Never said of a file that is still there.
            outcome.done = !Exists(step.path);
            if (!outcome.done) {
                outcome.reason = "it is still there";
            }
        } else {
            trash.Release({step.place, step.info});
        }
        step.state = outcome.done ? StepState::kDone : StepState::kFailed;
        step.reason = outcome.reason;
        touched.push_back(step.path);
        touched.push_back(step.place);
        if (progress) {
            progress(++dealt, planned.size());
        }
    }
    SyncFileSystems(touched);
    return S_OK;
}

std::vector<std::string> PlanMoves(const std::vector<std::string>& paths,
                                   const std::vector<std::string>& roots,
                                   const std::string& folder) {
    std::vector<std::string> targets;
    // Two files of one action may want one name below the folder.
    std::set<std::string> chosen;
    for (const std::string& path : paths) {
        const std::string wanted = MoveTarget(path, roots, folder);
        std::string target = wanted;
        for (int n = 2; chosen.count(target) != 0 || Exists(target); ++n) {
            target = NumberedName(wanted, n);
        }
        chosen.insert(target);
        targets.push_back(std::move(target));
    }
    return targets;
}

HRESULT MoveFiles(ActionJournal& journal, const std::vector<std::string>& paths,
                  const std::vector<std::string>& roots, const std::string& folder,
                  ActionReport* report, const ActionProgress& progress) {
    JournalAction* action = journal.current();
    if (action == nullptr) {
        return E_FAIL;
    }
    const size_t first = action->steps.size();
    const size_t reported = report->files.size();
    const std::vector<std::string> targets = PlanMoves(paths, roots, folder);
    for (size_t i = 0; i < paths.size(); ++i) {
        action->steps.push_back(
            {StepKind::kMove, StepState::kPlanned, paths[i], targets[i], {}, {}});
        report->files.push_back({paths[i], targets[i], false, {}});
    }
    if (Failed(journal.Write())) {
        action->steps.resize(first);
        for (size_t i = reported; i < report->files.size(); ++i) {
            report->files[i].reason = kJournalUnwritten;
        }
        return E_FAIL;
    }
    for (size_t i = 0; i < paths.size(); ++i) {
        JournalStep& step = action->steps[first + i];
        FileOutcome& outcome = report->files[reported + i];
        outcome.done =
            Succeeded(MoveFile(step.path, step.place, &outcome.reason)) && !Exists(step.path);
        step.state = outcome.done ? StepState::kDone : StepState::kFailed;
        step.reason = outcome.reason;
        if (progress) {
            progress(i + 1, paths.size());
        }
    }
    SyncFileSystems(paths);
    SyncFileSystems(targets);
    return S_OK;
}

HRESULT UndoLast(ActionJournal& journal, TrashCan& trash, ActionReport* report,
                 const ActionProgress& progress) {
    if (const HRESULT locked = journal.Lock(); Failed(locked)) {
        return locked;
    }
    std::vector<JournalAction> actions = journal.Load();
    auto last = std::find_if(actions.rbegin(), actions.rend(),
                             [](const JournalAction& a) { return a.state == ActionState::kDone; });
    HRESULT result = E_NOTHING_TO_UNDO;
    if (last != actions.rend()) {
        result = TakeBack(journal, trash, *last, false, report, progress);
    }
    journal.Unlock();
    return result;
}

HRESULT MendInterrupted(ActionJournal& journal, TrashCan& trash, ActionReport* report) {
    if (const HRESULT locked = journal.Lock(); Failed(locked)) {
        return locked;
    }
    HRESULT result = S_OK;
    for (JournalAction& action : journal.Load()) {
        if (action.state == ActionState::kOpen &&
            Failed(TakeBack(journal, trash, action, true, report, {}))) {
            result = E_FAIL;
        }
    }
    journal.Unlock();
    return result;
}
