#include "results_model.h"

#include <algorithm>
#include <iomanip>
#include <locale>
#include <sstream>

namespace {

const char* const kHeaders[kResultColumnCount] = {"File #1", "% content", "% tags", "% experim.",
                                                  "File #2"};

// Below this an experimental figure was never requested.
constexpr float kNotRequestedBelow = -1.0f;

}  // namespace

QString FormatPercent(float value) {
    // The C library's rounding (an exact tie goes to the even digit: 42.25
    // shows 42.2), as a standard stream in fixed notation gives it.
    // The classic locale keeps the point whatever the user's locale says.
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << std::fixed << std::setprecision(1) << value << '%';
    return QString::fromStdString(text.str());
}

QString FormatExperimental(float value) {
    if (value < kNotRequestedBelow) {
        return QStringLiteral("n/a");
    }
    if (value < 0.0f) {
        return QStringLiteral("wait");
    }
    return FormatPercent(value);
}

CResultsModel::CResultsModel(const std::vector<DuplicatePair>& results, QObject* parent)
    : QAbstractTableModel(parent), m_results(results) {}

int CResultsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CResultsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kResultColumnCount;
}

bool CResultsModel::IsInBounds(int row) const {
    return row >= 0 && static_cast<size_t>(row) < m_rows.size() &&
           m_rows[static_cast<size_t>(row)].record < m_results.size();
}

QVariant CResultsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !IsInBounds(index.row())) {
        return {};
    }
    const ResultRow& row = Row(index.row());
    const DuplicatePair& pair = m_results[row.record];
    const int column = index.column();
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            switch (column) {
                case kColumnFile1:
                    return QString::fromStdU16String(pair.path1);
                case kColumnFile2:
                    return QString::fromStdU16String(pair.path2);
                case kColumnContent:
                    return role == Qt::DisplayRole ? FormatPercent(pair.contentPercent)
                                                   : QVariant();
                case kColumnTags:
                    return role == Qt::DisplayRole ? FormatPercent(pair.tagPercent) : QVariant();
                case kColumnExperimental:
                    if (role != Qt::DisplayRole) {
                        return {};
                    }
                    return row.experimentalArrived ? FormatPercent(pair.experimentalPercent)
                                                   : FormatExperimental(pair.experimentalPercent);
            }
            break;
        case Qt::TextAlignmentRole:
            if (column == kColumnFile1 || column == kColumnFile2) {
                return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
            }
            return QVariant::fromValue(Qt::AlignCenter);
        case RecordRole:
            return row.record;
        case ValueRole:
            switch (column) {
                case kColumnContent:
                    return pair.contentPercent;
                case kColumnTags:
                    return pair.tagPercent;
                case kColumnExperimental:
                    return pair.experimentalPercent;
            }
            break;
        case ImageRole:
            if (column == kColumnFile1) {
                return row.image1;
            }
            if (column == kColumnFile2) {
                return row.image2;
            }
            break;
    }
    return {};
}

QVariant CResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kResultColumnCount) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return QString::fromLatin1(kHeaders[section]);
    }
    if (role == Qt::TextAlignmentRole) {
        const bool file = section == kColumnFile1 || section == kColumnFile2;
        return QVariant::fromValue((file ? Qt::AlignLeft : Qt::AlignHCenter) | Qt::AlignVCenter);
    }
    return {};
}

Qt::ItemFlags CResultsModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void CResultsModel::AppendRecords(uint32_t first, uint32_t count) {
    if (count == 0) {
        return;
    }
    const int at = static_cast<int>(m_rows.size());
    beginInsertRows(QModelIndex(), at, at + static_cast<int>(count) - 1);
    m_rows.reserve(m_rows.size() + count);
    for (uint32_t i = 0; i < count; ++i) {
        ResultRow row;
        row.record = first + i;
        m_rows.push_back(row);
    }
    endInsertRows();
}

int CResultsModel::FindRow(uint32_t record) const {
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].record == record) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void CResultsModel::ShowExperimental(int row) {
    if (row < 0 || static_cast<size_t>(row) >= m_rows.size()) {
        return;
    }
    m_rows[static_cast<size_t>(row)].experimentalArrived = true;
    const QModelIndex cell = index(row, kColumnExperimental);
    emit dataChanged(cell, cell);
}

void CResultsModel::ToggleImage(int row, int column) {
    if (row < 0 || static_cast<size_t>(row) >= m_rows.size()) {
        return;
    }
    const ResultRow& r = m_rows[static_cast<size_t>(row)];
    const uint8_t current = column == kColumnFile1 ? r.image1 : r.image2;
    SetImage(row, column, current == kImageUnmarked ? kImageMarked : kImageUnmarked);
}

void CResultsModel::SetImage(int row, int column, uint8_t image) {
    if (row < 0 || static_cast<size_t>(row) >= m_rows.size() ||
        (column != kColumnFile1 && column != kColumnFile2)) {
        return;
    }
    ResultRow& r = m_rows[static_cast<size_t>(row)];
    (column == kColumnFile1 ? r.image1 : r.image2) = image;
    const QModelIndex cell = index(row, column);
    emit dataChanged(cell, cell, {ImageRole});
}

void CResultsModel::RemoveRows(std::vector<int> rows) {
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    // Runs of neighbouring rows go in one step, the highest run first, so the
    // numbers of the rows still to go stay valid.
    size_t i = 0;
    while (i < rows.size()) {
        const int last = rows[i];
        int first = last;
        size_t j = i + 1;
        while (j < rows.size() && rows[j] == first - 1) {
            first = rows[j];
            ++j;
        }
        if (first >= 0 && static_cast<size_t>(last) < m_rows.size()) {
            beginRemoveRows(QModelIndex(), first, last);
            m_rows.erase(m_rows.begin() + first, m_rows.begin() + last + 1);
            endRemoveRows();
        }
        i = j;
    }
}

void CResultsModel::Clear() {
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

void CResultsModel::Reorder(const std::vector<int>& order) {
    if (order.size() != m_rows.size()) {
        return;
    }
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<ResultRow> sorted;
    sorted.reserve(m_rows.size());
    std::vector<int> newRowOf(m_rows.size());
    for (size_t i = 0; i < order.size(); ++i) {
        sorted.push_back(m_rows[static_cast<size_t>(order[i])]);
        newRowOf[static_cast<size_t>(order[i])] = static_cast<int>(i);
    }
    m_rows.swap(sorted);
    // Keep the selection and the current row on the same pairs.
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& index : before) {
        after.push_back(this->index(newRowOf[static_cast<size_t>(index.row())], index.column()));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
