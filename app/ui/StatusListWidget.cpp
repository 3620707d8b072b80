#include "ui/StatusListWidget.h"

#include <QHelpEvent>
#include <QStyle>
#include <QToolTip>

namespace korbelt {

bool StatusListWidget::viewportEvent(QEvent* event) {
    if (event->type() != QEvent::ToolTip) {
        return QListWidget::viewportEvent(event);
    }
    const auto* help = static_cast<QHelpEvent*>(event);
    const QListWidgetItem* line = itemAt(help->pos());
    if (line != nullptr && IsCut(line)) {
        QToolTip::showText(help->globalPos(), line->text(), viewport(), visualItemRect(line));
    } else {
        QToolTip::hideText();
        event->ignore();
    }
    return true;
}

// The lines are measured only when the pointer asks: a run rewrites them far too often.
bool StatusListWidget::IsCut(const QListWidgetItem* line) const {
    const QRect shown = visualItemRect(line);
    // Item views keep a margin either side of a line's text.
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    const int needed = fontMetrics().horizontalAdvance(line->text()) + 2 * margin;
    return shown.left() < 0 || shown.left() + needed > viewport()->width();
}

}  // namespace korbelt
