#pragma once

#include <QIcon>

#include "run/EntryOutcome.h"

class QStyle;

namespace korbelt {

// The style's standard icon for an entry's outcome, so that it follows the desktop's theme.
QIcon OutcomeIcon(OutcomeMark mark, const QStyle& style);

// An empty icon of the given size: entries not yet done keep their text where the done ones
// have theirs.
QIcon NoOutcomeIcon(QSize size);

}  // namespace korbelt
