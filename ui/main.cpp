// Harmonyfox's entry point: the application object, the main window and the
// event loop. The window stops the scan engine when it is destroyed, before
// the application object goes.
#include <QApplication>

#include <csignal>

#include "artwork.h"
#include "main_frame.h"

int main(int argc, char** argv) {
    // A write past the file size limit fails with EFBIG and is reported,
    // instead of ending the process without a word.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quillmere"));
    QApplication::setApplicationName(QStringLiteral("Harmonyfox"));
    QApplication::setApplicationVersion(QStringLiteral("%1.%2.%3.%4")
                                            .arg(HARMONYFOX_VERSION_MAJOR)
                                            .arg(HARMONYFOX_VERSION_MINOR)
                                            .arg(HARMONYFOX_VERSION_PATCH)
                                            .arg(HARMONYFOX_VERSION_TWEAK));
    QApplication::setDesktopFileName(QStringLiteral("harmonyfox"));
    QApplication::setWindowIcon(artwork::ApplicationIcon());

    CMainFrame frame;
    frame.show();
    return QApplication::exec();
}
