#include <csignal>
#include <cstdio>
#include <cstring>

#include "command.h"

std::vector<Command>& Commands() {
    static std::vector<Command> commands;
    return commands;
}

namespace {

void PrintUsage(FILE* out) {
    std::fprintf(out,
                 "usage: harmonyfox-cli COMMAND [ARGS...]\n\n"
                 "Finds duplicate music files from the command line, with the cache of the\n"
                 "desktop program Harmonyfox.\n\nCommands:\n");
    for (const Command& c : Commands()) {
        std::fprintf(out, "  %-12s %s\n", c.name, c.summary);
    }
    std::fprintf(out,
                 "\nOptions:\n"
                 "  -h,--help    show this text\n"
                 "  --version    print the version\n"
                 "\n'harmonyfox-cli COMMAND --help' describes a command.\n");
}

}  // namespace

int main(int argc, char** argv) {
    // A write past the file size limit fails with EFBIG and is reported,
    // instead of ending the process without a word.
    std::signal(SIGXFSZ, SIG_IGN);
    if (argc < 2) {
        PrintUsage(stderr);
        return 2;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        PrintUsage(stdout);
        return 0;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("harmonyfox-cli %s (build %d)\n", HARMONYFOX_VERSION_TEXT, HARMONYFOX_BUILD);
        return 0;
    }
    for (const Command& c : Commands()) {
        if (std::strcmp(argv[1], c.name) == 0) {
            return c.run(argc - 1, argv + 1);
        }
    }
    std::fprintf(stderr, "harmonyfox-cli: unknown command '%s'\n\n", argv[1]);
    PrintUsage(stderr);
    return 2;
}
