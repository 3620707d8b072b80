#pragma once

#include <csignal>

namespace korbelt {

// Installs a handler (or SIG_IGN, SIG_DFL) for a signal. Without restart, a blocking read
// the signal interrupts returns at once, so that a question waiting for an answer notices.
inline void HandleSignal(int signal, void (*handler)(int), bool restart) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = restart ? SA_RESTART : 0;
    sigaction(signal, &action, nullptr);
}

// Ends the process by the signal received, with its default action, so that whoever started
// it sees what ended it. Returns when there was none (0).
inline void EndBySignal(int signal) {
    if (signal == 0) {
        return;
    }
    HandleSignal(signal, SIG_DFL, true);
    std::raise(signal);
}

}  // namespace korbelt
