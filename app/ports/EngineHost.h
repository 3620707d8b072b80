#pragma once

#include <string>

#include "ports/MessageBoxes.h"
#include "ports/StatusList.h"

namespace korbelt {

// Everything the repair engine needs of whoever shows it: the window, the command line or a
// test. The engine never reaches a toolkit by any other way.
class EngineHost {
  public:
    virtual ~EngineHost() = default;

    virtual StatusList& Status() = 0;
    virtual MessageBoxes& Boxes() = 0;

    // Progress of the current file, 0 to 100.
    virtual void SetProgress(int percent) = 0;
    virtual void SetTitle(const std::string& title) = 0;

    // Lets pending user-interface events run (a click on Stop among them).
    virtual void YieldToUi() = 0;
};

}  // namespace korbelt
