#include "ui/StatusListWidget.h"

#include <QHelpEvent>
#include <QStyle>
#include <QToolTip>

namespace korbelt {

StatusListWidget::StatusListWidget(QWidget* parent)
    : QListView(parent), lines_(new StatusListModel(this)) {
    setModel(lines_);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    idle_.setInterval(kIdleMs);
    connect(&idle_, &QTimer::timeout, this, &StatusListWidget::CatchUpWhenIdle);
}

void StatusListWidget::rowsInserted(const QModelIndex& parent, int start, int end) {
    unlaid_ += end - start + 1;
    if (count() <= kLaidOutAtOnce || unlaid_ * 2 >= count()) {
        unlaid_ = 0;
        QListView::rowsInserted(parent, start, end);
        return;
    }
    // The view's own work for new rows, without the layout of all of them.
    QAbstractItemView::rowsInserted(parent, start, end);
    LayOutLater();
}

void StatusListWidget::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                                   const QList<int>& roles) {
    if (count() <= kLaidOutAtOnce) {
        QListView::dataChanged(topLeft, bottomRight, roles);
        return;
    }
    rewritten_ = true;
    QAbstractItemView::dataChanged(topLeft, bottomRight, roles);
    LayOutLater();
}

void StatusListWidget::LayOutLater() {
    if (!idle_.isActive()) {
        lastTick_ = unlaid_;
        idle_.start();
    }
}

void StatusListWidget::reset() {
    idle_.stop();
    unlaid_ = 0;
    rewritten_ = false;
    QListView::reset();
}

void StatusListWidget::CatchUp() {
    idle_.stop();
    if (unlaid_ > 0 || rewritten_) {
        unlaid_ = 0;
        rewritten_ = false;
        scheduleDelayedItemsLayout();
    }
}

void StatusListWidget::CatchUpWhenIdle() {
    if (unlaid_ == lastTick_) {
        CatchUp();
    }
    lastTick_ = unlaid_;
}

bool StatusListWidget::viewportEvent(QEvent* event) {
    if (event->type() != QEvent::ToolTip) {
        return QListView::viewportEvent(event);
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
