// The remembered "not duplicates": lookups in either order, the file kept
// across runs with any name, a damaged file, and filtering a list of pairs.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <iterator>

#include <fstream>
#include <string>

#include "not_duplicates.h"
#include "test_files.h"

namespace {

TEST(NotDuplicatesTest, RememberedAcrossRunsInEitherOrder) {
    TempDir dir;
    const std::string file = dir.File("data/not-duplicates.txt");
    const std::u16string odd = BytesToU16("/m/tab\there\nnew\\line\xff.mp3");
    {
        NotDuplicates store(file);
        ASSERT_EQ(store.Load(), S_OK);  // no file yet
        EXPECT_TRUE(store.Add(u"/m/b.mp3", u"/m/a.mp3"));
        EXPECT_FALSE(store.Add(u"/m/a.mp3", u"/m/b.mp3"));
        EXPECT_FALSE(store.Add(u"/m/a.mp3", u"/m/a.mp3"));
        EXPECT_TRUE(store.Add(odd, u"/m/c.mp3"));
        EXPECT_TRUE(store.Add(u"/m/c.mp3", u"/m/d.mp3"));
        EXPECT_TRUE(store.Remove(u"/m/d.mp3", u"/m/c.mp3"));
        ASSERT_EQ(store.Save(), S_OK);
    }
    // A damaged line or two do not cost the good ones, and are set aside;
    // CR LF line ends and trailing blanks are read as meant.
    std::ofstream(file, std::ios::app)
        << "no tab\n\\q\t/m/x\n/m/x\t/m/y\t/m/z\n/m/g\t/m/h\r\n/m/i\t/m/j  \n/m/e\t/m/f";
    for (int read = 0; read < 2; ++read) {
        NotDuplicates again(file);
        ASSERT_EQ(again.Load(), S_OK);
        EXPECT_EQ(again.Pairs().size(), 6u);  // /m/j and "/m/j  "
        EXPECT_EQ(again.setAside(), 3u);
        EXPECT_TRUE(again.Contains(u"/m/g", u"/m/h"));
        EXPECT_TRUE(again.Contains(u"/m/i", u"/m/j"));
    }
    std::ifstream bad(file + ".bad");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(bad), {}),
              "no tab\n\\q\t/m/x\n/m/x\t/m/y\t/m/z\n");
    NotDuplicates again(file);
    ASSERT_EQ(again.Load(), S_OK);
    EXPECT_TRUE(again.Contains(u"/m/a.mp3", u"/m/b.mp3"));
    EXPECT_TRUE(again.Contains(u"/m/c.mp3", odd));
    EXPECT_TRUE(again.Contains(u"/m/f", u"/m/e"));
    EXPECT_FALSE(again.Contains(u"/m/c.mp3", u"/m/d.mp3"));

    std::vector<DuplicatePair> pairs(3);
    pairs[0].path1 = u"/m/a.mp3";
    pairs[0].path2 = u"/m/b.mp3";
    pairs[1].path1 = u"/m/a.mp3";
    pairs[1].path2 = u"/m/c.mp3";
    pairs[2] = pairs[0];
    pairs[2].isUpdate = true;
    EXPECT_EQ(again.Filter(pairs), 2u);
    ASSERT_EQ(pairs.size(), 1u);
    EXPECT_EQ(pairs[0].path2, u"/m/c.mp3");

    // A file that cannot be written leaves the old one whole; a folder or a
    // FIFO in the list's place is neither read (nor waited on) nor replaced.
    NotDuplicates unwritable(dir.File("data/not-duplicates.txt/inside"));
    EXPECT_EQ(unwritable.Save(), E_FAIL);
    for (const bool fifo : {false, true}) {
        const std::string place = dir.File(fifo ? "fifo" : "folder");
        ASSERT_EQ(fifo ? mkfifo(place.c_str(), 0644) : mkdir(place.c_str(), 0755), 0);
        NotDuplicates special(place);
        EXPECT_EQ(special.Load(), E_FAIL);
        special.Add(u"/m/a", u"/m/b");
        EXPECT_EQ(special.Save(), E_FAIL);
    }
}

}  // namespace
