#pragma once

#include <cstdio>

#include "cli/CliOptions.h"
#include "cli/RunTally.h"
#include "engine/report/FileReport.h"
#include "engine/report/NumberFormat.h"
#include "engine/report/ReportSink.h"

namespace korbelt {

// Where a run's lines and records go.
struct ReportStreams {
    std::FILE* lines = stdout;     // the status lines and the summary line
    std::FILE* errors = stderr;    // error lines
    std::FILE* records = nullptr;  // the JSON records, with --json
    bool linesOnTerminal = false;  // the summary line is for a person at a terminal
};

// What becomes of each file's report and each error of a run: counted, printed as a line,
// a record or both, as the verbosity asks; and at the end the summary and the exit status.
// A file's record is begun as soon as its first find is passed on, each find written as it
// comes, and ended with the file's report.
class RunReporter : public ReportSink {
  public:
    RunReporter(ReportStreams streams, Verbosity verbosity, bool dryRun, NumberFormat format);

    // Whether a file's status lines are printed: quiet, only those of a file that failed or
    // was left for later.
    bool ShowsLines(const FileReport& report) const;
    bool ShowsProgress() const { return verbosity_ != Verbosity::Quiet; }
    // Whether every file's lines are printed, whatever came of the file: a line can then go
    // out as soon as it is final.
    bool ShowsEveryFile() const { return verbosity_ != Verbosity::Quiet; }

    void Find(const FileReport& report, const Decision& decision) override;
    void File(const FileReport& report);
    void Error(const PathError& error);
    // The summary, as a line and a record, unless the run was cut short (by a signal): a
    // script tells such a run by its missing summary. The run's exit status.
    ExitStatus Finish(bool cutShort = false);

  private:
    void Record(const std::string& record);

    ReportStreams streams_;
    Verbosity verbosity_;
    bool dryRun_;
    NumberFormat format_;
    RunTally tally_;
    bool recordOpen_ = false;  // a file record is begun, and holds a find
};

}  // namespace korbelt
