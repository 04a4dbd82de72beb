// CResultsPane: the window's upper pane: the filter bar over the results,
// shown as pairs (the list and its model) or as groups (the views of
// CResultActions). It owns the model and the verdicts; the pairs belong to the scan
// controller and must outlive the pane. UI thread only.
#pragma once

#include <QWidget>

#include <optional>
#include <string>
#include <vector>

#include "result_actions.h"

class CPairVerdicts;
class CResultsFilterBar;
class CResultsModel;
class CResultsView;
class SettingsStore;

class CResultsPane : public QWidget {
    Q_OBJECT

  public:
    // notDuplicatesFile: where the remembered "not duplicates" live; hooks:
    // what the views ask of the window.
    CResultsPane(std::vector<DuplicatePair>& pairs, SettingsStore& settings,
                 std::optional<std::string> pluginFolder, const std::string& notDuplicatesFile,
                 CResultActions::Hooks hooks, QWidget* parent);

    CResultsFilterBar* filterBar() const { return m_filterBar; }
    CResultsView* list() const { return m_list; }
    CResultsModel* model() const { return m_model; }
    CResultActions* actions() const { return m_actions; }
    // The verdicts both views show; the window feeds it the pairs.
    CPairVerdicts* verdicts() const { return m_verdicts; }

  signals:
    // The model has taken a new filter.
    void filterChanged();

  private:
    CResultsFilterBar* m_filterBar;
    CResultsView* m_list;
    CResultsModel* m_model;
    CResultActions* m_actions;
    CPairVerdicts* m_verdicts;
};
