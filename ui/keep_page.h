// CKeepPage: the Options dialog's "Keep" page. The rules that choose the copy
// to keep in each group, in the order the user gives them (each can be
// switched off), and the preferred folders that the rule "In a preferred
// folder" looks at. UI thread only.
#pragma once

#include <QWidget>

#include <functional>
#include <string>
#include <vector>

#include "keeper_rules.h"

class QListWidget;
class QPushButton;

class CKeepPage : public QWidget {
    Q_OBJECT

  public:
    using BrowseFunc =
        std::function<QString(QWidget* parent, const QString& title, const QString& start)>;

    explicit CKeepPage(QWidget* parent = nullptr);

    // Shows rules first, in their order and switched on, then the others off.
    void SetRules(const std::vector<KeepRule>& rules);
    // The switched-on rules from top to bottom.
    std::vector<KeepRule> Rules() const;
    void SetPreferred(const std::vector<std::u16string>& folders);
    std::vector<std::u16string> Preferred() const;
    void SetBrowser(BrowseFunc browse) { m_browse = std::move(browse); }

    QListWidget* RuleList() const { return m_rules; }
    QListWidget* PreferredList() const { return m_preferred; }

  public slots:
    // Moves the selected rule one place up (-1) or down (+1).
    void MoveRule(int step);
    void AddPreferred();
    void RemovePreferred();

  private:
    QListWidget* m_rules;
    QPushButton* m_up;
    QPushButton* m_down;
    QListWidget* m_preferred;
    QPushButton* m_addPreferred;
    QPushButton* m_removePreferred;
    BrowseFunc m_browse;
};
