// The main window running the real scan engine: folders chosen in the
// Folders dialog are walked by the worker pool through a fake decoder
// plug-in, and the pairs reach the list as rows; the cache file is loaded at
// creation and a cache that cannot be opened is reported.
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QTest>

#include <filesystem>
#include <memory>

#include "compare_settings.h"
#include "folders_dlg.h"
#include "main_frame.h"
#include "progress_dlg.h"
#include "results_model.h"
#include "scan_state.h"
#include "settings_store.h"
#include "test_files.h"

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
    frame->SetFolderDialogForTests(
        [this](QWidget*, const QString&, const QString&) {
            return QString::fromStdString(temp.File("music"));
        },
        [](QDialog* dialog) {
            static_cast<CFoldersDlg*>(dialog)->AddFolder();
            dialog->done(QDialog::Accepted);
            return true;
        });
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
    EXPECT_EQ(frame->statusText(), QStringLiteral("1 duplicate(s)"));
    EXPECT_EQ(frame->progress()->FilesLabel()->text(), QStringLiteral("3/3"));
    EXPECT_EQ(frame->progress()->CachedLabel()->text(), QStringLiteral("3"));
    EXPECT_EQ(frame->progress()->Bar()->value(), 100);
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
