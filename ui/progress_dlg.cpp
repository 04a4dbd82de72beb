#include "progress_dlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>

namespace {

const QColor kTextColour(0, 0, 255);

// A seven-digit count fits without moving the bar.
const char* const kWidestCounter = "0000000";

}  // namespace

CProgressDlg::CProgressDlg(QWidget* parent) : QWidget(parent) {
    m_bar = new QProgressBar(this);
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    m_bar->setTextVisible(false);
    m_bar->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    QPalette blue = palette();
    blue.setColor(QPalette::WindowText, kTextColour);
    auto makeLabel = [this, &blue](const QString& text) {
        auto* label = new QLabel(text, this);
        label->setPalette(blue);
        return label;
    };
    auto makeCounter = [&] {
        QLabel* label = makeLabel(QString());
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance(kWidestCounter));
        return label;
    };
    m_cached = makeCounter();
    m_new = makeCounter();
    m_skipped = makeCounter();
    m_found = makeCounter();

    auto* counters = new QGridLayout;
    counters->setVerticalSpacing(0);
    counters->addWidget(makeLabel(tr("Cached:")), 0, 0);
    counters->addWidget(m_cached, 0, 1);
    counters->addWidget(makeLabel(tr("New:")), 1, 0);
    counters->addWidget(m_new, 1, 1);
    counters->addWidget(makeLabel(tr("Skipped:")), 0, 2);
    counters->addWidget(m_skipped, 0, 3);
    counters->addWidget(makeLabel(tr("Found:")), 1, 2);
    counters->addWidget(m_found, 1, 3);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(m_bar, 1);
    layout->addLayout(counters);
}

void CProgressDlg::Refresh(const ProgressCounts& counts) {
    if (m_shown && counts == m_last) {
        return;
    }
    m_shown = true;
    m_last = counts;
    m_cached->setText(QString::number(counts.fromCache));
    m_new->setText(QString::number(counts.fresh));
    m_skipped->setText(QString::number(counts.skipped));
    m_found->setText(QString::number(counts.found));
    setToolTip(tr("Cached: files of this scan whose fingerprint was in the cache "
                  "(%1 entries)\nNew: files fingerprinted by this scan\nSkipped: "
                  "files that gave no fingerprint (View \u203a Skipped files)\n"
                  "Found: files the scan found, less those deleted since")
                   .arg(counts.cacheEntries));
    const int64_t finished = static_cast<int64_t>(counts.fromCache) + counts.fresh + counts.skipped;
    // 64-bit so that a huge scan cannot overflow.
    int64_t percent = counts.found > 0 ? finished * 100 / counts.found : 0;
    m_bar->setValue(static_cast<int>(std::clamp<int64_t>(percent, 0, 100)));
}
