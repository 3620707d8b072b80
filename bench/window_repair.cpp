// Repairs one file through the real main window, the way a user does it: the file goes into
// the input list and "Process File(s) Automatically" is pressed. Runs on the offscreen
// platform. Prints the seconds the run took (from the press until the window is idle again)
// on the first line, then the status list.
//
//   korbelt-bench-window FILE
//
// Nobody answers a message box: should one open, the harness says which and fails.
#include <QApplication>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>

#include "input/InputListCommands.h"
#include "settings/QSettingsStore.h"
#include "ui/frmKorbelt.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "");
    QApplication::setApplicationName("Korbelt");
    if (argc != 2) {
        std::fprintf(stderr, "usage: korbelt-bench-window FILE\n");
        return 2;
    }
    QTemporaryDir settings;
    korbelt::QSettingsStore store(settings.filePath("Korbelt.conf").toStdString());
    korbelt::frmKorbelt window(store);
    window.show();
    window.Commands().AddInputFile(argv[1]);

    QTimer watchdog;
    QObject::connect(&watchdog, &QTimer::timeout, [] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            std::fprintf(stderr, "korbelt-bench-window: unexpected box: %s\n",
                         qPrintable(modal->windowTitle()));
            std::_Exit(1);
        }
    });
    watchdog.start(100);

    const auto start = std::chrono::steady_clock::now();
    window.cmdProcessAuto_Click();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;

    std::printf("%.3f\n", took.count());
    const auto* list = window.findChild<QListWidget*>("List1");
    for (int i = 0; list != nullptr && i < list->count(); ++i) {
        std::printf("%s\n", qPrintable(list->item(i)->text()));
    }
    return window.Run().fileerror ? 1 : 0;
}
