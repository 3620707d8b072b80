#pragma once

#include <cstdint>
#include <string>

#include "cli/RunTally.h"
#include "engine/report/NumberFormat.h"

namespace korbelt {

// korbelt-cli's own lines, besides the engine's status lines: errors, the summary of a run
// and the progress line. Names in them are escaped as in the status lines.

// "korbelt-cli: PATH: REASON", the phase told where the reason alone would not say it.
std::string ErrorLine(const PathError& error);

// What a run came to, in words that say what would happen when nothing was changed.
std::string SummaryLine(const RunTally& tally, bool dryRun, const NumberFormat& format);

// How far a file has come, for a line redrawn in place: its name, the share done, the rate
// and the time left, within columns characters (the name is shortened to fit).
struct Progress {
    std::string name;
    int percent = 0;
    std::int64_t size = 0;  // of the file, in bytes
    double seconds = 0;     // since this part of the file's pass began
};
std::string ProgressLine(const Progress& progress, int columns);

}  // namespace korbelt
