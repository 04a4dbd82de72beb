// The update check: the answer's form, the once-a-day rule, and whole checks
// against a loopback HTTP server, shown in the real dialog.
#include <QLabel>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include "dialog_test_helpers.h"
#include "program_version.h"
#include "settings_store.h"
#include "update_check.h"
#include "update_dlg.h"

namespace {

constexpr uint32_t kVersion07 = 7;  // 0.7
constexpr int kWaitMs = 20000;      // a generous bound; checks end far sooner

TEST(UpdateAnswerTest, Forms) {
    struct Case {
        QByteArray answer;
        uint32_t running;
        int outcome;
    };
    const Case cases[] = {
        {"Harmonyfox:0.7:OK", kVersion07, kUpdateUpToDate},
        {"Harmonyfox:0.7:OK\r\nanything after", kVersion07, kUpdateUpToDate},
        {"Harmonyfox:0.7:ok", kVersion07, kUpdateUnexpectedAnswer},
        {"Harmonyfox:0.8:OK", kVersion07, kUpdateAvailable},
        {"Harmonyfox:1.0:OK", kVersion07, kUpdateAvailable},
        {"Harmonyfox:1.23:OK", PackVersion(1, 2, 3, 0), kUpdateUpToDate},
        {"Harmonyfox:1:OK", 0x10000, kUpdateUpToDate},
        {"Harmonyfox: 0.7:OK", kVersion07, kUpdateUpToDate},
        {"Harmonyfox:0.7", kVersion07, kUpdateUnexpectedAnswer},
        {"Harmonyfox:0.7:", kVersion07, kUpdateUnexpectedAnswer},
        {"Harmonyfox:", kVersion07, kUpdateUnexpectedAnswer},
        {"harmonyfox:0.7:OK", kVersion07, kUpdateUnexpectedAnswer},
        {"<html>Not here</html>", kVersion07, kUpdateUnexpectedAnswer},
        {"", kVersion07, kUpdateUnexpectedAnswer},
        // The answer is text: a zero byte ends it.
        {QByteArray("Harmonyfox:0.7\0:OK", 18), kVersion07, kUpdateUnexpectedAnswer},
        {"Harmonyfox:99999999999999999999.7:OK", kVersion07, kUpdateAvailable},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseUpdateAnswer(c.answer, c.running), c.outcome) << c.answer.toStdString();
    }
    // Only the first 1014 bytes count.
    QByteArray late = "Harmonyfox:0.7" + QByteArray(990, ' ') + ":OK";
    EXPECT_EQ(ParseUpdateAnswer(late, kVersion07), kUpdateUpToDate);
    late = "Harmonyfox:0.7" + QByteArray(1010, ' ') + ":OK";
    EXPECT_EQ(ParseUpdateAnswer(late, kVersion07), kUpdateUnexpectedAnswer);
}

TEST(UpdateDueTest, OncePerCalendarDay) {
    const QDateTime noon(QDate(2026, 3, 10), QTime(12, 0));
    const auto at = [](const QDateTime& t) { return static_cast<uint32_t>(t.toSecsSinceEpoch()); };
    EXPECT_TRUE(UpdateCheckDue(true, 0, noon));
    EXPECT_FALSE(UpdateCheckDue(false, 0, noon));
    EXPECT_FALSE(UpdateCheckDue(true, at(noon), noon));
    EXPECT_FALSE(UpdateCheckDue(true, at(QDateTime(QDate(2026, 3, 10), QTime(0, 0, 1))), noon));
    EXPECT_TRUE(UpdateCheckDue(true, at(QDateTime(QDate(2026, 3, 9), QTime(23, 59))), noon));
    // Same day of another year.
    EXPECT_TRUE(UpdateCheckDue(true, at(QDateTime(QDate(2025, 3, 10), QTime(12, 0))), noon));
    // A clock set back: the stored day is not today, so check.
    EXPECT_TRUE(UpdateCheckDue(true, at(QDateTime(QDate(2026, 3, 11), QTime(8, 0))), noon));
}

class UpdateCheckTest : public ::testing::Test {
  protected:
    QString Path() const { return m_dir.filePath("Harmonyfox.conf"); }

    // Runs the dialog for a manual check against url and returns the text it
    // ends up showing; whether the link showed goes to *linkShown.
    QString ManualCheck(const QString& url, bool* linkShown = nullptr) {
        SettingsStore store(Path());
        store.Settings().setValue("UpdateServer", url);
        CUpdateDlg dialog(store, kVersion07, 0);
        EXPECT_EQ(dialog.Message()->text(), "Please wait...");
        EXPECT_FALSE(dialog.Link()->isVisibleTo(&dialog));
        dialog.show();
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return dialog.Message()->text() != "Please wait..."; }, kWaitMs));
        if (linkShown != nullptr) {
            *linkShown = dialog.Link()->isVisible();
        }
        return dialog.Message()->text();
    }

    uint32_t LastUpdate() const { return SettingsStore(Path()).ReadLastUpdate(); }

    QTemporaryDir m_dir;
};

TEST_F(UpdateCheckTest, OutcomesAndTheirTexts) {
    struct Case {
        QByteArray answer;
        const char* text;
        bool link;
        bool remembered;  // "LastUpdate" written
    };
    const Case cases[] = {
        {HttpAnswer(200, "Harmonyfox:0.7:OK"), "No update available,\nYou software is up to date",
         false, true},
        {HttpAnswer(200, "Harmonyfox:0.8:OK"), "Update available, please visit web-site:", true,
         true},
        {HttpAnswer(200, "Harmonyfox:0.7:ok"), "Internal server error, please try again latter...",
         false, false},
        {HttpAnswer(404, "Harmonyfox:0.7:OK"), "Internal server error, please try again latter...",
         false, false},
        {HttpAnswer(500, ""), "Internal server error, please try again latter...", false, false},
        // Connection closed without an answer.
        {QByteArray(), "Can't connect to server,\nplease check your connection to Internet", false,
         false},
    };
    for (const Case& c : cases) {
        QFile::remove(Path());
        LoopbackHttp server(c.answer);
        bool link = false;
        EXPECT_EQ(ManualCheck(server.Url(), &link), c.text) << c.answer.toStdString();
        EXPECT_EQ(link, c.link) << c.answer.toStdString();
        EXPECT_EQ(LastUpdate() != 0, c.remembered) << c.answer.toStdString();
    }
}

TEST_F(UpdateCheckTest, AsksForVersionAsHarmonyfox) {
    LoopbackHttp server(HttpAnswer(200, "Harmonyfox:0.7:OK"));
    ManualCheck(server.Url());
    ASSERT_EQ(server.Requests().size(), 1u);
    const QByteArray request = server.Requests()[0];
    EXPECT_TRUE(request.startsWith("GET /version HTTP/1.")) << request.toStdString();
    EXPECT_TRUE(request.contains("User-Agent: Harmonyfox\r\n")) << request.toStdString();
    EXPECT_TRUE(request.contains("Accept: text/*\r\n")) << request.toStdString();
}

TEST_F(UpdateCheckTest, NoServerMeansNoConnection) {
    EXPECT_EQ(ManualCheck(RefusingUrl()),
              "Can't connect to server,\nplease check your connection to Internet");
    EXPECT_EQ(ManualCheck("not a url at all"),
              "Can't connect to server,\nplease check your connection to Internet");
    EXPECT_EQ(LastUpdate(), 0u);
}

TEST_F(UpdateCheckTest, OutcomeForAGoneReceiverIsDropped) {
    LoopbackHttp server(HttpAnswer(200, "Harmonyfox:0.7:OK"));
    auto* receiver = new QObject;
    StartUpdateCheck(receiver, kVersion07, server.Url());
    delete receiver;
    EXPECT_TRUE(QTest::qWaitFor([&] { return !server.Requests().empty(); }, kWaitMs));
    QTest::qWait(50);  // let the answer arrive and be dropped
}

TEST_F(UpdateCheckTest, AutomaticCheckOncePerDayAfterSuccess) {
    QWidget window;
    SettingsStore store(Path());
    {
        // A failed check does not count: the next start asks again.
        LoopbackHttp failing(HttpAnswer(404, ""));
        store.Settings().setValue("UpdateServer", failing.Url());
        ASSERT_TRUE(StartAutomaticUpdateCheck(&window, store, kVersion07, true));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !failing.Requests().empty(); }, kWaitMs));
        QTest::qWait(50);
        EXPECT_EQ(store.ReadLastUpdate(), 0u);
    }
    LoopbackHttp server(HttpAnswer(200, "Harmonyfox:0.7:OK"));
    store.Settings().setValue("UpdateServer", server.Url());
    ASSERT_TRUE(StartAutomaticUpdateCheck(&window, store, kVersion07, true));
    EXPECT_TRUE(QTest::qWaitFor([&] { return store.ReadLastUpdate() != 0; }, kWaitMs));

    // The second start of the day asks nobody.
    EXPECT_FALSE(StartAutomaticUpdateCheck(&window, store, kVersion07, true));
    QTest::qWait(50);
    EXPECT_EQ(server.Requests().size(), 1u);
}

TEST_F(UpdateCheckTest, AutomaticCheckSwitchedOffButManualWorks) {
    LoopbackHttp server(HttpAnswer(200, "Harmonyfox:0.7:OK"));
    QWidget window;
    SettingsStore store(Path());
    store.Settings().setValue("UpdateServer", server.Url());
    EXPECT_FALSE(StartAutomaticUpdateCheck(&window, store, kVersion07, false));
    QTest::qWait(50);
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_EQ(ManualCheck(server.Url()), "No update available,\nYou software is up to date");
}

TEST_F(UpdateCheckTest, AutomaticCheckFindingNewsOpensTheDialog) {
    LoopbackHttp server(HttpAnswer(200, "Harmonyfox:0.9:OK"));
    QWidget window;
    SettingsStore store(Path());
    store.Settings().setValue("UpdateServer", server.Url());
    QString shown;
    bool opened = false;
    WhenModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<CUpdateDlg*>(modal);
        ASSERT_NE(dialog, nullptr);
        opened = true;
        // The preset outcome arrives as a posted event.
        (void)QTest::qWaitFor([&] { return dialog->Message()->text() != "Please wait..."; },
                              kWaitMs);
        shown = dialog->Message()->text();
        dialog->accept();
    });
    ASSERT_TRUE(StartAutomaticUpdateCheck(&window, store, kVersion07, true));
    EXPECT_TRUE(QTest::qWaitFor([&] { return opened; }, kWaitMs));
    EXPECT_EQ(shown, "Update available, please visit web-site:");
    EXPECT_NE(store.ReadLastUpdate(), 0u);
    EXPECT_EQ(server.Requests().size(), 1u);  // the dialog only shows the news
}

}  // namespace
