#include "results_pane.h"

#include <QVBoxLayout>

#include "group_model.h"
#include "pair_verdicts.h"
#include "results_filter_bar.h"
#include "results_model.h"
#include "results_view.h"

CResultsPane::CResultsPane(std::vector<DuplicatePair>& pairs, SettingsStore& settings,
                           std::optional<std::string> pluginFolder,
                           const std::string& notDuplicatesFile, CResultActions::Hooks hooks,
                           QWidget* parent)
    : QWidget(parent),
      m_filterBar(new CResultsFilterBar(this)),
      m_list(new CResultsView(this)),
      m_model(new CResultsModel(pairs, this)),
      m_verdicts(new CPairVerdicts(pluginFolder, this)) {
    m_list->setModel(m_model);
    for (int column = 0; column < kResultColumnCount; ++column) {
        m_list->setColumnWidth(column, CResultsView::InitialColumnWidth(column));
    }
    m_actions = new CResultActions(pairs, m_model, m_list, settings, std::move(pluginFolder),
                                   notDuplicatesFile, std::move(hooks), this);
    m_model->SetVerdicts(m_verdicts);
    m_actions->groupModel()->SetVerdicts(m_verdicts);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_filterBar);
    layout->addWidget(m_actions->View(), 1);
    connect(m_filterBar, &CResultsFilterBar::filterChanged, this, [this](const ResultFilter& f) {
        m_model->SetFilter(f);
        emit filterChanged();
    });
}
