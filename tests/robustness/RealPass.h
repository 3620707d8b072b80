#pragma once

#include <gtest/gtest.h>

#include "FakeHost.h"
#include "RecordingControls.h"
#include "TempDir.h"
#include "engine/RepairEngine.h"
#include "engine/system/KorbscanLibrary.h"
#include "engine/system/PosixFileSystem.h"
#include "input/InputListCommands.h"
#include "run/BatchRun.h"

namespace korbelt::test {

// The repair pass and the batch run on a real directory with the real korbscan library,
// the window replaced by a recording host. The file system can be wrapped by a test.
class RealPass : public ::testing::Test {
  protected:
    explicit RealPass(FileSystem* fs = nullptr) : fs_(fs != nullptr ? *fs : posix) {}

    // One file, the way the batch run hands it over: a "Processing " line first.
    void Process(const std::string& path) {
        run.listindex = host.status.AppendLine("Processing " + path);
        engine.ProcessFile(path);
    }
    // Adds each path to the input list and runs the list automatically.
    void RunList(const std::vector<std::string>& paths) {
        for (const auto& path : paths) {
            commands.AddInputFile(path);
        }
        batch.cmdProcessAuto_Click();
    }

    std::vector<std::string> Lines() const { return host.status.lines; }
    std::vector<std::string> Warnings() const {
        return host.boxes.Texts(ScriptedBoxes::Kind::Warning);
    }
    std::vector<std::string> Questions() const {
        return host.boxes.Texts(ScriptedBoxes::Kind::Question);
    }

    TempDir dir;
    PosixFileSystem posix;
    FakeHost host;
    RunState run;
    KorbscanLibrary library;

  private:
    FileSystem& fs_;

  protected:
    RepairEngine engine{host, run, library, fs_};
    InputList list;
    InputListCommands commands{list, fs_, host.status, host.boxes};
    RecordingControls controls;
    BatchRun batch{host, run, engine, list, controls, fs_};
};

}  // namespace korbelt::test
