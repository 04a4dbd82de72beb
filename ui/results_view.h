// CResultsView: the results list on screen. A table of the five result
// columns, whole rows selected; file cells show a mark image and a path
// shortened from the left to fit, percentage cells show their figure under a
// coloured bar. It reports clicks, double clicks and context-menu requests to
// the main window, which owns the model. Main thread only.
#pragma once

#include <QFontMetrics>
#include <QStyledItemDelegate>
#include <QTableView>
#include <memory>
#include <vector>

class CResultsModel;

// A model may move the text of a file cell right by this many pixels (int).
inline constexpr int kIndentRole = Qt::UserRole + 16;

// A file cell: the mark image at its left, the text to the right of it.
QRect IconRect(const QRect& cell);
QRect LabelRect(const QRect& cell);

// What a file cell of label width labelWidth shows of path: nothing when the
// label is 24 pixels wide or less; the whole path when it fits; else "…" and
// the longest tail that fits starting at a '/' ("…/Album/Track.mp3"), or the
// tail from the last '/' when none fits; a path without '/' whole.
QString ElidePath(const QString& path, int labelWidth, const QFontMetrics& metrics);

// ElidePath for many paths in one font, with the same results but mostly
// without shaping the text: for text made only of Latin letters and common
// signs the width is first estimated from per-character advances, and only
// an estimate too close to the available width is measured exactly. Sorting
// 20,000 rows by a file column measures every row, which is what this is for.
class CPathElider {
  public:
    explicit CPathElider(const QFont& font);
    QString Elide(const QString& path, int labelWidth) const;
    const QFont& font() const { return m_font; }

  private:
    // Whether text is narrower than available pixels.
    bool Fits(QStringView text, int available) const;

    QFont m_font;
    QFontMetrics m_metrics;
    std::vector<qreal> m_advance;  // per character below kEstimatedCharacters
    qreal m_ellipsis = 0;
};

// The bar's colour for value (0..100) in column: (k, k, 255) for "% content",
// (k, 255, k) for "% tags", (255, k, k) for "% experim.", k running from 255
// at 0 down to 85 at 100.
QColor BarColour(float value, int column);
// The part of cell that the bar fills: empty when no bar is drawn (negative
// value, cell smaller than 11 x 11) and for 0.
QRect BarFill(const QRect& cell, float value);
// Black or white, whichever stands out more from background.
QColor TextColourOn(const QColor& background);

// The bar over a percentage cell: a grey outline and the part filled in the
// colour of the column. Draws nothing for a negative value or a cell smaller
// than 11 x 11.
void PaintBar(QPainter* painter, const QRect& cell, float value, int column);
// text centred in cell, over whatever is painted there: in
// TextColourOn(background) beside the bar and in TextColourOn(the bar's
// colour) over it, so every figure reads on a selected row as on any other.
void PaintFigureText(QPainter* painter, const QRect& cell, const QString& text, float value,
                     int column, const QColor& background);

class CResultsDelegate : public QStyledItemDelegate {
    Q_OBJECT

  public:
    explicit CResultsDelegate(QTableView* view);
    // The elider for font, made again when the font changes.
    const CPathElider& Elider(const QFont& font) const;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

  private:
    QTableView* m_view;
    mutable std::unique_ptr<CPathElider> m_elider;
};

class CResultsView : public QTableView {
    Q_OBJECT

  public:
    explicit CResultsView(QWidget* parent = nullptr);

    // The width a column starts with: 400 for the file columns, 100 for the figures.
    static int InitialColumnWidth(int column);

    // The text a file cell shows now, at its column's current width.
    QString CellText(int row, int column) const;
    // Scales the column widths to fill width, keeping their proportions; no
    // column narrower than 40 pixels. Nothing happens while all widths are 0.
    void FitColumns(int width);
    // The text shown in the middle of the list while it has no rows.
    void SetHint(const QString& hint);
    // The first selected row, or -1.
    int FirstSelectedRow() const;

    // Sorts the model's rows by column as a click on its header does: the
    // same column again reverses the direction. The model is a CResultsModel.
    void SortBy(int column);
    // column * 2, plus 1 when reversed; 1 before any sort.
    int sortState() const { return m_sortState; }
    // The header's arrow shows the sort the model holds, or none.
    void ShowSortArrow();
    const QString& hint() const { return m_hint; }

  signals:
    // A left click below the last row.
    void emptyAreaClicked();
    // A left click on the mark image of a file cell.
    void imageClicked(int row, int column);
    // A double click on a cell.
    void cellDoubleClicked(int row, int column);
    // A right click on a row.
    void contextMenuWanted(int row, int column, const QPoint& globalPos);
    // Space without modifiers: the marks of the selected rows' files flip.
    void markKeyPressed();
    // Delete without modifiers: the selected rows' files are to go.
    void deleteKeyPressed();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    int m_sortState = 1;
    QString m_hint;
};
