#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "engine/report/FileReport.h"

namespace korbelt {

// korbelt-cli's exit statuses. When several apply, the first of Usage, Failed, DamageLeft,
// Busy is the one.
enum class ExitStatus { Ok = 0, Failed = 1, Usage = 2, Busy = 3, DamageLeft = 4 };

// The status a file's outcome asks for on its own.
ExitStatus ExitStatusOf(FileOutcome outcome);
// The more pressing of two statuses.
ExitStatus Worse(ExitStatus a, ExitStatus b);

// How the summary counts a file.
enum class OutcomeGroup {
    Repaired,  // repaired
    Clean,     // nothing to repair, or proven intact
    Left,      // left as it is with something in it: skipped by an option, damage left, busy
    Failed,    // not repaired, or its repair not verified
    Repeated,  // reached again under another name: counted where it was first reached
};
OutcomeGroup GroupOf(FileOutcome outcome);

// Where a PATH, or a file named for the run, could not be used.
enum class ErrorPhase {
    Arguments,  // a PATH that is neither a file nor a folder
    Listing,    // a folder that cannot be listed
    Checksums,  // a checksum file named with --checksums that cannot be read
};

struct PathError {
    std::string path;
    std::string reason;  // for people: what the system said, or why the name is not taken
    ErrorPhase phase = ErrorPhase::Arguments;
};

// What a run came to: its files counted by outcome, its errors, its bytes and its time.
class RunTally {
  public:
    RunTally() : start_(std::chrono::steady_clock::now()) {}

    void Count(const FileReport& report);
    void Count(const PathError& error);

    int Files() const { return files_; }
    int Files(OutcomeGroup group) const { return groups_[static_cast<int>(group)]; }
    int Errors() const { return errors_; }
    std::int64_t BytesRead() const { return read_; }
    std::int64_t BytesWritten() const { return written_; }
    std::int64_t BytesRemoved() const { return removed_; }
    double Seconds() const;
    ExitStatus Status() const { return status_; }

  private:
    std::chrono::steady_clock::time_point start_;
    int files_ = 0;
    int groups_[5] = {};
    int errors_ = 0;
    std::int64_t read_ = 0;
    std::int64_t written_ = 0;
    std::int64_t removed_ = 0;
    ExitStatus status_ = ExitStatus::Ok;
};

}  // namespace korbelt
