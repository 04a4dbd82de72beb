// CResultsModel: the rows of the results list. A row points at one record of
// the main window's m_results (its index there) and carries the row's two
// marks; the records themselves belong to the main window, which must reset
// the model before it shrinks m_results. Main thread only.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <cstdint>
#include <vector>

#include "scan_owner.h"

enum ResultColumn : int {
    kColumnFile1 = 0,
    kColumnContent = 1,
    kColumnTags = 2,
    kColumnExperimental = 3,
    kColumnFile2 = 4,
    kResultColumnCount = 5,
};

// The image of a file cell: its mark.
inline constexpr uint8_t kImageUnmarked = 0;
inline constexpr uint8_t kImageMarked = 1;

struct ResultRow {
    uint32_t record = 0;               // index of the pair in m_results
    uint8_t image1 = kImageUnmarked;   // mark of path1 in this row
    uint8_t image2 = kImageUnmarked;   // mark of path2 in this row
    bool experimentalArrived = false;  // column 3 shows the late figure as it came
};

// "87.3%": one digit after the point, then the percent sign.
QString FormatPercent(float value);
// The text of the "% experim." cell of a new pair: "n/a" below -1, "wait" from
// -1 up to 0, else the percentage.
QString FormatExperimental(float value);

class CResultsModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    enum Role {
        RecordRole = Qt::UserRole + 1,  // uint: the row's index into m_results
        ValueRole,                      // float: the percentage behind a bar (columns 1-3)
        ImageRole,                      // int: the mark image of a file cell (columns 0, 4)
    };

    // results is the main window's m_results; it must outlive the model.
    CResultsModel(const std::vector<DuplicatePair>& results, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Appends one unmarked row for each record first .. first + count - 1.
    void AppendRecords(uint32_t first, uint32_t count);
    // The first row, from the top, that points at record; -1 when none does.
    int FindRow(uint32_t record) const;
    // Column 3 of row now shows the record's experimental figure as it is.
    void ShowExperimental(int row);
    // Flips the mark of a file cell: unmarked becomes marked, anything else unmarked.
    void ToggleImage(int row, int column);
    void SetImage(int row, int column, uint8_t image);
    // Removes the given rows (any order, duplicates allowed).
    void RemoveRows(std::vector<int> rows);
    void Clear();
    // Puts the rows in a new order: order[i] is the current number of the row
    // that becomes row i. order must be a permutation of 0 .. rowCount() - 1.
    void Reorder(const std::vector<int>& order);

    const ResultRow& Row(int row) const { return m_rows[static_cast<size_t>(row)]; }
    // True when the row's record index lies inside m_results.
    bool IsInBounds(int row) const;
    const DuplicatePair& Record(int row) const { return m_results[Row(row).record]; }

  private:
    const std::vector<DuplicatePair>& m_results;
    std::vector<ResultRow> m_rows;
};
