#pragma once

#include "engine/report/FileReport.h"

namespace korbelt {

// Whoever reports a file's finds as they come rather than all at once when the file is done:
// korbelt-cli's records. A file with more finds than the engine holds (FindLog::kHeld) passes
// each of them on here once only its fate can change it; the report then no longer has it.
class ReportSink {
  public:
    virtual ~ReportSink() = default;

    // A find of report's file, in file order; those the report still holds when the file is
    // done come after it. Should the file's copy not be kept after all, the report's
    // passedOnUndone says so of every find that came here decided for removal.
    virtual void Find(const FileReport& report, const Decision& decision) = 0;
};

}  // namespace korbelt
