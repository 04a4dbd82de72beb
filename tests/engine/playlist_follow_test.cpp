#include "playlist_follow.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "test_files.h"

namespace fs = std::filesystem;

namespace {

void Write(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// One playlist in a music folder where a/gone.mp3 and a/Ünïcode.mp3 went and
// b/keep.mp3 and b/kept twice.mp3 are their keepers; link is a link to a.
TEST(PlaylistFollowTest, RewritesOnlyEntriesOfGoneFiles) {
    const struct {
        const char* name;
        std::string file;  // under the music folder
        std::string before;
        std::string after;  // == before: not planned
    } cases[] = {
        {"relative M3U, #EXTINF kept", "lists/mix.m3u",
         "#EXTM3U\n#EXTINF:10,Gone\n../a/gone.mp3\n../a/other.mp3\n",
         "#EXTM3U\n#EXTINF:10,Gone\n../b/keep.mp3\n../a/other.mp3\n"},
        {"relative through ./ and a folder up", "a/here.m3u", "./gone.mp3\n", "../b/keep.mp3\n"},
        {"absolute M3U8 in UTF-8 with a byte-order mark and CR LF", "mix.m3u8",
         "\xEF\xBB\xBF#EXTM3U\r\n@/a/\xC3\x9Cn\xC3\xAF"
         "code.mp3\r\n@/a/gone.mp3",
         "\xEF\xBB\xBF#EXTM3U\r\n@/b/kept twice.mp3\r\n@/b/keep.mp3"},
        {"PLS, key in any case, titles kept", "x.PLS",
         "[playlist]\r\nFile1=a/gone.mp3\r\nTitle1=a/gone.mp3\r\nfile2 = @/a/gone.mp3 \r\n"
         "NumberOfEntries=2\r\n",
         "[playlist]\r\nFile1=b/keep.mp3\r\nTitle1=a/gone.mp3\r\nfile2 = @/b/keep.mp3 \r\n"
         "NumberOfEntries=2\r\n"},
        {"comments, URLs, look-alikes and other kinds untouched", "y.m3u",
         "# a/gone.mp3\nhttp://host/a/gone.mp3\nfile:///a/gone.mp3\na/gone.mp3.bak\n"
         "A/gone.mp3\nFile1=a/gone.mp3\n",
         ""},
        {"not a playlist by its name", "a/notes.txt", "gone.mp3\n", ""},
        {"entries through a linked folder", "z.m3u", "@/link/gone.mp3\nlink/../a/gone.mp3\n",
         "@/b/keep.mp3\nb/keep.mp3\n"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const std::string music = dir.File("music");
        auto expand = [&](std::string s) {
            for (size_t at; (at = s.find('@')) != std::string::npos;) {
                s.replace(at, 1, music);
            }
            return s;
        };
        fs::create_directories(music + "/a");
        fs::create_directory_symlink("a", music + "/link");
        const std::string playlist = music + "/" + c.file;
        Write(playlist, expand(c.before));
        const std::string after = c.after.empty() ? expand(c.before) : expand(c.after);
        const std::vector<FollowedFile> followed = {
            {U16(music + "/a/gone.mp3"), U16(music + "/b/keep.mp3")},
            {U16(music + "/a/\xC3\x9Cn\xC3\xAF"
                         "code.mp3"),
             U16(music + "/b/kept twice.mp3")}};

        // The folder named twice, once through a spelling of its own, finds it once.
        const PlaylistFollowPlan plan = PlanPlaylistFollow({music, music + "/lists/.."}, followed);
        EXPECT_TRUE(plan.unreadable.empty()) << c.name;
        ASSERT_EQ(plan.rewrites.size(), c.after.empty() ? 0u : 1u) << c.name;
        std::vector<std::string> hooked;
        const PlaylistFollowResult result = WritePlaylistFollow(plan, [&](const std::string& p) {
            hooked.push_back(p);
            EXPECT_EQ(ReadWholeFile(p), expand(c.before)) << c.name << ": the old bytes, still";
            return S_OK;
        });
        EXPECT_TRUE(result.failures.empty()) << c.name;
        EXPECT_EQ(hooked.size(), plan.rewrites.size()) << c.name;
        EXPECT_EQ(ReadWholeFile(playlist), after) << c.name;
        size_t files = 0;
        for (auto it = fs::recursive_directory_iterator(music); it != fs::end(it); ++it) {
            files += it->is_regular_file() ? 1 : 0;
        }
        EXPECT_EQ(files, 1u) << c.name << ": nothing left beside it";
    }
}

// A playlist that cannot be read is named, and one that changed after the
// plan, or whose old bytes the caller cannot keep, stays as it is.
TEST(PlaylistFollowTest, FailuresLeaveThePlaylist) {
    TempDir dir;
    const std::string list = dir.File("list.m3u");
    const std::string original = "gone.mp3\n";
    const std::vector<FollowedFile> followed = {
        {U16(dir.File("gone.mp3")), U16(dir.File("k.mp3"))}};
    {
        std::ofstream(dir.File("huge.m3u"));
        fs::resize_file(dir.File("huge.m3u"), 65u << 20);  // sparse: nothing really written
    }
    const struct {
        const char* name;
        std::string changedTo;  // written after the plan; empty: not changed
        HRESULT hook;
    } cases[] = {
        {"changed since the plan", "other.mp3\ngone.mp3\n", S_OK},
        {"the old bytes cannot be kept", "", E_FAIL},
    };
    for (const auto& c : cases) {
        Write(list, original);
        chmod(list.c_str(), 0640);
        const PlaylistFollowPlan plan = PlanPlaylistFollow({dir.path()}, followed);
        ASSERT_EQ(plan.rewrites.size(), 1u) << c.name;
        ASSERT_EQ(plan.unreadable.size(), 1u) << c.name;
        EXPECT_EQ(plan.unreadable[0].playlist, dir.File("huge.m3u")) << c.name;
        if (!c.changedTo.empty()) {
            Write(list, c.changedTo);
        }
        const PlaylistFollowResult result =
            WritePlaylistFollow(plan, [&](const std::string&) { return c.hook; });
        EXPECT_EQ(result.playlistsWritten, 0u) << c.name;
        ASSERT_EQ(result.failures.size(), 1u) << c.name;
        EXPECT_FALSE(result.failures[0].reason.empty()) << c.name;
        EXPECT_EQ(ReadWholeFile(list), c.changedTo.empty() ? original : c.changedTo) << c.name;
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2)
            << c.name;
    }
    // A rewritten playlist keeps its permission bits.
    Write(list, original);
    chmod(list.c_str(), 0640);
    const PlaylistFollowResult result =
        WritePlaylistFollow(PlanPlaylistFollow({dir.path()}, followed), nullptr);
    EXPECT_EQ(result.playlistsWritten, 1u);
    EXPECT_EQ(ReadWholeFile(list), "k.mp3\n");
    struct stat info {};
    ASSERT_EQ(stat(list.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

}  // namespace
