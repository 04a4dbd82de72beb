// harmonyfox-cli scan on a terminal: the progress line is redrawn in place on
// standard error and the summary follows it; the pairs still go to the output.
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "test_files.h"

namespace fs = std::filesystem;

namespace {

TEST(ScanProgressTest, ProgressIsDrawnOnATerminal) {
    TempDir dir;
    fs::create_directories(dir.File("bin"));
    fs::copy_file(std::string(HF_BIN_DIR) + "/harmonyfox-cli", dir.File("bin/harmonyfox-cli"));
    InstallPlugins(dir.File("bin"), {"fake_high"});
    fs::create_directories(dir.File("music"));
    const size_t length = 22050 * 17;
    WriteFakeAudio(dir.File("music/one.fake"), {{"title", "One"}}, ToPcm16(Piece(length, 1)));
    WriteFakeAudio(dir.File("music/copy.fake"), {{"title", "One"}}, ToPcm16(Piece(length, 1)));
    WriteFakeAudio(dir.File("music/other.fake"), {{"title", "Else"}}, ToPcm16(Piece(length, 2)));
    std::ofstream(dir.File("music/notes.txt")) << "not audio";

    const std::string program = dir.File("bin/harmonyfox-cli");
    const std::string cache = dir.File("cache.dat");
    const std::string output = dir.File("pairs.tsv");
    const std::string music = dir.File("music");
    int terminal = -1;
    const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(child, 0);
    if (child == 0) {
        execl(program.c_str(), program.c_str(), "scan", "--cache", cache.c_str(), "--output",
              output.c_str(), music.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    std::string screen;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(terminal, buffer, sizeof(buffer));
        if (n > 0) {
            screen.append(buffer, static_cast<size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            break;  // EIO once the program has closed its side
        }
    }
    close(terminal);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    // The line is redrawn with carriage returns and ends with every file counted.
    EXPECT_NE(screen.find("\rcached "), std::string::npos) << screen;
    EXPECT_NE(screen.find("files 3 done of 4 found, pairs 1"), std::string::npos) << screen;
    EXPECT_NE(screen.find("harmonyfox-cli scan: 1 pairs; 3 files done of 4 found; 3 cached"),
              std::string::npos)
        << screen;

    std::ifstream in(output);
    const std::string tsv((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(tsv.find("copy.fake"), std::string::npos);
    EXPECT_NE(tsv.find("one.fake"), std::string::npos);
    EXPECT_EQ(tsv.find("other.fake"), std::string::npos);
}

}  // namespace
