#pragma once

#include <QObject>

class QSocketNotifier;

namespace korbelt {

// SIGTERM and SIGHUP (the session ends, the service manager stops the program) reach the
// window as a Qt signal, through a socket the handler writes to, so that the window ends a
// run as a confirmed abort does instead of dying in the middle of a file. SIGXFSZ is
// ignored, so that a write beyond the file-size limit fails like any other write.
class TerminationSignals : public QObject {
    Q_OBJECT
  public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

    // The terminating signal received, or 0.
    static int Received();
    // Ends the process by the signal received, with its default action. Returns when there
    // was none.
    static void EndByReceivedSignal();

  signals:
    void terminationRequested();

  private:
    void OnReadable();

    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace korbelt
