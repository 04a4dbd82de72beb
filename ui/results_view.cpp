#include "results_view.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

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
constexpr int kInitialVerdictWidth = 200;
constexpr int kNarrowestColumn = 40;
const QString kEllipsis = QStringLiteral("\u2026");

const QPixmap& Image(int image) {
    static const QPixmap unmarked = artwork::UnmarkedImage(kImageSize);
    static const QPixmap marked = artwork::MarkedImage(kImageSize);
    static const QPixmap reference = artwork::ReferenceImage(kImageSize);
    return image == kImageMarked ? marked : image == kImageReference ? reference : unmarked;
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

QColor BarColour(float value, int column) {
    const int p = static_cast<int>(std::clamp(value, 0.0f, 100.0f));
    const int k = 255 - p * kBarColourRange / 100;
    switch (column) {
        case kColumnContent:
            return QColor(k, k, 255);
        case kColumnTags:
            return QColor(k, 255, k);
        default:
            return QColor(255, k, k);
    }
}

QRect BarFill(const QRect& cell, float value) {
    if (!(value >= 0.0f) || cell.height() < kSmallestBarCell || cell.width() < kSmallestBarCell) {
        return {};
    }
    const int p = static_cast<int>(std::min(value, 100.0f));
    // Edges as exclusive coordinates: right and bottom lie just outside the cell.
    const int left = cell.left() + 2;
    const int right = cell.left() + cell.width() - 1;
    const int fillRight = left + (right - left) * p / 100;
    return QRect(left, cell.top() + 2, fillRight - left, cell.height() - 3);
}

QColor TextColourOn(const QColor& background) {
    // Relative luminance as the web's contrast rules define it; black reads
    // better than white above about 0.18.
    auto linear = [](double channel) {
        return channel <= 0.03928 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
    };
    const double luminance = 0.2126 * linear(background.redF()) +
                             0.7152 * linear(background.greenF()) +
                             0.0722 * linear(background.blueF());
    return luminance > 0.179 ? QColor(Qt::black) : QColor(Qt::white);
}

void PaintBar(QPainter* painter, const QRect& cell, float value, int column) {
    if (value < 0.0f || cell.height() < kSmallestBarCell || cell.width() < kSmallestBarCell) {
        return;
    }
    const int left = cell.left();
    const int top = cell.top();
    const int right = cell.left() + cell.width();
    const int bottom = cell.top() + cell.height();
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setPen(QPen(QColor(kOutlineGrey, kOutlineGrey, kOutlineGrey), 0));
    painter->setBrush(Qt::NoBrush);
    const QPoint outline[] = {
        {left + 1, top + 1}, {right - 2, top + 1}, {right - 2, bottom - 2}, {left + 1, bottom - 2}};
    painter->drawPolygon(outline, 4);
    const QRect fill = BarFill(cell, value);
    if (fill.width() > 0 && fill.height() > 0) {
        painter->fillRect(fill, BarColour(value, column));
    }
    painter->restore();
}

void PaintFigureText(QPainter* painter, const QRect& cell, const QString& text, float value,
                     int column, const QColor& background) {
    const QRect fill = BarFill(cell, value);
    painter->save();
    QRegion beside(cell);
    if (!fill.isEmpty()) {
        beside -= QRegion(fill);
    }
    painter->setClipRegion(beside);
    painter->setPen(TextColourOn(background));
    painter->drawText(cell, Qt::AlignCenter, text);
    if (!fill.isEmpty()) {
        painter->setClipRect(fill);
        painter->setPen(TextColourOn(BarColour(value, column)));
        painter->drawText(cell, Qt::AlignCenter, text);
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
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    const QString figure = opt.text;
    opt.text.clear();
    opt.state &= ~QStyle::State_HasFocus;
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget);
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette::ColorGroup group =
        (option.state & QStyle::State_Active) ? QPalette::Active : QPalette::Inactive;

    // A file cell is one with a mark; a cell without a figure draws no bar.
    if (!index.data(CResultsModel::ImageRole).isValid()) {
        const QVariant figureValue = index.data(CResultsModel::ValueRole);
        const float value = figureValue.isValid() ? figureValue.toFloat() : -1.0f;
        PaintBar(painter, option.rect, value, column);
        QColor background =
            option.palette.color(group, selected ? QPalette::Highlight : QPalette::Base);
        if (!selected && opt.features & QStyleOptionViewItem::Alternate) {
            background = option.palette.color(group, QPalette::AlternateBase);
        }
        painter->setFont(option.font);
        PaintFigureText(painter, option.rect, figure, value, column, background);
        return;
    }

    const QRect icon = IconRect(option.rect);
    if (icon.right() <= option.rect.right()) {
        painter->drawPixmap(icon, Image(index.data(CResultsModel::ImageRole).toInt()));
    }
    const QRect label = LabelRect(option.rect).adjusted(index.data(kIndentRole).toInt(), 0, 0, 0);
    const QString text =
        Elider(opt.font).Elide(index.data(Qt::DisplayRole).toString(), label.width());
    if (!text.isEmpty()) {
        painter->save();
        painter->setPen(
            option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
        painter->setFont(opt.font);
        painter->drawText(label.adjusted(1, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, text);
        painter->restore();
    }
}

CResultsView::CResultsView(QWidget* parent) : QTableView(parent) {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
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
        } else if (cell.data(CResultsModel::ImageRole).isValid() &&
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

void CResultsView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        emit markKeyPressed();
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        emit deleteKeyPressed();
        event->accept();
        return;
    }
    // The keyboard's ways to the context menu, wherever the platform does not
    // turn them into a context-menu event itself.
    if ((event->key() == Qt::Key_Menu && event->modifiers() == Qt::NoModifier) ||
        (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier)) {
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, QPoint(), QCursor::pos());
        contextMenuEvent(&menu);
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

int CResultsView::InitialColumnWidth(int column) {
    if (column == kColumnVerdict) {
        return kInitialVerdictWidth;
    }
    return column == kColumnFile1 || column == kColumnFile2 ? kInitialFileWidth
                                                            : kInitialFigureWidth;
}

void CResultsView::SetHint(const QString& hint) {
    if (hint != m_hint) {
        m_hint = hint;
        viewport()->update();
    }
}

void CResultsView::paintEvent(QPaintEvent* event) {
    QTableView::paintEvent(event);
    if (m_hint.isEmpty() || (model() != nullptr && model()->rowCount() > 0)) {
        return;
    }
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::PlaceholderText));
    painter.drawText(viewport()->rect().adjusted(20, 20, -20, -20),
                     Qt::AlignCenter | Qt::TextWordWrap, m_hint);
}

int CResultsView::FirstSelectedRow() const {
    int first = -1;
    for (const QModelIndex& index : selectionModel()->selectedRows()) {
        if (first < 0 || index.row() < first) {
            first = index.row();
        }
    }
    return first;
}

void CResultsView::SortBy(int column) {
    auto* results = qobject_cast<CResultsModel*>(model());
    if (results == nullptr || column < 0 || column >= kResultColumnCount) {
        return;
    }
    if (column == m_sortState / 2) {
        m_sortState = column * 2 + 1 - (m_sortState % 2);
    } else {
        m_sortState = column * 2;
    }
    results->Sort(column, (m_sortState % 2) != 0);
    ShowSortArrow();
}

void CResultsView::ShowSortArrow() {
    auto* results = qobject_cast<CResultsModel*>(model());
    QHeaderView* header = horizontalHeader();
    const int column = results == nullptr ? -1 : results->SortColumn();
    if (column < 0) {
        header->setSortIndicatorShown(false);
        return;
    }
    // Direction 0 is ascending for the file columns, largest first for the figures.
    const bool reverse = results->SortReverse();
    const bool ascending = (column == kColumnFile1 || column == kColumnFile2) ? !reverse : reverse;
    header->setSortIndicatorShown(true);
    header->setSortIndicator(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}
