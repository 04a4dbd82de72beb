// CTagFillDlg: shows, per group, which empty tags of the keeper would be
// filled from which copy, and lets the user leave out any group before
// anything is written. It only shows and chooses; CKeeperFiles writes. The
// plans are copied in. UI thread only.
#pragma once

#include <QDialog>

#include <vector>

#include "tag_fill.h"

class QPushButton;
class QTreeWidget;

class CTagFillDlg : public QDialog {
    Q_OBJECT

  public:
    // plans: one per group with something to fill or a problem to tell.
    explicit CTagFillDlg(std::vector<KeeperTagPlan> plans, QWidget* parent = nullptr);

    // The plans of the groups still ticked, in their order.
    std::vector<KeeperTagPlan> ChosenPlans() const;

    QTreeWidget* Tree() const { return m_tree; }
    QPushButton* FillButton() const { return m_fill; }

    // The name of a field as the window shows it.
    static QString FieldName(KeeperField field);

  private:
    std::vector<KeeperTagPlan> m_plans;
    QTreeWidget* m_tree;
    QPushButton* m_fill;
};
