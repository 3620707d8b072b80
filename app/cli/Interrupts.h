#pragma once

namespace korbelt {

// The signals korbelt-cli answers. Ctrl-C (SIGINT) is counted: the handler interrupts a
// blocking read (no SA_RESTART) so that a question waiting for its answer notices at once.
// SIGTERM and SIGHUP (a service stopped, a terminal closed), and SIGPIPE (the reader of the
// status lines gone), end the program as a confirmed abort does: the current file is left as it
// was, its temporary file removed, no further file is started. SIGXFSZ is ignored, so that a write
// beyond the file-size limit fails like any other write instead of killing the program half-way.
class Interrupts {
  public:
    static void Install();
    static int Count();
    static void Reset();
    // The terminating signal received, or 0.
    static int Terminating();
    // Ends the process by the terminating signal received, with its default action, so that
    // the caller sees what ended it. Returns when there was none.
    static void EndByTerminatingSignal();
};

}  // namespace korbelt
