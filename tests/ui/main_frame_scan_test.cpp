// The main window running the real scan engine: folders chosen in the
// Folders dialog are walked by the worker pool through a fake decoder
// plug-in, and the pairs reach the list as rows; the cache file is loaded at
// creation and a cache that cannot be opened is reported.
#include <gtest/gtest.h>
#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "compare_settings.h"
#include "folders_dlg.h"
#include "main_frame.h"
#include "not_duplicates_dlg.h"
#include "options_dlg.h"
#include "progress_dlg.h"
#include "result_actions.h"
#include "results_model.h"
#include "results_view.h"
#include "scan_state.h"
#include "settings_store.h"
#include "skipped_files_dlg.h"
#include "test_files.h"
#include "test_trash.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kSongLength = 22050 * 17;  // long enough for a fingerprint
// Only a guard against a hang; the scan takes a fraction of it.
constexpr int kScanGuardMs = 120000;

class MainFrameScanTest : public ::testing::Test {
  protected:
    void SetUp() override {
        stopRequested.store(0);
        InstallPlugins(temp.File("plugins"), {"fake_high"});
        fs::create_directories(temp.File("music/a"));
        fs::create_directories(temp.File("music/b"));
    }
    void TearDown() override {
        frame.reset();
        ApplyCompareSettings(CompareSettings{});
        // The window stops the engine for good; the next test starts afresh.
        stopRequested.store(0);
    }

    FrameStartup Startup(const std::string& cachePath) {
        FrameStartup startup;
        startup.cachePath = cachePath;
        startup.pluginFolder = temp.File("plugins");
        startup.settingsPath = QString::fromStdString(temp.File("settings.ini"));
        startup.allowUpdateCheck = false;
        startup.desktop.message = [this](QWidget*, const QString& text, const QString&,
                                         QMessageBox::Icon) { messages.push_back(text); };
        return startup;
    }

    // The Folders dialog, when it opens, adds "music" and is confirmed.
    void ChooseMusicFolderInTheDialog() {
        frame->SetFolderDialogForTests(
            [this](QWidget*, const QString&, const QString&) {
                return QString::fromStdString(temp.File("music"));
            },
            [](QDialog* dialog) {
                static_cast<CFoldersDlg*>(dialog)->AddFolder();
                dialog->done(QDialog::Accepted);
                return true;
            });
    }

    void WriteSong(const std::string& path, uint32_t seed) {
        WriteFakeAudio(path, {{"title", "Song " + std::to_string(seed)}},
                       ToPcm16(Piece(kSongLength, seed)));
    }

    TempDir temp;
    std::unique_ptr<CMainFrame> frame;
    std::vector<QString> messages;
};

TEST_F(MainFrameScanTest, ChosenFoldersAreScannedAndTheirPairsListed) {
    WriteSong(temp.File("music/a/one.raw"), 7);
    WriteSong(temp.File("music/b/copy of one.raw"), 7);
    WriteSong(temp.File("music/b/other.raw"), 99);
    QFile::remove(QString::fromStdString(temp.File("cache.dat")));

    frame = std::make_unique<CMainFrame>(Startup(temp.File("cache.dat")));
    ASSERT_TRUE(messages.empty());
    ApplyCompareSettings(CompareSettings{kCompareContent, false, 0.75f});
    ChooseMusicFolderInTheDialog();
    frame->Command(ID_FILE_OPEN);

    QDeadlineTimer guard(kScanGuardMs);
    while ((frame->ScanRunning() || frame->model()->rowCount() == 0) && !guard.hasExpired()) {
        QTest::qWait(20);
    }
    QTest::qWait(300);  // the idle refresh and any last posted pairs
    ASSERT_EQ(frame->model()->rowCount(), 1);
    const DuplicatePair& pair = frame->model()->Record(0);
    const std::string a = temp.File("music/a/one.raw");
    const std::string b = temp.File("music/b/copy of one.raw");
    EXPECT_TRUE((U16ToBytes(pair.path1) == a && U16ToBytes(pair.path2) == b) ||
                (U16ToBytes(pair.path1) == b && U16ToBytes(pair.path2) == a));
    EXPECT_GT(pair.contentPercent, 0.0f);
    EXPECT_EQ(frame->progress()->FoundLabel()->text(), QStringLiteral("3"));
    EXPECT_EQ(frame->progress()->NewLabel()->text(), QStringLiteral("3"));
    EXPECT_EQ(frame->progress()->Bar()->value(), 100);
}

// Scan (F5) and Stop (Esc), the status bar through a scan and a deletion, the
// skipped files and their window, and the list rebuilt when the options change.
TEST_F(MainFrameScanTest, ScanStopSkippedFilesAndTheStatusBar) {
    WriteSong(temp.File("music/a/one.raw"), 7);
    WriteSong(temp.File("music/b/copy of one.raw"), 7);
    WriteSong(temp.File("music/b/other.raw"), 99);
    WriteFakeAudio(temp.File("music/clip.raw"), {}, ToPcm16(Piece(22050 * 10, 3)));
    WriteFakeAudioBytes(temp.File("music/notes.flac"), {}, "");
    std::ofstream(temp.File("music/notes.txt")) << "not audio";
    FrameStartup startup = Startup(temp.File("cache.dat"));
    startup.desktop.confirm = [](QWidget*, const QString&) { return true; };
    startup.trash = std::make_shared<CTestTrash>(temp.File("trash"), nullptr);
    startup.journalFolder = temp.File("journal");
    frame = std::make_unique<CMainFrame>(startup);
    ApplyCompareSettings(CompareSettings{kCompareContent, false, 0.75f});
    EXPECT_EQ(frame->statusText(), QStringLiteral("Ready"));
    EXPECT_TRUE(frame->list()->hint().contains(QStringLiteral("choose the folders")));

    // Scan without remembered folders asks for them.
    ChooseMusicFolderInTheDialog();
    auto waitForScan = [this] {
        QDeadlineTimer guard(kScanGuardMs);
        while (frame->session().phase() == ScanPhase::kScanning && !guard.hasExpired()) {
            QTest::qWait(20);
        }
        QTest::qWait(300);
    };
    const QRegularExpression over(
        QStringLiteral("^6 files, 1 duplicate pair, 3 skipped, \\d+\\.\\d s$"));
    frame->Command(ID_SCAN);
    EXPECT_EQ(frame->statusText(), QStringLiteral("Scanning\u2026"));
    waitForScan();
    EXPECT_TRUE(over.match(frame->statusText()).hasMatch()) << frame->statusText().toStdString();
    CProgressDlg* band = frame->progress();
    EXPECT_EQ(band->NewLabel()->text() + band->CachedLabel()->text() +
                  band->SkippedLabel()->text() + band->FoundLabel()->text(),
              QStringLiteral("3036"));

    frame->Command(ID_VIEW_SKIPPED);
    ASSERT_NE(frame->skippedWindow(), nullptr);
    EXPECT_EQ(frame->skippedWindow()->Table()->rowCount(), 3);
    frame->skippedWindow()->Copy();
    const QString copied = QApplication::clipboard()->text();
    EXPECT_TRUE(copied.contains(QString::fromStdString(temp.File("music/clip.raw")) +
                                QStringLiteral("\tshorter than 15 s of music\n")))
        << copied.toStdString();
    EXPECT_EQ(copied.count(QLatin1Char('\n')), 3);

    // Again from the cache: the counts add up the other way.
    frame->Command(ID_SCAN);
    waitForScan();
    EXPECT_TRUE(over.match(frame->statusText()).hasMatch()) << frame->statusText().toStdString();
    EXPECT_EQ(band->NewLabel()->text() + band->CachedLabel()->text(), QStringLiteral("03"));

    // Stop keeps what was listed and says so.
    frame->Command(ID_SCAN);
    frame->Command(ID_STOP);
    EXPECT_TRUE(frame->statusText().startsWith(QStringLiteral("Stopped: ")));
    waitForScan();
    EXPECT_TRUE(frame->statusText().startsWith(QStringLiteral("Stopped: ")));

    // Other options rebuild the list at once.
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<COptionsDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->SensitivitySlider()->setValue(50);
        dialog->accept();
    });
    frame->Command(ID_OPTIONS);
    EXPECT_EQ(frame->session().phase(), ScanPhase::kScanning);
    waitForScan();
    ASSERT_EQ(frame->model()->rowCount(), 1);

    // A deleted file leaves the counts of the status bar and the toolbar alike.
    frame->list()->selectRow(0);
    ASSERT_TRUE(frame->detailsShown());
    frame->Command(ID_DELETE_LEFT);
    EXPECT_EQ(frame->model()->rowCount(), 0);
    EXPECT_TRUE(
        frame->statusText().startsWith(QStringLiteral("5 files, 0 duplicate pairs, 3 skipped")))
        << frame->statusText().toStdString();
    EXPECT_EQ(band->FoundLabel()->text(), QStringLiteral("5"));
    EXPECT_FALSE(frame->detailsShown());
}

// A pair said to be "Not duplicates" stays out of the list in every later scan
// and after a restart, while the other pairs keep coming in, each once, in
// the place the sort by File #1 gives them.
TEST_F(MainFrameScanTest, APairSaidNotDuplicatesStaysOutThroughRescansAndARestart) {
    constexpr uint32_t kPieces = 5;
    for (uint32_t piece = 1; piece <= kPieces; ++piece) {
        WriteSong(temp.File("music/a/p" + std::to_string(piece) + ".raw"), piece);
        WriteSong(temp.File("music/b/p" + std::to_string(piece) + ".raw"), piece);
    }
    FrameStartup startup = Startup(temp.File("cache.dat"));
    startup.notDuplicatesPath = temp.File("not-duplicates.txt");
    auto open = [&] {
        frame.reset();
        stopRequested.store(0);
        frame = std::make_unique<CMainFrame>(startup);
        ApplyCompareSettings(CompareSettings{kCompareContent, false, 0.75f});
    };
    auto waitForScan = [this] {
        QDeadlineTimer guard(kScanGuardMs);
        while (frame->session().phase() == ScanPhase::kScanning && !guard.hasExpired()) {
            QTest::qWait(20);
        }
        // The pairs the workers posted before they fell idle.
        QCoreApplication::sendPostedEvents(frame.get());
    };
    // The listed pairs, each as its two paths in order; File #1 of every row.
    auto listed = [this] {
        std::vector<std::string> pairs;
        std::vector<std::string> firsts;
        for (int row = 0; row < frame->model()->rowCount(); ++row) {
            std::string a = U16ToBytes(frame->model()->Record(row).path1);
            std::string b = U16ToBytes(frame->model()->Record(row).path2);
            firsts.push_back(a);
            pairs.push_back(std::min(a, b) + " ~ " + std::max(a, b));
        }
        std::sort(pairs.begin(), pairs.end());
        return std::make_pair(pairs, firsts);
    };

    open();
    ChooseMusicFolderInTheDialog();
    frame->Command(ID_FILE_OPEN);
    waitForScan();
    ASSERT_EQ(frame->model()->rowCount(), static_cast<int>(kPieces));
    // The pair that came first: in the next scans it comes before pairs that are listed.
    frame->list()->selectRow(frame->model()->FindRow(0));
    frame->Command(ID_NOT_DUPLICATES);
    const std::vector<std::string> expected = listed().first;
    ASSERT_EQ(expected.size(), kPieces - 1);

    // The sort holds for later scans; File #1 from A.
    frame->SortByColumn(kColumnFile1);
    constexpr int kRescans = 5;
    for (int scan = 0; scan <= kRescans; ++scan) {
        SCOPED_TRACE(scan == kRescans ? "after a restart" : "rescan " + std::to_string(scan));
        if (scan == kRescans) {
            open();
            frame->SortByColumn(kColumnFile1);
        }
        ASSERT_EQ(frame->model()->SortColumn(), kColumnFile1);
        ASSERT_FALSE(frame->model()->SortReverse());
        frame->Command(ID_SCAN);
        waitForScan();
        const auto [pairs, firsts] = listed();
        EXPECT_EQ(pairs, expected);
        EXPECT_TRUE(std::is_sorted(firsts.begin(), firsts.end()));
    }

    // Taken back, the pair returns to its place in the sort.
    frame->SetFolderDialogForTests({}, [](QDialog* dialog) {
        auto* remembered = static_cast<CNotDuplicatesDlg*>(dialog);
        remembered->Table()->selectRow(0);
        remembered->TakeBackButton()->click();
        return true;
    });
    frame->resultActions()->ShowNotDuplicatesDialog();
    const auto [pairs, firsts] = listed();
    EXPECT_EQ(pairs.size(), kPieces);
    EXPECT_TRUE(std::is_sorted(firsts.begin(), firsts.end()));
}

TEST_F(MainFrameScanTest, ACacheThatCannotBeOpenedIsReportedAndTheWindowStillWorks) {
    const std::string blocked = temp.File("not-a-folder");
    WriteFakeAudioBytes(blocked, {}, "x");  // a file where the cache's folder should be
    frame = std::make_unique<CMainFrame>(Startup(blocked + "/cache.dat"));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], QStringLiteral("Can't open cache file"));
    EXPECT_EQ(frame->progress()->CachedLabel()->text(), QStringLiteral("0"));
}

}  // namespace
