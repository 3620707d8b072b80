#include "ui/OutcomeIcon.h"

#include <QPixmap>
#include <QStyle>

namespace korbelt {
namespace {

QStyle::StandardPixmap PixmapOf(OutcomeMark mark) {
    switch (mark) {
        case OutcomeMark::Clean:
            return QStyle::SP_DialogYesButton;
        case OutcomeMark::Verified:
            return QStyle::SP_DialogApplyButton;
        case OutcomeMark::Repaired:
            return QStyle::SP_DialogResetButton;
        case OutcomeMark::Skipped:
            return QStyle::SP_MediaSkipForward;
        case OutcomeMark::DamageLeft:
            return QStyle::SP_MessageBoxWarning;
        case OutcomeMark::Failed:
            return QStyle::SP_MessageBoxCritical;
    }
    return QStyle::SP_MessageBoxCritical;
}

}  // namespace

QIcon OutcomeIcon(OutcomeMark mark, const QStyle& style) {
    return style.standardIcon(PixmapOf(mark));
}

QIcon NoOutcomeIcon(QSize size) {
    QPixmap blank(size);
    blank.fill(Qt::transparent);
    return QIcon(blank);
}

}  // namespace korbelt
