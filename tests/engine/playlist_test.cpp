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
        {"rows in order, repeats kept",
         {Pair(u"/m/b.mp3", u"/m/a.mp3"), Pair(u"/m/c.mp3", u"/m/a.mp3")},
         "#EXTM3U\r\n/m/b.mp3\r\n/m/a.mp3\r\n/m/c.mp3\r\n/m/a.mp3\r\n"},
        {"UTF-8 and bytes that are not",
         {Pair(u"/m/\u00e9.mp3", BytesToU16("/m/\xe9.mp3"))},
         "#EXTM3U\r\n/m/\xc3\xa9.mp3\r\n/m/\xe9.mp3\r\n"},
        {"first path too long: row left out",
         {Pair(tooLong, u"/a"), Pair(u"/b", u"/c")},
         "#EXTM3U\r\n/b\r\n/c\r\n",
         2},
        {"second path too long: left out alone", {Pair(u"/b", tooLong)}, "#EXTM3U\r\n/b\r\n", 1},
        {"longest path that fits",
         {Pair(longest, u"")},
         "#EXTM3U\r\n" + std::string(1023, 'x') + "\r\n",
         1},
        {"empty first path", {Pair(u"", u"/a")}, "#EXTM3U\r\n", 2},
        {"a line feed would add a line: row left out",
         {Pair(u"/m/x\n#EXTINF:1,y\n/etc/passwd", u"/m/a"), Pair(u"/m/b", u"/m/a")},
         "#EXTM3U\r\n/m/b\r\n/m/a\r\n",
         2},
        {"a carriage return in the second path",
         {Pair(u"/m/b", u"/m/\rc")},
         "#EXTM3U\r\n/m/b\r\n",
         1},
    };
    for (const auto& c : cases) {
        size_t leftOut = 99;
        EXPECT_EQ(PlaylistBytes(c.pairs, &leftOut), c.bytes) << c.name;
        EXPECT_EQ(leftOut, c.leftOut) << c.name;
    }
}

}  // namespace
