#include "group_model.h"

#include <QFont>

#include <algorithm>
#include <numeric>

#include "mark_state.h"
#include "pair_verdicts.h"
#include "qt_text.h"
#include "results_model.h"
#include "results_view.h"

namespace {

const char* const kHeaders[kGroupColumnCount] = {
    QT_TRANSLATE_NOOP("CGroupModel", "File"),   QT_TRANSLATE_NOOP("CGroupModel", "% content"),
    QT_TRANSLATE_NOOP("CGroupModel", "% tags"), QT_TRANSLATE_NOOP("CGroupModel", "% experim."),
    QT_TRANSLATE_NOOP("CGroupModel", "Copies"), QT_TRANSLATE_NOOP("CGroupModel", "Size"),
    QT_TRANSLATE_NOOP("CGroupModel", "Verdict")};
// How far a file under the keeper is moved right.
constexpr int kIndentPixels = 20;
// The sort key of a group without a judged verdict: below every verdict.
constexpr float kNoVerdictKey = -100.0f;
// Sizes are shown in MB of 1,048,576 bytes, as the marks count them.
constexpr double kBytesPerMegabyte = 1048576.0;

}  // namespace

CGroupModel::CGroupModel(const std::vector<DuplicatePair>& results, const CResultGroups& groups,
                         const CMarkState& marks, QObject* parent)
    : QAbstractTableModel(parent), m_results(results), m_groups(groups), m_marks(marks) {
    connect(&groups, &CResultGroups::GroupsChanged, this, [this] {
        beginResetModel();
        Rebuild();
        endResetModel();
    });
    connect(&marks, &CMarkState::Changed, this, [this] {
        if (!m_rows.empty()) {
            emit dataChanged(index(0, kGroupColumnFile),
                             index(static_cast<int>(m_rows.size()) - 1, kGroupColumnFile),
                             {CResultsModel::ImageRole});
        }
    });
    Rebuild();
}

int CGroupModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CGroupModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kGroupColumnCount;
}

const GroupMember& CGroupModel::Member(int row) const {
    const Row& r = m_rows[static_cast<size_t>(row)];
    return m_groups.Groups()[r.group][r.member];
}

size_t CGroupModel::GroupOf(int row) const {
    return m_rows[static_cast<size_t>(row)].group;
}

int CGroupModel::FirstRow(size_t group) const {
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].group == group) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

QString CGroupModel::RoleText(FileRole role) {
    switch (role) {
        case FileRole::kKeeper:
            return tr("The copy to keep");
        case FileRole::kReference:
            return tr("In a reference folder: never marked");
        case FileRole::kLinked:
            return tr(
                "Sounds like another copy, not like the one to keep: not marked by Mark all "
                "but the keepers");
        case FileRole::kTagsOnly:
            return tr("Alike by its tags alone: not marked by Mark all but the keepers");
        case FileRole::kDuplicate:
            break;
    }
    return tr("A duplicate of the copy to keep");
}

void CGroupModel::SetVerdicts(const CPairVerdicts* verdicts) {
    m_verdicts = verdicts;
    connect(verdicts, &CPairVerdicts::Judged, this, [this] {
        if (m_sortColumn == kGroupColumnVerdict) {
            beginResetModel();
            Rebuild();
            endResetModel();
        } else if (!m_rows.empty()) {
            emit dataChanged(index(0, kGroupColumnVerdict),
                             index(static_cast<int>(m_rows.size()) - 1, kGroupColumnVerdict));
        }
    });
}

QString CGroupModel::VerdictOf(const GroupMember& member) const {
    if (member.role == FileRole::kKeeper || member.keeperRecord >= m_results.size() ||
        m_verdicts == nullptr) {
        return {};
    }
    const PairVerdict* verdict = m_verdicts->Find(member.keeperRecord);
    if (verdict == nullptr) {
        return QStringLiteral("\u2026");
    }
    return VerdictText(*verdict,
                       LaterBy(*verdict, m_results[member.keeperRecord].path2 == member.path));
}

float CGroupModel::Figure(const GroupMember& member, int column) const {
    if (member.keeperRecord >= m_results.size()) {
        return -1.0f;
    }
    const DuplicatePair& pair = m_results[member.keeperRecord];
    switch (column) {
        case kGroupColumnContent:
            return pair.contentPercent;
        case kGroupColumnTags:
            return pair.tagPercent;
        default:
            return pair.experimentalPercent;
    }
}

QVariant CGroupModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const GroupMember& member = Member(index.row());
    const int column = index.column();
    const bool keeper = member.role == FileRole::kKeeper;
    const bool figure = column >= kGroupColumnContent && column <= kGroupColumnExperimental;
    switch (role) {
        case Qt::DisplayRole:
            if (column == kGroupColumnFile) {
                return ToQString(member.path);
            }
            if (column == kGroupColumnSize) {
                const uint64_t bytes = m_groups.SizeOf(member.path);
                return bytes == 0 ? QVariant()
                                  : QVariant(tr("%1 MB").arg(
                                        static_cast<double>(bytes) / kBytesPerMegabyte, 0, 'f', 1));
            }
            if (column == kGroupColumnVerdict) {
                return VerdictOf(member);
            }
            if (column == kGroupColumnCopies) {
                return keeper ? QVariant(static_cast<qulonglong>(
                                    m_groups.Groups()[GroupOf(index.row())].size()))
                              : QVariant();
            }
            if (keeper || member.keeperRecord >= m_results.size()) {
                return {};
            }
            return column == kGroupColumnExperimental ? FormatExperimental(Figure(member, column))
                                                      : FormatPercent(Figure(member, column));
        case Qt::ToolTipRole:
            if (column != kGroupColumnFile) {
                return {};
            }
            return ToQString(member.path) + QStringLiteral("\n") + RoleText(member.role);
        case Qt::FontRole:
            if (keeper) {
                QFont bold;
                bold.setBold(true);
                return bold;
            }
            if (member.role == FileRole::kLinked || member.role == FileRole::kTagsOnly) {
                // Shown apart: not a plain copy of the keeper.
                QFont italic;
                italic.setItalic(true);
                return italic;
            }
            return {};
        case Qt::TextAlignmentRole:
            return column == kGroupColumnFile
                       ? QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter)
                       : QVariant::fromValue(Qt::AlignCenter);
        case CResultsModel::RecordRole:
            return member.record;
        case CResultsModel::ValueRole:
            if (figure && !keeper) {
                return Figure(member, column);
            }
            return {};
        case CResultsModel::ImageRole:
            if (column == kGroupColumnFile) {
                if (!m_marks.CanMark(member.path)) {
                    return kImageReference;
                }
                return m_marks.IsMarked(member.path) ? kImageMarked : kImageUnmarked;
            }
            return {};
        case kIndentRole:
            return column == kGroupColumnFile && !keeper ? kIndentPixels : 0;
    }
    return {};
}

QVariant CGroupModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kGroupColumnCount) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return tr(kHeaders[section]);
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(
            (section == kGroupColumnFile ? Qt::AlignLeft : Qt::AlignHCenter) | Qt::AlignVCenter);
    }
    return {};
}

float CGroupModel::VerdictKey(const GroupMember& member) const {
    const PairVerdict* verdict = m_verdicts == nullptr || member.role == FileRole::kKeeper ||
                                         member.keeperRecord >= m_results.size()
                                     ? nullptr
                                     : m_verdicts->Find(member.keeperRecord);
    // The safest copy to remove, the same file, ranks highest.
    return verdict != nullptr ? -static_cast<float>(verdict->verdict) : kNoVerdictKey;
}

void CGroupModel::Rebuild() {
    const ArrangedGroups& groups = m_groups.Groups();
    m_order.resize(groups.size());
    std::iota(m_order.begin(), m_order.end(), 0u);
    if (m_sortColumn >= 0) {
        // One key per group, so sorting 20,000 groups compares numbers and strings only.
        std::vector<float> figures(groups.size(),
                                   m_sortColumn == kGroupColumnVerdict ? kNoVerdictKey : 0.0f);
        std::vector<uint64_t> sizes(groups.size(), 0);
        for (size_t g = 0; g < groups.size(); ++g) {
            if (m_sortColumn == kGroupColumnSize) {
                sizes[g] = m_groups.SizeOf(groups[g].front().path);
            }
            for (const GroupMember& m : groups[g]) {
                if (m.role != FileRole::kKeeper && m_sortColumn >= kGroupColumnContent &&
                    m_sortColumn <= kGroupColumnExperimental) {
                    figures[g] = std::max(figures[g], Figure(m, m_sortColumn));
                }
                if (m_sortColumn == kGroupColumnVerdict) {
                    figures[g] = std::max(figures[g], VerdictKey(m));
                }
            }
        }
        std::stable_sort(m_order.begin(), m_order.end(), [&](uint32_t a, uint32_t b) {
            bool less = false;
            bool more = false;
            if (m_sortColumn == kGroupColumnFile) {
                less = groups[a].front().path < groups[b].front().path;
                more = groups[b].front().path < groups[a].front().path;
            } else if (m_sortColumn == kGroupColumnSize) {
                less = sizes[a] < sizes[b];
                more = sizes[b] < sizes[a];
            } else if (m_sortColumn == kGroupColumnCopies) {
                less = groups[a].size() < groups[b].size();
                more = groups[b].size() < groups[a].size();
            } else {
                less = figures[a] < figures[b];
                more = figures[b] < figures[a];
            }
            return m_descending ? more : less;
        });
    }
    m_rows.clear();
    for (uint32_t g : m_order) {
        for (size_t m = 0; m < groups[g].size(); ++m) {
            m_rows.push_back(Row{g, static_cast<uint32_t>(m)});
        }
    }
}

void CGroupModel::SortGroups(int column, bool descending) {
    if (column < 0 || column >= kGroupColumnCount) {
        return;
    }
    m_sortColumn = column;
    m_descending = descending;
    beginResetModel();
    Rebuild();
    endResetModel();
}
