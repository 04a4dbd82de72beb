// harmonyfox-cli scan cut off at random moments, by SIGKILL or by a full
// disk: the cache file it leaves holds whole records only (a killed run may
// leave one record cut short at the end), and the next scan loads every
// whole record, decodes only the files without one and lists the same pairs
// as an undisturbed scan.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <sstream>
#include <string>

#include "test_files.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kLength = 22050 * 16;  // just long enough for a Grip
constexpr int kPieces = 4;
constexpr int kCopies = 3;
constexpr size_t kFiles = kPieces * kCopies;
constexpr int kRounds = 25;        // 20 kills and 5 full disks
constexpr int kFullDiskEvery = 5;  // every fifth round the disk fills instead
constexpr size_t kFloatBytes = 4 * (100 + 10 + 2048);

using PairSet = std::set<std::pair<std::string, std::string>>;

// The whole records at the start of a cache file, read with the layout
// alone: their paths (ASCII here) and where the last one ends.
std::set<std::string> WholeRecords(const std::string& bytes, size_t* end) {
    std::set<std::string> paths;
    auto u16 = [&bytes](size_t at) {
        return static_cast<int>(
            static_cast<int16_t>(static_cast<unsigned char>(bytes[at]) |
                                 (static_cast<unsigned char>(bytes[at + 1]) << 8)));
    };
    size_t at = 32;
    *end = std::min(at, bytes.size());
    while (at + 2 <= bytes.size()) {
        const int p = u16(at);
        std::string path;
        for (int i = 0; i < p && at + 2 + 2 * i < bytes.size(); ++i) {
            path += bytes[at + 2 + 2 * i];
        }
        size_t next = at + 2 + 2 * static_cast<size_t>(p) + kFloatBytes;
        for (int text = 0; text < 4 && next + 2 <= bytes.size(); ++text) {
            next += 2 + static_cast<size_t>(u16(next));
        }
        next += 4;
        if (p < 1 || next > bytes.size() ||
            bytes.compare(next - 4, 4,
                          "\xff"
                          "END") != 0) {
            break;
        }
        paths.insert(path);
        at = next;
        *end = at;
    }
    return paths;
}

class KillTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(m_dir.File("bin"));
        fs::copy_file(std::string(HF_BIN_DIR) + "/harmonyfox-cli", Program());
        InstallPlugins(m_dir.File("bin"), {"fake_high"});
        fs::create_directories(m_dir.File("music"));
        for (int piece = 1; piece <= kPieces; ++piece) {
            for (int copy = 0; copy < kCopies; ++copy) {
                WriteFakeAudio(m_dir.File("music/p" + std::to_string(piece) + "_" +
                                          std::to_string(copy) + ".raw"),
                               {{"log", m_dir.File("opens.log")}},
                               ToPcm16(Piece(kLength, static_cast<uint32_t>(piece))));
            }
        }
        // Runs a command with a file-size limit (in KiB) whose breach fails
        // the write instead of killing the process.
        std::ofstream(m_dir.File("limited.sh"))
            << "trap '' XFSZ\nulimit -f \"$1\"\nshift\nexec \"$@\"\n";
    }

    std::string Program() const { return m_dir.File("bin/harmonyfox-cli"); }

    std::string ScanCommand(const std::string& cache) const {
        return ShellQuoted(Program()) + " scan --cache " + ShellQuoted(cache) + " " +
               ShellQuoted(m_dir.File("music")) + " >" + ShellQuoted(m_dir.File("out.tsv")) +
               " 2>/dev/null";
    }

    size_t Opens() const {
        const std::string log = ReadWholeFile(m_dir.File("opens.log"));
        return static_cast<size_t>(std::count(log.begin(), log.end(), '\n'));
    }

    // A whole scan with cache; its pairs by file name.
    PairSet FullScan(const std::string& cache) {
        EXPECT_EQ(std::system(ScanCommand(cache).c_str()), 0);
        PairSet pairs;
        std::istringstream in(ReadWholeFile(m_dir.File("out.tsv")));
        std::string line;
        std::getline(in, line);
        while (std::getline(in, line)) {
            const size_t tab = line.find('\t');
            const std::string a = fs::path(line.substr(0, tab)).filename();
            const std::string b =
                fs::path(line.substr(tab + 1, line.find('\t', tab + 1) - tab - 1)).filename();
            pairs.insert(std::minmax(a, b));
        }
        return pairs;
    }

    TempDir m_dir;
};

TEST_F(KillTest, InterruptedScansLeaveWholeRecords) {
    const auto started = std::chrono::steady_clock::now();
    const PairSet reference = FullScan(m_dir.File("reference.dat"));
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    ASSERT_EQ(reference.size(), static_cast<size_t>(kPieces * kCopies * (kCopies - 1) / 2));

    const unsigned seed = std::random_device()();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    const std::string cache = m_dir.File("cache.dat");
    const std::string copy = m_dir.File("copy.dat");
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const bool fullDisk = round % kFullDiskEvery == kFullDiskEvery - 1;
        std::string command;
        if (fullDisk) {
            const int kib = std::uniform_int_distribution<int>(1, 9 * kFiles)(rng);
            command = "bash " + ShellQuoted(m_dir.File("limited.sh")) + " " + std::to_string(kib) +
                      " " + ScanCommand(cache);
        } else {
            const double delay = std::uniform_real_distribution<double>(0.0, 1.2 * seconds)(rng);
            command = "timeout -s KILL " + std::to_string(delay) + " " + ScanCommand(cache);
        }
        std::system(command.c_str());

        const std::string bytes = ReadWholeFile(cache);
        size_t end = 0;
        const std::set<std::string> whole = WholeRecords(bytes, &end);
        // At most one record cut short at the end; none after a failed write.
        EXPECT_LE(bytes.size() - end, fullDisk ? 0u : 9000u);

        // The next scan, on a copy so that the kills go on from this state.
        for (const fs::path& file : {fs::path(cache), fs::path(cache).replace_extension(".idx")}) {
            fs::path target = copy;
            target.replace_extension(file.extension());
            fs::remove(target);
            if (fs::exists(file)) {
                fs::copy_file(file, target);
            }
        }
        const size_t opens = Opens();
        EXPECT_EQ(FullScan(copy), reference);
        EXPECT_EQ(Opens() - opens, kFiles - whole.size());
        if (whole.size() == kFiles) {
            fs::remove(cache);  // start again from nothing
        }
    }
}

}  // namespace
