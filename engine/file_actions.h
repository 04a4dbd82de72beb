// What both front ends do to the user's files, each step recorded in the
// action journal before it happens: files go to the trash or are moved
// aside, the last action is taken back, and an action a crash interrupted is
// rolled back at the next start. Rolling back is the safer end for every
// kind: a trashed file comes back from the trash, an unfinished move leaves
// the original where it was (and drops the hidden partial copy, but never a
// file at the target), a rewritten file gets its saved bytes back since its
// new bytes may be cut. Nothing is ever written over a file: one that
// cannot come back is named with the reason. Not thread-safe; runs on the
// caller's thread.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "action_journal.h"
#include "trash_can.h"

// The outcome for one file.
struct FileOutcome {
    std::string path;  // the file acted on; for undo, the place it comes back to
    std::string to;    // where it went: the target of a move, the file in the trash
    bool done = false;
    std::string reason;  // why not done
};

struct ActionReport {
    std::string what;  // the action taken back or mended ("trash", "move to ...")
    std::vector<FileOutcome> files;

    size_t Done() const;
    size_t NotDone() const { return files.size() - Done(); }
};

// Called after each file with the number of files dealt with and the total.
using ActionProgress = std::function<void(size_t done, size_t total)>;

// Adds a trash step per file to the journal's open action, writes the
// journal, then moves the files to the trash. A file reported done is no
// longer at its place. E_FAIL (nothing touched) when the journal cannot be
// written or no action is open; S_OK otherwise, failures being in the report.
HRESULT TrashFiles(ActionJournal& journal, TrashCan& trash, const std::vector<std::string>& paths,
                   ActionReport* report, const ActionProgress& progress = {});

// As TrashFiles, but moves each file below folder, keeping its path relative
// to the innermost of roots that holds it; a taken name gets " (2)" added.
HRESULT MoveFiles(ActionJournal& journal, const std::vector<std::string>& paths,
                  const std::vector<std::string>& roots, const std::string& folder,
                  ActionReport* report, const ActionProgress& progress = {});

// Where MoveFiles would put each of paths now (free names, as it chooses them).
std::vector<std::string> PlanMoves(const std::vector<std::string>& paths,
                                   const std::vector<std::string>& roots,
                                   const std::string& folder);

// Takes back the newest completed action: each file comes back unless its
// place is taken or it is gone, which the report names. E_NOTHING_TO_UNDO,
// E_JOURNAL_BUSY, or E_FAIL when the journal cannot be written.
HRESULT UndoLast(ActionJournal& journal, TrashCan& trash, ActionReport* report,
                 const ActionProgress& progress = {});

// Rolls back every action left open by a run that ended in the middle of it;
// the report lists what came back and what could not (empty when there was
// nothing to mend). E_JOURNAL_BUSY while another program is acting.
HRESULT MendInterrupted(ActionJournal& journal, TrashCan& trash, ActionReport* report);
