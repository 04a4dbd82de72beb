// The help window (F1): how the program is used, in a few paragraphs, and
// every key of the main window's menus, read from the menus themselves so
// that the list never disagrees with them. Modal; UI thread only.
#pragma once

#include <QDialog>

class QMenuBar;
class QTextBrowser;

class CHelpDlg : public QDialog {
    Q_OBJECT

  public:
    // menus: the main window's menu bar; read once, here.
    explicit CHelpDlg(const QMenuBar* menus, QWidget* parent = nullptr);

    QTextBrowser* text() const { return m_text; }

  private:
    QTextBrowser* m_text;
};
