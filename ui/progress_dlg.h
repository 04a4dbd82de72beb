// The progress band below the toolbar: a bar for the share of found files
// that are done, the number of fingerprints in the cache, and done/found. The
// main window owns it and calls Refresh from the UI thread with the counters
// the workers update.
#pragma once

#include <QWidget>

#include <cstdint>

class QLabel;
class QProgressBar;

class CProgressDlg : public QWidget {
    Q_OBJECT

  public:
    explicit CProgressDlg(QWidget* parent = nullptr);

    // Shows the counters; texts change only when a number did. The bar shows
    // done * 100 / found percent, 0 when nothing was found.
    void Refresh(int32_t cached, int32_t found, int32_t done);

    QProgressBar* Bar() const { return m_bar; }
    QLabel* CachedLabel() const { return m_cached; }
    QLabel* FilesLabel() const { return m_files; }

  private:
    QProgressBar* m_bar;
    QLabel* m_cached;
    QLabel* m_files;
    // The last numbers shown; -1 so that the first refresh writes everything.
    int32_t m_lastCached = -1;
    int32_t m_lastFound = -1;
    int32_t m_lastDone = -1;
};
