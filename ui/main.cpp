// Harmonyfox's entry point: the application object, the main window and the
// event loop. The window stops the scan engine when it is destroyed, before
// the application object goes.
#include <QApplication>

#include <csignal>
#include <cstdio>
#include <cstring>

#include "artwork.h"
#include "main_frame.h"
#include "translations.h"

namespace {

// What "harmonyfox --help" prints; the manual page is made from it. English,
// as everything the program writes on a terminal.
const char* const kHelp =
    "Usage: harmonyfox [OPTION...]\n"
    "\n"
    "Opens Harmonyfox's window, which finds duplicate music files: name one or\n"
    "more folders (File, Open folders) and it lists every pair of files that\n"
    "sound alike or carry alike tags. From the list you can play files, open\n"
    "their folder, mark and delete files (to the trash) and save an M3U\n"
    "playlist. harmonyfox-cli does the same from the command line, with the\n"
    "same cache.\n"
    "\n"
    "The window speaks the language of the user's locale (LANGUAGE, LC_ALL,\n"
    "LC_MESSAGES, LANG) where the program has a translation: German; else\n"
    "English. What the program writes on a terminal is English.\n"
    "\n"
    "Options:\n"
    "  -h, --help        show this text and exit\n"
    "  --version         print the version and exit\n"
    "  -style NAME       draw the window in the Qt widget style NAME (Fusion, ...)\n"
    "  -platform NAME    use the Qt platform plug-in NAME (xcb, wayland, ...)\n"
    "\n"
    "Every other standard option of Qt applications is taken as well.\n"
    "\n"
    "Files:\n"
    "  $XDG_CONFIG_HOME/Quillmere/Harmonyfox.conf\n"
    "                    the options, the folders and their roles, the keep rules\n"
    "  $XDG_CACHE_HOME/Quillmere/Harmonyfox/cache.dat\n"
    "                    the fingerprint cache, shared with harmonyfox-cli\n"
    "  $XDG_CACHE_HOME/Quillmere/Harmonyfox/cache.skip\n"
    "                    the files that gave no fingerprint, so that they are\n"
    "                    not decoded again while unchanged\n"
    "  $XDG_DATA_HOME/Quillmere/Harmonyfox/not-duplicates.txt\n"
    "                    the pairs called \"Not duplicates\", hidden in later scans\n"
    "  lib*.so beside the program's executable\n"
    "                    the decoder plug-ins\n"
    "\n"
    "$XDG_CONFIG_HOME defaults to ~/.config, $XDG_CACHE_HOME to ~/.cache and\n"
    "$XDG_DATA_HOME to ~/.local/share.\n";

}  // namespace

int main(int argc, char** argv) {
    // Answered before the application object exists, so that no display is needed.
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("harmonyfox %d.%d.%d.%d (build %d)\n", HARMONYFOX_VERSION_MAJOR,
                    HARMONYFOX_VERSION_MINOR, HARMONYFOX_VERSION_PATCH, HARMONYFOX_VERSION_TWEAK,
                    HARMONYFOX_BUILD);
        return 0;
    }
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
    // The window in the language of the user's locale; English where none fits.
    const auto translations = InstallTranslations(QLocale());

    CMainFrame frame;
    frame.show();
    return QApplication::exec();
}
