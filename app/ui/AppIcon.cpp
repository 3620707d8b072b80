#include "ui/AppIcon.h"

#include <QImageReader>

// The icons live in a static library, whose resources the linker keeps only when asked.
// Q_INIT_RESOURCE must be used outside any namespace.
static void InitIconResources() {
    Q_INIT_RESOURCE(icons);
}

namespace korbelt {

QIcon AppIcon() {
    InitIconResources();
    QIcon icon;
    icon.addFile(kAppIconPng, QSize(32, 32));
    if (QImageReader::supportedImageFormats().contains("svg")) {
        icon.addFile(kAppIconSvg);
    }
    return icon;
}

}  // namespace korbelt
