#include "desktop_actions.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>

DesktopActions DesktopActions::System() {
    DesktopActions actions;
    actions.confirm = [](QWidget* parent, const QString& question) {
        return QMessageBox::question(
                   parent, QCoreApplication::translate("DesktopActions", "Question"), question,
                   QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::Yes;
    };
    actions.askPlaylistPath = [](QWidget* parent) {
        QFileDialog dialog(parent);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setNameFilter(QCoreApplication::translate("DesktopActions", "M3U Playlist (*.m3u)"));
        dialog.setDefaultSuffix(QStringLiteral("m3u"));
        dialog.selectFile(QCoreApplication::translate("DesktopActions", "Duplicates"));
        dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
            return QString();
        }
        return dialog.selectedFiles().first();
    };
    actions.askExportPath = [](QWidget* parent) {
        QFileDialog dialog(parent);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        const QString csv = QCoreApplication::translate("DesktopActions", "CSV table (*.csv)");
        const QString m3u = QCoreApplication::translate("DesktopActions", "M3U Playlist (*.m3u)");
        dialog.setNameFilters({csv, m3u});
        dialog.setDefaultSuffix(QStringLiteral("csv"));
        // The name given without an ending takes the one of the kind chosen.
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                         [&dialog, m3u](const QString& filter) {
                             dialog.setDefaultSuffix(filter == m3u ? QStringLiteral("m3u")
                                                                   : QStringLiteral("csv"));
                         });
        dialog.selectFile(QCoreApplication::translate("DesktopActions", "Duplicates"));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
            return QString();
        }
        return dialog.selectedFiles().first();
    };
    actions.askFolder = [](QWidget* parent) {
        return QFileDialog::getExistingDirectory(
            parent, QCoreApplication::translate("DesktopActions", "Move the marked files to"));
    };
    actions.message = [](QWidget* parent, const QString& text, const QString& caption,
                         QMessageBox::Icon icon) {
        QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
        box.exec();
    };
    actions.openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    return actions;
}
