#include "results_model.h"

#include "mark_state.h"
#include "pair_verdicts.h"

#include <algorithm>
#include <iomanip>
#include <locale>
#include <numeric>
#include <sstream>

#include "compare_settings.h"
#include "qt_text.h"

namespace {

const char* const kHeaders[kResultColumnCount] = {
    QT_TRANSLATE_NOOP("CResultsModel", "File #1"), QT_TRANSLATE_NOOP("CResultsModel", "% content"),
    QT_TRANSLATE_NOOP("CResultsModel", "% tags"),  QT_TRANSLATE_NOOP("CResultsModel", "% experim."),
    QT_TRANSLATE_NOOP("CResultsModel", "File #2"), QT_TRANSLATE_NOOP("CResultsModel", "Verdict")};

// The sort key of a pair not judged yet: below every verdict.
constexpr float kNotJudgedKey = -100.0f;

// Below this an experimental figure was never requested.
constexpr float kNotRequestedBelow = -1.0f;
// A batch smaller than this share of the rows goes in row by row; a larger
// one is merged in one pass.
constexpr size_t kInsertShare = 64;

int SideOf(int column) {
    return column == kColumnFile2 ? 1 : 0;
}

float FigureOf(const DuplicatePair& pair, int column) {
    return column == kColumnContent ? pair.contentPercent
           : column == kColumnTags  ? pair.tagPercent
                                    : pair.experimentalPercent;
}

QString HeaderToolTip(int column) {
    const QString sensitivity = QString::number(g_sensitivity.load(), 'f', 2);
    if (column == kColumnContent) {
        return CResultsModel::tr(
                   "How alike the music is. 0 % is the threshold of the current sensitivity "
                   "(%1), 100 % is identical. A pair listed by its tags alone shows 0 %.")
            .arg(sensitivity);
    }
    if (column == kColumnTags) {
        return CResultsModel::tr(
                   "How alike title, artist, file name and album are. 0 % is the threshold of "
                   "the current sensitivity (%1), 100 % is identical. A pair listed by its "
                   "music alone may show 0 %.")
            .arg(sensitivity);
    }
    if (column == kColumnExperimental) {
        return CResultsModel::tr(
            "The slow experimental measure over the first minute of both files; \"n/a\" when "
            "it was off, \"failed\" when a file is shorter than a minute.");
    }
    if (column == kColumnVerdict) {
        return CResultsModel::tr(
            "What kind of copy File #2 is of File #1: the same file (equal bytes), the same "
            "audio (equal decoded samples), the same recording, shifted (its music starts "
            "later or earlier), band-limited, or alike by its tags only.");
    }
    return {};
}

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
    if (value == kExperimentalFailed) {
        return CResultsModel::tr("failed");
    }
    if (value < kNotRequestedBelow) {
        return CResultsModel::tr("n/a");
    }
    if (value < 0.0f) {
        return CResultsModel::tr("wait");
    }
    return FormatPercent(value);
}

bool ResultFilter::Passes(const DuplicatePair& pair) const {
    if (hideTagOnly && pair.contentPercent <= 0.0f) {
        return false;
    }
    if (text.isEmpty()) {
        return true;
    }
    return ToQString(pair.path1).contains(text, Qt::CaseInsensitive) ||
           ToQString(pair.path2).contains(text, Qt::CaseInsensitive);
}

CResultsModel::CResultsModel(const std::vector<DuplicatePair>& results, QObject* parent)
    : QAbstractTableModel(parent), m_results(results) {
    m_collator.setCaseSensitivity(Qt::CaseInsensitive);
}

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
                    return ToQString(pair.path1);
                case kColumnFile2:
                    return ToQString(pair.path2);
                case kColumnVerdict: {
                    const PairVerdict* verdict =
                        m_verdicts != nullptr ? m_verdicts->Find(row.record) : nullptr;
                    return verdict != nullptr ? VerdictText(*verdict, LaterBy(*verdict, true))
                                              : QStringLiteral("\u2026");
                }
                case kColumnContent:
                    return role == Qt::DisplayRole ? FormatPercent(pair.contentPercent)
                                                   : QVariant();
                case kColumnTags:
                    return role == Qt::DisplayRole ? FormatPercent(pair.tagPercent) : QVariant();
                case kColumnExperimental: {
                    if (role != Qt::DisplayRole) {
                        return {};
                    }
                    const float value = pair.experimentalPercent;
                    if (value == kExperimentalPending && m_pending != PendingFigures::kMayArrive) {
                        return m_pending == PendingFigures::kFailed ? tr("failed") : tr("stopped");
                    }
                    if (row.experimentalArrived && value != kExperimentalFailed) {
                        return FormatPercent(value);
                    }
                    return FormatExperimental(value);
                }
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
            if (column == kColumnContent || column == kColumnTags ||
                column == kColumnExperimental) {
                return FigureOf(pair, column);
            }
            break;
        case ImageRole:
            if (column == kColumnFile1 || column == kColumnFile2) {
                const std::u16string& path = column == kColumnFile1 ? pair.path1 : pair.path2;
                if (m_marks != nullptr && !m_marks->CanMark(path)) {
                    return kImageReference;
                }
                return m_marks != nullptr && m_marks->IsMarked(path) ? kImageMarked
                                                                     : kImageUnmarked;
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
        return tr(kHeaders[section]);
    }
    if (role == Qt::ToolTipRole) {
        const QString tip = HeaderToolTip(section);
        return tip.isEmpty() ? QVariant() : QVariant(tip);
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

void CResultsModel::UpdateRanks(int side) {
    if (m_rankFresh[static_cast<size_t>(side)]) {
        return;
    }
    const std::vector<uint32_t>& order = m_byPath[static_cast<size_t>(side)];
    std::vector<uint32_t>& rank = m_rank[static_cast<size_t>(side)];
    rank.resize(order.size());
    for (size_t i = 0; i < order.size(); ++i) {
        rank[order[i]] = static_cast<uint32_t>(i);
    }
    m_rankFresh[static_cast<size_t>(side)] = true;
}

bool CResultsModel::Before(const ResultRow& a, const ResultRow& b) const {
    if (m_sortColumn == kColumnFile1 || m_sortColumn == kColumnFile2) {
        const std::vector<uint32_t>& rank = m_rank[static_cast<size_t>(SideOf(m_sortColumn))];
        return m_sortReverse ? rank[a.record] > rank[b.record] : rank[a.record] < rank[b.record];
    }
    const float va = SortKey(a.record, m_sortColumn);
    const float vb = SortKey(b.record, m_sortColumn);
    // Direction 0 puts the largest figures first.
    return m_sortReverse ? va < vb : va > vb;
}

float CResultsModel::SortKey(uint32_t record, int column) const {
    if (column != kColumnVerdict) {
        return FigureOf(m_results[record], column);
    }
    const PairVerdict* verdict = m_verdicts != nullptr ? m_verdicts->Find(record) : nullptr;
    // The safest copy to remove, the same file, comes first.
    return verdict != nullptr ? -static_cast<float>(verdict->verdict) : kNotJudgedKey;
}

void CResultsModel::AppendRecords(uint32_t first, uint32_t count) {
    if (count == 0 || first > m_results.size() || count > m_results.size() - first) {
        return;
    }
    // Keys and ranks are found by record number, so the path order takes in
    // every record up to the last one listed, also those kept without a row
    // (pairs remembered as not duplicates); a record listed again (taken
    // back) has its place already.
    const uint32_t end = first + count;
    const uint32_t known = static_cast<uint32_t>(m_keys[0].size());
    for (int side = 0; side < 2 && end > known; ++side) {
        auto& keys = m_keys[static_cast<size_t>(side)];
        auto& order = m_byPath[static_cast<size_t>(side)];
        const size_t before = order.size();
        for (uint32_t r = known; r < end; ++r) {
            const DuplicatePair& pair = m_results[r];
            // Folded first: in the C locale the collator compares code points.
            keys.push_back(
                m_collator.sortKey(ToQString(side == 0 ? pair.path1 : pair.path2).toCaseFolded()));
        }
        auto less = [&keys](uint32_t a, uint32_t b) {
            const int c = keys[a].compare(keys[b]);
            return c != 0 ? c < 0 : a < b;
        };
        if ((end - known) * kInsertShare < before) {
            for (uint32_t r = known; r < end; ++r) {
                order.insert(std::upper_bound(order.begin(), order.end(), r, less), r);
            }
        } else {
            for (uint32_t r = known; r < end; ++r) {
                order.push_back(r);
            }
            std::sort(order.begin() + static_cast<std::ptrdiff_t>(before), order.end(), less);
            std::inplace_merge(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(before),
                               order.end(), less);
        }
        m_rankFresh[static_cast<size_t>(side)] = false;
    }

    std::vector<ResultRow> shown;
    for (uint32_t r = first; r < end; ++r) {
        ResultRow row;
        row.record = r;
        (m_filter.Passes(m_results[r]) ? shown : m_hidden).push_back(row);
    }
    if (shown.empty()) {
        return;
    }
    if (m_sortColumn < 0) {
        const int at = static_cast<int>(m_rows.size());
        beginInsertRows(QModelIndex(), at, at + static_cast<int>(shown.size()) - 1);
        m_rows.insert(m_rows.end(), shown.begin(), shown.end());
        endInsertRows();
        return;
    }
    if (m_sortColumn == kColumnFile1 || m_sortColumn == kColumnFile2) {
        UpdateRanks(SideOf(m_sortColumn));
    }
    auto before = [this](const ResultRow& a, const ResultRow& b) { return Before(a, b); };
    if (shown.size() * kInsertShare < m_rows.size()) {
        for (const ResultRow& row : shown) {
            const int at = static_cast<int>(
                std::upper_bound(m_rows.begin(), m_rows.end(), row, before) - m_rows.begin());
            beginInsertRows(QModelIndex(), at, at);
            m_rows.insert(m_rows.begin() + at, row);
            endInsertRows();
        }
        return;
    }
    std::vector<ResultRow> rows = m_rows;
    const size_t old = rows.size();
    std::stable_sort(shown.begin(), shown.end(), before);
    rows.insert(rows.end(), shown.begin(), shown.end());
    std::inplace_merge(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(old), rows.end(),
                       before);
    // The new rows first join at the end, so the views see their count grow.
    const int at = static_cast<int>(m_rows.size());
    beginInsertRows(QModelIndex(), at, at + static_cast<int>(shown.size()) - 1);
    m_rows.insert(m_rows.end(), shown.begin(), shown.end());
    endInsertRows();
    ApplyOrder(std::move(rows));
}

void CResultsModel::ApplyOrder(std::vector<ResultRow> rows) {
    // Rows are told apart by their record: no record has two rows.
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newRowOf(m_results.size(), -1);
    for (size_t i = 0; i < rows.size(); ++i) {
        newRowOf[rows[i].record] = static_cast<int>(i);
    }
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& index : before) {
        const int row = index.row() >= 0 && static_cast<size_t>(index.row()) < m_rows.size()
                            ? newRowOf[m_rows[static_cast<size_t>(index.row())].record]
                            : -1;
        after.push_back(row < 0 ? QModelIndex() : this->index(row, index.column()));
    }
    m_rows.swap(rows);
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void CResultsModel::Sort(int column, bool reverse) {
    if (column < 0 || column >= kResultColumnCount) {
        return;
    }
    m_sortColumn = column;
    m_sortReverse = reverse;
    if (column == kColumnFile1 || column == kColumnFile2) {
        UpdateRanks(SideOf(column));
    }
    std::vector<ResultRow> rows = m_rows;
    if (column == kColumnFile1 || column == kColumnFile2) {
        std::stable_sort(rows.begin(), rows.end(),
                         [this](const ResultRow& a, const ResultRow& b) { return Before(a, b); });
    } else {
        // The figures are read once: the records lie scattered in memory.
        std::vector<std::pair<float, uint32_t>> keyed(rows.size());
        for (size_t i = 0; i < rows.size(); ++i) {
            keyed[i] = {SortKey(rows[i].record, column), static_cast<uint32_t>(i)};
        }
        std::stable_sort(keyed.begin(), keyed.end(), [reverse](const auto& a, const auto& b) {
            return reverse ? a.first < b.first : a.first > b.first;
        });
        std::vector<ResultRow> sorted;
        sorted.reserve(rows.size());
        for (const auto& [value, i] : keyed) {
            sorted.push_back(rows[i]);
        }
        rows.swap(sorted);
    }
    ApplyOrder(std::move(rows));
}

void CResultsModel::SetFilter(const ResultFilter& filter) {
    m_filter = filter;
    std::vector<ResultRow> all = m_rows;
    all.insert(all.end(), m_hidden.begin(), m_hidden.end());
    // Arrival order, then the sort.
    std::sort(all.begin(), all.end(),
              [](const ResultRow& a, const ResultRow& b) { return a.record < b.record; });
    beginResetModel();
    m_rows.clear();
    m_hidden.clear();
    for (const ResultRow& row : all) {
        (m_filter.Passes(m_results[row.record]) ? m_rows : m_hidden).push_back(row);
    }
    endResetModel();
    if (m_sortColumn >= 0) {
        Sort(m_sortColumn, m_sortReverse);
    }
}

void CResultsModel::SetPendingFigures(PendingFigures pending) {
    if (pending == m_pending) {
        return;
    }
    m_pending = pending;
    if (!m_rows.empty()) {
        emit dataChanged(index(0, kColumnExperimental),
                         index(static_cast<int>(m_rows.size()) - 1, kColumnExperimental));
    }
}

int CResultsModel::FindRow(uint32_t record) const {
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].record == record) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void CResultsModel::ShowExperimental(uint32_t record) {
    const int row = FindRow(record);
    if (row < 0) {
        for (ResultRow& hidden : m_hidden) {
            if (hidden.record == record) {
                hidden.experimentalArrived = true;
            }
        }
        return;
    }
    m_rows[static_cast<size_t>(row)].experimentalArrived = true;
    const QModelIndex cell = index(row, kColumnExperimental);
    emit dataChanged(cell, cell);
    if (m_sortColumn == kColumnExperimental) {
        // The row's figure changed: it moves to its new place.
        Sort(m_sortColumn, m_sortReverse);
    }
}

void CResultsModel::SetVerdicts(const CPairVerdicts* verdicts) {
    m_verdicts = verdicts;
    connect(verdicts, &CPairVerdicts::Judged, this, [this] {
        if (m_rows.empty()) {
            return;
        }
        if (m_sortColumn == kColumnVerdict) {
            Sort(m_sortColumn, m_sortReverse);
        } else {
            emit dataChanged(index(0, kColumnVerdict),
                             index(static_cast<int>(m_rows.size()) - 1, kColumnVerdict));
        }
    });
}

void CResultsModel::SetMarks(CMarkState* marks) {
    m_marks = marks;
    // A mark shows in every row of its file.
    connect(marks, &CMarkState::Changed, this, [this] {
        if (!m_rows.empty()) {
            emit dataChanged(index(0, 0),
                             index(static_cast<int>(m_rows.size()) - 1, kResultColumnCount - 1),
                             {ImageRole});
        }
    });
}

const std::u16string* CResultsModel::CellFile(int row, int column) const {
    if (!IsInBounds(row) || (column != kColumnFile1 && column != kColumnFile2)) {
        return nullptr;
    }
    const DuplicatePair& pair = Record(row);
    return column == kColumnFile1 ? &pair.path1 : &pair.path2;
}

void CResultsModel::ToggleImage(int row, int column) {
    if (const std::u16string* file = CellFile(row, column); file != nullptr && m_marks) {
        m_marks->Toggle(*file);
    }
}

void CResultsModel::SetImage(int row, int column, uint8_t image) {
    if (const std::u16string* file = CellFile(row, column); file != nullptr && m_marks) {
        m_marks->SetMarked(*file, image == kImageMarked);
    }
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

void CResultsModel::RemoveWhere(const std::function<bool(const DuplicatePair&)>& match,
                                bool hiddenOnly) {
    auto matches = [&](const ResultRow& row) {
        return row.record < m_results.size() && match(m_results[row.record]);
    };
    m_hidden.erase(std::remove_if(m_hidden.begin(), m_hidden.end(), matches), m_hidden.end());
    if (hiddenOnly) {
        return;
    }
    std::vector<int> rows;
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (matches(m_rows[i])) {
            rows.push_back(static_cast<int>(i));
        }
    }
    RemoveRows(std::move(rows));
}

void CResultsModel::Clear() {
    beginResetModel();
    m_rows.clear();
    m_hidden.clear();
    for (int side = 0; side < 2; ++side) {
        m_keys[static_cast<size_t>(side)].clear();
        m_byPath[static_cast<size_t>(side)].clear();
        m_rank[static_cast<size_t>(side)].clear();
        m_rankFresh[static_cast<size_t>(side)] = true;
    }
    m_pending = PendingFigures::kMayArrive;
    endResetModel();
}

void CResultsModel::Reorder(const std::vector<int>& order) {
    if (order.size() != m_rows.size()) {
        return;
    }
    std::vector<ResultRow> sorted;
    sorted.reserve(m_rows.size());
    for (int i : order) {
        sorted.push_back(m_rows[static_cast<size_t>(i)]);
    }
    // An order given from outside is no sort that later rows could follow.
    m_sortColumn = -1;
    ApplyOrder(std::move(sorted));
}

void CResultsModel::AppendRecordsBut(uint32_t first, uint32_t end,
                                     const std::function<bool(const DuplicatePair&)>& hidden) {
    end = std::min<uint32_t>(end, static_cast<uint32_t>(m_results.size()));
    uint32_t runStart = first;
    for (uint32_t record = first; record < end; ++record) {
        if (hidden(m_results[record])) {
            AppendRecords(runStart, record - runStart);
            runStart = record + 1;
        }
    }
    if (runStart < end) {
        AppendRecords(runStart, end - runStart);
    }
}
