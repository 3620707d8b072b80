#pragma once

#include <string>

#include "engine/report/FileReport.h"
#include "ports/RunOptions.h"
#include "run/EntryOutcome.h"

namespace korbelt {

// The controls a run switches between its idle and running states.
class RunControls {
  public:
    enum class Control { ProcessAuto, ProcessInter, Stop, ProgressBar };

    virtual ~RunControls() = default;

    // The options a run starts with, asked once as it starts.
    virtual RunOptions OptionsForRun() = 0;
    virtual void SetEnabled(Control control, bool enabled) = 0;
    virtual void SetVisible(Control control, bool visible) = 0;
    // A file's pass is about to start, on the file of that name.
    virtual void FileStarted(const std::string& name) { (void)name; }
    // A file's pass has ended and its status lines are final; what came of it.
    virtual void FileFinished() {}
    virtual void FileReported(const FileReport& report) { (void)report; }
    // A directory entry whose folder could not be listed: none of its files was reached. Its
    // status line has been written.
    virtual void FolderUnlisted(const std::string& folder) { (void)folder; }
    // The walk has reached a selected entry and is about to process it: what an earlier run
    // made of it no longer holds.
    virtual void EntryStarted(int position) { (void)position; }
    // What has come of the entry so far: after each of its files, and once for a directory
    // without any.
    virtual void EntryReported(int position, const EntryOutcome& outcome) {
        (void)position;
        (void)outcome;
    }
    // The program is being ended (a signal, the session's end): no further file is started.
    virtual bool EndRunRequested() { return false; }
};

}  // namespace korbelt
