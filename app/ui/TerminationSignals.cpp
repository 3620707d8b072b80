#include "ui/TerminationSignals.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <csignal>

#include "run/Signals.h"

namespace korbelt {
namespace {

int sockets[2] = {-1, -1};
volatile std::sig_atomic_t received = 0;

extern "C" void OnTerminate(int signal) {
    received = signal;
    const char byte = 1;
    // Nothing else is safe in a handler; a full socket already carries a wake-up.
    (void)!write(sockets[0], &byte, 1);
}

void Handle(int signal, void (*handler)(int)) {
    HandleSignal(signal, handler, true);
}

}  // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    Handle(SIGXFSZ, SIG_IGN);
    if (sockets[0] < 0 &&
        socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, sockets) != 0) {
        return;
    }
    notifier_ = new QSocketNotifier(sockets[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::OnReadable);
    Handle(SIGTERM, OnTerminate);
    Handle(SIGHUP, OnTerminate);
}

TerminationSignals::~TerminationSignals() {
    if (notifier_ != nullptr) {
        Handle(SIGTERM, SIG_DFL);
        Handle(SIGHUP, SIG_DFL);
    }
}

int TerminationSignals::Received() {
    return received;
}

void TerminationSignals::EndByReceivedSignal() {
    EndBySignal(received);
}

void TerminationSignals::OnReadable() {
    char bytes[16];
    while (read(sockets[1], bytes, sizeof(bytes)) > 0) {
    }
    emit terminationRequested();
}

}  // namespace korbelt
