// The main window driven through its real widgets on the offscreen platform:
// pairs arriving as posted messages, sorting by header clicks, marking by
// clicks on the mark images, deletion with the trash pointed at a temporary
// folder, and the playlist's bytes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QSettings>
#include <QTest>

#include <cmath>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "folders_dlg.h"
#include "main_frame.h"
#include "results_filter_bar.h"
#include "results_model.h"
#include "results_view.h"
#include "settings_store.h"
#include "test_files.h"
#include "test_frame.h"

namespace {

using ::testing::ElementsAre;

DuplicatePair Pair(const std::string& path1, const std::string& path2, float content,
                   float tags = 50.0f, float experimental = kExperimentalNotRequested) {
    DuplicatePair pair;
    pair.path1 = U16(path1);
    pair.path2 = U16(path2);
    pair.contentPercent = content;
    pair.tagPercent = tags;
    pair.experimentalPercent = experimental;
    return pair;
}

DuplicatePair Update(const std::string& path1, const std::string& path2, float experimental) {
    DuplicatePair pair = Pair(path1, path2, 0.0f, 0.0f, experimental);
    pair.isUpdate = true;
    return pair;
}

// A window with the engine and the network kept still, whose trash is a
// folder of the test and whose questions and messages are answered here.
class MainFrameTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(QDir().mkpath(TrashFolder()));
        FrameStartup startup = QuietStartup(temp, &trashed, &failTrash);
        startup.desktop = TestDesktop();
        frame = std::make_unique<CMainFrame>(std::move(startup));
        frame->resize(1000, 600);
        frame->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
    }

    DesktopActions TestDesktop() {
        DesktopActions desktop;
        desktop.confirm = [this](QWidget*, const QString& question) {
            questions.push_back(question);
            return answerYes;
        };
        desktop.askPlaylistPath = [this](QWidget*) { return playlistPath; };
        desktop.message = [this](QWidget*, const QString& text, const QString&, QMessageBox::Icon) {
            messages.push_back(text);
        };
        desktop.openUrl = [this](const QUrl& url) { opened.push_back(url); };
        return desktop;
    }

    QString TrashFolder() const { return QString::fromStdString(temp.File("trash/files")); }

    // Hands pairs over as a worker does and lets the window take them.
    void Deliver(std::vector<DuplicatePair> pairs) {
        {
            std::lock_guard<std::mutex> hold(frame->scan().pairsLock);
            for (auto& pair : pairs) {
                frame->scan().PendingPairs.push_back(std::move(pair));
            }
        }
        frame->scan().Post(WM_PAIRS_READY);
        QCoreApplication::sendPostedEvents(frame.get());
    }

    // Real files in the temporary folder, one per name.
    std::string MakeFile(const std::string& name) {
        const std::string path = temp.File(name);
        QFile file(QString::fromStdString(path));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("x");
        return path;
    }

    QString Cell(int row, int column) const {
        return frame->model()->index(row, column).data().toString();
    }

    std::vector<std::string> Column1() const {
        std::vector<std::string> paths;
        for (int row = 0; row < frame->model()->rowCount(); ++row) {
            paths.push_back(Cell(row, kColumnFile1).toStdString());
        }
        return paths;
    }

    void ClickHeader(int column) {
        QHeaderView* header = frame->list()->horizontalHeader();
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }

    void ClickCell(int row, int column, bool onImage) {
        CResultsView* list = frame->list();
        const QRect cell = list->visualRect(frame->model()->index(row, column));
        const QPoint at = onImage ? IconRect(cell).center() : LabelRect(cell).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    }

    void SelectRow(int row) {
        frame->list()->selectRow(row);
        frame->list()->setCurrentIndex(frame->model()->index(row, kColumnContent));
    }

    TempDir temp;
    std::unique_ptr<CMainFrame> frame;
    std::vector<std::string> trashed;
    std::vector<QString> questions;
    std::vector<QString> messages;
    std::vector<QUrl> opened;
    QString playlistPath;
    bool answerYes = true;
    bool failTrash = false;
};

TEST_F(MainFrameTest, PairsBecomeRowsWithTheirFigures) {
    struct Case {
        float content;
        float experimental;
        const char* contentText;
        const char* experimentalText;
    };
    const Case cases[] = {
        {87.34f, -100.0f, "87.3%", "n/a"},
        {100.0f, -1.0f, "100.0%", "wait"},
        {75.05f, -0.5f, "75.1%", "wait"},
        {80.0f, 0.0f, "80.0%", "0.0%"},
        {90.0f, 42.25f, "90.0%", "42.2%"},
        {91.0f, -1.5f, "91.0%", "n/a"},
        {92.0f, kExperimentalFailed, "92.0%", "failed"},
    };
    std::vector<DuplicatePair> pairs;
    for (size_t i = 0; i < std::size(cases); ++i) {
        pairs.push_back(Pair("/m/a" + std::to_string(i), "/m/b" + std::to_string(i),
                             cases[i].content, 12.0f, cases[i].experimental));
    }
    Deliver(pairs);
    ASSERT_EQ(frame->model()->rowCount(), static_cast<int>(std::size(cases)));
    for (size_t i = 0; i < std::size(cases); ++i) {
        const int row = static_cast<int>(i);
        SCOPED_TRACE(row);
        EXPECT_EQ(Cell(row, kColumnFile1), QString::fromStdString("/m/a" + std::to_string(i)));
        EXPECT_EQ(Cell(row, kColumnContent), QString::fromLatin1(cases[i].contentText));
        EXPECT_EQ(Cell(row, kColumnTags), QStringLiteral("12.0%"));
        EXPECT_EQ(Cell(row, kColumnExperimental), QString::fromLatin1(cases[i].experimentalText));
        EXPECT_EQ(Cell(row, kColumnFile2), QString::fromStdString("/m/b" + std::to_string(i)));
    }

    frame->scan().Post(WM_CLEAR_PAIRS);
    QCoreApplication::sendPostedEvents(frame.get());
    EXPECT_EQ(frame->model()->rowCount(), 0);
    EXPECT_TRUE(frame->results().empty());
}

// Workers hand pairs over from their own threads; none is lost or doubled.
TEST_F(MainFrameTest, PairsPostedFromWorkerThreadsAllArrive) {
    constexpr int kThreads = 4;
    constexpr int kPerThread = 250;
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t) {
        workers.emplace_back([this, t] {
            for (int i = 0; i < kPerThread; ++i) {
                {
                    std::lock_guard<std::mutex> hold(frame->scan().pairsLock);
                    frame->scan().PendingPairs.push_back(
                        Pair("/t" + std::to_string(t) + "/" + std::to_string(i), "/x", 80.0f));
                }
                frame->scan().Post(WM_PAIRS_READY);
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    QCoreApplication::sendPostedEvents(frame.get());
    EXPECT_EQ(frame->model()->rowCount(), kThreads * kPerThread);
    std::set<std::string> distinct;
    for (const std::string& path : Column1()) {
        distinct.insert(path);
    }
    EXPECT_EQ(distinct.size(), static_cast<size_t>(kThreads * kPerThread));
}

TEST_F(MainFrameTest, LateFigureReplacesWaitAndReachesARecordWithoutRow) {
    const std::string a = MakeFile("a.mp3");
    const std::string b = MakeFile("b.mp3");
    const std::string c = MakeFile("c.mp3");
    // The update of the second pair comes in the same batch, after its pair.
    Deliver({Pair(a, b, 90.0f, 10.0f, -1.0f), Pair(c, a, 80.0f, 10.0f, -1.0f), Update(c, a, 33.3f),
             Update("/nowhere", b, 50.0f)});
    EXPECT_EQ(Cell(0, kColumnExperimental), QStringLiteral("wait"));
    EXPECT_EQ(Cell(1, kColumnExperimental), QStringLiteral("33.3%"));

    // A figure that failed says so; once none can arrive, no cell waits.
    Deliver({Update(a, b, kExperimentalFailed)});
    EXPECT_EQ(Cell(0, kColumnExperimental), QStringLiteral("failed"));
    Deliver({Pair(b, c, 70.0f, 10.0f, -1.0f)});
    frame->model()->SetPendingFigures(CResultsModel::PendingFigures::kStopped);
    EXPECT_EQ(Cell(2, kColumnExperimental), QStringLiteral("stopped"));
    frame->model()->SetPendingFigures(CResultsModel::PendingFigures::kMayArrive);
    frame->model()->RemoveRows({2});

    Deliver({Update(a, b, 61.0f)});
    EXPECT_EQ(Cell(0, kColumnExperimental), QStringLiteral("61.0%"));
    EXPECT_FLOAT_EQ(frame->results()[0].experimentalPercent, 61.0f);

    // After its row went, a figure only changes the record.
    SelectRow(0);
    frame->Command(ID_DELETE_RIGHT);  // b: only in row 0
    ASSERT_EQ(frame->model()->rowCount(), 1);
    Deliver({Update(a, b, 12.0f)});
    EXPECT_FLOAT_EQ(frame->results()[0].experimentalPercent, 12.0f);
    EXPECT_EQ(Cell(0, kColumnExperimental), QStringLiteral("33.3%"));
}

TEST_F(MainFrameTest, HeaderClicksSortAndTheSameColumnAgainReverses) {
    Deliver({Pair("/m/b", "/x/1", 80.0f), Pair("/m/c", "/x/2", 95.5f), Pair("/m/a", "/x/3", 77.0f),
             Pair("/m/d", "/x/4", 95.5f)});
    SelectRow(2);  // "/m/a"
    ClickHeader(kColumnContent);
    EXPECT_EQ(frame->sortState(), kColumnContent * 2);
    EXPECT_THAT(Column1(), ElementsAre("/m/c", "/m/d", "/m/b", "/m/a"));
    ClickHeader(kColumnContent);
    EXPECT_EQ(frame->sortState(), kColumnContent * 2 + 1);
    EXPECT_THAT(Column1(), ElementsAre("/m/a", "/m/b", "/m/c", "/m/d"));
    // The selection stays with its pair.
    EXPECT_EQ(frame->list()->selectionModel()->selectedRows().value(0).row(), 0);

    // The first click on "File #1" sorts it ascending, the next descending.
    ClickHeader(kColumnFile1);
    EXPECT_THAT(Column1(), ElementsAre("/m/a", "/m/b", "/m/c", "/m/d"));
    ClickHeader(kColumnFile1);
    EXPECT_THAT(Column1(), ElementsAre("/m/d", "/m/c", "/m/b", "/m/a"));
}

// The file columns sort by the whole path, case aside, whatever the column's
// width shortens on screen; a sort holds for rows that arrive later, through
// a filter and across a new scan, and an order that is no sort drops the arrow.
TEST_F(MainFrameTest, ASortHoldsForLaterRowsAndNewScans) {
    Deliver({Pair("/aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa/zebra.mp3", "/x", 80.0f),
             Pair("/bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb/Apple.mp3", "/y", 80.0f)});
    frame->list()->setColumnWidth(kColumnFile1, 120);
    ClickHeader(kColumnFile1);
    EXPECT_THAT(Column1(), ElementsAre("/aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa/zebra.mp3",
                                       "/bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb/Apple.mp3"));

    QHeaderView* header = frame->list()->horizontalHeader();
    struct Case {
        int column;
        int clicks;
        std::vector<DuplicatePair> later;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {kColumnContent,
         1,
         {Pair("/m/c", "/x", 50.0f), Pair("/m/d", "/x", 99.0f)},
         {"/m/d", "/m/a", "/m/b", "/m/c"}},
        {kColumnContent,
         2,
         {Pair("/m/c", "/x", 50.0f), Pair("/m/d", "/x", 99.0f)},
         {"/m/c", "/m/b", "/m/a", "/m/d"}},
        {kColumnFile1,
         1,
         {Pair("/m/C", "/x", 50.0f), Pair("/m/0", "/x", 99.0f)},
         {"/m/0", "/m/a", "/m/b", "/m/C"}},
        {kColumnFile2,
         2,
         {Pair("/m/c", "/z", 50.0f), Pair("/m/d", "/a", 99.0f)},
         {"/m/c", "/m/a", "/m/b", "/m/d"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.column << " " << c.clicks);
        frame->scan().Post(WM_CLEAR_PAIRS);
        QCoreApplication::sendPostedEvents(frame.get());
        Deliver({Pair("/m/a", "/x/2", 80.0f), Pair("/m/b", "/x/1", 70.0f)});
        while (frame->sortState() / 2 != c.column || (frame->sortState() % 2) + 1 != c.clicks) {
            ClickHeader(c.column);
        }
        // Later rows, one by one and as a batch, go to their places.
        Deliver({c.later[0]});
        Deliver({c.later[1]});
        EXPECT_THAT(Column1(), testing::ElementsAreArray(c.expected));
        EXPECT_TRUE(header->isSortIndicatorShown());
        EXPECT_EQ(header->sortIndicatorSection(), c.column);
    }
    // A new scan keeps the sort; the filter hides and brings back in order.
    frame->scan().Post(WM_CLEAR_PAIRS);
    QCoreApplication::sendPostedEvents(frame.get());
    Deliver({Pair("/m/b", "/x/1", 70.0f), Pair("/m/a", "/z", 80.0f), Pair("/m/c", "/a", 0.0f)});
    EXPECT_THAT(Column1(), ElementsAre("/m/a", "/m/b", "/m/c"));
    // The filter bar above the list: text in either path, and no pair of 0 % content.
    CResultsFilterBar* filter = frame->filterBar();
    QTest::keyClicks(filter->TextBox(), QStringLiteral("/X/"));
    EXPECT_THAT(Column1(), ElementsAre("/m/b"));
    filter->TextBox()->setText(QStringLiteral("/M/"));
    filter->TagOnlySwitch()->click();
    EXPECT_THAT(Column1(), ElementsAre("/m/a", "/m/b"));
    QTest::keyClicks(filter->TextBox(), QStringLiteral("nowhere"));
    EXPECT_EQ(frame->model()->rowCount(), 0);
    EXPECT_EQ(frame->list()->hint(), QStringLiteral("No pair matches the filter."));
    filter->TextBox()->clear();
    filter->TagOnlySwitch()->click();
    EXPECT_THAT(Column1(), ElementsAre("/m/a", "/m/b", "/m/c"));
    frame->model()->Reorder({2, 1, 0});
    EXPECT_FALSE(header->isSortIndicatorShown());
}

TEST_F(MainFrameTest, ClickOnTheMarkImageTogglesIt) {
    Deliver({Pair("/m/a", "/m/b", 90.0f), Pair("/m/c", "/m/d", 90.0f)});
    auto image = [this](int row, int column) {
        return frame->model()->index(row, column).data(CResultsModel::ImageRole).toInt();
    };
    ClickCell(1, kColumnFile2, true);
    EXPECT_EQ(image(1, kColumnFile2), kImageMarked);
    EXPECT_EQ(image(1, kColumnFile1), kImageUnmarked);
    // A click on the text selects without marking.
    ClickCell(0, kColumnFile1, false);
    EXPECT_EQ(image(0, kColumnFile1), kImageUnmarked);
    EXPECT_TRUE(frame->detailsShown());
    ClickCell(1, kColumnFile2, true);
    EXPECT_EQ(image(1, kColumnFile2), kImageUnmarked);
    // A click below the last row hides the details.
    QTest::mouseClick(frame->list()->viewport(), Qt::LeftButton, {},
                      QPoint(20, frame->list()->viewport()->height() - 5));
    EXPECT_FALSE(frame->detailsShown());
}

TEST_F(MainFrameTest, DeleteMarkedRemovesEveryRowOfAFileThatWent) {
    const std::string a = MakeFile("a.mp3"), b = MakeFile("b.mp3"), c = MakeFile("c.mp3"),
                      d = MakeFile("d.mp3"), e = MakeFile("e.mp3"), f = MakeFile("f.mp3");
    // Rows: (a,b) (c,d) (e,a) (a,f) (b,c).
    Deliver({Pair(a, b, 90.0f), Pair(c, d, 90.0f), Pair(e, a, 90.0f), Pair(a, f, 90.0f),
             Pair(b, c, 90.0f)});

    // Nothing marked: not even a question.
    frame->Command(ID_DELETE_MARKED);
    EXPECT_TRUE(questions.empty());

    // a marked through row 3 (its right file); c through rows 2 and 5.
    frame->model()->SetImage(2, kColumnFile2, kImageMarked);
    frame->model()->SetImage(1, kColumnFile1, kImageMarked);
    frame->model()->SetImage(4, kColumnFile2, kImageMarked);

    answerYes = false;
    frame->Command(ID_DELETE_MARKED);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_TRUE(questions[0].contains(QString::fromStdString(a)));
    EXPECT_TRUE(questions[0].contains(QString::fromStdString(c)));
    EXPECT_TRUE(trashed.empty());
    EXPECT_EQ(frame->model()->rowCount(), 5);

    answerYes = true;
    frame->Command(ID_DELETE_MARKED);
    // Each file once.
    EXPECT_THAT(trashed, ElementsAre(a, c));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(a)));
    EXPECT_TRUE(QFile::exists(TrashFolder() + "/a.mp3"));
    // Every row holds a or c, row 1 (a,b) above a's mark included.
    EXPECT_TRUE(Column1().empty());
}

// Rows that the filter hides leave with their deleted file, one by one or marked.
TEST_F(MainFrameTest, DeletedFilesTakeTheRowsTheFilterHides) {
    const std::string a = MakeFile("a.mp3"), b = MakeFile("b.mp3"), c = MakeFile("c.mp3"),
                      d = MakeFile("d.mp3");
    Deliver({Pair(a, b, 90.0f), Pair(c, a, 90.0f), Pair(d, b, 90.0f), Pair(c, d, 90.0f)});
    frame->filterBar()->TextBox()->setText(QStringLiteral("b.mp3"));
    ASSERT_EQ(frame->model()->rowCount(), 2);
    frame->model()->SetImage(0, kColumnFile1, kImageMarked);  // a
    frame->Command(ID_DELETE_MARKED);
    SelectRow(0);
    frame->Command(ID_DELETE_LEFT);  // d
    frame->filterBar()->TextBox()->clear();
    EXPECT_EQ(frame->model()->rowCount(), 0);
}

// The question runs an event loop, in which posted pairs keep arriving and a
// new scan may clear the list.
TEST_F(MainFrameTest, TheListMayChangeWhileTheQuestionIsOpen) {
    const std::string a = MakeFile("a.mp3"), b = MakeFile("b.mp3"), c = MakeFile("c.mp3");
    Deliver({Pair(a, b, 90.0f), Pair(c, "/m/x", 90.0f)});
    std::function<void()> duringQuestion;
    frame->SetDesktopForTests([&] {
        DesktopActions desktop = TestDesktop();
        desktop.confirm = [&](QWidget*, const QString&) {
            duringQuestion();
            return true;
        };
        return desktop;
    }());

    // Many new pairs (m_results grows and moves) while deleting b; the new
    // rows that hold b go as well.
    SelectRow(0);
    duringQuestion = [&] {
        std::vector<DuplicatePair> more;
        for (int i = 0; i < 500; ++i) {
            more.push_back(Pair("/m/n" + std::to_string(i), i == 499 ? b : "/m/y", 50.0f));
        }
        Deliver(more);
    };
    frame->Command(ID_DELETE_RIGHT);
    EXPECT_THAT(trashed, ElementsAre(b));
    EXPECT_EQ(frame->model()->rowCount(), 500);

    // A new scan clears the list while the question is open: its row of the
    // file that went leaves too.
    frame->model()->SetImage(0, kColumnFile1, kImageMarked);  // c
    duringQuestion = [&] {
        frame->scan().Post(WM_CLEAR_PAIRS);
        QCoreApplication::sendPostedEvents(frame.get());
        Deliver({Pair(c, "/m/z", 70.0f)});
    };
    frame->Command(ID_DELETE_MARKED);
    EXPECT_THAT(trashed, ElementsAre(b, c));
    EXPECT_TRUE(Column1().empty());
}

TEST_F(MainFrameTest, RowsStayForFilesThatDidNotGoToTheTrash) {
    const std::string a = MakeFile("a.mp3"), b = MakeFile("b.mp3");
    Deliver({Pair(a, b, 90.0f), Pair(b, "/m/z", 90.0f)});
    frame->model()->SetImage(0, kColumnFile1, kImageMarked);
    failTrash = true;
    frame->Command(ID_DELETE_MARKED);
    EXPECT_EQ(frame->model()->rowCount(), 2);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].contains(QString::fromStdString(a)));

    SelectRow(1);
    frame->Command(ID_DELETE_LEFT);
    EXPECT_EQ(frame->model()->rowCount(), 2);
    EXPECT_EQ(messages.size(), 2u);
}

TEST_F(MainFrameTest, DeletingOneFileRemovesEveryRowWithItOnEitherSide) {
    const std::string a = MakeFile("a.mp3"), b = MakeFile("b.mp3"), c = MakeFile("c.mp3");
    Deliver({Pair(a, b, 90.0f), Pair(c, a, 90.0f), Pair(b, c, 90.0f), Pair(a, c, 90.0f)});
    SelectRow(1);
    frame->Command(ID_DELETE_RIGHT);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_TRUE(questions[0].contains(QString::fromStdString(a)));
    EXPECT_THAT(trashed, ElementsAre(a));
    EXPECT_THAT(Column1(), ElementsAre(b));
    EXPECT_FALSE(frame->detailsShown());
}

TEST_F(MainFrameTest, PlayAndFolderOpenTheRightPlaces) {
    Deliver({Pair("/music/x/left.mp3", "right.mp3", 90.0f), Pair("/top.mp3", "/m/b.mp3", 90.0f)});
    frame->Command(ID_PLAY_LEFT);  // no row selected: nothing
    EXPECT_TRUE(opened.empty());
    SelectRow(0);
    frame->Command(ID_PLAY_LEFT);
    frame->Command(ID_EXPLORE_LEFT);
    frame->Command(ID_EXPLORE_RIGHT);  // a path without '/': nothing
    frame->Command(ID_PLAY_RIGHT);
    SelectRow(1);
    frame->Command(ID_EXPLORE_LEFT);
    EXPECT_THAT(opened, ElementsAre(QUrl::fromLocalFile("/music/x/left.mp3"),
                                    QUrl::fromLocalFile("/music/x"),
                                    QUrl::fromLocalFile("right.mp3"), QUrl::fromLocalFile("/")));
}

TEST_F(MainFrameTest, DoubleClickPlaysTheFileOfItsColumn) {
    Deliver({Pair("/m/left.mp3", "/m/right.mp3", 90.0f)});
    CResultsView* list = frame->list();
    auto doubleClick = [&](int column) {
        const QRect cell = list->visualRect(frame->model()->index(0, column));
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, LabelRect(cell).center());
    };
    doubleClick(kColumnFile2);
    doubleClick(kColumnContent);
    doubleClick(kColumnFile1);
    EXPECT_THAT(opened, ElementsAre(QUrl::fromLocalFile("/m/right.mp3"),
                                    QUrl::fromLocalFile("/m/left.mp3")));
}

TEST_F(MainFrameTest, RightClickOffersTheMenuOfItsColumn) {
    Deliver({Pair("/m/left.mp3", "/m/right.mp3", 90.0f)});
    CResultsView* list = frame->list();
    struct Case {
        int column;
        QStringList items;
    };
    const Case cases[] = {
        {kColumnFile1,
         {"Play", "Open folder", "", "Keep this one", "Mark all in this folder",
          "Unmark all in this folder", "", "Delete", "", "Not duplicates"}},
        {kColumnTags,
         {"Play left", "Play right", "", "Delete left", "Delete right", "", "Not duplicates"}},
        {kColumnFile2,
         {"Play", "Open folder", "", "Keep this one", "Mark all in this folder",
          "Unmark all in this folder", "", "Delete", "", "Not duplicates"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.column);
        const QPoint at = list->visualRect(frame->model()->index(0, c.column)).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(list->viewport(), &event);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        QStringList items;
        for (QAction* action : menu->actions()) {
            items << action->text();
        }
        EXPECT_EQ(items, c.items);
        if (c.column == kColumnFile2) {
            // "Open folder" of the right file opens its folder.
            list->selectRow(0);
            menu->actions()[1]->trigger();
            EXPECT_THAT(opened, ElementsAre(QUrl::fromLocalFile("/m")));
        }
        menu->close();
    }
}

TEST_F(MainFrameTest, PlaylistFollowsTheShownOrderAndLeavesOutTooLongPaths) {
    const std::string tooLong = "/" + std::string(1023, 'n');  // 1024 bytes: no room for the zero
    const std::string longest = "/" + std::string(1022, 'k');  // 1023 bytes: fits
    Deliver({Pair("/m/low.mp3", "/m/\xC3\xA9t\xC3\xA9.mp3", 70.0f),
             Pair(tooLong, "/m/partner.mp3", 99.0f), Pair("/m/high.mp3", longest, 95.0f),
             Pair("/m/mid.mp3", tooLong, 80.0f), Pair("/m/high.mp3", "/m/low.mp3", 60.0f)});
    ClickHeader(kColumnContent);  // largest first

    // Every file once, where its first row puts it.
    const std::string expected = "#EXTM3U\r\n/m/partner.mp3\r\n/m/high.mp3\r\n" + longest +
                                 "\r\n/m/mid.mp3\r\n/m/low.mp3\r\n/m/\xC3\xA9t\xC3\xA9.mp3\r\n";
    EXPECT_EQ(frame->PlaylistBytes(), expected);

    playlistPath = QString::fromStdString(temp.File("Duplicates.m3u"));
    frame->Command(ID_FILE_SAVE);
    QFile saved(playlistPath);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll().toStdString(), expected);
    // The paths left out are counted.
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral("1 path left out")))
        << messages[0].toStdString();

    // A folder that cannot be written to is reported.
    playlistPath = QStringLiteral("/nonexistent-folder/Duplicates.m3u");
    frame->Command(ID_FILE_SAVE);
    EXPECT_EQ(messages.size(), 2u);
}

TEST_F(MainFrameTest, SavingAnEmptyListSaysSo) {
    playlistPath = QString::fromStdString(temp.File("never.m3u"));
    frame->Command(ID_FILE_SAVE);
    EXPECT_THAT(messages, ElementsAre(QStringLiteral("No data to generate playlist")));
    EXPECT_FALSE(QFile::exists(playlistPath));
}

TEST_F(MainFrameTest, FoldersDialogOkStartsAFreshListAndStoresTheFolders) {
    Deliver({Pair("/m/a", "/m/b", 90.0f)});
    std::vector<QString> browsed = {QStringLiteral("/music/one"), QStringLiteral("/music/two")};
    frame->SetFolderDialogForTests(
        [&](QWidget*, const QString&, const QString&) {
            QString next = browsed.front();
            browsed.erase(browsed.begin());
            return next;
        },
        [](QDialog* dialog) {
            auto* folders = static_cast<CFoldersDlg*>(dialog);
            folders->AddFolder();
            folders->AddFolder();
            folders->done(QDialog::Accepted);
            return true;
        });
    frame->Command(ID_FILE_OPEN);
    QCoreApplication::sendPostedEvents(frame.get());
    EXPECT_EQ(frame->model()->rowCount(), 0);
    EXPECT_THAT(frame->folders(), ElementsAre(u"/music/one", u"/music/two"));
    EXPECT_THAT(frame->settings().ReadFolders(), ElementsAre(u"/music/one", u"/music/two"));

    // Cancel changes nothing; OK on an emptied list stores no folders.
    frame->SetFolderDialogForTests({}, [](QDialog*) { return false; });
    frame->Command(ID_FILE_OPEN);
    EXPECT_EQ(frame->folders().size(), 2u);
    frame->SetFolderDialogForTests({}, [](QDialog* dialog) {
        auto* folders = static_cast<CFoldersDlg*>(dialog);
        folders->ClearFolders();
        folders->done(QDialog::Accepted);
        return true;
    });
    frame->Command(ID_FILE_OPEN);
    EXPECT_TRUE(frame->folders().empty());
    EXPECT_TRUE(frame->settings().ReadFolders().empty());
    EXPECT_EQ(frame->settings().Settings().value("Folders").toString(), QString());
}

TEST_F(MainFrameTest, ColumnsKeepTheirSharesWhenTheWindowIsResized) {
    CResultsView* list = frame->list();
    const int widths[] = {300, 100, 100, 100, 400, 100};
    for (int column = 0; column < kResultColumnCount; ++column) {
        list->setColumnWidth(column, widths[column]);
    }
    frame->resize(1120, 600);
    QCoreApplication::processEvents();
    const int room = frame->centralWidget()->width() - 20;
    for (int column = 0; column < kResultColumnCount; ++column) {
        SCOPED_TRACE(column);
        EXPECT_EQ(list->columnWidth(column), std::max(room * widths[column] / 1100, 40));
    }
    // Narrow: the figures stop at 40 pixels.
    frame->resize(300, 600);
    QCoreApplication::processEvents();
    EXPECT_EQ(list->columnWidth(kColumnContent), 40);
}

TEST(ElidePathTest, ShowsTheLongestTailThatFits) {
    QFont font = QApplication::font();
    const QFontMetrics m(font);
    const QString path = QStringLiteral("/home/user/Music/Album/Track.mp3");
    const int full = m.horizontalAdvance(path);
    const auto labelFor = [&](const QString& text) { return m.horizontalAdvance(text) + 6; };
    struct Case {
        QString path;
        int label;
        QString shown;
    };
    const Case cases[] = {
        {path, full + 6, path},
        {path, 24, QString()},
        {QStringLiteral("/a"), 24, QString()},
        {path, labelFor(QStringLiteral("\u2026/Album/Track.mp3")),
         QStringLiteral("\u2026/Album/Track.mp3")},
        {path, labelFor(QStringLiteral("\u2026/Track.mp3")), QStringLiteral("\u2026/Track.mp3")},
        {path, 26, QStringLiteral("\u2026/Track.mp3")},  // nothing fits: the last tail
        {QStringLiteral("no-slash-at-all-in-this-name.mp3"), 30,
         QStringLiteral("no-slash-at-all-in-this-name.mp3")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(ElidePath(c.path, c.label, m), c.shown);
    }
}

// The quick elider must show exactly what measuring every text would show,
// or the sort would compare other texts than the list shows.
TEST(ElidePathTest, QuickEliderAgreesWithMeasuring) {
    const QFont font = QApplication::font();
    const QFontMetrics metrics(font);
    const CPathElider elider(font);
    const QString paths[] = {
        QStringLiteral("/home/user/Music/Artist 407/Album 1706/19 - Track 18.mp3"),
        QStringLiteral("/media/WWWW/MMMMMMMM/iiiiiiii/llll/AVAVAVAV To Ty.flac"),
        QStringLiteral("/m/\u00c9t\u00e9/Caf\u00e9 del Mar/\u00d8resund.wma"),
        QStringLiteral("/\u0645\u0648\u0633\u064a\u0642\u0649/\u0623\u063a\u0646\u064a\u0629.mp3"),
        QStringLiteral("/\u97f3\u697d/\u30a2\u30eb\u30d0\u30e0/\u66f2.mp3"),
        QStringLiteral("no-slash-at-all.mp3"),
        QStringLiteral("/"),
    };
    for (const QString& path : paths) {
        for (int width = 0; width < 700; width += 3) {
            SCOPED_TRACE(testing::Message() << path.toStdString() << " " << width);
            ASSERT_EQ(elider.Elide(path, width), ElidePath(path, width, metrics));
        }
    }
}

// A figure must read on every bar colour and on the usual selection colours:
// the text colour chosen keeps at least the contrast ratio that the web's
// accessibility rules ask of body text (4.5 : 1).
TEST(PaintBarTest, FigureTextStandsOutFromWhatIsBehindIt) {
    auto luminance = [](const QColor& c) {
        auto linear = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
    };
    auto contrast = [&](const QColor& a, const QColor& b) {
        const double la = luminance(a);
        const double lb = luminance(b);
        return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
    };
    std::vector<QColor> backgrounds = {Qt::white,
                                       Qt::black,
                                       QColor(48, 140, 198),
                                       QColor(61, 174, 233),
                                       QColor(0, 120, 215),
                                       QColor(184, 220, 255),
                                       QColor(242, 242, 242)};
    for (int column : {kColumnContent, kColumnTags, kColumnExperimental}) {
        for (float value = 0.0f; value <= 100.0f; value += 0.5f) {
            backgrounds.push_back(BarColour(value, column));
        }
    }
    for (const QColor& background : backgrounds) {
        EXPECT_GE(contrast(TextColourOn(background), background), 4.5)
            << background.name().toStdString();
    }
    // The case that was seen: 47.7 % on the tags bar.
    EXPECT_EQ(TextColourOn(BarColour(47.7f, kColumnTags)), QColor(Qt::black));
}

// The bar against colours worked out by hand: white cells, figure 50.
TEST(PaintBarTest, OutlineAndFillFollowTheFigure) {
    struct Case {
        float value;
        int column;
        QSize cell;
        QRgb inside;   // a pixel in the left part of the filled area
        QRgb outline;  // a pixel of the top edge
        bool filledRight;
    };
    const QRgb white = qRgb(255, 255, 255);
    const QRgb grey = qRgb(200, 200, 200);
    const Case cases[] = {
        {50.0f, kColumnContent, {100, 20}, qRgb(170, 170, 255), grey, false},
        {50.9f, kColumnTags, {100, 20}, qRgb(170, 255, 170), grey, false},
        {100.0f, kColumnExperimental, {100, 20}, qRgb(255, 85, 85), grey, true},
        {0.0f, kColumnContent, {100, 20}, white, grey, false},
        {-1.0f, kColumnContent, {100, 20}, white, white, false},
        {50.0f, kColumnContent, {10, 20}, white, white, false},
        {50.0f, kColumnContent, {100, 10}, white, white, false},
        {130.0f, kColumnTags, {100, 20}, qRgb(85, 255, 85), grey, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.value << " " << c.column << " " << c.cell.width());
        QImage image(c.cell, QImage::Format_RGB32);
        image.fill(white);
        {
            QPainter painter(&image);
            PaintBar(&painter, QRect(QPoint(0, 0), c.cell), c.value, c.column);
        }
        const int midY = c.cell.height() / 2;
        EXPECT_EQ(image.pixel(3, midY), c.inside);
        EXPECT_EQ(image.pixel(c.cell.width() / 2, 1), c.outline);
        EXPECT_EQ(image.pixel(0, 0), white);
        if (c.cell.width() >= 11 && c.cell.height() >= 11 && c.value >= 0) {
            EXPECT_EQ(image.pixel(c.cell.width() - 3, midY) != white, c.filledRight);
        }
    }
}

}  // namespace
