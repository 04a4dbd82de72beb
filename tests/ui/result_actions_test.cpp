// Marks that belong to files, the group view, safe deletion and the
// remembered "not duplicates", driven through the real window on the
// offscreen platform.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <QUrl>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "details_wnd.h"
#include "group_model.h"
#include "main_frame.h"
#include "mark_state.h"
#include "not_duplicates_dlg.h"
#include "pair_figures.h"
#include "result_actions.h"
#include "result_groups.h"
#include "results_model.h"
#include "results_view.h"
#include "test_files.h"
#include "test_frame.h"

namespace {

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

class ResultActionsTest : public ::testing::Test {
  protected:
    void SetUp() override { Open(); }

    // A window over this test's settings, trash and remembered pairs.
    void Open() {
        FrameStartup startup = QuietStartup(temp, &trashed);
        startup.notDuplicatesPath = temp.File("data/not-duplicates.txt");
        startup.desktop.confirm = [this](QWidget*, const QString& question) {
            questions.push_back(question);
            return answerYes;
        };
        startup.desktop.message = [this](QWidget*, const QString& text, const QString&,
                                         QMessageBox::Icon) { messages.push_back(text); };
        startup.desktop.openUrl = [this](const QUrl& url) { opened.push_back(url); };
        frame.reset();
        frame = std::make_unique<CMainFrame>(std::move(startup));
        frame->resize(1000, 600);
        frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
        actions = frame->resultActions();
    }

    // Files named by letters ("ab,bc" is the pairs a~b and b~c), made on disk.
    void Deliver(const std::string& pairs) {
        {
            std::lock_guard<std::mutex> hold(frame->scan().pairsLock);
            for (size_t i = 0; i + 1 < pairs.size(); i += 3) {
                DuplicatePair pair;
                pair.path1 = U16(File(pairs[i]));
                pair.path2 = U16(File(pairs[i + 1]));
                pair.contentPercent = 90.0f;
                pair.contentMatch = true;
                frame->scan().PendingPairs.push_back(pair);
            }
        }
        frame->scan().Post(WM_PAIRS_READY);
        QCoreApplication::sendPostedEvents(frame.get());
    }

    std::string File(char name) {
        const std::string path = temp.File(std::string(1, name) + ".mp3");
        if (!QFile::exists(QString::fromStdString(path))) {
            QFile file(QString::fromStdString(path));
            EXPECT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("1234");
        }
        return path;
    }
    std::u16string Path(char name) { return U16(File(name)); }

    // The letters of the marked files.
    std::string Marked() const {
        std::set<char> letters;
        for (const std::u16string& path : actions->marks().Marked()) {
            letters.insert(static_cast<char>(path[path.size() - 5]));
        }
        return std::string(letters.begin(), letters.end());
    }

    // Each listed pair as two sorted letters.
    std::vector<std::string> Rows() const {
        std::vector<std::string> rows;
        for (int row = 0; row < frame->model()->rowCount(); ++row) {
            const DuplicatePair& p = frame->model()->Record(row);
            std::string letters = {static_cast<char>(p.path1[p.path1.size() - 5]),
                                   static_cast<char>(p.path2[p.path2.size() - 5])};
            std::sort(letters.begin(), letters.end());
            rows.push_back(letters);
        }
        return rows;
    }

    // The letters of the files of the group view, row by row.
    std::string GroupRows() const {
        std::string letters;
        for (int row = 0; row < actions->groupModel()->rowCount(); ++row) {
            const std::u16string& path = actions->groupModel()->Member(row).path;
            letters += static_cast<char>(path[path.size() - 5]);
        }
        return letters;
    }

    bool ShowsMarked(CResultsView* view, int row, int column) const {
        return view->model()->index(row, column).data(CResultsModel::ImageRole).toInt() ==
               kImageMarked;
    }

    TempDir temp;
    std::unique_ptr<CMainFrame> frame;
    CResultActions* actions = nullptr;
    std::vector<std::string> trashed;
    std::vector<QString> questions;
    std::vector<QString> messages;
    std::vector<QUrl> opened;
    bool answerYes = true;
};

TEST_F(ResultActionsTest, AMarkBelongsToTheFileInEveryRowAndView) {
    Deliver("ab,ca,bc");
    CResultsView* list = frame->list();
    // A click on the mark of a in row 0 shows it marked in row 1 too.
    const QRect cell = list->visualRect(frame->model()->index(0, kColumnFile1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, IconRect(cell).center());
    EXPECT_TRUE(ShowsMarked(list, 1, kColumnFile2));
    EXPECT_FALSE(ShowsMarked(list, 1, kColumnFile1));
    EXPECT_EQ(actions->MarkSummary()->text(), QStringLiteral("1 file marked, 0.0 MB"));

    // Space flips the file of the current column of the selected row.
    list->setFocus();
    list->selectRow(2);
    list->setCurrentIndex(frame->model()->index(2, kColumnFile2));
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_EQ(Marked(), "ac");
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_EQ(Marked(), "a");

    // The group view shows the same marks, and Space there marks its rows.
    actions->ShowGroups(true);
    CResultsView* groups = actions->groupView();
    ASSERT_EQ(groups->model()->rowCount(), 3);
    for (int row = 0; row < 3; ++row) {
        const bool isA = actions->groupModel()->Member(row).path == Path('a');
        EXPECT_EQ(ShowsMarked(groups, row, kGroupColumnFile), isA) << row;
    }
    groups->setFocus();
    groups->selectAll();
    QTest::keyClick(groups, Qt::Key_Space);
    EXPECT_EQ(Marked(), "bc");
}

TEST_F(ResultActionsTest, KeepersLeadTheirGroupsAndReferenceFilesAreNeverMarked) {
    // a~b, b~c is one chain, so a matches the keeper c only through b;
    // d~e has e in a reference folder.
    actions->SetFolderSettings(
        {{U16(temp.path()), FolderRole::kNormal}, {U16(temp.File("ref")), FolderRole::kReference}});
    QDir().mkpath(QString::fromStdString(temp.File("ref")));
    Deliver("ab,bc");
    {
        std::lock_guard<std::mutex> hold(frame->scan().pairsLock);
        DuplicatePair pair;
        pair.path1 = Path('d');
        pair.path2 = U16(temp.File("ref/e.mp3"));
        pair.contentMatch = true;
        QFile(QString::fromStdString(temp.File("ref/e.mp3"))).open(QIODevice::WriteOnly);
        frame->scan().PendingPairs.push_back(pair);
    }
    frame->scan().Post(WM_PAIRS_READY);
    QCoreApplication::sendPostedEvents(frame.get());
    FileFacts best;
    best.bitrate = 320000;
    actions->groups().SetFactsForTests(Path('c'), best);

    actions->ShowGroups(true);
    const CGroupModel* model = actions->groupModel();
    std::vector<std::string> shown;
    for (int row = 0; row < model->rowCount(); ++row) {
        const GroupMember& m = model->Member(row);
        shown.push_back(
            std::string(FileRoleName(m.role)) + " " +
            U16ToBytes(m.path.substr(temp.path().size() + 1)) +
            (model->index(row, 0).data(Qt::FontRole).value<QFont>().bold() ? " bold" : ""));
    }
    EXPECT_THAT(shown, UnorderedElementsAre("keeper c.mp3 bold", "duplicate b.mp3", "linked a.mp3",
                                            "keeper ref/e.mp3 bold", "duplicate d.mp3"));

    actions->MarkAllButKeepers();
    EXPECT_EQ(Marked(), "bd");
    actions->MarkAllButKeepers(true);
    EXPECT_EQ(Marked(), "abd");
    EXPECT_FALSE(actions->marks().SetMarked(U16(temp.File("ref/e.mp3")), true));
    actions->InvertMarks();
    EXPECT_EQ(Marked(), "c");
    actions->UnmarkAll();
    EXPECT_EQ(Marked(), "");
}

// Verdicts are judged away from the window's thread and fill the list's
// column, the details and each grouped file's verdict against its keeper,
// the offset told from that file's side.
TEST_F(ResultActionsTest, VerdictsFillTheListTheDetailsAndTheGroups) {
    const auto write = [this](const std::string& name, const char* bytes) {
        QFile file(QString::fromStdString(temp.File(name)));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return U16(temp.File(name));
    };
    const std::u16string a = write("a.mp3", "same bytes");
    const std::u16string b = write("b.mp3", "same bytes");
    const std::u16string c = write("c.mp3", "other bytes");
    const std::u16string d = write("d.mp3", "d");
    const std::u16string e = write("e.mp3", "e");
    {
        std::lock_guard<std::mutex> hold(frame->scan().pairsLock);
        const auto add = [this](std::u16string p1, std::u16string p2, bool content, int shift) {
            DuplicatePair pair;
            pair.path1 = std::move(p1);
            pair.path2 = std::move(p2);
            pair.contentPercent = content ? 90.0f : 0.0f;
            pair.tagPercent = 50.0f;
            pair.contentMatch = content;
            pair.shift = shift;
            frame->scan().PendingPairs.push_back(pair);
        };
        add(d, e, false, 0);
        add(c, a, true, 7);
        add(a, b, true, 0);
    }
    frame->scan().Post(WM_PAIRS_READY);
    QCoreApplication::sendPostedEvents(frame.get());
    const auto verdicts = [this] {
        std::vector<std::string> out;
        for (int row = 0; row < frame->model()->rowCount(); ++row) {
            out.push_back(
                frame->model()->index(row, kColumnVerdict).data().toString().toStdString());
        }
        return out;
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return verdicts().back() != "\u2026"; }, 10000));
    EXPECT_THAT(verdicts(), ElementsAre("tags only", "shifted: starts 2.1 s later", "same file"));
    frame->SortByColumn(kColumnVerdict);
    EXPECT_THAT(verdicts(), ElementsAre("same file", "shifted: starts 2.1 s later", "tags only"));

    frame->list()->selectRow(1);
    EXPECT_TRUE(
        frame->figures()->Text()->text().contains("<b>Verdict:</b> shifted: starts 2.1 s later"));

    FileFacts best;
    best.bitrate = 320000;
    actions->groups().SetFactsForTests(a, best);
    actions->ShowGroups(true);
    const CGroupModel* model = actions->groupModel();
    std::vector<std::string> shown;
    for (int row = 0; row < model->rowCount(); ++row) {
        shown.push_back(U16ToBytes(model->Member(row).path.substr(temp.path().size() + 1)) + ": " +
                        model->index(row, kGroupColumnVerdict).data().toString().toStdString());
    }
    EXPECT_THAT(shown, UnorderedElementsAre(
                           "a.mp3: ", "b.mp3: same file", "c.mp3: shifted: starts 2.1 s earlier",
                           testing::StartsWith("d.mp3: "), testing::StartsWith("e.mp3: ")));
}

TEST_F(ResultActionsTest, DeleteMarkedNeverEmptiesAGroupAndEveryRowOfAGoneFileLeaves) {
    struct Case {
        bool keepKeepers;
        std::vector<std::string> trashed;
        std::vector<std::string> rows;
    };
    const Case cases[] = {
        {false, {}, {"ab", "bc", "de"}}, {true, {"a", "b", "d"}, {}},  // c, the keeper, stays alone
    };
    for (const Case& c : cases) {
        frame->scan().Post(WM_CLEAR_PAIRS);
        QCoreApplication::sendPostedEvents(frame.get());
        trashed.clear();
        questions.clear();
        Deliver("ab,bc,de");
        FileFacts best;
        best.bitrate = 320000;
        actions->groups().SetFactsForTests(Path('c'), best);
        // Every copy of a, b, c marked (b, the file that joins them, last);
        // only d of d~e.
        for (char f : std::string("acdb")) {
            actions->marks().SetMarked(Path(f), true);
        }
        answerYes = c.keepKeepers;
        frame->Command(ID_DELETE_MARKED);
        ASSERT_FALSE(questions.empty());
        EXPECT_TRUE(questions[0].contains(QStringLiteral("no copy in 1 group:")));
        EXPECT_TRUE(questions[0].contains(QString::fromStdString(File('c'))));
        std::vector<std::string> letters;
        for (const std::string& path : trashed) {
            letters.push_back(path.substr(path.size() - 5, 1));
        }
        EXPECT_EQ(letters, c.trashed) << c.keepKeepers;
        EXPECT_EQ(Rows(), c.rows) << c.keepKeepers;
        if (c.keepKeepers) {
            EXPECT_TRUE(QFile::exists(QString::fromStdString(File('c'))));
        }
    }
}

TEST_F(ResultActionsTest, NotDuplicatesSurviveARescanAndARestartAndCanBeTakenBack) {
    Deliver("ab,cd");
    frame->list()->selectRow(0);
    frame->Command(ID_NOT_DUPLICATES);
    EXPECT_THAT(Rows(), ElementsAre("cd"));

    frame->scan().Post(WM_CLEAR_PAIRS);
    QCoreApplication::sendPostedEvents(frame.get());
    Deliver("ab,cd");
    EXPECT_THAT(Rows(), ElementsAre("cd"));

    Open();
    Deliver("ba,cd");
    EXPECT_THAT(Rows(), ElementsAre("cd"));
    // A group's keeper row takes the whole group.
    actions->ShowGroups(true);
    actions->ForgetGroupRow(0);
    EXPECT_TRUE(Rows().empty());

    frame->SetFolderDialogForTests({}, [](QDialog* dialog) {
        auto* list = static_cast<CNotDuplicatesDlg*>(dialog);
        list->Table()->selectRow(0);  // the pair a~b
        list->TakeBackButton()->click();
        return true;
    });
    actions->ShowNotDuplicatesDialog();
    EXPECT_THAT(Rows(), ElementsAre("ab"));
    EXPECT_EQ(actions->notDuplicates().Pairs().size(), 1u);
}

TEST_F(ResultActionsTest, PlaylistListsEveryFileOnceInTheOrderOfTheViewShown) {
    Deliver("ab,bc,de,ca");
    FileFacts best;
    best.bitrate = 320000;
    actions->groups().SetFactsForTests(Path('c'), best);
    actions->groupModel()->SortGroups(kGroupColumnFile, false);
    for (const bool groups : {false, true}) {
        actions->ShowGroups(groups);
        const std::string bytes = frame->PlaylistBytes();
        std::string letters;
        for (size_t end = bytes.find(".mp3\r\n"); end != std::string::npos;
             end = bytes.find(".mp3\r\n", end + 1)) {
            letters += bytes[end - 1];
        }
        // Groups: row by row, the keeper c first.
        EXPECT_EQ(letters, groups ? GroupRows() : "abcde") << groups;
        EXPECT_EQ(letters.substr(0, 1), groups ? "c" : "a");
    }
}

TEST_F(ResultActionsTest, GroupsSortByTheKeepersSize) {
    Deliver("ab,cd,ef");
    // The larger file is kept: a (3 MB), d (9 MB), and of e and f, equal, e.
    const std::pair<char, uint64_t> sizes[] = {{'a', 3}, {'b', 1}, {'c', 2},
                                               {'d', 9}, {'e', 4}, {'f', 4}};
    for (const auto& [file, megabytes] : sizes) {
        FileFacts facts;
        facts.size = megabytes << 20;
        actions->groups().SetFactsForTests(Path(file), facts);
    }
    actions->ShowGroups(true);
    CGroupModel* model = actions->groupModel();
    const struct {
        bool descending;
        std::string rows;
    } cases[] = {{true, "dcefab"}, {false, "abefdc"}};
    for (const auto& c : cases) {
        model->SortGroups(kGroupColumnSize, c.descending);
        EXPECT_EQ(GroupRows(), c.rows) << c.descending;
    }
    EXPECT_EQ(model->index(0, kGroupColumnSize).data().toString(), QStringLiteral("3.0 MB"));
}

TEST_F(ResultActionsTest, DeletingOneFileAsksBeforeTheLastCopyAndNeverTakesAReferenceFile) {
    QDir().mkpath(QString::fromStdString(temp.File("ref")));
    const std::u16string reference = U16(temp.File("ref/r.mp3"));
    const struct {
        const char* name;
        std::string marked;  // letters
        bool otherGone;      // b removed behind the program's back
        bool yes;
        const char* question;  // how the question begins; null: none asked
        bool trashed;
    } cases[] = {
        {"another copy stays", "", false, true, "Move this file", true},
        {"the other copy is marked", "b", false, false, "This file is the last copy", false},
        {"the other copy is marked, deleted all the same", "b", false, true,
         "This file is the last copy", true},
        {"the other copy is gone", "", true, false, "This file is the last copy", false},
        {"a reference file", "", false, true, nullptr, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        frame->scan().Post(WM_CLEAR_PAIRS);
        QCoreApplication::sendPostedEvents(frame.get());
        actions->UnmarkAll();
        actions->SetFolderSettings({{U16(temp.path()), FolderRole::kNormal},
                                    {U16(temp.File("ref")), FolderRole::kReference}});
        Deliver("ab");
        {
            std::lock_guard<std::mutex> hold(frame->scan().pairsLock);
            DuplicatePair pair;
            pair.path1 = reference;
            pair.path2 = Path('c');
            pair.contentMatch = true;
            QFile(QString::fromStdString(temp.File("ref/r.mp3"))).open(QIODevice::WriteOnly);
            frame->scan().PendingPairs.push_back(pair);
        }
        frame->scan().Post(WM_PAIRS_READY);
        QCoreApplication::sendPostedEvents(frame.get());
        for (char f : c.marked) {
            actions->marks().SetMarked(Path(f), true);
        }
        if (c.otherGone) {
            QFile::remove(QString::fromStdString(File('b')));
        }
        questions.clear();
        messages.clear();
        trashed.clear();
        answerYes = c.yes;
        const bool onReference = c.question == nullptr;
        frame->list()->selectRow(onReference ? 1 : 0);
        frame->Command(ID_DELETE_LEFT);
        if (onReference) {
            EXPECT_TRUE(questions.empty());
            ASSERT_EQ(messages.size(), 1u);
            EXPECT_TRUE(messages[0].startsWith(QStringLiteral("Files in a reference folder")));
        } else {
            ASSERT_EQ(questions.size(), 1u);
            EXPECT_TRUE(questions[0].startsWith(QString::fromLatin1(c.question)))
                << questions[0].toStdString();
        }
        EXPECT_EQ(trashed.size(), c.trashed ? 1u : 0u);
        File('a');
        File('b');
    }
}

// Delete, Play and Open folder take the file of the selected row in the pair
// view and the group view alike: from the details pane's buttons, the Delete
// key and the context menu. After a deletion neither view nor the details
// pane offers a file that went.
TEST_F(ResultActionsTest, CommandsActOnTheSelectedFileInBothViews) {
    CResultsView* pairView = frame->list();
    CResultsView* groupView = actions->groupView();
    auto selectPairRow = [&](int row, int column) {
        pairView->selectRow(row);
        pairView->setCurrentIndex(frame->model()->index(row, column));
    };
    // The rows of these files, the first one current.
    auto selectGroupFiles = [&](const std::string& letters) {
        groupView->clearSelection();
        bool first = true;
        for (int row = 0; row < actions->groupModel()->rowCount(); ++row) {
            const std::u16string& path = actions->groupModel()->Member(row).path;
            if (letters.find(static_cast<char>(path[path.size() - 5])) == std::string::npos) {
                continue;
            }
            const QModelIndex index = actions->groupModel()->index(row, kGroupColumnFile);
            if (first) {
                groupView->setCurrentIndex(index);
            } else {
                groupView->selectionModel()->select(
                    index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
            }
            first = false;
        }
    };
    auto contextMenuItem = [&](const QString& text) {
        const QPoint at = groupView->visualRect(groupView->currentIndex()).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at,
                                groupView->viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(groupView->viewport(), &event);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        for (QAction* action : menu->actions()) {
            if (action->text() == text) {
                action->trigger();
            }
        }
        menu->close();
    };
    CDetailsWnd* pane = frame->details();
    // a~b, b~c and d~e, where c and e are the keepers.
    const struct {
        const char* name;
        std::function<void()> act;
        std::string trashed;
        std::string played;  // files played, or whose folder opened
        bool yes;
        size_t questions;
        bool reference = false;  // every file in a reference folder
    } cases[] = {
        {"pair view, Delete key in File #2",
         [&] {
             selectPairRow(1, kColumnFile2);
             QTest::keyClick(pairView, Qt::Key_Delete);
         },
         "c", "", true, 1},
        {"pair view, Delete key in a figure column, declined",
         [&] {
             selectPairRow(1, kColumnContent);
             QTest::keyClick(pairView, Qt::Key_Delete);
         },
         "", "", false, 1},
        {"group view, the pane's Delete under the other file",
         [&] {
             selectPairRow(0, kColumnFile1);  // a pair the group view does not show
             actions->ShowGroups(true);
             selectGroupFiles("d");
             pane->DeleteRightButton()->click();
         },
         "e", "", true, 1},
        {"group view, the pane's Play",
         [&] {
             actions->ShowGroups(true);
             selectGroupFiles("a");
             pane->PlayLeftButton()->click();
             pane->PlayRightButton()->click();
         },
         "", "ab", true, 0},
        {"group view, the keeper's row: its pair with the next copy",
         [&] {
             actions->ShowGroups(true);
             selectGroupFiles("e");
             pane->PlayLeftButton()->click();
         },
         "", "d", true, 0},
        {"group view, Open folder and Delete from the context menu",
         [&] {
             actions->ShowGroups(true);
             selectGroupFiles("b");
             contextMenuItem(QStringLiteral("Open folder"));
             contextMenuItem(QStringLiteral("Delete"));
         },
         "b", "/", true, 1},
        {"group view, Delete key on two copies",
         [&] {
             actions->ShowGroups(true);
             selectGroupFiles("ab");
             QTest::keyClick(groupView, Qt::Key_Delete);
         },
         "ab", "", true, 1},
        {"group view, Delete key on a whole group keeps its keeper",
         [&] {
             actions->ShowGroups(true);
             selectGroupFiles("abcd");
             QTest::keyClick(groupView, Qt::Key_Delete);
         },
         "abd", "", true, 2},
        {"group view, a whole group, declined",
         [&] {
             actions->ShowGroups(true);
             selectGroupFiles("de");
             QTest::keyClick(groupView, Qt::Key_Delete);
         },
         "", "", false, 1},
        {"group view, Delete key on files of a reference folder",
         [&] {
             actions->ShowGroups(true);
             selectGroupFiles("ab");
             QTest::keyClick(groupView, Qt::Key_Delete);
         },
         "", "", true, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        actions->ShowGroups(false);
        actions->SetFolderSettings(
            {{U16(temp.path()), c.reference ? FolderRole::kReference : FolderRole::kNormal}});
        frame->scan().Post(WM_CLEAR_PAIRS);
        QCoreApplication::sendPostedEvents(frame.get());
        Deliver("ab,bc,de");
        for (char f : std::string("abcde")) {
            FileFacts facts;
            facts.bitrate = f == 'c' || f == 'e' ? 320000 : 128000;
            actions->groups().SetFactsForTests(Path(f), facts);
        }
        actions->RegroupNow();
        trashed.clear();
        questions.clear();
        opened.clear();
        messages.clear();
        answerYes = c.yes;
        c.act();
        EXPECT_EQ(messages.size(), c.reference ? 1u : 0u);

        std::string letters;
        for (const std::string& path : trashed) {
            letters += path[path.size() - 5];
        }
        EXPECT_EQ(letters, c.trashed);
        EXPECT_EQ(questions.size(), c.questions);
        std::string played;
        for (const QUrl& url : opened) {
            const QString path = url.toLocalFile();
            played += path == QString::fromStdString(temp.path())
                          ? '/'
                          : path.at(path.size() - 5).toLatin1();
        }
        std::sort(played.begin(), played.end());
        EXPECT_EQ(played, c.played);
        // Whatever went is offered nowhere.
        for (char gone : c.trashed) {
            for (const std::string& row : Rows()) {
                EXPECT_EQ(row.find(gone), std::string::npos) << row;
            }
            EXPECT_EQ(GroupRows().find(gone), std::string::npos) << GroupRows();
        }
        if (!c.trashed.empty()) {
            EXPECT_FALSE(frame->detailsShown());
        }
        for (char f : std::string("abcde")) {
            File(f);
        }
    }
}

}  // namespace
