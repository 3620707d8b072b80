#include "ui/EtchedRule.h"

#include <QPainter>
#include <algorithm>

namespace korbelt {

namespace {
constexpr int kHeight = 3;  // the grey row and the two white rows
}

EtchedRule::EtchedRule(QWidget* parent, int top, Span greyspan, Span whitespan)
    : QWidget(parent), grey(greyspan), white(whitespan) {
    const int left = std::min(grey.left, white.left);
    const int right = std::max(grey.right, white.right);
    setGeometry(left, top, right - left + 1, kHeight);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

void EtchedRule::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const int origin = x();
    painter.fillRect(grey.left - origin, 0, grey.right - grey.left + 1, 1, Grey());
    painter.fillRect(white.left - origin, 1, white.right - white.left + 1, 2, Qt::white);
}

}  // namespace korbelt
