// The About box: the program's name, version line, vendor notice and the
// links to the web site, the forum and the support e-mail address, which open
// through the desktop (QDesktopServices). Modal; UI thread only.
#pragma once

#include <QDialog>

#include <cstdint>

#include "settings_store.h"

class QLabel;

class CAboutDlg : public QDialog {
    Q_OBJECT

  public:
    // version: packed as ProgramVersion gives it; build 0 omits the build.
    CAboutDlg(uint32_t version, uint32_t build, const VendorLinks& links,
              QWidget* parent = nullptr);

    QLabel* VersionLabel() const { return m_version; }
    QLabel* WebLink() const { return m_web; }
    QLabel* ForumLink() const { return m_forum; }
    QLabel* EmailLink() const { return m_email; }

  private:
    QLabel* m_version;
    QLabel* m_web;
    QLabel* m_forum;
    QLabel* m_email;
};
