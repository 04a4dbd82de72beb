// harmonyfox-cli apply and undo, run as the user runs them, on a groups file
// as "scan --groups --format json" writes it, over files made in the test.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "test_files.h"

namespace fs = std::filesystem;

namespace {

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

class ApplyCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Two groups; one duplicate's name is not UTF-8 (written as \udce9).
        for (const char* name : {"a/keep.mp3", "b/copy.mp3", "b/caf\xe9.mp3", "a/other.mp3",
                                 "c/other copy.mp3", "c/linked.mp3"}) {
            Write(m_dir.File(std::string("music/") + name), name);
        }
        const std::string music = m_dir.File("music");
        std::ofstream(Groups()) << R"({"groups": [
  {"keeper": ")" + music + R"(/a/keep.mp3", "files": [
    {"path": ")" + music + R"(/a/keep.mp3", "role": "keeper", "verdict": null},
    {"path": ")" + music + R"(/b/copy.mp3", "role": "duplicate", "verdict": "same file"},
    {"path": ")" + music + R"(/b/caf\udce9.mp3", "role": "duplicate", "verdict": "same audio"}]},
  {"keeper": ")" + music + R"(/a/other.mp3", "files": [
    {"path": ")" + music + R"(/a/other.mp3", "role": "keeper", "verdict": null},
    {"path": ")" + music + R"(/c/other copy.mp3", "role": "duplicate", "verdict": "shifted"},
    {"path": ")" + music + R"(/c/linked.mp3", "role": "linked", "verdict": null}]}],
 "counters": {}})";
    }

    static void Write(const std::string& path, const std::string& bytes) {
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }

    std::string Groups() const { return m_dir.File("groups.json"); }
    bool Has(const std::string& file) const { return fs::exists(m_dir.File(file)); }

    CliRun Cli(const std::string& args) {
        const std::string out = m_dir.File("stdout");
        const std::string err = m_dir.File("stderr");
        const std::string command = "cd " + ShellQuoted(m_dir.path()) +
                                    " && XDG_DATA_HOME=" + ShellQuoted(m_dir.File("data")) + " " +
                                    ShellQuoted(std::string(HF_BIN_DIR) + "/harmonyfox-cli") + " " +
                                    args + " >stdout 2>stderr </dev/null";
        CliRun run;
        const int raw = std::system(command.c_str());
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        run.out = ReadWholeFile(out);
        run.err = ReadWholeFile(err);
        return run;
    }

    TempDir m_dir;
};

TEST_F(ApplyCommandTest, ActsOnTheDuplicatesOnlyAndRefusesAGroupWithoutItsKeeper) {
    // What changed after the scan.
    enum Since { kUnchanged, kKeeperGone, kKeeperLinksToCopy };
    struct Case {
        const char* args;
        Since since;
        int status;
        std::vector<std::string> lines;  // the output's first fields, in order
        std::vector<std::string> present;
        std::vector<std::string> absent;
    } cases[] = {
        {"--trash --dry-run",
         kUnchanged,
         0,
         {"would trash", "would trash", "would trash"},
         {"music/b/copy.mp3", "music/c/other copy.mp3"},
         {"data/Trash"}},
        {"--move-to aside --dry-run",
         kUnchanged,
         0,
         {"would move", "would move", "would move"},
         {"music/b/copy.mp3"},
         {"aside"}},
        {"--trash",
         kUnchanged,
         0,
         {"trashed", "trashed", "trashed"},
         {"music/a/keep.mp3", "music/c/linked.mp3", "data/Trash/files/copy.mp3",
          "data/Trash/info/copy.mp3.trashinfo", "data/Trash/files/caf\xe9.mp3"},
         {"music/b/copy.mp3", "music/b/caf\xe9.mp3", "music/c/other copy.mp3"}},
        {"--move-to aside",
         kUnchanged,
         0,
         {"moved", "moved", "moved"},
         {"aside/b/copy.mp3", "aside/b/caf\xe9.mp3", "aside/c/other copy.mp3", "music/a/keep.mp3"},
         {"music/b/copy.mp3"}},
        {"--move-to aside --root music/b",
         kUnchanged,
         0,
         {"moved", "moved", "moved"},
         {"aside/copy.mp3", "aside/other copy.mp3"},
         {}},
        {"--trash",
         kKeeperGone,
         1,
         {"refused", "trashed", "trashed"},
         {"music/c/other copy.mp3"},
         {"music/b/copy.mp3"}},
        // Trashing the link's target would take the keeper.
        {"--trash",
         kKeeperLinksToCopy,
         1,
         {"failed", "trashed", "trashed"},
         {"music/b/copy.mp3"},
         {"music/b/caf\xe9.mp3"}},
        {"", kUnchanged, 2, {}, {"music/b/copy.mp3"}, {}},
        {"--trash --move-to aside", kUnchanged, 2, {}, {"music/b/copy.mp3"}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        SetUp();
        if (c.since == kKeeperGone) {
            fs::remove(m_dir.File("music/a/other.mp3"));
        } else if (c.since == kKeeperLinksToCopy) {
            fs::remove(m_dir.File("music/a/keep.mp3"));
            fs::create_symlink("../b/copy.mp3", m_dir.File("music/a/keep.mp3"));
        }
        const CliRun run = Cli(std::string("apply groups.json ") + c.args);
        EXPECT_EQ(run.status, c.status) << run.err;
        std::vector<std::string> lines;
        std::istringstream in(run.out);
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line.substr(0, line.find('\t')));
        }
        EXPECT_EQ(lines, c.lines) << run.out;
        for (const std::string& file : c.present) {
            EXPECT_TRUE(Has(file)) << file;
        }
        for (const std::string& file : c.absent) {
            EXPECT_FALSE(Has(file)) << file;
        }
        fs::remove_all(m_dir.File("music"));
        fs::remove_all(m_dir.File("aside"));
        fs::remove_all(m_dir.File("data"));
    }
}

TEST_F(ApplyCommandTest, UndoTakesBackTheLastActionThenTheOneBefore) {
    ASSERT_EQ(Cli("apply groups.json --move-to aside").status, 0);
    // The second run finds nothing left to move, and fails for each file.
    EXPECT_EQ(Cli("apply groups.json --trash").status, 1);
    Write(m_dir.File("music/b/copy.mp3"), "the user's new file");

    CliRun undo = Cli("undo");
    // The failed trash touched nothing: the move is the last action.
    EXPECT_EQ(undo.status, 1) << undo.err;
    EXPECT_NE(undo.out.find("not back\t" + m_dir.File("music/b/copy.mp3") + "\tits place is taken"),
              std::string::npos)
        << undo.out;
    EXPECT_EQ(ReadWholeFile(m_dir.File("music/b/copy.mp3")), "the user's new file");
    EXPECT_EQ(ReadWholeFile(m_dir.File("music/b/caf\xe9.mp3")), "b/caf\xe9.mp3");
    EXPECT_EQ(ReadWholeFile(m_dir.File("music/c/other copy.mp3")), "c/other copy.mp3");
    EXPECT_TRUE(Has("aside/b/copy.mp3"));

    undo = Cli("undo");
    EXPECT_EQ(undo.status, 1);
    EXPECT_NE(undo.err.find("nothing to undo"), std::string::npos) << undo.err;
}

TEST_F(ApplyCommandTest, FilledTagsAndFollowingPlaylistsAreUndoneWithTheFiles) {
    const std::string music = m_dir.File("tagged");
    fs::create_directories(music + "/copies");
    auto encode = [&](const std::string& name, const std::string& tags) {
        return std::system(("ffmpeg -nostdin -loglevel error -y -f lavfi -i "
                            "sine=frequency=440:duration=2 " +
                            tags + " " + ShellQuoted(music + "/" + name))
                               .c_str()) == 0;
    };
    ASSERT_TRUE(encode("keep.mp3", ""));
    ASSERT_TRUE(encode("copies/copy.mp3", "-metadata title=Tune -metadata artist=Band"));
    Write(music + "/list.m3u", "#EXTM3U\ncopies/copy.mp3\nother.mp3\n");
    const std::string keeperBytes = ReadWholeFile(music + "/keep.mp3");
    std::ofstream(Groups()) << R"({"groups": [{"keeper": ")" + music + R"(/keep.mp3", "files": [
    {"path": ")" + music + R"(/keep.mp3", "role": "keeper"},
    {"path": ")" + music + R"(/copies/copy.mp3", "role": "duplicate"}]}]})";

    const CliRun dry = Cli("apply groups.json --trash --fill-tags --fix-playlists --dry-run");
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_NE(dry.out.find("would fill\t" + music + "/keep.mp3\ttitle<-"), std::string::npos);
    EXPECT_NE(dry.out.find("would rewrite\t" + music + "/list.m3u\t2"), std::string::npos);
    EXPECT_EQ(ReadWholeFile(music + "/keep.mp3"), keeperBytes);

    const CliRun run = Cli("apply groups.json --trash --fill-tags --fix-playlists");
    EXPECT_EQ(run.status, 0) << run.err << run.out;
    EXPECT_FALSE(Has("tagged/copies/copy.mp3"));
    EXPECT_EQ(ReadWholeFile(music + "/list.m3u"), "#EXTM3U\nkeep.mp3\nother.mp3\n");
    const CliRun probe = Cli("probe " + ShellQuoted(music + "/keep.mp3"));
    EXPECT_NE(probe.out.find("Tune"), std::string::npos) << probe.out;

    // One undo gives back the copy, the keeper's bytes and the playlist.
    const CliRun undo = Cli("undo");
    EXPECT_EQ(undo.status, 0) << undo.err << undo.out;
    EXPECT_TRUE(Has("tagged/copies/copy.mp3"));
    EXPECT_EQ(ReadWholeFile(music + "/keep.mp3"), keeperBytes);
    EXPECT_EQ(ReadWholeFile(music + "/list.m3u"), "#EXTM3U\ncopies/copy.mp3\nother.mp3\n");
}

}  // namespace
