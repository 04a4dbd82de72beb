// Subcommands of harmonyfox-cli. Each command's source file registers itself
// with a static CommandRegistration; main() dispatches on the first argument.
#pragma once

#include <string>
#include <vector>

// argv[0] is the command's own name. Returns the process exit code.
using CommandFunc = int (*)(int argc, char** argv);

struct Command {
    const char* name;
    const char* summary;
    CommandFunc run;
};

std::vector<Command>& Commands();

struct CommandRegistration {
    CommandRegistration(const char* name, const char* summary, CommandFunc run) {
        Commands().push_back(Command{name, summary, run});
    }
};
