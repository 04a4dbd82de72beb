#include "help_dlg.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QMenu>
#include <QMenuBar>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace {

const QSize kHelpSize(640, 560);

// "&Mark all in this &folder" as the menu shows it: without the accelerator marks.
QString PlainText(QString text) {
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QStringLiteral("\x01"), QStringLiteral("&"));
    return text;
}

// One table row per menu entry with a key, under the menu's name.
QString KeyTable(const QMenuBar* menus) {
    QString rows;
    for (const QAction* menuAction : menus->actions()) {
        const QMenu* menu = menuAction->menu();
        if (menu == nullptr) {
            continue;
        }
        for (const QAction* item : menu->actions()) {
            if (item->isSeparator() || item->shortcuts().isEmpty()) {
                continue;
            }
            QStringList keys;
            for (const QKeySequence& key : item->shortcuts()) {
                keys << key.toString(QKeySequence::NativeText);
            }
            rows += QStringLiteral("<tr><td><b>%1</b></td><td>%2 \u203a %3</td></tr>")
                        .arg(keys.join(QStringLiteral(", ")).toHtmlEscaped(),
                             PlainText(menuAction->text()).toHtmlEscaped(),
                             PlainText(item->text()).toHtmlEscaped());
        }
    }
    return QStringLiteral("<table cellpadding=\"3\">") + rows + QStringLiteral("</table>");
}

}  // namespace

CHelpDlg::CHelpDlg(const QMenuBar* menus, QWidget* parent)
    : QDialog(parent), m_text(new QTextBrowser(this)) {
    setWindowTitle(tr("Harmonyfox Help"));
    resize(kHelpSize);
    m_text->setOpenExternalLinks(true);
    m_text->setHtml(
        tr("<h3>Finding duplicates</h3>"
           "<p>Choose the folders with <i>Select folders</i>; the scan lists every pair of "
           "files that sound alike or carry alike tags. <i>View \u203a Groups</i> shows the "
           "copies of each piece together, led by the copy to keep; <i>Keep this one</i> "
           "makes another copy lead its group until the next scan.</p>"
           "<p>Mark the copies to delete (<i>Mark all but the keeper</i>, Space on the "
           "selected rows, a click on the round mark) and send them to the trash with "
           "<i>Delete marked</i>. Files of a reference folder are shown with a lock: they are "
           "always kept and never marked. The last copy of a piece is never deleted without "
           "asking.</p>"
           "<p><i>File \u203a Export</i> saves the pairs or groups shown as CSV for a "
           "spreadsheet, or as an M3U playlist.</p>"
           "<h3>Keys</h3>") +
        KeyTable(menus) +
        tr("<p>Shift+F10 or the Menu key opens the menu of the selected row; Space flips "
           "the marks of the selected rows.</p>"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_text);
    layout->addWidget(buttons);
}
