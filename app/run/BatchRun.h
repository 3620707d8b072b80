#pragma once

#include <set>
#include <string>
#include <vector>

#include "engine/RepairEngine.h"
#include "input/InputList.h"
#include "ports/EngineHost.h"
#include "ports/FileSystem.h"
#include "ports/RunState.h"
#include "run/RunControls.h"

namespace korbelt {

// Runs the repair pass over every selected entry of the input list, top to bottom: a file
// entry is one file, a directory entry every ordinary file directly inside it.
class BatchRun {
  public:
    BatchRun(EngineHost& host, RunState& run, RepairEngine& engine, InputList& list,
             RunControls& controls, FileSystem& fs);

    void cmdProcessAuto_Click();
    void cmdProcessInter_Click();
    void cmdStop_Click() { run_.stopflag = true; }
    void ProcessFiles();

    bool Running() const { return running_; }
    // Files of the last run that were not repaired (failed, aborted or left as they were
    // after a refused backup), and directories that could not be listed.
    int Failures() const { return failures_; }
    // Files of the last run left alone because another Korbelt was repairing them.
    int Busy() const { return busy_; }
    // Files whose markers show damage the run left in them.
    int DamageLeft() const { return damageLeft_; }

    // Ascending by name, ignoring ASCII case; equal names then in plain byte order.
    static void SortNames(std::vector<std::string>& names);

  private:
    enum class Walk { GoOn, Stop };

    void ShowRunning();
    void ShowIdle();
    Walk ProcessFileEntry(int position, const std::string& name);
    Walk ProcessDirectoryEntry(int position, const std::string& directory);
    FileOutcome ProcessOne(int position, const std::string& name, EntryOutcome& entry);
    bool ProcessRemainingFiles();
    bool IsOwnBackup(const std::string& directory, const std::string& name,
                     const std::set<std::string>& listed);

    EngineHost& host_;
    RunState& run_;
    RepairEngine& engine_;
    InputList& list_;
    RunControls& controls_;
    FileSystem& fs_;
    bool running_ = false;
    int failures_ = 0;
    int busy_ = 0;
    int damageLeft_ = 0;
};

}  // namespace korbelt
