#pragma once

#include <string>

#include "cli/RunTally.h"
#include "engine/report/FileReport.h"

namespace korbelt {

// The records of korbelt-cli --json, one line of JSON each (docs/scripting.md): a "file"
// record per file, an "error" record per PATH that could not be used, a "summary" record at
// the end. Every line is valid JSON in valid UTF-8 whatever bytes the names hold: a byte
// that is not part of well-formed UTF-8 becomes \udcXX (the escape that Python's
// "surrogateescape" reads back), and such a name also goes as its bytes in base64, in a
// field named after it with "_base64" added.
std::string FileRecord(const FileReport& report, bool dryRun);
// The same record in pieces, for a file whose finds come one at a time: from its start to the
// opening of its finds, each find (those after the first preceded by a comma), and from the
// end of its finds to the end of the record.
std::string FileRecordStart(const FileReport& report);
std::string FindRecord(const Decision& decision, bool dryRun);
std::string FileRecordEnd(const FileReport& report, bool dryRun);
std::string ErrorRecord(const PathError& error);
std::string SummaryRecord(const RunTally& tally, bool dryRun);

// The record format's version: changed only when a field changes its meaning or goes.
inline constexpr int kRecordVersion = 1;

}  // namespace korbelt
