// The window in German: with the translations of a German locale installed,
// every menu of the main window and every item in it reads in German, and so
// do the keep rules' titles, which the engine writes in English.
#include <gtest/gtest.h>
#include <QAction>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>

#include <memory>

#include "engine_texts.h"
#include "keeper_rules.h"
#include "main_frame.h"
#include "test_files.h"
#include "translations.h"

namespace {

// Each menu's title followed by its items' texts, separators left out.
QStringList MenuTexts(const CMainFrame& frame) {
    QStringList texts;
    for (const QAction* menu : frame.menuBar()->actions()) {
        texts << menu->text();
        for (const QAction* item : menu->menu()->actions()) {
            if (!item->isSeparator()) {
                texts << item->text();
            }
        }
    }
    return texts;
}

QStringList MenuTextsOfNewFrame(const TempDir& temp) {
    FrameStartup startup;
    startup.loadCache = false;
    startup.startPool = false;
    startup.allowUpdateCheck = false;
    startup.settingsPath = QString::fromStdString(temp.File("settings.ini"));
    startup.pluginFolder = temp.path();
    return MenuTexts(CMainFrame(std::move(startup)));
}

TEST(TranslationTest, MainWindowMenusAreGermanUnderAGermanLocale) {
    TempDir temp;
    const QStringList english = MenuTextsOfNewFrame(temp);
    ASSERT_EQ(english.mid(0, 2),
              (QStringList{QStringLiteral("&File"), QStringLiteral("Select f&olders...")}));

    const auto translators = InstallTranslations(QLocale(QStringLiteral("de_DE")));
    ASSERT_FALSE(translators.empty());
    const QStringList german = MenuTextsOfNewFrame(temp);
    EXPECT_EQ(german.mid(0, 2),
              (QStringList{QStringLiteral("&Datei"), QStringLiteral("&Ordner wählen...")}));
    ASSERT_EQ(german.size(), english.size());
    for (qsizetype i = 0; i < english.size(); ++i) {
        EXPECT_NE(german[i], english[i]) << "not translated: " << english[i].toStdString();
    }
    for (KeepRule rule : DefaultKeepRules()) {
        EXPECT_NE(EngineText(KeepRuleTitle(rule)), QString::fromLatin1(KeepRuleTitle(rule)))
            << "not translated: " << KeepRuleTitle(rule);
    }
}

}  // namespace
