#include "skip_memory.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "test_files.h"

namespace fs = std::filesystem;

namespace {

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

TEST(SkipMemoryTest, ACutShortFileKeepsEveryWholeRecordBeforeTheCut) {
    TempDir dir;
    const std::string file = dir.File("skipped.dat");
    const FileStamp stamps[] = {{100, 7}, {200, 8}, {300, 9}};
    const SkipReason reasons[] = {SkipReason::kTooShort, SkipReason::kDamaged,
                                  SkipReason::kUnsupported};
    std::vector<size_t> ends;
    {
        SkipMemory memory;
        ASSERT_EQ(memory.Load(file, "sig"), S_OK);
        ends.push_back(fs::file_size(file));
        for (int i = 0; i < 3; ++i) {
            memory.Remember(U16("/m/f" + std::to_string(i)), stamps[i], reasons[i]);
            ends.push_back(fs::file_size(file));
        }
    }
    const std::string whole = ReadBytes(file);
    for (size_t cut = 0; cut <= whole.size(); ++cut) {
        WriteBytes(file, whole.substr(0, cut));
        SkipMemory memory;
        ASSERT_EQ(memory.Load(file, "sig"), S_OK) << cut;
        size_t kept = 0;
        while (kept < 3 && ends[kept + 1] <= cut) {
            ++kept;
        }
        EXPECT_EQ(memory.size(), kept) << cut;
        for (size_t i = 0; i < kept; ++i) {
            EXPECT_EQ(memory.Find(U16("/m/f" + std::to_string(i)), stamps[i]), reasons[i]);
        }
        // The file was mended: it now loads as it stands.
        EXPECT_EQ(fs::file_size(file), ends[kept]) << cut;
    }
}

TEST(SkipMemoryTest, ChangedFilesPluginsAndClearingForget) {
    TempDir dir;
    const std::string file = dir.File("skipped.dat");
    SkipMemory memory;
    ASSERT_EQ(memory.Load(file, "sig"), S_OK);
    memory.Remember(u"/m/a", {10, 1}, SkipReason::kTooShort);
    memory.Remember(u"/m/a", {10, 2}, SkipReason::kDamaged);  // supersedes
    EXPECT_EQ(memory.Find(u"/m/a", {10, 1}), std::nullopt);
    EXPECT_EQ(memory.Find(u"/m/a", {11, 2}), std::nullopt);
    EXPECT_EQ(memory.Find(u"/m/a", {10, 2}), SkipReason::kDamaged);

    SkipMemory same;
    ASSERT_EQ(same.Load(file, "sig"), S_OK);
    EXPECT_EQ(same.Find(u"/m/a", {10, 2}), SkipReason::kDamaged);
    SkipMemory otherPlugins;
    ASSERT_EQ(otherPlugins.Load(file, "sig2"), S_OK);
    EXPECT_EQ(otherPlugins.size(), 0u);

    memory.Clear();
    EXPECT_EQ(memory.size(), 0u);
    SkipMemory cleared;
    ASSERT_EQ(cleared.Load(file, "sig"), S_OK);
    EXPECT_EQ(cleared.size(), 0u);
    EXPECT_EQ(SkipMemory::PathBeside("/c/Harmonyfox/cache.dat"), "/c/Harmonyfox/cache.skip");
    EXPECT_EQ(SkipMemory::PathBeside("/c/d/new.skip"), "/c/d/new.skip.skip");
}

// What is at the memory's place and is not a memory is left alone, never
// waited on; a memory at the old name moves to the new one.
TEST(SkipMemoryTest, OnlyItsOwnFileIsTakenAndTheOldNameMoves) {
    struct Case {
        const char* name;
        void (*make)(const std::string& path);
        HRESULT expected;
    };
    const Case cases[] = {
        {"a user's file", [](const std::string& p) { WriteBytes(p, "my notes\n"); }, E_FILE_FOREIGN},
        {"a folder", [](const std::string& p) { fs::create_directory(p); }, E_FILE_FOREIGN},
        {"a FIFO", [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0644), 0); },
         E_FILE_FOREIGN},
        {"an empty file", [](const std::string& p) { WriteBytes(p, ""); }, S_OK},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::string cache = dir.File("cache.dat");
        const std::string file = SkipMemory::PathBeside(cache);
        c.make(file);
        const std::string before = fs::is_regular_file(file) ? ReadBytes(file) : "";
        SkipMemory memory;
        EXPECT_EQ(memory.LoadBeside(cache, "sig"), c.expected) << c.name;
        memory.Remember(u"/m/a", {1, 1}, SkipReason::kDamaged);
        EXPECT_EQ(memory.Find(u"/m/a", {1, 1}), SkipReason::kDamaged) << c.name;
        if (c.expected == E_FILE_FOREIGN && fs::is_regular_file(file)) {
            EXPECT_EQ(ReadBytes(file), before) << c.name;
        }
    }

    TempDir dir;
    const std::string cache = dir.File("cache.dat");
    const std::string legacy = dir.File("skipped.dat");
    {
        SkipMemory old;
        ASSERT_EQ(old.Load(legacy, "sig"), S_OK);
        old.Remember(u"/m/b", {2, 2}, SkipReason::kTooShort);
    }
    SkipMemory moved;
    ASSERT_EQ(moved.LoadBeside(cache, "sig"), S_OK);
    EXPECT_EQ(moved.Find(u"/m/b", {2, 2}), SkipReason::kTooShort);
    EXPECT_FALSE(fs::exists(legacy));
    // A user's own skipped.dat beside a new cache is not read, nor removed.
    WriteBytes(legacy, "mine");
    SkipMemory fresh;
    ASSERT_EQ(fresh.LoadBeside(dir.File("other.dat"), "sig"), S_OK);
    EXPECT_EQ(fresh.size(), 0u);
    EXPECT_EQ(ReadBytes(legacy), "mine");
}

TEST(SkipMemoryTest, PluginSignatureFollowsEveryLibraryThatDecidesAndNothingElse) {
    const struct {
        const char* name;
        bool counts;
    } cases[] = {
        {"libstreamdec.so", true},
        {"libharmonyfox-media.so.1", true},
        {"harmonyfox", false},
        {"song.mp3", false},
    };
    TempDir dir;
    for (const auto& c : cases) {
        WriteBytes(dir.File(c.name), "1");
    }
    for (const auto& c : cases) {
        const std::string before = PluginSignature(dir.path());
        WriteBytes(dir.File(c.name), "22");
        EXPECT_EQ(PluginSignature(dir.path()) != before, c.counts) << c.name;
    }
}

}  // namespace
