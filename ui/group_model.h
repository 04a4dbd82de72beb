// CGroupModel: the group view's rows. One row per file of every group: the
// keeper first (in bold), the others indented under it with the figures of
// the pair that ties them to the keeper or to the file nearer it, and every
// file's size once the group's facts are read. The groups
// come from CResultGroups and the marks from CMarkState, both of which must
// outlive the model. Main thread only.
#pragma once

#include <QAbstractTableModel>

#include <vector>

#include "result_groups.h"

class CMarkState;
class CPairVerdicts;

enum GroupColumn : int {
    kGroupColumnFile = 0,
    kGroupColumnContent = 1,
    kGroupColumnTags = 2,
    kGroupColumnExperimental = 3,
    kGroupColumnCopies = 4,
    kGroupColumnSize = 5,
    kGroupColumnVerdict = 6,  // each file as a copy of the keeper
    kGroupColumnCount = 7,
};

class CGroupModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    // Answers the roles of CResultsModel (and kIndentRole), so that the pair
    // list's view and delegate show groups too.
    CGroupModel(const std::vector<DuplicatePair>& results, const CResultGroups& groups,
                const CMarkState& marks, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // The verdicts the verdict cells show; they must outlive the model.
    void SetVerdicts(const CPairVerdicts* verdicts);

    // Sorts the groups (each stays whole, keeper first) by the keeper's file
    // name, by the largest figure of their pairs, by their number of copies,
    // by the keeper's size (a size not yet read counts as 0), or by the
    // safest verdict of their files (pairs not judged yet count as none).
    void SortGroups(int column, bool descending);

    // The member shown in row, and its group's number in CResultGroups.
    const GroupMember& Member(int row) const;
    size_t GroupOf(int row) const;
    // The first row of group (its keeper's).
    int FirstRow(size_t group) const;

  private:
    struct Row {
        uint32_t group;
        uint32_t member;
    };
    void Rebuild();
    float Figure(const GroupMember& member, int column) const;
    // The member's verdict against the keeper in the user's words; empty for
    // the keeper, a file not paired with it, or a pair not judged yet.
    QString VerdictOf(const GroupMember& member) const;
    // The member's verdict as a sort key: the safest copy highest.
    float VerdictKey(const GroupMember& member) const;
    // What a row's role means, for its tooltip.
    static QString RoleText(FileRole role);

    const std::vector<DuplicatePair>& m_results;
    const CResultGroups& m_groups;
    const CMarkState& m_marks;
    const CPairVerdicts* m_verdicts = nullptr;
    std::vector<uint32_t> m_order;  // the groups in the order shown
    std::vector<Row> m_rows;
    int m_sortColumn = -1;
    bool m_descending = false;
};
