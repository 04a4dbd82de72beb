// The trash as other desktop programs read it: each file's .trashinfo names
// its place percent-encoded, equal names never meet in the trash, and a file
// comes back only to a free place.
#include "trash_can.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "test_files.h"

namespace fs = std::filesystem;

namespace {

TEST(TrashCanTest, InfoNamesThePlaceAndEqualNamesTakeFreeOnes) {
    TempDir dir;
    TrashCan trash(dir.File("Trash"));
    struct Case {
        const char* name;         // below the folder "music/<n>/"
        const char* trashName;    // what it is called in the trash
        const char* encodedTail;  // the end of its Path= line
    } cases[] = {
        {"song.mp3", "song.mp3", "/song.mp3"},       {"song.mp3", "song.2.mp3", "/song.mp3"},
        {"song.mp3", "song.3.mp3", "/song.mp3"},     {"a b%c.ogg", "a b%c.ogg", "/a%20b%25c.ogg"},
        {"caf\xe9\nx", "caf\xe9\nx", "/caf%E9%0Ax"}, {".hidden", ".hidden", "/.hidden"},
        {".hidden", ".hidden.2", "/.hidden"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.trashName);
        const std::string path = dir.File("music/" + std::to_string(n++) + "/" + c.name);
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path) << c.trashName;
        TrashPlace place;
        std::string reason;
        ASSERT_EQ(trash.Reserve(path, &place, &reason), S_OK) << reason;
        ASSERT_EQ(trash.Put(path, place, &reason), S_OK) << reason;
        EXPECT_EQ(place.file, dir.File("Trash/files/") + c.trashName);
        EXPECT_EQ(place.info, dir.File("Trash/info/") + c.trashName + ".trashinfo");
        const std::string info = ReadWholeFile(place.info);
        const std::string folder = fs::path(path).parent_path().string();
        EXPECT_EQ(info.rfind("[Trash Info]\nPath=" + folder + c.encodedTail + "\nDeletionDate=", 0),
                  0u)
            << info;
        EXPECT_FALSE(fs::exists(path));
        EXPECT_EQ(ReadWholeFile(place.file), c.trashName);

        // A taken place stays as it is; a free one gets the file back.
        std::ofstream(path) << "the user's new file";
        EXPECT_EQ(trash.Restore(place, path, &reason), E_FAIL);
        EXPECT_EQ(ReadWholeFile(path), "the user's new file");
        fs::remove(path);
        ASSERT_EQ(trash.Restore(place, path, &reason), S_OK) << reason;
        EXPECT_EQ(ReadWholeFile(path), c.trashName);
        EXPECT_FALSE(fs::exists(place.info));
        // Back in the trash for the next file of the same name.
        ASSERT_EQ(trash.Reserve(path, &place, &reason), S_OK) << reason;
        ASSERT_EQ(trash.Put(path, place, &reason), S_OK) << reason;
    }
}

}  // namespace
