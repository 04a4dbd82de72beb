// The window's language: the program's translation for a locale (built from
// ui/translations/*.ts into the program's resources) and Qt's own, for the
// standard buttons and dialogs (from Qt's translations folder, when
// installed). The command line never uses them. Main thread only.
#pragma once

#include <QLocale>
#include <QTranslator>

#include <memory>
#include <vector>

// Loads the translations for locale's languages and installs them in the
// running application; they stay installed until the returned translators
// are destroyed. For English, or a language without a translation, only the
// English plural forms; the window then shows its English texts.
std::vector<std::unique_ptr<QTranslator>> InstallTranslations(const QLocale& locale);
