#include "cli/Interrupts.h"

#include <csignal>

#include "run/Signals.h"

namespace korbelt {
namespace {

volatile std::sig_atomic_t interrupts = 0;
volatile std::sig_atomic_t terminating = 0;

extern "C" void OnInterrupt(int) {
    if (interrupts < 100) {
        interrupts = interrupts + 1;
    }
}

extern "C" void OnTerminate(int signal) {
    terminating = signal;
}

void Handle(int signal, void (*handler)(int)) {
    HandleSignal(signal, handler, false);
}

}  // namespace

void Interrupts::Install() {
    Handle(SIGINT, OnInterrupt);
    Handle(SIGTERM, OnTerminate);
    Handle(SIGHUP, OnTerminate);
    // The reader of the status lines has gone away: the run ends the same way, instead of
    // the program dying in the middle of a file.
    Handle(SIGPIPE, OnTerminate);
    Handle(SIGXFSZ, SIG_IGN);
}

int Interrupts::Count() {
    return interrupts;
}

void Interrupts::Reset() {
    interrupts = 0;
}

int Interrupts::Terminating() {
    return terminating;
}

void Interrupts::EndByTerminatingSignal() {
    EndBySignal(terminating);
}

}  // namespace korbelt
