// The user's folders for the program's files, after the XDG base directory
// rules. Safe on any thread (reads the environment only).
#pragma once

#include <string>

// $variable (when it is an absolute path) or else $HOME/fallback (the home
// folder from the password database when HOME is unset), followed by
// "/Quillmere/Harmonyfox". Empty when no home folder can be found.
std::string ProgramUserFolder(const char* variable, const char* fallback);
