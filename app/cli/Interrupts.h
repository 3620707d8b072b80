#pragma once

namespace korbelt {

// Counts Ctrl-C presses. The handler interrupts a blocking read (no SA_RESTART) so that a
// question waiting for its answer notices at once.
class Interrupts {
  public:
    static void Install();
    static int Count();
    static void Reset();
};

}  // namespace korbelt
