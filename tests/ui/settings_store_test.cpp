// The settings store against real settings files in a temporary folder.
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "dialog_test_helpers.h"
#include "settings_store.h"

namespace {

class SettingsStoreTest : public ::testing::Test {
  protected:
    QString Path() const { return m_dir.filePath(QStringLiteral("Harmonyfox.conf")); }

    // Writes a new settings file as a user might have edited it and returns
    // its path. Each file is new: QSettings caches files it has read.
    QString WriteFile(const QByteArray& text) {
        const QString path = m_dir.filePath(QStringLiteral("edited%1.conf").arg(++m_files));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[General]\n" + text);
        return path;
    }

    QTemporaryDir m_dir;
    int m_files = 0;
};

TEST_F(SettingsStoreTest, MissingFileGivesDefaults) {
    SettingsStore store(Path());
    const CompareSettings settings = store.ReadCompareSettings();
    EXPECT_EQ(settings.method, 3);
    EXPECT_FALSE(settings.accurate);
    EXPECT_FLOAT_EQ(settings.sensitivity, 0.75f);
    EXPECT_TRUE(store.ReadCheckUpdate());
    EXPECT_EQ(store.ReadLastUpdate(), 0u);
    EXPECT_TRUE(store.ReadFolders().empty());
    EXPECT_TRUE(store.CheckAccess());
}

TEST_F(SettingsStoreTest, NumbersFromTheFile) {
    struct Case {
        const char* line;
        int method;
        bool accurate;
        float sensitivity;
        bool checkUpdate;
        uint32_t lastUpdate;
    };
    const Case cases[] = {
        {"CompareMethod=1", 1, false, 0.75f, true, 0},
        {"CompareMethod=2", 2, false, 0.75f, true, 0},
        {"CompareMethod=0", 3, false, 0.75f, true, 0},
        {"CompareMethod=7", 3, false, 0.75f, true, 0},
        {"CompareMethod=-1", 3, false, 0.75f, true, 0},
        {"CompareMethod=two", 3, false, 0.75f, true, 0},
        {"CompareMethod=1.5", 3, false, 0.75f, true, 0},
        {"Accurate=5", 3, true, 0.75f, true, 0},
        {"Accurate=0", 3, false, 0.75f, true, 0},
        {"Accurate=true", 3, false, 0.75f, true, 0},
        {"Sensitivity=60", 3, false, 0.60f, true, 0},
        {"Sensitivity=0", 3, false, 0.0f, true, 0},
        {"Sensitivity=150", 3, false, 1.5f, true, 0},
        {"Sensitivity=high", 3, false, 0.75f, true, 0},
        {"Sensitivity=+60", 3, false, 0.75f, true, 0},
        {"CheckUpdate=1", 3, false, 0.75f, true, 0},
        {"CheckUpdate=2", 3, false, 0.75f, false, 0},
        {"CheckUpdate=0", 3, false, 0.75f, false, 0},
        {"CheckUpdate=yes", 3, false, 0.75f, true, 0},
        {"LastUpdate=4294967295", 3, false, 0.75f, true, 4294967295u},
        {"LastUpdate=4294967296", 3, false, 0.75f, true, 0},
        {"LastUpdate=-3", 3, false, 0.75f, true, 0},
    };
    for (const Case& c : cases) {
        SettingsStore store(WriteFile(QByteArray(c.line) + "\n"));
        const CompareSettings settings = store.ReadCompareSettings();
        EXPECT_EQ(settings.method, c.method) << c.line;
        EXPECT_EQ(settings.accurate, c.accurate) << c.line;
        EXPECT_FLOAT_EQ(settings.sensitivity, c.sensitivity) << c.line;
        EXPECT_EQ(store.ReadCheckUpdate(), c.checkUpdate) << c.line;
        EXPECT_EQ(store.ReadLastUpdate(), c.lastUpdate) << c.line;
    }
}

TEST_F(SettingsStoreTest, OptionsAreWrittenAndReadBack) {
    {
        SettingsStore store(Path());
        store.WriteOptions(false, CompareSettings{2, true, 0.6f, true});
    }
    SettingsStore store(Path());
    const CompareSettings settings = store.ReadCompareSettings();
    EXPECT_EQ(settings.method, 2);
    EXPECT_TRUE(settings.accurate);
    EXPECT_FLOAT_EQ(settings.sensitivity, 0.6f);
    EXPECT_TRUE(settings.strict);
    EXPECT_FALSE(store.ReadCheckUpdate());
    // A slider position of 60 is stored as 60, and the switches as 0 or 1.
    QSettings raw(Path(), QSettings::IniFormat);
    EXPECT_EQ(raw.value("Sensitivity").toString(), "60");
    EXPECT_EQ(raw.value("Accurate").toString(), "1");
    EXPECT_EQ(raw.value("StrictCompare").toString(), "1");
    EXPECT_EQ(raw.value("CheckUpdate").toString(), "0");
}

TEST_F(SettingsStoreTest, FolderTexts) {
    struct Case {
        QString text;
        std::vector<std::u16string> folders;
    };
    const Case cases[] = {
        {"", {}},
        {"\"/music/a\";\"/music/b\";", {u"/music/a", u"/music/b"}},
        // Anything between the quoted paths is ignored.
        {"\"/music/a\" junk ;; \"/music/b\"", {u"/music/a", u"/music/b"}},
        {"no quotes at all", {}},
        {"\"\";\"/x\";", {u"/x"}},
        {"\"/open/ended", {}},
        {"\"/say \"\"hi\"\"\";", {u"/say \"hi\""}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseFolders(c.text), c.folders) << c.text.toStdString();
    }
    EXPECT_EQ(FormatFolders({}), "");
    EXPECT_EQ(FormatFolders({u"/music/a", u"/music/b"}), "\"/music/a\";\"/music/b\";");
    // Leading units that look like byte-order marks stay what they are, as
    // do NULs and lone surrogates.
    const std::vector<std::u16string> odd = {std::u16string{0xFFFE, 0x7FFF, 0, 0, u'/', u'x'},
                                             std::u16string{0xFEFF, u'a'},
                                             std::u16string{0xD800, u'b'}};
    EXPECT_EQ(ParseFolders(FormatFolders(odd)), odd);
}

TEST_F(SettingsStoreTest, FoldersSurviveTheFile) {
    const std::vector<std::u16string> folders = {u"/music/a", u"/music/with, comma; and semicolon",
                                                 u"/music/\"quoted\"", u"/music/Björk – Ærø",
                                                 u"/music/a",
                                                 // A file name byte that is not UTF-8
                                                 // travels as a lone surrogate.
                                                 std::u16string(u"/music/caf") + char16_t(0xDCE9)};
    {
        SettingsStore store(Path());
        store.WriteFolders(folders);
    }
    SettingsStore store(Path());
    EXPECT_EQ(store.ReadFolders(), folders);

    store.WriteFolders({});
    EXPECT_EQ(QSettings(Path(), QSettings::IniFormat).value("Folders").toString(), "");
    EXPECT_TRUE(SettingsStore(Path()).ReadFolders().empty());
}

TEST_F(SettingsStoreTest, VendorLinksHaveDefaultsAndCanBeConfigured) {
    SettingsStore store(Path());
    const VendorLinks defaults = store.ReadVendorLinks();
    EXPECT_TRUE(defaults.updateServer.startsWith("http://"));
    EXPECT_FALSE(defaults.webSite.isEmpty());
    EXPECT_FALSE(defaults.forum.isEmpty());
    EXPECT_TRUE(defaults.email.contains('@'));

    store.Settings().setValue("UpdateServer", "http://127.0.0.1:9/");
    store.Settings().setValue("SupportEmail", "help@example.org");
    EXPECT_EQ(store.ReadVendorLinks().updateServer, "http://127.0.0.1:9/");
    EXPECT_EQ(store.ReadVendorLinks().email, "help@example.org");
}

TEST_F(SettingsStoreTest, PerUserSettingsLiveUnderTheVendorsName) {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
    {
        SettingsStore store;
        EXPECT_EQ(QDir::cleanPath(store.FileName()),
                  QDir::cleanPath(m_dir.filePath("Quillmere/Harmonyfox.conf")));
        store.WriteLastUpdate(1234);
    }
    EXPECT_EQ(SettingsStore().ReadLastUpdate(), 1234u);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QDir::homePath() + "/.config");
}

TEST_F(SettingsStoreTest, UnwritableSettingsAreReportedWithTheFileName) {
    // A folder that cannot exist: its parent is a plain file.
    QFile blocker(m_dir.filePath("plainfile"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString path = m_dir.filePath("plainfile/Harmonyfox.conf");
    SettingsStore store(path);
    EXPECT_FALSE(store.CheckAccess());

    QString shown;
    QString caption;
    WhenModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        shown = box->text();
        caption = box->windowTitle();
        box->accept();
    });
    EXPECT_FALSE(store.WarnIfInaccessible(nullptr));
    EXPECT_EQ(caption, "Warning");
    EXPECT_TRUE(shown.contains(path)) << shown.toStdString();

    // Writes are lost quietly.
    store.WriteOptions(true, CompareSettings{1, true, 0.5f});
    EXPECT_FALSE(QFile::exists(path));
}

}  // namespace
