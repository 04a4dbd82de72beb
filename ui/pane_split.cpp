#include "pane_split.h"

#include <algorithm>

namespace {

// The details pane never takes the list's last rows.
constexpr int kLeastListHeight = 80;

}  // namespace

CPaneSplit::CPaneSplit(QWidget* parent) : QSplitter(Qt::Vertical, parent) {
    setChildrenCollapsible(false);
    // A height the user drags the details pane to stays, also for the next start.
    connect(this, &QSplitter::splitterMoved, this, [this] {
        if (detailsShown()) {
            m_detailsHeight = sizes().value(1);
        }
    });
}

void CPaneSplit::SetPanes(QWidget* list, QWidget* details) {
    m_details = details;
    addWidget(list);
    addWidget(details);
    setStretchFactor(0, 1);
    setStretchFactor(1, 0);
    ShowListOnly();
}

void CPaneSplit::ShowBoth() {
    if (!m_details->isHidden()) {
        return;
    }
    m_details->show();
    const int total = height() - handleWidth();
    const int wanted = m_detailsHeight > 0 ? m_detailsHeight : m_details->sizeHint().height();
    // The list keeps some room even where the window is now smaller.
    const int details = std::max(1, std::min(wanted, total - kLeastListHeight));
    setSizes({total - details, details});
}

int CPaneSplit::detailsHeight() const {
    return detailsShown() ? sizes().value(1) : m_detailsHeight;
}
