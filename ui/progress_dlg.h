// The progress band beside the toolbar: a bar for the share of the scan's
// files that are finished, and what became of them: taken from the cache,
// fingerprinted now, skipped, out of the files found. The main window owns it
// and calls Refresh from the UI thread with the counters the workers update.
#pragma once

#include <QWidget>

#include <cstdint>

class QLabel;
class QProgressBar;

struct ProgressCounts {
    int32_t cacheEntries = 0;  // fingerprints in the cache file
    int32_t found = 0;         // files the scan found, less those deleted since
    int32_t fromCache = 0;     // of them, fingerprinted before
    int32_t fresh = 0;         // fingerprinted by this scan
    int32_t skipped = 0;       // gave no fingerprint
    bool operator==(const ProgressCounts&) const = default;
};

class CProgressDlg : public QWidget {
    Q_OBJECT

  public:
    explicit CProgressDlg(QWidget* parent = nullptr);

    // Shows the counters; texts change only when a number did. The bar shows
    // the finished files (cached + new + skipped) in percent of those found,
    // 0 when nothing was found.
    void Refresh(const ProgressCounts& counts);

    QProgressBar* Bar() const { return m_bar; }
    QLabel* CachedLabel() const { return m_cached; }
    QLabel* NewLabel() const { return m_new; }
    QLabel* SkippedLabel() const { return m_skipped; }
    QLabel* FoundLabel() const { return m_found; }

  private:
    QProgressBar* m_bar;
    QLabel* m_cached;
    QLabel* m_new;
    QLabel* m_skipped;
    QLabel* m_found;
    ProgressCounts m_last;
    bool m_shown = false;
};
