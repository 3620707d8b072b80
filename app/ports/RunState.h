#pragma once

#include <string>
#include <vector>

#include "ports/FileSystem.h"

namespace korbelt {

// What came of one file.
enum class FileOutcome {
    Repaired,     // the repaired copy took the file's name; the original is NAME.bak
    Clean,        // nothing to remove: the file was left as it is
    Intact,       // proven intact by a checksum: left as it is, whatever the pattern finds
    Ignored,      // skipped by an option: an HJSplit piece, or repeats that look like chance
    DamageLeft,   // the markers show damage that was not repaired (outside the search range)
    AlreadyDone,  // another name led to the same file earlier in the run
    Busy,         // another Korbelt is repairing it: left alone
    NotRepaired,  // failed, refused or aborted: the file is as it was
    NotVerified,  // repaired or not, its checksum does not match
};

// Whether the file still wants the user's attention: it was not made whole.
inline bool IsFailure(FileOutcome outcome) {
    return outcome == FileOutcome::NotRepaired || outcome == FileOutcome::NotVerified;
}

// The files a run has dealt with, so that no file is repaired twice in one run whatever
// names lead to it: both the file that was read (now NAME.bak) and the copy that took its
// name count. And the names of stale temporary files the run removed, which its directory
// listings may still hold.
class ProcessedFiles {
  public:
    void Clear() { *this = ProcessedFiles(); }
    void Add(const FileIdentity& file) { files_.push_back(file); }
    bool Contains(const FileIdentity& file) const {
        for (const FileIdentity& done : files_) {
            if (done.SameFile(file)) {
                return true;
            }
        }
        return false;
    }
    void AddRemovedCopy(const std::string& path) { removedCopies_.push_back(path); }
    bool RemovedCopy(const std::string& path) const {
        for (const std::string& removed : removedCopies_) {
            if (removed == path) {
                return true;
            }
        }
        return false;
    }

  private:
    std::vector<FileIdentity> files_;
    std::vector<std::string> removedCopies_;
};

// State shared by the batch run, the repair pass and the Stop button. All of it is touched
// on the user-interface thread only.
struct RunState {
    bool interactive = false;  // ask before each removal
    bool stopflag = false;     // Stop was pressed; the pass polls and clears it
    bool fileerror = false;    // the last file was not repaired
    int listindex = 0;         // status line the pass rewrites with the file's outcome
    ProcessedFiles processed;  // what this run has dealt with; the batch run clears it
};

}  // namespace korbelt
