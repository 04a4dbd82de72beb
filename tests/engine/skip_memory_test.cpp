#include "skip_memory.h"

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
    EXPECT_EQ(SkipMemory::PathBeside("/c/Harmonyfox/cache.dat"), "/c/Harmonyfox/skipped.dat");
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
