#pragma once

#include <QIcon>
#include <QString>

namespace korbelt {

// Korbelt's icon: a page with a mended stripe. Always holds the 32 x 32 image; the
// scalable one joins it where the Qt SVG image plugin is present.
QIcon AppIcon();

// Where the two images live among the compiled-in resources.
inline const QString kAppIconPng = QStringLiteral(":/icons/korbelt-32.png");
inline const QString kAppIconSvg = QStringLiteral(":/icons/korbelt.svg");

}  // namespace korbelt
