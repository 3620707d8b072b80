// Korbelt: the desktop window.
#include <QApplication>
#include <QSessionManager>
#include <clocale>
#include <cstdio>

#include "run/BatchRun.h"
#include "settings/QSettingsStore.h"
#include "ui/AppIcon.h"
#include "ui/StartupPaths.h"
#include "ui/TerminationSignals.h"
#include "ui/frmKorbelt.h"

int main(int argc, char** argv) {
    // --help and --version answer on the terminal: no window, no display needed.
    if (const auto answer = korbelt::TerminalAnswer(argc, argv)) {
        std::fputs(answer->c_str(), stdout);
        return 0;
    }
    // Takes Qt's own options (-platform, -style ...) out of argc and argv.
    QApplication app(argc, argv);
    // Thousands separators follow the user's locale; QApplication has set it up.
    std::setlocale(LC_NUMERIC, "");
    QApplication::setApplicationName("Korbelt");
    // Lets the desktop match the window to its entry: the icon and name in the task bar.
    QGuiApplication::setDesktopFileName(KORBELT_APP_ID);
    QApplication::setWindowIcon(korbelt::AppIcon());
    korbelt::QSettingsStore store;
    korbelt::frmKorbelt window(store);
    // The end of the session, or SIGTERM or SIGHUP, ends a run as a confirmed abort would.
    korbelt::TerminationSignals termination;
    QObject::connect(&termination, &korbelt::TerminationSignals::terminationRequested, &window,
                     &korbelt::frmKorbelt::EndSession);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window,
                     [&window](QSessionManager&) {
                         if (window.Batch().Running()) {
                             window.EndSession();
                         }
                     });
    window.show();
    korbelt::AddStartupPaths(korbelt::StartupPaths(argc, argv), window.Commands());
    const int status = QApplication::exec();
    korbelt::TerminationSignals::EndByReceivedSignal();
    return status;
}
