// DesktopActions: what the main window asks of the desktop around it -
// asking the user a question, choosing where to save or move files, showing
// a message and opening a file or folder in its application. The defaults
// use the desktop (xdg-open through QDesktopServices, Qt's dialogs); tests
// replace them so that no dialog waits for a user. The trash is the
// engine's (TrashCan). Main thread only.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QUrl>
#include <functional>

class QWidget;

struct DesktopActions {
    // Asks question with Yes and No; true for Yes.
    std::function<bool(QWidget* parent, const QString& question)> confirm;
    // Asks where to save the playlist; the chosen path, or empty when cancelled.
    std::function<QString(QWidget* parent)> askPlaylistPath;
    // Asks where to export the results, offering CSV and M3U; the chosen
    // path (its name ends as the chosen kind does), or empty when cancelled.
    std::function<QString(QWidget* parent)> askExportPath;
    // Asks for the folder that marked files are moved to; empty when cancelled.
    std::function<QString(QWidget* parent)> askFolder;
    // Shows text with caption and icon and waits for OK.
    std::function<void(QWidget* parent, const QString& text, const QString& caption,
                       QMessageBox::Icon icon)>
        message;
    // Hands a file or folder to the desktop's application for it.
    std::function<void(const QUrl& url)> openUrl;

    // The desktop's own implementations.
    static DesktopActions System();
};
