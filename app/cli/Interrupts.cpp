#include "Interrupts.h"

#include <csignal>

namespace korbelt {
namespace {

volatile std::sig_atomic_t interrupts = 0;

extern "C" void OnInterrupt(int) {
    if (interrupts < 100) {
        interrupts = interrupts + 1;
    }
}

}  // namespace

void Interrupts::Install() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
}

int Interrupts::Count() {
    return interrupts;
}

void Interrupts::Reset() {
    interrupts = 0;
}

}  // namespace korbelt
