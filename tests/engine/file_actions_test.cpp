#include "file_actions.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "file_move.h"
#include "test_files.h"

namespace fs = std::filesystem;
using ::testing::HasSubstr;

namespace {

void Write(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

bool Exists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

// A journal and a trash inside one test folder, and a music folder to act on.
struct Place {
    TempDir dir;
    ActionJournal journal{dir.File("data/journal")};
    TrashCan trash{dir.File("data/Trash")};
    std::string music = dir.File("music");
    std::string song = dir.File("music/a/song.mp3");
};

// A trash that stops as a killed run would: the files after the first
// `survive` stay where they are and their .trashinfo stays too.
class CutTrash : public TrashCan {
  public:
    CutTrash(std::string home, ActionJournal& journal, size_t survive)
        : TrashCan(std::move(home)), m_journal(journal), m_survive(survive) {}
    HRESULT Put(const std::string& path, const TrashPlace& place, std::string* reason) override {
        // The journal names the file before it moves.
        const std::vector<JournalAction> stored = m_journal.Load();
        journaledFirst = journaledFirst && !stored.empty() &&
                         std::any_of(stored.back().steps.begin(), stored.back().steps.end(),
                                     [&](const JournalStep& s) { return s.path == path; });
        if (m_survive == 0) {
            return E_FAIL;
        }
        --m_survive;
        return TrashCan::Put(path, place, reason);
    }
    void Release(const TrashPlace&) override {}
    bool journaledFirst = true;

  private:
    ActionJournal& m_journal;
    size_t m_survive;
};

TEST(FileActionsTest, UndoBringsBackWhatCanComeBackAndNamesTheRest) {
    enum class Kind { kTrash, kMove, kRewrite };
    enum class Then { kNothing, kPlaceTaken, kGone, kChanged };
    struct Case {
        Kind kind;
        Then then;
        bool back;
        const char* reason;
    } cases[] = {
        {Kind::kTrash, Then::kNothing, true, ""},
        {Kind::kTrash, Then::kPlaceTaken, false, "its place is taken"},
        {Kind::kTrash, Then::kGone, false, "no longer in the trash"},
        {Kind::kMove, Then::kNothing, true, ""},
        {Kind::kMove, Then::kPlaceTaken, false, "its place is taken"},
        {Kind::kMove, Then::kGone, false, "no longer at"},
        {Kind::kRewrite, Then::kNothing, true, ""},
        {Kind::kRewrite, Then::kChanged, false, "changed after"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.kind) * 10 + static_cast<int>(c.then));
        Place p;
        Write(p.song, "old bytes");
        ActionReport done;
        ASSERT_EQ(p.journal.Begin("act"), S_OK);
        if (c.kind == Kind::kTrash) {
            ASSERT_EQ(TrashFiles(p.journal, p.trash, {p.song}, &done), S_OK);
        } else if (c.kind == Kind::kMove) {
            ASSERT_EQ(MoveFiles(p.journal, {p.song}, {p.music}, p.dir.File("aside"), &done), S_OK);
            EXPECT_EQ(done.files[0].to, p.dir.File("aside/a/song.mp3"));
        } else {
            ASSERT_EQ(p.journal.SaveBeforeRewrite(p.song), S_OK);
            Write(p.song, "new");
        }
        ASSERT_EQ(p.journal.Complete(), S_OK);
        EXPECT_EQ(p.journal.LastDone(), "act");
        if (c.kind != Kind::kRewrite) {
            ASSERT_EQ(done.Done(), 1u);
            EXPECT_FALSE(Exists(p.song));
            EXPECT_EQ(ReadWholeFile(done.files[0].to), "old bytes");
        }
        if (c.kind == Kind::kTrash) {
            const std::string info = p.dir.File("data/Trash/info/song.mp3.trashinfo");
            EXPECT_THAT(ReadWholeFile(info), HasSubstr("Path=" + p.song + "\n"));
        }
        if (c.then == Then::kPlaceTaken || c.then == Then::kChanged) {
            Write(p.song, "the user's");
        } else if (c.then == Then::kGone) {
            fs::remove(done.files[0].to);
        }

        ActionReport undone;
        ASSERT_EQ(UndoLast(p.journal, p.trash, &undone), S_OK);
        ASSERT_EQ(undone.files.size(), 1u);
        EXPECT_EQ(undone.files[0].done, c.back);
        EXPECT_THAT(undone.files[0].reason, HasSubstr(c.reason));
        const bool overwritable = c.then == Then::kPlaceTaken || c.then == Then::kChanged;
        EXPECT_EQ(ReadWholeFile(p.song), c.back ? "old bytes" : overwritable ? "the user's" : "");
        if (c.kind == Kind::kTrash && c.back) {
            EXPECT_TRUE(fs::is_empty(p.dir.File("data/Trash/info")));
        }
        // Taken back once: the next undo finds nothing, and nothing is
        // offered for it.
        EXPECT_EQ(p.journal.LastDone(), "");
        ActionReport again;
        EXPECT_EQ(UndoLast(p.journal, p.trash, &again), E_NOTHING_TO_UNDO);
    }
}

TEST(FileActionsTest, AnInterruptedActionIsRolledBackAtTheNextStart) {
    enum class Kind { kTrash, kMove, kRewrite };
    for (const Kind kind : {Kind::kTrash, Kind::kMove, Kind::kRewrite}) {
        SCOPED_TRACE(static_cast<int>(kind));
        Place p;
        const std::string other = p.dir.File("music/b/other.mp3");
        Write(p.song, "song");
        Write(other, "other");
        {
            ActionJournal killed(p.dir.File("data/journal"));
            ASSERT_EQ(killed.Begin("act"), S_OK);
            ActionReport report;
            if (kind == Kind::kTrash) {
                CutTrash cut(p.dir.File("data/Trash"), killed, 1);
                ASSERT_EQ(TrashFiles(killed, cut, {p.song, other}, &report), S_OK);
                EXPECT_TRUE(cut.journaledFirst);
                EXPECT_FALSE(Exists(p.song));
            } else if (kind == Kind::kMove) {
                ASSERT_EQ(MoveFiles(killed, {p.song}, {p.music}, p.dir.File("aside"), &report),
                          S_OK);
                // The second move was cut while copying.
                killed.current()->steps.push_back({StepKind::kMove,
                                                   StepState::kPlanned,
                                                   other,
                                                   p.dir.File("aside/b/other.mp3"),
                                                   {},
                                                   {}});
                ASSERT_EQ(killed.Write(), S_OK);
                Write(PartialCopyName(p.dir.File("aside/b/other.mp3")), "oth");
            } else {
                ASSERT_EQ(killed.SaveBeforeRewrite(p.song), S_OK);
                Write(p.song, "so");  // cut in the middle
            }
            // No Complete: the run ends here.
        }
        ActionReport mended;
        ASSERT_EQ(MendInterrupted(p.journal, p.trash, &mended), S_OK);
        EXPECT_EQ(ReadWholeFile(p.song), "song");
        EXPECT_EQ(ReadWholeFile(other), "other");
        ASSERT_EQ(mended.files.size(), 1u);  // what never left is not news
        EXPECT_TRUE(mended.files[0].done);
        EXPECT_FALSE(Exists(PartialCopyName(p.dir.File("aside/b/other.mp3"))));
        if (kind == Kind::kTrash) {
            EXPECT_TRUE(fs::is_empty(p.dir.File("data/Trash/info")));
            EXPECT_TRUE(fs::is_empty(p.dir.File("data/Trash/files")));
        }
        // Mended once: a second start has nothing to do, and nothing to undo.
        ActionReport twice;
        EXPECT_EQ(MendInterrupted(p.journal, p.trash, &twice), S_OK);
        EXPECT_TRUE(twice.files.empty());
        EXPECT_EQ(UndoLast(p.journal, p.trash, &twice), E_NOTHING_TO_UNDO);
    }
}

TEST(FileActionsTest, MovesKeepTheirPathsAndNeverReplaceAFile) {
    struct Case {
        std::vector<std::string> files;
        std::vector<std::string> roots;
        std::vector<std::string> existing;
        std::vector<std::string> targets;
    } cases[] = {
        {{"/m/a/x.mp3"}, {"/m"}, {}, {"a/x.mp3"}},
        {{"/m/in/a/x.mp3"}, {"/m", "/m/in/"}, {}, {"a/x.mp3"}},
        {{"/elsewhere/x.mp3"}, {"/m"}, {}, {"x.mp3"}},
        {{"/m/a/x.mp3"}, {"/m"}, {"a/x.mp3", "a/x (2).mp3"}, {"a/x (3).mp3"}},
        {{"/p/x", "/q/x"}, {}, {}, {"x", "x (2)"}},
    };
    for (const Case& c : cases) {
        TempDir dir;
        for (const std::string& file : c.existing) {
            Write(dir.File("aside/" + file), "there");
        }
        std::vector<std::string> expected;
        for (const std::string& target : c.targets) {
            expected.push_back(dir.File("aside/" + target));
        }
        EXPECT_EQ(PlanMoves(c.files, c.roots, dir.File("aside")), expected) << c.files[0];
    }
}

TEST(FileActionsTest, AMoveAcrossFileSystemsCopiesSyncsAndComesBack) {
    TempDir memory(true);
    Place p;
    struct stat a {
    }, b{};
    if (stat(memory.path().c_str(), &a) != 0 || stat(p.dir.path().c_str(), &b) != 0 ||
        a.st_dev == b.st_dev) {
        GTEST_SKIP() << "no second file system for temporary folders (/dev/shm)";
    }
    const std::string song = memory.File("a/song.mp3");
    const std::string bytes(3 << 20, 'x');  // bigger than one copy step
    Write(song, bytes);
    chmod(song.c_str(), 0640);
    const struct timespec times[2] = {{1000000, 0}, {1234567, 890}};
    utimensat(AT_FDCWD, song.c_str(), times, 0);

    ASSERT_EQ(p.journal.Begin("move"), S_OK);
    ActionReport report;
    ASSERT_EQ(MoveFiles(p.journal, {song}, {memory.path()}, p.dir.File("aside"), &report), S_OK);
    ASSERT_EQ(p.journal.Complete(), S_OK);
    ASSERT_TRUE(report.files[0].done) << report.files[0].reason;
    const std::string target = p.dir.File("aside/a/song.mp3");
    EXPECT_FALSE(Exists(song));
    EXPECT_FALSE(Exists(PartialCopyName(target)));
    EXPECT_EQ(ReadWholeFile(target), bytes);
    struct stat moved {};
    ASSERT_EQ(stat(target.c_str(), &moved), 0);
    EXPECT_EQ(moved.st_mode & 07777, 0640u);
    EXPECT_EQ(moved.st_mtim.tv_sec, 1234567);

    ActionReport undone;
    ASSERT_EQ(UndoLast(p.journal, p.trash, &undone), S_OK);
    EXPECT_EQ(undone.Done(), 1u);
    EXPECT_EQ(ReadWholeFile(song), bytes);
    EXPECT_FALSE(Exists(target));
}

TEST(FileActionsTest, ACutJournalFileIsSetAsideNeverMisread) {
    Place p;
    Write(p.song, "song");
    ASSERT_EQ(p.journal.Begin("trash"), S_OK);
    ActionReport report;
    ASSERT_EQ(TrashFiles(p.journal, p.trash, {p.song}, &report), S_OK);
    ASSERT_EQ(p.journal.Complete(), S_OK);
    const std::string file = p.journal.ActionFile(1);
    const std::string whole = ReadWholeFile(file);
    ASSERT_FALSE(whole.empty());
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        Write(file, whole.substr(0, cut));
        size_t damaged = 0;
        EXPECT_TRUE(p.journal.Load(&damaged).empty()) << cut;
        EXPECT_EQ(damaged, 1u) << cut;
    }
}

}  // namespace
