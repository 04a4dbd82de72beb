// CResultsModel: the rows of the results list. A row points at one record of
// the main window's m_results (its index there) and carries the row's two
// marks; the records themselves belong to the main window, which must reset
// the model before it shrinks m_results.
//
// The model keeps the user's sort: rows that arrive later are put in their
// place, and a new scan keeps the sort. A filter hides rows without losing
// them: hidden rows come back, in order, when the filter changes. Main
// thread only.
#pragma once

#include <QAbstractTableModel>
#include <QCollator>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "scan_owner.h"

class CMarkState;
class CPairVerdicts;

enum ResultColumn : int {
    kColumnFile1 = 0,
    kColumnContent = 1,
    kColumnTags = 2,
    kColumnExperimental = 3,
    kColumnFile2 = 4,
    kColumnVerdict = 5,  // File #2 as a copy of File #1
    kResultColumnCount = 6,
};

// The image of a file cell: its mark.
inline constexpr uint8_t kImageUnmarked = 0;
inline constexpr uint8_t kImageMarked = 1;
inline constexpr uint8_t kImageReference = 2;  // in a reference folder: never marked

struct ResultRow {
    uint32_t record = 0;               // index of the pair in m_results
    bool experimentalArrived = false;  // column 3 shows the late figure as it came
};

// "87.3%": one digit after the point, then the percent sign.
QString FormatPercent(float value);
// The text of the "% experim." cell of a new pair: "n/a" below -1 (never
// requested), "failed" for a figure that could not be computed, "wait" from
// -1 up to 0, else the percentage.
QString FormatExperimental(float value);

// What rows the filter lets through.
struct ResultFilter {
    QString text;              // shown when either path contains it (any case); empty: all
    bool hideTagOnly = false;  // hide pairs listed by their tags alone (0 % content)
    bool Passes(const DuplicatePair& pair) const;
};

class CResultsModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    enum Role {
        RecordRole = Qt::UserRole + 1,  // uint: the row's index into m_results
        ValueRole,                      // float: the percentage behind a bar (columns 1-3)
        ImageRole,                      // int: the mark image of a file cell (columns 0, 4)
    };
    // What a "wait" cell shows once its figure can no longer come.
    enum class PendingFigures { kMayArrive, kFailed, kStopped };

    // results is the main window's m_results; it must outlive the model.
    CResultsModel(const std::vector<DuplicatePair>& results, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Adds one unmarked row for each record first .. first + count - 1, none
    // of which may have a row already; records skipped before (kept but not
    // listed) may be listed later. Under a sort each row goes to its place
    // (after the rows it ties with); otherwise at the end. Rows the filter
    // refuses are kept hidden. Records beyond m_results add nothing.
    void AppendRecords(uint32_t first, uint32_t count);
    // AppendRecords of the records [first, end) except those hidden says
    // no to; the others are appended in runs, so a large batch is one insertion.
    void AppendRecordsBut(uint32_t first, uint32_t end,
                          const std::function<bool(const DuplicatePair&)>& hidden);
    // The first row, from the top, that points at record; -1 when none does.
    int FindRow(uint32_t record) const;
    // The row of record (shown or hidden) now shows the record's experimental
    // figure as it is.
    void ShowExperimental(uint32_t record);
    // The marks the file cells show and set; marks must outlive the model.
    // Without marks every file shows unmarked and nothing can be marked.
    void SetMarks(CMarkState* marks);
    // The verdicts the verdict cells show; verdicts must outlive the model.
    // Without them, and for a pair not judged yet, the cell shows "…".
    void SetVerdicts(const CPairVerdicts* verdicts);
    const CPairVerdicts* verdicts() const { return m_verdicts; }
    // Flips the mark of a file cell's file, in every row that shows it.
    void ToggleImage(int row, int column);
    void SetImage(int row, int column, uint8_t image);
    // Removes the given rows (any order, duplicates allowed).
    void RemoveRows(std::vector<int> rows);
    // Removes every row whose record matches: shown or hidden, or only the
    // rows the filter hides.
    void RemoveWhere(const std::function<bool(const DuplicatePair&)>& match,
                     bool hiddenOnly = false);
    // Removes every row; the sort and the filter stay.
    void Clear();
    // Puts the rows in a new order: order[i] is the current number of the row
    // that becomes row i. order must be a permutation of 0 .. rowCount() - 1.
    void Reorder(const std::vector<int>& order);

    // Sorts by column: the file columns by path, case-insensitively in the
    // user's locale, A first unless reverse; the figure columns largest first
    // unless reverse; the verdicts from "same file" to "tags only" unless
    // reverse, pairs not judged yet last. Equal rows keep their order. The
    // sort then holds for rows that arrive later, and for verdicts as they
    // arrive.
    void Sort(int column, bool reverse);
    // -1 while no sort holds.
    int SortColumn() const { return m_sortColumn; }
    bool SortReverse() const { return m_sortReverse; }

    void SetFilter(const ResultFilter& filter);
    const ResultFilter& filter() const { return m_filter; }
    // Rows shown and hidden.
    int TotalRows() const { return static_cast<int>(m_rows.size() + m_hidden.size()); }

    void SetPendingFigures(PendingFigures pending);

    const ResultRow& Row(int row) const { return m_rows[static_cast<size_t>(row)]; }
    // True when the row's record index lies inside m_results.
    bool IsInBounds(int row) const;
    const DuplicatePair& Record(int row) const { return m_results[Row(row).record]; }

  private:
    // The key of a figure or verdict column: the larger first.
    float SortKey(uint32_t record, int column) const;
    // Whether row a goes before row b under the current sort (false when equal).
    bool Before(const ResultRow& a, const ResultRow& b) const;
    // Brings the rank of every record in path order up to date.
    void UpdateRanks(int side);
    void ApplyOrder(std::vector<ResultRow> rows);

    // The file shown in a file cell; null for another cell or an unknown row.
    const std::u16string* CellFile(int row, int column) const;

    const std::vector<DuplicatePair>& m_results;
    std::vector<ResultRow> m_rows;    // shown, in order
    std::vector<ResultRow> m_hidden;  // refused by the filter
    CMarkState* m_marks = nullptr;
    const CPairVerdicts* m_verdicts = nullptr;
    ResultFilter m_filter;
    int m_sortColumn = -1;
    bool m_sortReverse = false;
    PendingFigures m_pending = PendingFigures::kMayArrive;

    // Per file column (0: path1, 1: path2): each record's collation key, the
    // records in path order, and each record's place in that order. The order
    // grows by binary insertion as records arrive, so sorting a file column
    // compares integers.
    QCollator m_collator;
    std::array<std::vector<QCollatorSortKey>, 2> m_keys;
    std::array<std::vector<uint32_t>, 2> m_byPath;
    std::array<std::vector<uint32_t>, 2> m_rank;
    std::array<bool, 2> m_rankFresh = {true, true};
};
