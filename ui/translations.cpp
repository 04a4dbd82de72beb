#include "translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QString>

std::vector<std::unique_ptr<QTranslator>> InstallTranslations(const QLocale& locale) {
    std::vector<std::unique_ptr<QTranslator>> installed;
    auto install = [&installed, &locale](const QString& name, const QString& folder) {
        auto translator = std::make_unique<QTranslator>();
        if (translator->load(locale, name, QStringLiteral("_"), folder) &&
            QCoreApplication::installTranslator(translator.get())) {
            installed.push_back(std::move(translator));
        }
    };
    install(QStringLiteral("qtbase"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    // The English plural forms ("1 file", "2 files") are a translation of
    // their own, below any other language's, which has its own forms.
    auto english = std::make_unique<QTranslator>();
    if (english->load(QStringLiteral(":/i18n/harmonyfox_en.qm")) &&
        QCoreApplication::installTranslator(english.get())) {
        installed.push_back(std::move(english));
    }
    if (locale.language() != QLocale::English) {
        install(QStringLiteral("harmonyfox"), QStringLiteral(":/i18n"));
    }
    return installed;
}
