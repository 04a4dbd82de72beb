// The Folders, Options and progress dialogs, driven through their widgets.
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSlider>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "compare_settings.h"
#include "dialog_test_helpers.h"
#include "folders_dlg.h"
#include "options_dlg.h"
#include "progress_dlg.h"
#include "settings_store.h"

namespace {

// ---- Folders ----

TEST(FoldersDlgTest, RemoveIsEnabledOnlyWithASelectedRow) {
    CFoldersDlg dialog({u"/music/a", u"/music/b"});
    dialog.show();
    EXPECT_FALSE(dialog.RemoveButton()->isEnabled());
    dialog.List()->setCurrentRow(1);
    EXPECT_TRUE(dialog.RemoveButton()->isEnabled());
    dialog.List()->clearSelection();
    EXPECT_FALSE(dialog.RemoveButton()->isEnabled());

    dialog.List()->setCurrentRow(0);
    dialog.RemoveButton()->click();
    ASSERT_EQ(dialog.List()->count(), 1);
    EXPECT_EQ(dialog.List()->item(0)->text(), "/music/b");
}

TEST(FoldersDlgTest, ChosenFoldersAreAppendedEvenTwice) {
    CFoldersDlg dialog({u"/music/a"});
    std::vector<QString> answers = {"/music/new", "", "/music/new"};
    QString title;
    dialog.SetBrowser([&](QWidget*, const QString& t, const QString&) {
        title = t;
        QString answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    });
    dialog.AddButton()->click();
    dialog.AddButton()->click();  // cancelled: nothing added
    dialog.AddButton()->click();
    EXPECT_EQ(title, "Select folder with music files (MP3,WMA,ASF,WAV,APE,FLA,WV,...)");
    dialog.accept();
    EXPECT_EQ(dialog.Folders(),
              (std::vector<std::u16string>{u"/music/a", u"/music/new", u"/music/new"}));
}

TEST(FoldersDlgTest, OkTakesTheRowsCancelKeepsTheList) {
    const std::vector<std::u16string> given = {u"/music/a", u"/music/b"};
    {
        CFoldersDlg dialog(given);
        dialog.ClearButton()->click();
        EXPECT_EQ(dialog.List()->count(), 0);
        dialog.reject();
        EXPECT_EQ(dialog.Folders(), given);
    }
    {
        CFoldersDlg dialog(given);
        dialog.ClearButton()->click();
        dialog.accept();
        EXPECT_TRUE(dialog.Folders().empty());
    }
    {
        // Long paths come back whole.
        const std::u16string longPath = u"/" + std::u16string(3000, u'x');
        CFoldersDlg dialog({longPath});
        dialog.accept();
        EXPECT_EQ(dialog.Folders(), std::vector<std::u16string>{longPath});
    }
}

// ---- Options ----

class OptionsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_saved = CurrentCompareSettings();
        ApplyCompareSettings(CompareSettings{3, false, 0.6f});
    }
    void TearDown() override { ApplyCompareSettings(m_saved); }

    QString Path() const { return m_dir.filePath("Harmonyfox.conf"); }
    // Whether the settings file holds any value.
    bool FileHasValues() const {
        return !QSettings(Path(), QSettings::IniFormat).allKeys().isEmpty();
    }

    QTemporaryDir m_dir;
    CompareSettings m_saved;
};

TEST_F(OptionsTest, SensitivityLabelFollowsTheSlider) {
    COptionsDlg dialog({}, 2, true, false, 0.6f);
    EXPECT_EQ(dialog.SensitivityLabel()->text(), "0.60");
    dialog.show();
    EXPECT_EQ(dialog.SensitivityLabel()->text(), "0.60");
    EXPECT_EQ(dialog.SensitivitySlider()->value(), 60);
    EXPECT_TRUE(dialog.MethodButton(2)->isChecked());
    EXPECT_TRUE(dialog.CheckUpdateBox()->isChecked());
    EXPECT_FALSE(dialog.AccurateBox()->isChecked());

    const std::pair<int, const char*> moves[] = {
        {75, "0.75"}, {5, "0.05"}, {100, "1.00"}, {0, "0.00"}};
    for (const auto& [position, text] : moves) {
        dialog.SensitivitySlider()->setValue(position);
        EXPECT_EQ(dialog.SensitivityLabel()->text(), text);
    }
    EXPECT_EQ(dialog.AccurateBox()->text(), "Enable experimental algorithm (very slow)");
}

TEST_F(OptionsTest, StoredSensitivityAboveOneSitsAtTheEnd) {
    COptionsDlg dialog({}, 3, true, false, 1.5f);
    EXPECT_EQ(dialog.SensitivitySlider()->value(), 100);
    EXPECT_EQ(dialog.SensitivityLabel()->text(), "1.00");
    dialog.accept();
    EXPECT_FLOAT_EQ(dialog.Sensitivity(), 1.0f);
}

TEST_F(OptionsTest, OkAppliesAndStoresTheControls) {
    SettingsStore store(Path());
    bool checkUpdate = true;
    WhenModal([](QWidget* modal) {
        auto* dialog = qobject_cast<COptionsDlg*>(modal);
        ASSERT_NE(dialog, nullptr);
        dialog->MethodButton(1)->setChecked(true);
        dialog->AccurateBox()->setChecked(true);
        dialog->StrictBox()->setChecked(true);
        dialog->CheckUpdateBox()->setChecked(false);
        dialog->SensitivitySlider()->setValue(42);
        dialog->accept();
    });
    EXPECT_TRUE(EditOptions(nullptr, store, &checkUpdate, {}));
    const CompareSettings now = CurrentCompareSettings();
    EXPECT_EQ(now.method, 1);
    EXPECT_TRUE(now.accurate);
    EXPECT_TRUE(g_strictCompare.load());
    EXPECT_FLOAT_EQ(now.sensitivity, 0.42f);
    EXPECT_FALSE(checkUpdate);
    // What the scan engine reads.
    EXPECT_EQ(g_compareMethod.load(), 1);
    EXPECT_TRUE(g_accurate.load());
    EXPECT_FLOAT_EQ(g_sensitivity.load(), 0.42f);

    SettingsStore reread(Path());
    EXPECT_EQ(reread.ReadCompareSettings().method, 1);
    EXPECT_TRUE(reread.ReadCompareSettings().strict);
    EXPECT_FLOAT_EQ(reread.ReadCompareSettings().sensitivity, 0.42f);
    EXPECT_FALSE(reread.ReadCheckUpdate());
}

TEST_F(OptionsTest, CancelChangesNothing) {
    SettingsStore store(Path());
    bool checkUpdate = true;
    WhenModal([](QWidget* modal) {
        auto* dialog = qobject_cast<COptionsDlg*>(modal);
        ASSERT_NE(dialog, nullptr);
        dialog->SensitivitySlider()->setValue(90);
        dialog->MethodButton(2)->setChecked(true);
        dialog->CheckUpdateBox()->setChecked(false);
        dialog->reject();
    });
    EXPECT_FALSE(EditOptions(nullptr, store, &checkUpdate, {}));
    const CompareSettings now = CurrentCompareSettings();
    EXPECT_EQ(now.method, 3);
    EXPECT_FLOAT_EQ(now.sensitivity, 0.6f);
    EXPECT_TRUE(checkUpdate);
    EXPECT_FALSE(FileHasValues());
}

TEST_F(OptionsTest, ClearCacheOnYesEmptiesTheCacheAndDiscardsEdits) {
    SettingsStore store(Path());
    bool checkUpdate = true;
    int resets = 0;
    QString asked;
    WhenModal([](QWidget* modal) {
        auto* dialog = qobject_cast<COptionsDlg*>(modal);
        ASSERT_NE(dialog, nullptr);
        dialog->SensitivitySlider()->setValue(10);
        dialog->AccurateBox()->setChecked(true);
        dialog->ClearCacheButton()->click();
    });
    const bool accepted = EditOptions(
        nullptr, store, &checkUpdate, [&resets] { ++resets; },
        [&asked](QWidget*, const QString& question) {
            asked = question;
            return true;
        });
    EXPECT_FALSE(accepted);
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(asked, "Clear internal cache ?");
    EXPECT_FLOAT_EQ(CurrentCompareSettings().sensitivity, 0.6f);
    EXPECT_FALSE(CurrentCompareSettings().accurate);
    EXPECT_FALSE(FileHasValues());
}

TEST_F(OptionsTest, ClearCacheOnNoKeepsTheDialogOpen) {
    int resets = 0;
    COptionsDlg dialog([&resets] { ++resets; }, 3, true, false, 0.75f);
    dialog.SetAsk([](QWidget*, const QString&) { return false; });
    dialog.show();
    dialog.ClearCacheButton()->click();
    EXPECT_EQ(resets, 0);
    EXPECT_TRUE(dialog.isVisible());
    // "Clean cache" is there only when the window can clean, and says what it did.
    EXPECT_FALSE(dialog.CleanCacheButton()->isVisible());
    int cleans = 0;
    dialog.SetCleanCache([&cleans] {
        ++cleans;
        return QStringLiteral("Dropped 2 entries");
    });
    dialog.CleanCacheButton()->click();
    EXPECT_EQ(cleans, 1);
    EXPECT_EQ(dialog.CleanCacheLabel()->text(), QStringLiteral("Dropped 2 entries"));
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(OptionsTest, TheRealQuestionBoxAsksWithYesAndNo) {
    int resets = 0;
    COptionsDlg dialog([&resets] { ++resets; }, 3, true, false, 0.75f);
    dialog.show();
    QString caption;
    QString text;
    WhenModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        caption = box->windowTitle();
        text = box->text();
        box->button(QMessageBox::Yes)->click();
    });
    dialog.ClearCacheButton()->click();
    EXPECT_EQ(caption, "Question");
    EXPECT_EQ(text, "Clear internal cache ?");
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(OptionsTest, WithoutOwnerClearCacheOnlyCloses) {
    COptionsDlg dialog({}, 3, true, false, 0.75f);
    dialog.SetAsk([](QWidget*, const QString&) { return true; });
    dialog.show();
    dialog.ClearCacheButton()->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

// ---- Progress band ----

TEST(ProgressDlgTest, CountersAndBar) {
    struct Case {
        ProgressCounts counts;
        const char* shown;  // cached, new, skipped, found
        int percent;
    };
    const Case cases[] = {
        {{50, 120, 20, 10, 7}, "20 10 7 120", 30},
        {{0, 0, 0, 0, 0}, "0 0 0 0", 0},
        {{9, 3, 3, 0, 0}, "3 0 0 3", 100},
        {{0, 2000000000, 1000000000, 400000000, 100000000},
         "1000000000 400000000 100000000 "
         "2000000000",
         75},
    };
    CProgressDlg band;
    for (const Case& c : cases) {
        band.Refresh(c.counts);
        const QString shown = band.CachedLabel()->text() + ' ' + band.NewLabel()->text() + ' ' +
                              band.SkippedLabel()->text() + ' ' + band.FoundLabel()->text();
        EXPECT_EQ(shown, c.shown);
        EXPECT_EQ(band.Bar()->value(), c.percent) << c.shown;
    }
}

TEST(ProgressDlgTest, EmptyUntilTheFirstRefresh) {
    CProgressDlg band;
    EXPECT_EQ(band.Bar()->value(), 0);
    EXPECT_TRUE(band.CachedLabel()->text().isEmpty());
    EXPECT_TRUE(band.SkippedLabel()->text().isEmpty());
    // The first refresh writes even zeros.
    band.Refresh({});
    EXPECT_EQ(band.CachedLabel()->text(), "0");
}

}  // namespace
