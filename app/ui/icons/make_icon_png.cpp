// Draws korbelt-32.png, the bitmap twin of korbelt.svg, for systems without an SVG
// renderer. Run it after changing the drawing and keep the two images alike:
//   korbelt_make_icon app/ui/icons/korbelt-32.png
// It draws shapes only, so it needs no display and no application object.
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

namespace {

const QColor kOutline(0x3c, 0x3c, 0x3c);
const QColor kFold(0xd8, 0xd8, 0xd8);
const QColor kTextLine(0x9a, 0x9a, 0x9a);
const QColor kStripe(0x1f, 0x5f, 0xbf);
const QColor kStitch(0xf0, 0xa0, 0x20);

void DrawPage(QPainter& painter) {
    QPainterPath page;
    page.moveTo(7.5, 2.5);
    page.lineTo(20.5, 2.5);
    page.lineTo(25.5, 7.5);
    page.lineTo(25.5, 29.5);
    page.lineTo(7.5, 29.5);
    page.closeSubpath();
    painter.setPen(QPen(kOutline, 1));
    painter.setBrush(Qt::white);
    painter.drawPath(page);

    QPainterPath fold;
    fold.moveTo(20.5, 2.5);
    fold.lineTo(20.5, 7.5);
    fold.lineTo(25.5, 7.5);
    fold.closeSubpath();
    painter.setBrush(kFold);
    painter.drawPath(fold);
}

void DrawTextLines(QPainter& painter) {
    painter.fillRect(10, 6, 8, 1, kTextLine);
    painter.fillRect(10, 9, 13, 1, kTextLine);
    painter.fillRect(10, 23, 13, 1, kTextLine);
    painter.fillRect(10, 26, 9, 1, kTextLine);
}

void DrawMendedStripe(QPainter& painter) {
    painter.fillRect(4, 14, 25, 5, kStripe);
    for (int x : {9, 14, 19, 24}) {
        painter.fillRect(x, 12, 1, 9, kStitch);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
        return 2;
    }
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    DrawPage(painter);
    DrawTextLines(painter);
    DrawMendedStripe(painter);
    painter.end();
    return image.save(QString::fromLocal8Bit(argv[1]), "PNG") ? 0 : 1;
}
