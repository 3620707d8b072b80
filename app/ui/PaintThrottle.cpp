#include "ui/PaintThrottle.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

namespace korbelt {

PaintThrottle::PaintThrottle(QWidget* window, int intervalMs)
    : QObject(window), window_(window), intervalMs_(intervalMs) {
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &PaintThrottle::RequestRepaint);
}

void PaintThrottle::Arm() {
    if (armed_ || window_ == nullptr) {
        return;
    }
    armed_ = true;
    sincePaint_.invalidate();
    window_->installEventFilter(this);
}

void PaintThrottle::Disarm() {
    if (!armed_) {
        return;
    }
    armed_ = false;
    retry_.stop();
    if (window_ != nullptr) {
        window_->removeEventFilter(this);
    }
    RequestRepaint();
}

// Qt repaints a window's widgets when the window receives an update request, both for the
// queued repaints of update() and for the immediate ones of repaint(). A request held back
// leaves the widgets' dirty regions in place, and Qt asks for no further repaint until one
// has been delivered, so the throttle owes the window that request.
bool PaintThrottle::eventFilter(QObject* watched, QEvent* event) {
    if (watched != window_ || event->type() != QEvent::UpdateRequest) {
        return false;
    }
    if (!sincePaint_.isValid() || sincePaint_.hasExpired(intervalMs_)) {
        sincePaint_.start();
        owed_ = false;
        return false;
    }
    owed_ = true;
    if (!retry_.isActive()) {
        retry_.start(static_cast<int>(intervalMs_ - sincePaint_.elapsed()) + 1);
    }
    return true;
}

void PaintThrottle::RequestRepaint() {
    if (!owed_ || window_ == nullptr) {
        return;
    }
    owed_ = false;
    sincePaint_.invalidate();
    QCoreApplication::postEvent(window_, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
}

}  // namespace korbelt
