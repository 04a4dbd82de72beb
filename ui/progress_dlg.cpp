#include "progress_dlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>

namespace {

const QColor kTextColour(0, 0, 255);

// "1234567/1234567" fits in a counter without moving the bar.
const char* const kWidestCounter = "0000000/0000000";

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
    m_cached = makeLabel(QString());
    m_files = makeLabel(QString());
    m_files->setMinimumWidth(m_files->fontMetrics().horizontalAdvance(kWidestCounter));

    auto* counters = new QGridLayout;
    counters->setVerticalSpacing(0);
    counters->addWidget(makeLabel(QStringLiteral("Cache:")), 0, 0);
    counters->addWidget(makeLabel(QStringLiteral("New:")), 1, 0);
    counters->addWidget(m_cached, 0, 1);
    counters->addWidget(m_files, 1, 1);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(m_bar, 1);
    layout->addLayout(counters);
}

void CProgressDlg::Refresh(int32_t cached, int32_t found, int32_t done) {
    if (cached != m_lastCached) {
        m_cached->setText(QString::number(cached));
        m_lastCached = cached;
    }
    if (found != m_lastFound || done != m_lastDone) {
        m_files->setText(QString::number(done) + u'/' + QString::number(found));
        m_lastFound = found;
        m_lastDone = done;
    }
    // 64-bit so that a huge scan cannot overflow; clamped because a failed
    // job lowers "found" while "done" stays.
    int64_t percent = found > 0 ? static_cast<int64_t>(done) * 100 / found : 0;
    if (percent < 0) {
        percent = 0;
    } else if (percent > 100) {
        percent = 100;
    }
    m_bar->setValue(static_cast<int>(percent));
}
