#include "results_view.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPainter>

#include "artwork.h"
#include "results_model.h"

namespace {

constexpr int kImageSize = 16;
constexpr int kImageMargin = 3;
// The label keeps this much room free at its right.
constexpr int kLabelReserve = 5;
// Labels this narrow (after the reserve) show no text at all.
constexpr int kNarrowestLabel = 19;
// Cells smaller than this in either direction get no bar.
constexpr int kSmallestBarCell = 11;
// The bar's colour runs from 255 (0 %) down to 85 (100 %) in two channels.
constexpr int kBarColourRange = 170;
constexpr int kOutlineGrey = 200;
constexpr int kInitialFileWidth = 400;
constexpr int kInitialFigureWidth = 100;
constexpr int kNarrowestColumn = 40;
const QString kEllipsis = QStringLiteral("\u2026");

const QPixmap& Image(int image) {
    static const QPixmap unmarked = artwork::UnmarkedImage(kImageSize);
    static const QPixmap marked = artwork::MarkedImage(kImageSize);
    return image == kImageMarked ? marked : unmarked;
}

}  // namespace

QRect IconRect(const QRect& cell) {
    return QRect(cell.left() + kImageMargin, cell.top() + (cell.height() - kImageSize) / 2,
                 kImageSize, kImageSize);
}

QRect LabelRect(const QRect& cell) {
    QRect label = cell;
    label.setLeft(cell.left() + kImageMargin + kImageSize + kImageMargin);
    return label;
}

QString ElidePath(const QString& path, int labelWidth, const QFontMetrics& metrics) {
    const int available = labelWidth - kLabelReserve;
    if (available <= kNarrowestLabel) {
        return {};
    }
    if (metrics.horizontalAdvance(path) < available) {
        return path;
    }
    QString candidate = path;
    for (qsizetype slash = path.indexOf(QLatin1Char('/')); slash >= 0;
         slash = path.indexOf(QLatin1Char('/'), slash + 1)) {
        candidate = kEllipsis + path.mid(slash);
        if (metrics.horizontalAdvance(candidate) < available) {
            break;
        }
    }
    return candidate;
}

namespace {
// Characters below this (Latin, Latin-1 and Latin Extended) are laid out one
// after another, so their advances add up to the text's width within a few
// percent (kerning). Other scripts may shape and are always measured.
constexpr char16_t kEstimatedCharacters = 0x0300;
constexpr qreal kEstimateRatio = 0.06;
constexpr qreal kEstimateSlack = 3.0;
}  // namespace

CPathElider::CPathElider(const QFont& font) : m_font(font), m_metrics(font) {
    const QFontMetricsF metrics(font);
    m_advance.resize(kEstimatedCharacters);
    for (char16_t c = 0; c < kEstimatedCharacters; ++c) {
        m_advance[c] = metrics.horizontalAdvance(QChar(c));
    }
    m_ellipsis = metrics.horizontalAdvance(kEllipsis);
}

bool CPathElider::Fits(QStringView text, int available) const {
    qreal estimate = 0;
    bool estimated = true;
    for (QChar c : text) {
        if (c.unicode() == kEllipsis.front().unicode()) {
            estimate += m_ellipsis;
        } else if (c.unicode() < kEstimatedCharacters) {
            estimate += m_advance[c.unicode()];
        } else {
            estimated = false;
            break;
        }
    }
    if (estimated) {
        const qreal margin = estimate * kEstimateRatio + kEstimateSlack;
        if (estimate + margin < available) {
            return true;
        }
        if (estimate - margin >= available) {
            return false;
        }
    }
    return m_metrics.horizontalAdvance(text.toString()) < available;
}

QString CPathElider::Elide(const QString& path, int labelWidth) const {
    const int available = labelWidth - kLabelReserve;
    if (available <= kNarrowestLabel) {
        return {};
    }
    if (Fits(path, available)) {
        return path;
    }
    QString candidate = path;
    for (qsizetype slash = path.indexOf(QLatin1Char('/')); slash >= 0;
         slash = path.indexOf(QLatin1Char('/'), slash + 1)) {
        candidate = kEllipsis + path.mid(slash);
        if (Fits(candidate, available)) {
            break;
        }
    }
    return candidate;
}

void PaintBar(QPainter* painter, const QRect& cell, float value, int column, bool invert) {
    if (value < 0.0f || cell.height() < kSmallestBarCell || cell.width() < kSmallestBarCell) {
        return;
    }
    const int p = static_cast<int>(value);
    const int k = 255 - p * kBarColourRange / 100;
    QColor colour;
    switch (column) {
        case kColumnContent:
            colour = QColor(k, k, 255);
            break;
        case kColumnTags:
            colour = QColor(k, 255, k);
            break;
        default:
            colour = QColor(255, k, k);
            break;
    }
    // Edges as exclusive coordinates: right and bottom lie just outside the cell.
    const int left = cell.left();
    const int top = cell.top();
    const int right = cell.left() + cell.width();
    const int bottom = cell.top() + cell.height();

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    const bool rasterOps =
        painter->paintEngine() && painter->paintEngine()->hasFeature(QPaintEngine::RasterOpModes);

    // The outline darkens what lies beneath it (pen AND screen).
    if (rasterOps) {
        painter->setCompositionMode(QPainter::RasterOp_SourceAndDestination);
    }
    painter->setPen(QPen(QColor(kOutlineGrey, kOutlineGrey, kOutlineGrey), 0));
    painter->setBrush(Qt::NoBrush);
    const QPoint outline[] = {
        {left + 1, top + 1}, {right - 2, top + 1}, {right - 2, bottom - 2}, {left + 1, bottom - 2}};
    painter->drawPolygon(outline, 4);

    const int fillLeft = left + 2;
    const int fillTop = top + 2;
    const int fillRight = fillLeft + (right - 1 - fillLeft) * p / 100;
    const int fillBottom = bottom - 1;
    const QRect fill(fillLeft, fillTop, fillRight - fillLeft, fillBottom - fillTop);
    if (fill.width() > 0 && fill.height() > 0) {
        if (rasterOps) {
            if (invert) {
                painter->setCompositionMode(QPainter::RasterOp_NotDestination);
                painter->fillRect(fill, Qt::black);
            }
            // The colour shows where the screen was dark (text turns light).
            painter->setCompositionMode(QPainter::RasterOp_SourceOrDestination);
            painter->fillRect(fill, colour);
        } else {
            // A device without raster operations: a translucent bar keeps the
            // figure readable.
            QColor translucent = colour;
            translucent.setAlpha(160);
            painter->fillRect(fill, translucent);
        }
    }
    painter->restore();
}

CResultsDelegate::CResultsDelegate(QTableView* view) : QStyledItemDelegate(view), m_view(view) {}

const CPathElider& CResultsDelegate::Elider(const QFont& font) const {
    if (!m_elider || m_elider->font() != font) {
        m_elider = std::make_unique<CPathElider>(font);
    }
    return *m_elider;
}

void CResultsDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    const int column = index.column();
    if (column != kColumnFile1 && column != kColumnFile2) {
        QStyleOptionViewItem opt = option;
        opt.state &= ~QStyle::State_HasFocus;
        QStyledItemDelegate::paint(painter, opt, index);
        const QVariant value = index.data(CResultsModel::ValueRole);
        if (!value.isValid()) {
            return;
        }
        const QItemSelectionModel* selection = m_view->selectionModel();
        const bool focused = m_view->currentIndex().row() == index.row();
        const bool anySelected = selection && selection->hasSelection();
        PaintBar(painter, option.rect, value.toFloat(), column, !focused || !anySelected);
        return;
    }

    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    opt.text.clear();
    opt.state &= ~QStyle::State_HasFocus;
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget);

    const QRect icon = IconRect(option.rect);
    if (icon.right() <= option.rect.right()) {
        painter->drawPixmap(icon, Image(index.data(CResultsModel::ImageRole).toInt()));
    }
    const QRect label = LabelRect(option.rect);
    const QString text =
        Elider(option.font).Elide(index.data(Qt::DisplayRole).toString(), label.width());
    if (!text.isEmpty()) {
        const bool selected = option.state & QStyle::State_Selected;
        const QPalette::ColorGroup group =
            (option.state & QStyle::State_Active) ? QPalette::Active : QPalette::Inactive;
        painter->save();
        painter->setPen(
            option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
        painter->setFont(option.font);
        painter->drawText(label.adjusted(1, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, text);
        painter->restore();
    }
}

CResultsView::CResultsView(QWidget* parent) : QTableView(parent) {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setItemDelegate(new CResultsDelegate(this));
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(qMax(fontMetrics().height() + 6, kImageSize + 4));
    QHeaderView* header = horizontalHeader();
    header->setSectionsMovable(true);
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setMinimumSectionSize(kNarrowestColumn);
    header->setDefaultSectionSize(kInitialFigureWidth);
}

QString CResultsView::CellText(int row, int column) const {
    const QModelIndex cell = model()->index(row, column);
    const int width = columnWidth(column);
    const auto* delegate = static_cast<const CResultsDelegate*>(itemDelegate());
    return delegate->Elider(font()).Elide(cell.data(Qt::DisplayRole).toString(),
                                          LabelRect(QRect(0, 0, width, 1)).width());
}

void CResultsView::FitColumns(int width) {
    QHeaderView* header = horizontalHeader();
    const int count = header->count();
    if (count == 0) {
        return;
    }
    // Until the model is set the header knows no sections; the initial widths
    // are set by the owner.
    long long sum = 0;
    for (int i = 0; i < count; ++i) {
        sum += header->sectionSize(i);
    }
    if (sum == 0) {
        return;
    }
    for (int i = 0; i < count; ++i) {
        const long long scaled = static_cast<long long>(width) * header->sectionSize(i) / sum;
        header->resizeSection(i, qMax(static_cast<int>(scaled), kNarrowestColumn));
    }
}

void CResultsView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        const QPoint pos = event->position().toPoint();
        const QModelIndex cell = indexAt(pos);
        if (!cell.isValid()) {
            emit emptyAreaClicked();
        } else if ((cell.column() == kColumnFile1 || cell.column() == kColumnFile2) &&
                   IconRect(visualRect(cell)).contains(pos)) {
            emit imageClicked(cell.row(), cell.column());
        }
    }
    QTableView::mousePressEvent(event);
}

void CResultsView::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableView::mouseDoubleClickEvent(event);
    if (event->button() != Qt::LeftButton) {
        return;
    }
    const QModelIndex cell = indexAt(event->position().toPoint());
    if (cell.isValid()) {
        emit cellDoubleClicked(cell.row(), cell.column());
    }
}

void CResultsView::contextMenuEvent(QContextMenuEvent* event) {
    QModelIndex cell;
    if (event->reason() == QContextMenuEvent::Mouse) {
        cell = indexAt(viewport()->mapFromGlobal(event->globalPos()));
    } else {
        // From the keyboard: the current row, at its cell's centre.
        cell = currentIndex();
        if (cell.isValid()) {
            emit contextMenuWanted(cell.row(), cell.column(),
                                   viewport()->mapToGlobal(visualRect(cell).center()));
        }
        return;
    }
    if (cell.isValid()) {
        emit contextMenuWanted(cell.row(), cell.column(), event->globalPos());
    }
}

int CResultsView::InitialColumnWidth(int column) {
    return column == kColumnFile1 || column == kColumnFile2 ? kInitialFileWidth
                                                            : kInitialFigureWidth;
}
