#include "results_filter_bar.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLineEdit>

CResultsFilterBar::CResultsFilterBar(QWidget* parent) : QWidget(parent) {
    m_text = new QLineEdit(this);
    m_text->setPlaceholderText(tr("Filter: text in either path"));
    m_text->setClearButtonEnabled(true);
    m_hideTagOnly = new QCheckBox(tr("Hide pairs found by tags alone (0 % content)"), this);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(m_text, 1);
    layout->addWidget(m_hideTagOnly);
    auto changed = [this] { emit filterChanged(Filter()); };
    connect(m_text, &QLineEdit::textChanged, this, changed);
    connect(m_hideTagOnly, &QCheckBox::toggled, this, changed);
}

ResultFilter CResultsFilterBar::Filter() const {
    ResultFilter filter;
    filter.text = m_text->text().trimmed();
    filter.hideTagOnly = m_hideTagOnly->isChecked();
    return filter;
}
