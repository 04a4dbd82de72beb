// What apply and undo of harmonyfox-cli share about the action journal: the
// mending of an interrupted action at start and the words for its failures.
#pragma once

#include <string>

#include "action_journal.h"
#include "file_actions.h"

// Rolls back what a killed run left open and prints what came back ("back"
// lines) and what could not ("not back" lines); false, with the reason on
// standard error, when the journal cannot be used.
bool MendAtStart(ActionJournal& journal, TrashCan& trash, const char* command);

// Why the journal could not be used.
std::string JournalFailure(HRESULT result, const ActionJournal& journal);

// One output line: what, a tab, path, and a tab and more when more is not
// empty; paths escaped as in the scan's tsv.
void PrintOutcome(const char* what, const std::string& path, const std::string& more);

// "back" and "not back" lines for the files of report.
void PrintTakenBack(const ActionReport& report);
