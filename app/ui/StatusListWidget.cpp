#include "ui/StatusListWidget.h"

#include <QHelpEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QToolTip>
#include <algorithm>

namespace korbelt {

StatusListWidget::StatusListWidget(QWidget* parent)
    : QAbstractItemView(parent), lines_(new StatusListModel(this)) {
    setModel(lines_);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    connect(lines_, &QAbstractItemModel::rowsRemoved, this, [this] {
        scheduleDelayedItemsLayout();
        viewport()->update();
    });
}

// As high as the delegate makes the first line; every line is one line of the same font.
int StatusListWidget::LineHeight() const {
    if (lineHeight_ > 0) {
        return lineHeight_;
    }
    if (count() == 0) {
        return std::max(1, fontMetrics().height());
    }
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    lineHeight_ = std::max(1, itemDelegate()->sizeHint(option, lines_->index(0)).height());
    return lineHeight_;
}

int StatusListWidget::LinesInSight() const {
    return std::max(1, viewport()->height() / LineHeight());
}

int StatusListWidget::TopRow() const {
    return verticalScrollBar()->value();
}

// The row at a height in the viewport, which may lie outside the list.
int StatusListWidget::RowAt(int y) const {
    const int height = LineHeight();
    return TopRow() + (y >= 0 ? y / height : -((-y + height - 1) / height));
}

int StatusListWidget::Widest() const {
    if (lines_->LongestLength() > widestMeasured_ && lines_->LongestRow() >= 0) {
        widestMeasured_ = lines_->LongestLength();
        QStyleOptionViewItem option;
        initViewItemOption(&option);
        const QSize hint = itemDelegate()->sizeHint(option, lines_->index(lines_->LongestRow()));
        widestPixels_ = std::max(widestPixels_, hint.width());
    }
    return widestPixels_;
}

void StatusListWidget::UpdateScrollBars() const {
    const int inSight = LinesInSight();
    QScrollBar* down = verticalScrollBar();
    down->setSingleStep(1);
    down->setPageStep(inSight);
    down->setRange(0, std::max(0, count() - inSight));
    QScrollBar* across = horizontalScrollBar();
    across->setSingleStep(std::max(1, fontMetrics().averageCharWidth() * 2));
    across->setPageStep(viewport()->width());
    across->setRange(0, std::max(0, Widest() - viewport()->width()));
}

void StatusListWidget::updateGeometries() {
    UpdateScrollBars();
    QAbstractItemView::updateGeometries();
}

QRect StatusListWidget::visualRect(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != lines_) {
        return {};
    }
    const int height = LineHeight();
    return {-horizontalOffset(), (index.row() - TopRow()) * height,
            std::max(viewport()->width() + horizontalOffset(), Widest()), height};
}

void StatusListWidget::scrollTo(const QModelIndex& index, ScrollHint hint) {
    if (!index.isValid() || index.model() != lines_) {
        return;
    }
    // Lines appended since the scroll bars were last set may be the ones asked for.
    UpdateScrollBars();
    const int row = index.row();
    const int inSight = LinesInSight();
    int top = TopRow();
    switch (hint) {
        case PositionAtTop:
            top = row;
            break;
        case PositionAtBottom:
            top = row - inSight + 1;
            break;
        case PositionAtCenter:
            top = row - inSight / 2;
            break;
        case EnsureVisible:
            top = row < top ? row : (row >= top + inSight ? row - inSight + 1 : top);
            break;
    }
    verticalScrollBar()->setValue(top);
}

QModelIndex StatusListWidget::indexAt(const QPoint& point) const {
    const int row = RowAt(point.y());
    return row >= 0 && row < count() ? lines_->index(row) : QModelIndex();
}

QModelIndex StatusListWidget::moveCursor(CursorAction action, Qt::KeyboardModifiers) {
    if (count() == 0) {
        return {};
    }
    const int current = currentIndex().isValid() ? currentIndex().row() : TopRow();
    int row = current;
    switch (action) {
        case MoveUp:
        case MovePrevious:
            row = current - 1;
            break;
        case MoveDown:
        case MoveNext:
            row = current + 1;
            break;
        case MovePageUp:
            row = current - LinesInSight();
            break;
        case MovePageDown:
            row = current + LinesInSight();
            break;
        case MoveHome:
            row = 0;
            break;
        case MoveEnd:
            row = count() - 1;
            break;
        case MoveLeft:
        case MoveRight:
            break;
    }
    return lines_->index(std::clamp(row, 0, count() - 1));
}

int StatusListWidget::horizontalOffset() const {
    return horizontalScrollBar()->value();
}

int StatusListWidget::verticalOffset() const {
    return TopRow() * LineHeight();
}

bool StatusListWidget::isIndexHidden(const QModelIndex&) const {
    return false;
}

void StatusListWidget::setSelection(const QRect& rect,
                                    QItemSelectionModel::SelectionFlags command) {
    const QRect area = rect.normalized();
    const int first = std::max(0, RowAt(area.top()));
    const int last = std::min(count() - 1, RowAt(area.bottom()));
    if (first > last) {
        selectionModel()->select(QItemSelection(), command);
        return;
    }
    selectionModel()->select(QItemSelection(lines_->index(first), lines_->index(last)), command);
}

QRegion StatusListWidget::visualRegionForSelection(const QItemSelection& selection) const {
    QRegion region;
    for (const QItemSelectionRange& range : selection) {
        if (range.isValid() && range.model() == lines_) {
            region += visualRect(lines_->index(range.top()))
                          .united(visualRect(lines_->index(range.bottom())))
                          .intersected(viewport()->rect());
        }
    }
    return region;
}

void StatusListWidget::scrollContentsBy(int dx, int dy) {
    viewport()->scroll(dx, dy * LineHeight());
}

void StatusListWidget::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QStyle::State base = option.state;
    const QRect area = event->rect();
    const int last = std::min(count() - 1, RowAt(area.bottom()));
    for (int row = std::max(0, RowAt(area.top())); row <= last; ++row) {
        const QModelIndex line = lines_->index(row);
        option.rect = visualRect(line);
        option.state = base;
        if (selectionModel()->isSelected(line)) {
            option.state |= QStyle::State_Selected;
        }
        if (line == currentIndex() && hasFocus()) {
            option.state |= QStyle::State_HasFocus;
        }
        itemDelegate()->paint(&painter, option, line);
    }
}

void StatusListWidget::rowsInserted(const QModelIndex& parent, int start, int end) {
    QAbstractItemView::rowsInserted(parent, start, end);
    // The scroll bars are set once the window handles its events again, not at each line.
    scheduleDelayedItemsLayout();
    if (start - TopRow() <= LinesInSight()) {
        viewport()->update();
    }
}

void StatusListWidget::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                                   const QList<int>& roles) {
    QAbstractItemView::dataChanged(topLeft, bottomRight, roles);
    if (lines_->LongestLength() > widestMeasured_) {
        scheduleDelayedItemsLayout();
    }
}

void StatusListWidget::reset() {
    lineHeight_ = 0;
    widestPixels_ = 0;
    widestMeasured_ = 0;
    QAbstractItemView::reset();
    scheduleDelayedItemsLayout();
}

void StatusListWidget::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        lineHeight_ = 0;
        widestPixels_ = 0;
        widestMeasured_ = 0;
        scheduleDelayedItemsLayout();
    }
    QAbstractItemView::changeEvent(event);
}

bool StatusListWidget::viewportEvent(QEvent* event) {
    if (event->type() != QEvent::ToolTip) {
        return QAbstractItemView::viewportEvent(event);
    }
    const auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex line = indexAt(help->pos());
    if (line.isValid() && IsCut(line)) {
        QToolTip::showText(help->globalPos(), line.data().toString(), viewport(), visualRect(line));
    } else {
        QToolTip::hideText();
        event->ignore();
    }
    return true;
}

// The lines are measured only when the pointer asks: a run rewrites them far too often.
bool StatusListWidget::IsCut(const QModelIndex& line) const {
    const QRect shown = visualRect(line);
    // Item views keep a margin either side of a line's text.
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    const int needed = fontMetrics().horizontalAdvance(line.data().toString()) + 2 * margin;
    return shown.left() < 0 || shown.left() + needed > viewport()->width();
}

}  // namespace korbelt
