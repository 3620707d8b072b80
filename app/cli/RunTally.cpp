#include "cli/RunTally.h"

namespace korbelt {
namespace {

int Rank(ExitStatus status) {
    switch (status) {
        case ExitStatus::Ok:
            return 0;
        case ExitStatus::Busy:
            return 1;
        case ExitStatus::DamageLeft:
            return 2;
        case ExitStatus::Failed:
            return 3;
        case ExitStatus::Usage:
            return 4;
    }
    return 0;
}

}  // namespace

ExitStatus ExitStatusOf(FileOutcome outcome) {
    switch (outcome) {
        case FileOutcome::Repaired:
        case FileOutcome::Clean:
        case FileOutcome::Intact:
        case FileOutcome::Ignored:
        case FileOutcome::AlreadyDone:
            return ExitStatus::Ok;
        case FileOutcome::DamageLeft:
            return ExitStatus::DamageLeft;
        case FileOutcome::Busy:
            return ExitStatus::Busy;
        case FileOutcome::NotRepaired:
        case FileOutcome::NotVerified:
            return ExitStatus::Failed;
    }
    return ExitStatus::Failed;
}

ExitStatus Worse(ExitStatus a, ExitStatus b) {
    return Rank(a) >= Rank(b) ? a : b;
}

OutcomeGroup GroupOf(FileOutcome outcome) {
    switch (outcome) {
        case FileOutcome::Repaired:
            return OutcomeGroup::Repaired;
        case FileOutcome::Clean:
        case FileOutcome::Intact:
            return OutcomeGroup::Clean;
        case FileOutcome::Ignored:
        case FileOutcome::DamageLeft:
        case FileOutcome::Busy:
            return OutcomeGroup::Left;
        case FileOutcome::NotRepaired:
        case FileOutcome::NotVerified:
            return OutcomeGroup::Failed;
        case FileOutcome::AlreadyDone:
            return OutcomeGroup::Repeated;
    }
    return OutcomeGroup::Failed;
}

void RunTally::Count(const FileReport& report) {
    ++files_;
    ++groups_[static_cast<int>(GroupOf(report.outcome))];
    read_ += report.bytesRead;
    written_ += report.bytesWritten;
    removed_ += report.bytesRemoved;
    status_ = Worse(status_, ExitStatusOf(report.outcome));
}

void RunTally::Count(const PathError& error) {
    ++errors_;
    // A checksum file named for the run is part of the command line: the run never starts.
    status_ = Worse(status_,
                    error.phase == ErrorPhase::Checksums ? ExitStatus::Usage : ExitStatus::Failed);
}

double RunTally::Seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

}  // namespace korbelt
