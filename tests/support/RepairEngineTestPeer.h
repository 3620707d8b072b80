#pragma once

#include <cstdint>

#include "engine/RepairEngine.h"

namespace korbelt {

// The engine's state as tests see it: the record buffer to prepare a check on, and the
// positions and wrapper flag a pass leaves behind.
class RepairEngineTestPeer {
  public:
    explicit RepairEngineTestPeer(RepairEngine& engine) : engine_(engine) {}

    // The record buffer, as the engine's own bytes to write into.
    std::uint8_t* Buffer() { return engine_.buff.Own(); }
    std::uint8_t Byte(int index) const { return engine_.buff[static_cast<std::size_t>(index)]; }
    std::int64_t readpos() const { return engine_.readpos; }
    std::int64_t writepos() const { return engine_.writepos; }
    int heldcr() const { return engine_.heldcr; }
    void SetHeldcr(int heldcr) { engine_.heldcr = heldcr; }
    // The options of a run, without starting one: what the run has dealt with stays.
    void SetOptions(const RunOptions& options) { engine_.options_ = options; }

  private:
    RepairEngine& engine_;
};

}  // namespace korbelt
