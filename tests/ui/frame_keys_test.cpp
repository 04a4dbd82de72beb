// The window as a keyboard user meets it: every key of the menus reaches its
// command, the window comes back as it was left, counts read as English and
// German say them, "Keep this one" and the folder marks never leave a group
// without a copy, and Export writes the view shown. Driven through the real
// widgets on the offscreen platform.
#include <gtest/gtest.h>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QSplitter>
#include <QStatusBar>
#include <QTest>

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "details_wnd.h"
#include "group_model.h"
#include "main_frame.h"
#include "mark_state.h"
#include "result_actions.h"
#include "result_groups.h"
#include "results_model.h"
#include "results_view.h"
#include "scan_session.h"
#include "test_files.h"
#include "test_frame.h"
#include "translations.h"

namespace {

// Public: the cases of a table check through it.
class FrameKeysTest : public ::testing::Test {
  public:
    void SetUp() override {
        QDir().mkpath(QString::fromStdString(temp.File("ref")));
        Open();
    }

    // A window over this test's settings and remembered pairs; questions are
    // answered Yes, dialogs and the export path are the test's.
    void Open() {
        FrameStartup startup = QuietStartup(temp, &trashed);
        startup.notDuplicatesPath = temp.File("not-duplicates.txt");
        startup.desktop.confirm = [](QWidget*, const QString&) { return true; };
        startup.desktop.message = [this](QWidget*, const QString& text, const QString&,
                                         QMessageBox::Icon) { messages.push_back(text); };
        startup.desktop.askExportPath = [this](QWidget*) { return exportPath; };
        startup.desktop.openUrl = [](const QUrl&) {};
        startup.runDialog = [this](QDialog* dialog) {
            dialogs.push_back(dialog->metaObject()->className());
            return false;
        };
        frame.reset();
        frame = std::make_unique<CMainFrame>(std::move(startup));
        frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
        frame->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
        actions = frame->resultActions();
        actions->SetFolderSettings({{U16(temp.path()), FolderRole::kNormal},
                                    {U16(temp.File("ref")), FolderRole::kReference}});
    }

    // Content matches between files named by their place under the test's
    // folder ("ref/c" is c.mp3 in the reference folder), made on disk.
    void Deliver(const std::vector<std::pair<std::string, std::string>>& pairs) {
        {
            std::lock_guard<std::mutex> hold(frame->scan().pairsLock);
            for (const auto& [a, b] : pairs) {
                DuplicatePair pair;
                pair.path1 = U16(File(a));
                pair.path2 = U16(File(b));
                pair.contentPercent = 90.0f;
                pair.contentMatch = true;
                frame->scan().PendingPairs.push_back(pair);
            }
        }
        frame->scan().Post(WM_PAIRS_READY);
        QCoreApplication::sendPostedEvents(frame.get());
        actions->RegroupNow();
    }

    std::string File(const std::string& name) {
        const std::string path = temp.File(name + ".mp3");
        QFile file(QString::fromStdString(path));
        if (!file.exists() && file.open(QIODevice::WriteOnly)) {
            file.write("1234");
        }
        return path;
    }

    // The marked files by name, sorted.
    std::set<std::string> Marked() const {
        std::set<std::string> names;
        for (const std::u16string& path : actions->marks().Marked()) {
            names.insert(U16ToBytes(path).substr(temp.path().size() + 1));
        }
        return names;
    }

    // Each group as "keeper: others" by name, in the order shown.
    std::vector<std::string> Groups() const {
        std::vector<std::string> out;
        for (const std::vector<GroupMember>& group : actions->groups().Groups()) {
            std::string text;
            for (const GroupMember& m : group) {
                text += (text.empty()                  ? ""
                         : m.role == FileRole::kKeeper ? ""
                                                       : " ") +
                        U16ToBytes(m.path).substr(temp.path().size() + 1) +
                        (m.role == FileRole::kKeeper ? ":" : "");
            }
            out.push_back(text);
        }
        return out;
    }

    void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWidget* focus = QApplication::focusWidget() ? QApplication::focusWidget() : frame.get();
        QTest::keyClick(focus, static_cast<Qt::Key>(key), modifiers);
    }

    void SelectRow(int row) {
        CResultsView* view = actions->GroupViewShown() ? actions->groupView() : frame->list();
        view->setFocus();
        view->selectionModel()->setCurrentIndex(
            view->model()->index(row, 0),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }

    TempDir temp;
    std::unique_ptr<CMainFrame> frame;
    CResultActions* actions = nullptr;
    std::vector<std::string> trashed;
    std::vector<QString> messages;
    std::vector<std::string> dialogs;
    QString exportPath;
};

TEST_F(FrameKeysTest, EveryKeyReachesItsCommand) {
    struct Case {
        const char* name;
        int key;
        Qt::KeyboardModifiers modifiers;
        bool groups;  // in the group view, else the pair view
        int row;      // the selected row
        std::function<void(FrameKeysTest&)> check;
    };
    const Case cases[] = {
        {"Ctrl+A", Qt::Key_A, Qt::ControlModifier, false, 0,
         [](FrameKeysTest& t) {
             EXPECT_EQ(t.frame->list()->selectionModel()->selectedRows().size(), 2);
         }},
        {"Ctrl+A in groups", Qt::Key_A, Qt::ControlModifier, true, 0,
         [](FrameKeysTest& t) {
             EXPECT_EQ(t.actions->groupView()->selectionModel()->selectedRows().size(), 4);
         }},
        {"Delete", Qt::Key_Delete, Qt::NoModifier, false, 0,
         [](FrameKeysTest& t) { EXPECT_EQ(t.trashed, std::vector<std::string>{t.File("a")}); }},
        {"Ctrl+M", Qt::Key_M, Qt::ControlModifier, true, 0,
         [](FrameKeysTest& t) {
             EXPECT_EQ(t.Marked(), (std::set<std::string>{"b.mp3", "d.mp3"}));
         }},
        {"Ctrl+I", Qt::Key_I, Qt::ControlModifier, false, 0,
         [](FrameKeysTest& t) { EXPECT_EQ(t.Marked().size(), 4u); }},
        {"Insert", Qt::Key_Insert, Qt::NoModifier, false, 0,
         [](FrameKeysTest& t) { EXPECT_EQ(t.Marked(), std::set<std::string>{"a.mp3"}); }},
        {"Ctrl+K", Qt::Key_K, Qt::ControlModifier, true, 1,
         [](FrameKeysTest& t) {
             EXPECT_EQ(t.Groups(), (std::vector<std::string>{"b.mp3: a.mp3", "c.mp3: d.mp3"}));
         }},
        {"Ctrl+Alt+M", Qt::Key_M, Qt::ControlModifier | Qt::AltModifier, false, 0,
         [](FrameKeysTest& t) {
             // Every file lies in one folder: each group keeps its keeper.
             EXPECT_EQ(t.Marked(), (std::set<std::string>{"b.mp3", "d.mp3"}));
         }},
        {"Ctrl+2", Qt::Key_2, Qt::ControlModifier, false, 0,
         [](FrameKeysTest& t) { EXPECT_TRUE(t.actions->GroupViewShown()); }},
        {"Ctrl+1", Qt::Key_1, Qt::ControlModifier, true, 0,
         [](FrameKeysTest& t) { EXPECT_FALSE(t.actions->GroupViewShown()); }},
        {"Shift+F10", Qt::Key_F10, Qt::ShiftModifier, false, 0,
         [](FrameKeysTest&) { EXPECT_NE(QApplication::activePopupWidget(), nullptr); }},
        {"Menu in groups", Qt::Key_Menu, Qt::NoModifier, true, 0,
         [](FrameKeysTest&) { EXPECT_NE(QApplication::activePopupWidget(), nullptr); }},
        {"F1", Qt::Key_F1, Qt::NoModifier, false, 0,
         [](FrameKeysTest& t) { EXPECT_EQ(t.dialogs, std::vector<std::string>{"CHelpDlg"}); }},
        {"Ctrl+E", Qt::Key_E, Qt::ControlModifier, false, 0,
         [](FrameKeysTest& t) {
             QFile out(t.exportPath);
             ASSERT_TRUE(out.open(QIODevice::ReadOnly));
             EXPECT_TRUE(out.readAll().startsWith("path1,path2,"));
         }},
        {"Ctrl+Q", Qt::Key_Q, Qt::ControlModifier, false, 0,
         [](FrameKeysTest& t) { EXPECT_FALSE(t.frame->isVisible()); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        trashed.clear();
        dialogs.clear();
        exportPath = QString::fromStdString(temp.File("out.csv"));
        QFile::remove(exportPath);
        Open();
        Deliver({{"a", "b"}, {"c", "d"}});
        actions->ShowGroups(c.groups);
        SelectRow(c.row);
        Key(c.key, c.modifiers);
        c.check(*this);
        if (QWidget* popup = QApplication::activePopupWidget()) {
            popup->close();
        }
    }
}

TEST_F(FrameKeysTest, SizeDetailsHeightAndViewAreRememberedAcrossStarts) {
    Deliver({{"a", "b"}});
    frame->resize(900, 800);
    actions->ShowGroups(true);
    SelectRow(1);
    ASSERT_TRUE(frame->detailsShown());
    auto* splitter = frame->findChild<QSplitter*>();
    const int total = splitter->sizes().value(0) + splitter->sizes().value(1);
    splitter->setSizes({total - 520, 520});
    frame->close();

    Open();
    EXPECT_EQ(frame->size(), QSize(900, 800));
    EXPECT_TRUE(actions->GroupViewShown());
    Deliver({{"a", "b"}});
    SelectRow(1);
    ASSERT_TRUE(frame->detailsShown());
    EXPECT_EQ(frame->findChild<QSplitter*>()->sizes().value(1), 520);
}

TEST_F(FrameKeysTest, CountsTakeTheirPluralAndSizesSayMB) {
    const struct {
        const char* locale;
        std::vector<std::string> marked;  // names under the test folder
        const char* summary;
        ScanFigures figures;
        const char* status;
    } cases[] = {
        {"en_US", {}, "0 files marked", {1, 1, 0}, "1 file, 1 duplicate pair, 0 skipped"},
        {"en_US", {"a"}, "1 file marked, 0.0 MB", {2, 0, 1}, "2 files, 0 duplicate pairs, 1"},
        {"en_US", {"a", "b"}, "2 files marked", {0, 2, 0}, "0 files, 2 duplicate pairs"},
        {"de_DE", {"a"}, "1 Datei markiert, 0", {1, 1, 0}, "1 Datei, 1 Duplikatpaar, 0"},
        {"de_DE", {"a", "b"}, "2 Dateien markiert", {2, 2, 0}, "2 Dateien, 2 Duplikatpaare"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.locale + std::string(" ") + c.summary);
        const auto translators = InstallTranslations(QLocale(QString::fromLatin1(c.locale)));
        actions->UnmarkAll();
        for (const std::string& name : c.marked) {
            actions->marks().SetMarked(U16(File(name)), true);
        }
        EXPECT_TRUE(actions->marks().Summary().startsWith(QString::fromUtf8(c.summary)))
            << actions->marks().Summary().toStdString();
        EXPECT_TRUE(ScanStatusText(ScanPhase::kOver, c.figures, 1.0)
                        .startsWith(QString::fromUtf8(c.status)))
            << ScanStatusText(ScanPhase::kOver, c.figures, 1.0).toStdString();
    }
    EXPECT_EQ(FormatSize(4479590), QStringLiteral("4.27 MB"));
}

TEST_F(FrameKeysTest, KeepThisOneAndFolderMarksNeverLeaveAGroupWithoutACopy) {
    // One piece: a~b and a~ref/c; another: d~e, both in the test's folder.
    Deliver({{"a", "b"}, {"a", "ref/c"}, {"d", "e"}});
    actions->ShowGroups(true);
    EXPECT_EQ(Groups(), (std::vector<std::string>{"ref/c.mp3: a.mp3 b.mp3", "d.mp3: e.mp3"}));
    // The reference file shows its lock in both views.
    const int refRow = 0;
    EXPECT_EQ(actions->groupModel()->index(refRow, 0).data(CResultsModel::ImageRole).toInt(),
              kImageReference);
    EXPECT_EQ(frame->model()->index(1, kColumnFile2).data(CResultsModel::ImageRole).toInt(),
              kImageReference);

    // Space on the reference file says why nothing happened.
    SelectRow(refRow);
    Key(Qt::Key_Space);
    EXPECT_TRUE(Marked().empty());
    EXPECT_TRUE(frame->statusBar()->currentMessage().contains(QStringLiteral("reference folder")))
        << frame->statusBar()->currentMessage().toStdString();

    actions->MarkAllButKeepers();
    EXPECT_EQ(Marked(), (std::set<std::string>{"a.mp3", "e.mp3"}));
    // b leads: a, paired with it, is its copy; the reference file stays one.
    actions->KeepThisOne(U16(File("b")));
    EXPECT_EQ(Groups(), (std::vector<std::string>{"b.mp3: a.mp3 ref/c.mp3", "d.mp3: e.mp3"}));
    EXPECT_EQ(Marked(), (std::set<std::string>{"a.mp3", "e.mp3"}));
    actions->KeepThisOne(U16(File("a")));
    EXPECT_EQ(Marked(), (std::set<std::string>{"b.mp3", "e.mp3"}));
    // A reference file simply leads again, and is never marked.
    actions->KeepThisOne(U16(File("ref/c")));
    EXPECT_EQ(Groups().front(), "ref/c.mp3: a.mp3 b.mp3");
    EXPECT_EQ(Marked(), (std::set<std::string>{"a.mp3", "e.mp3"}));

    // Marking a whole folder spares d, the keeper whose copies all lie there.
    actions->UnmarkAll();
    actions->MarkFolder(U16(File("d")), true);
    EXPECT_EQ(Marked(), (std::set<std::string>{"a.mp3", "b.mp3", "e.mp3"}));
    actions->MarkFolder(U16(File("ref/c")), true);
    EXPECT_EQ(Marked().count("ref/c.mp3"), 0u);
    actions->MarkFolder(U16(File("a")), false);
    EXPECT_TRUE(Marked().empty());
}

TEST_F(FrameKeysTest, ExportWritesTheViewShownAndNeverOurFiles) {
    Deliver({{"a", "b,1"}, {"c", "d"}});
    QFile(QString::fromStdString(temp.File("not-duplicates.txt"))).open(QIODevice::WriteOnly);
    const struct {
        bool groups;
        const char* name;
        const char* start;
        int lines;
    } cases[] = {
        {false, "pairs.csv", "path1,path2,content_percent,", 3},
        {true, "groups.csv", "group,role,path,", 5},
        {true, "list.M3U", "#EXTM3U\r\n", 5},
        {false, "not-duplicates.txt", "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        messages.clear();
        actions->ShowGroups(c.groups);
        exportPath = QString::fromStdString(temp.File(c.name));
        frame->Command(ID_EXPORT);
        QFile out(exportPath);
        ASSERT_TRUE(out.open(QIODevice::ReadOnly));
        const QByteArray bytes = out.readAll();
        EXPECT_TRUE(bytes.startsWith(c.start)) << bytes.toStdString();
        EXPECT_EQ(bytes.count("\r\n"), c.lines);
        EXPECT_EQ(messages.size(), c.lines == 0 ? 1u : 0u);
    }
}

}  // namespace
