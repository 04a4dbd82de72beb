// The entry point of the window tests: one QApplication for the whole binary,
// on whatever platform QT_QPA_PLATFORM names (offscreen under ctest).
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
