#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QRect>
#include <QString>

namespace korbelt {

// Korbelt's dialogs place every control at a fixed spot, as the forms were drawn; these
// helpers keep that placing short.

// A fixed-size dialog with a title bar and a close box, without minimise, maximise or help.
void MakeFixedDialog(QDialog* dialog, int clientwidth, int clientheight);

// The dialogs' standard font: a small sans serif, sized in pixels so the texts fit the
// fixed label sizes whatever the screen's resolution.
QFont StandardDialogFont();

// The forms were drawn for a narrow font, and a system's sans serif may run wider. Narrows
// the labels' type in small steps, all labels alike, until every text fits its fixed box.
void NarrowLabelsToFit(QWidget* form);
// Whether the label's text, wrapped at its width in the given font, fits its box.
bool FitsLabel(const QLabel* label, const QFont& font);

QLabel* PlaceLabel(QWidget* form, const char* name, const QString& text, const QRect& where);
QPushButton* PlaceButton(QWidget* form, const char* name, const QString& text, const QRect& where);

void MakeBold(QWidget* widget);
// Blue text in the palette's link colour: pure blue (red 0, green 0, blue 255) in the
// standard light palette, and a blue a dark theme keeps readable.
void MakeBlue(QWidget* widget);

}  // namespace korbelt
