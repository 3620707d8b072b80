#include "ui/FormLayout.h"

#include <QFontMetrics>
#include <algorithm>

namespace korbelt {

namespace {

constexpr Qt::Alignment kLabelAlignment = Qt::AlignLeft | Qt::AlignTop;
constexpr int kNarrowestStretch = 70;
constexpr int kStretchStep = 5;

QFont Stretched(QFont font, int stretch) {
    font.setStretch(stretch);
    return font;
}

bool AllFit(const QList<QLabel*>& labels, int stretch) {
    return std::all_of(labels.begin(), labels.end(), [stretch](const QLabel* label) {
        return FitsLabel(label, Stretched(label->font(), stretch));
    });
}

}  // namespace

void MakeFixedDialog(QDialog* dialog, int clientwidth, int clientheight) {
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    dialog->setFixedSize(clientwidth, clientheight);
    dialog->setFont(StandardDialogFont());
}

QFont StandardDialogFont() {
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans Condensed"),
                      QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    // 8.25 point at 96 dots per inch.
    font.setPixelSize(11);
    return font;
}

bool FitsLabel(const QLabel* label, const QFont& font) {
    const QRect box = label->contentsRect();
    const QRect needed = QFontMetrics(font).boundingRect(
        box, static_cast<int>(kLabelAlignment) | Qt::TextWordWrap, label->text());
    return needed.width() <= box.width() && needed.height() <= box.height();
}

void NarrowLabelsToFit(QWidget* form) {
    const QList<QLabel*> labels = form->findChildren<QLabel*>();
    const bool fitasdrawn = std::all_of(labels.begin(), labels.end(), [](const QLabel* label) {
        return FitsLabel(label, label->font());
    });
    if (fitasdrawn) {
        return;
    }
    int stretch = 100 - kStretchStep;
    while (stretch > kNarrowestStretch && !AllFit(labels, stretch)) {
        stretch -= kStretchStep;
    }
    for (QLabel* label : labels) {
        label->setFont(Stretched(label->font(), stretch));
    }
}

QLabel* PlaceLabel(QWidget* form, const char* name, const QString& text, const QRect& where) {
    auto* label = new QLabel(text, form);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(kLabelAlignment);
    label->setGeometry(where);
    return label;
}

QPushButton* PlaceButton(QWidget* form, const char* name, const QString& text, const QRect& where) {
    auto* button = new QPushButton(text, form);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    button->setGeometry(where);
    return button;
}

void MakeBold(QWidget* widget) {
    QFont font = widget->font();
    font.setBold(true);
    widget->setFont(font);
}

void MakeBlue(QWidget* widget) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::Link));
    widget->setPalette(palette);
}

}  // namespace korbelt
