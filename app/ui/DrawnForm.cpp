#include "ui/DrawnForm.h"

#include <algorithm>
#include <cmath>

namespace korbelt {
namespace {

int Part(double share, int extra) {
    return static_cast<int>(std::lround(share * extra));
}

}  // namespace

DrawnForm::DrawnForm(QSize drawn, QWidget* parent) : QWidget(parent), drawn_(drawn) {
    setMinimumSize(drawn);
    resize(drawn);
}

void DrawnForm::Place(QWidget* control, QRect drawn, Share share) {
    placed_.push_back({control, drawn, share});
    Apply(placed_.back());
}

void DrawnForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    for (const Placed& placed : placed_) {
        Apply(placed);
    }
}

void DrawnForm::Apply(const Placed& placed) const {
    if (placed.control == nullptr) {
        return;
    }
    const int dx = std::max(0, width() - drawn_.width());
    const int dy = std::max(0, height() - drawn_.height());
    const Share& share = placed.share;
    placed.control->setGeometry(placed.drawn.x() + Part(share.moveX, dx),
                                placed.drawn.y() + Part(share.moveY, dy),
                                placed.drawn.width() + Part(share.growX, dx),
                                placed.drawn.height() + Part(share.growY, dy));
}

}  // namespace korbelt
