// CResultsFilterBar: the row above the results list that narrows it: a text
// box matched against both paths and a switch that hides the pairs listed by
// their tags alone (0 % content). It only reports; the main window applies
// the filter to the list's model. UI thread only.
#pragma once

#include <QWidget>

#include "results_model.h"

class QCheckBox;
class QLineEdit;

class CResultsFilterBar : public QWidget {
    Q_OBJECT

  public:
    explicit CResultsFilterBar(QWidget* parent = nullptr);

    ResultFilter Filter() const;
    QLineEdit* TextBox() const { return m_text; }
    QCheckBox* TagOnlySwitch() const { return m_hideTagOnly; }

  signals:
    void filterChanged(const ResultFilter& filter);

  private:
    QLineEdit* m_text;
    QCheckBox* m_hideTagOnly;
};
