// Option parsing shared by the subcommands of harmonyfox-cli: a CLI11 App set
// up with the program's help layout (usage line first, then what the command
// does, its options and the footer) and one way to report bad arguments.
#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <string>

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// An App for "harmonyfox-cli COMMAND" whose --help (-h) prints the help text.
void SetUpCommandLine(CLI::App& app);

// Parses argv (argv[0] is the command's name). Returns nothing when the
// command should run, else the exit code: 0 after --help was printed on
// standard output, kExitUsage after the problem and the help went to
// standard error.
std::optional<int> ParseCommandLine(CLI::App& app, int argc, char** argv);
