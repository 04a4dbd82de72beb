// The entry point of the window tests: one QApplication for the whole binary,
// on whatever platform QT_QPA_PLATFORM names (offscreen under ctest).
#include <QApplication>
#include <QTemporaryDir>
#include <QtGlobal>

#include <gtest/gtest.h>

#include "translations.h"

int main(int argc, char** argv) {
    // The build lists the tests by running this binary, where no display may
    // exist and ctest's environment does not apply.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // The windows remember "not duplicates" in the user's data folder: one
    // of the test's own, never the user's.
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    QApplication app(argc, argv);
    // The window's English plural forms, as every user has them.
    const auto english = InstallTranslations(QLocale(QLocale::English));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
