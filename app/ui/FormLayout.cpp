#include "FormLayout.h"

namespace korbelt {

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

QLabel* PlaceLabel(QWidget* form, const char* name, const QString& text, const QRect& where) {
    auto* label = new QLabel(text, form);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
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
    palette.setColor(QPalette::WindowText, QColor(0, 0, 255));
    widget->setPalette(palette);
}

}  // namespace korbelt
