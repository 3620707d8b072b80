#include "cli/RunReport.h"

#include <utility>

#include "cli/ReportJson.h"
#include "cli/ReportLines.h"

namespace korbelt {

RunReporter::RunReporter(ReportStreams streams, Verbosity verbosity, bool dryRun,
                         NumberFormat format)
    : streams_(streams), verbosity_(verbosity), dryRun_(dryRun), format_(std::move(format)) {}

bool RunReporter::ShowsLines(const FileReport& report) const {
    return verbosity_ != Verbosity::Quiet || ExitStatusOf(report.outcome) != ExitStatus::Ok;
}

void RunReporter::File(const FileReport& report) {
    tally_.Count(report);
    Record(FileRecord(report, dryRun_));
}

void RunReporter::Error(const PathError& error) {
    tally_.Count(error);
    std::fprintf(streams_.errors, "%s\n", ErrorLine(error).c_str());
    std::fflush(streams_.errors);
    Record(ErrorRecord(error));
}

ExitStatus RunReporter::Finish(bool cutShort) {
    if (cutShort) {
        return tally_.Status();
    }
    const bool line = verbosity_ == Verbosity::Verbose ||
                      (verbosity_ == Verbosity::Normal && streams_.linesOnTerminal);
    if (line) {
        std::fprintf(streams_.lines, "%s\n", SummaryLine(tally_, dryRun_, format_).c_str());
        std::fflush(streams_.lines);
    }
    Record(SummaryRecord(tally_, dryRun_));
    return tally_.Status();
}

void RunReporter::Record(const std::string& record) {
    if (streams_.records != nullptr) {
        std::fprintf(streams_.records, "%s\n", record.c_str());
        std::fflush(streams_.records);
    }
}

}  // namespace korbelt
