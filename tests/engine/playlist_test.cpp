#include "playlist.h"

#include <gtest/gtest.h>

#include "decoder_contract.h"

namespace {

DuplicatePair Pair(const std::u16string& a, const std::u16string& b) {
    DuplicatePair p;
    p.path1 = a;
    p.path2 = b;
    return p;
}

TEST(PlaylistTest, Bytes) {
    const std::u16string longest(1023, u'x');  // 1023 bytes and the zero fill the buffer
    const std::u16string tooLong(1024, u'y');
    const struct {
        const char* name;
        std::vector<DuplicatePair> pairs;
        std::string bytes;
        size_t leftOut = 0;
    } cases[] = {
        {"empty list", {}, "#EXTM3U\r\n"},
        {"every file once, in the order first met",
         {Pair(u"/m/b.mp3", u"/m/a.mp3"), Pair(u"/m/c.mp3", u"/m/a.mp3"),
          Pair(u"/m/a.mp3", u"/m/b.mp3")},
         "#EXTM3U\r\n/m/b.mp3\r\n/m/a.mp3\r\n/m/c.mp3\r\n"},
        {"UTF-8 and bytes that are not",
         {Pair(u"/m/\u00e9.mp3", BytesToU16("/m/\xe9.mp3"))},
         "#EXTM3U\r\n/m/\xc3\xa9.mp3\r\n/m/\xe9.mp3\r\n"},
        {"a path too long is left out alone, and counted once",
         {Pair(tooLong, u"/a"), Pair(u"/b", tooLong)},
         "#EXTM3U\r\n/a\r\n/b\r\n",
         1},
        {"longest path that fits, empty path left out",
         {Pair(longest, u"")},
         "#EXTM3U\r\n" + std::string(1023, 'x') + "\r\n",
         1},
        {"a line feed would add a line",
         {Pair(u"/m/x\n#EXTINF:1,y\n/etc/passwd", u"/m/a"), Pair(u"/m/\rc", u"/m/a")},
         "#EXTM3U\r\n/m/a\r\n",
         2},
    };
    for (const auto& c : cases) {
        size_t leftOut = 99;
        EXPECT_EQ(PlaylistBytes(c.pairs, &leftOut), c.bytes) << c.name;
        EXPECT_EQ(leftOut, c.leftOut) << c.name;
    }
}

}  // namespace
