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
    void EntryStarted(int position) override {
        entries.push_back("started " + std::to_string(position));
    }
    void EntryReported(int position, const EntryOutcome& outcome) override {
        static const char* const kMarks[] = {"clean",   "verified",    "repaired",
                                             "skipped", "damage left", "failed"};
        entries.push_back(std::to_string(position) + " " +
                          kMarks[static_cast<int>(outcome.Mark())] + ": " + outcome.Note());
    }
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
    std::vector<std::string> entries;  // "started 2", "2 repaired: NOTE"
    int filesFinished = 0;
};

}  // namespace korbelt::test
