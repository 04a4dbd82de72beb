// Moving files aside instead of deleting them: where a file goes below the
// chosen folder, a free name there, and the move itself, which never
// replaces a file and crosses file systems by a copy that takes the target's
// name only once it is whole. Plain functions; any thread, on different files.
#pragma once

#include <string>
#include <vector>

#include "decoder_contract.h"

// The place below folder for path: its path relative to the innermost of
// roots that holds it, or its name alone when none does.
std::string MoveTarget(const std::string& path, const std::vector<std::string>& roots,
                       const std::string& folder);

// target when nothing is there, else the first free "name (2).ext",
// "name (3).ext", ...
std::string FreeName(const std::string& target);
// target with " (n)" before its extension.
std::string NumberedName(const std::string& target, int n);

// Moves from to to (making the folders above to). Never over a file: E_FAIL
// with "the target exists" then. Across file systems the bytes are copied
// into a hidden file beside to (PartialCopyName), synced and their size
// checked, mode and times kept, then the copy takes to's name and from is
// removed. A rename is not synced (SyncFileSystems after a batch); a copy
// is. On any failure from stays, no partial copy is left, and *reason
// says why.
HRESULT MoveFile(const std::string& from, const std::string& to, std::string* reason);

// The hidden file a move across file systems copies into before it takes
// to's name; what an interrupted move leaves behind.
std::string PartialCopyName(const std::string& to);
