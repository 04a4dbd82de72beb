#include "whole_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "test_files.h"

namespace {

TEST(WholeFileTest, ReplacesWholeOrNotAtAll) {
    TempDir dir;
    const std::string path = dir.File("list.txt");
    ASSERT_TRUE(ReplaceFileWith(path, "first"));
    ASSERT_TRUE(ReplaceFileWith(path, "second, longer"));
    EXPECT_EQ(ReadWholeFile(path), "second, longer");
    EXPECT_FALSE(std::filesystem::exists(path + ".new"));

    // A folder where the file should be cannot be replaced: it stays, and
    // the new file does not linger beside it.
    const std::string folder = dir.File("folder");
    std::filesystem::create_directory(folder);
    EXPECT_FALSE(ReplaceFileWith(folder, "text"));
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_FALSE(std::filesystem::exists(folder + ".new"));
    // Nor can a file in a folder that does not exist.
    EXPECT_FALSE(ReplaceFileWith(dir.File("missing/list.txt"), "text"));
}

}  // namespace
