#pragma once

#include <string>

#include "engine/report/FileReport.h"
#include "engine/report/NumberFormat.h"

namespace korbelt {

// A find's status line as the window and the command line show it: where it was seen, what
// it is, what became of it; in a dry run, what would become of it.
std::string FindLine(const Decision& decision, const NumberFormat& format, bool dryRun = false);
// The line that ends a file's pass: the bytes left out, read and written.
std::string BytesLine(std::int64_t removed, std::int64_t read, std::int64_t written,
                      const NumberFormat& format, bool dryRun = false);
// The line that follows the finds of a file with more of them than are held, when its copy
// is not kept: the lines above that say a find was removed are not rewritten.
std::string RemovalsNotMadeLine(std::int64_t removals, const NumberFormat& format,
                                bool dryRun = false);
// The question asked about a find before it is removed.
std::string FindQuestion(const Find& find, const NumberFormat& format);
// What became of a file the markers' verdict speaks of.
enum class PatternFate {
    Repaired,   // its copy took its place (or would have, in a dry run)
    LeftAlone,  // no damage pattern, and the option left it as it is
    Unchanged,  // its copy was not kept for another reason, which its own line tells
};
// The line the markers' verdict gets where it tells the user something: damage at one
// distance or more, or no damage pattern behind repeated bytes that were removed, and then
// whether they were removed all the same. Empty otherwise.
// The line of a file whose own structure guided the repair: what decided its regions.
std::string StructureLine(const StructureReport& structure, const NumberFormat& format);
// The line of a file whose par2 set's slices guided the repair: what decided them.
std::string SliceLine(const SliceReport& slices, const NumberFormat& format);
std::string PatternLine(const PatternVerdict& verdict, std::int64_t removedRepeats,
                        PatternFate fate, const NumberFormat& format);

}  // namespace korbelt
