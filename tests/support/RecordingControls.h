#pragma once

#include <string>
#include <vector>

#include "run/RunControls.h"

namespace korbelt::test {

// Records every state change of the run controls as "Stop enabled", "ProgressBar hidden" ...
class RecordingControls : public RunControls {
  public:
    void SetEnabled(Control control, bool enabled) override {
        calls.push_back(Name(control) + (enabled ? " enabled" : " disabled"));
    }
    void SetVisible(Control control, bool visible) override {
        calls.push_back(Name(control) + (visible ? " shown" : " hidden"));
    }
    void FileFinished() override { ++filesFinished; }
    RunOptions OptionsForRun() override { return options; }

    static std::string Name(Control control) {
        switch (control) {
            case Control::ProcessAuto:
                return "ProcessAuto";
            case Control::ProcessInter:
                return "ProcessInter";
            case Control::Stop:
                return "Stop";
            case Control::ProgressBar:
                return "ProgressBar";
        }
        return "?";
    }

    RunOptions options;
    std::vector<std::string> calls;
    int filesFinished = 0;
};

}  // namespace korbelt::test
