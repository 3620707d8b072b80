// Repairs one file through the real main window, the way a user does it: the file goes into
// the input list and "Process File(s) Automatically" is pressed. Runs on the offscreen
// platform. Prints the seconds the run took (from the press until the window is idle again)
// and the longest the window went without handling its events meanwhile, in milliseconds,
// on the first line, then the status list.
//
//   korbelt-bench-window FILE
//
// Nobody answers a message box: should one open, the harness says which and fails.
//
//   korbelt-bench-window --floor N plain|line|bare
//
// What a list of N lines of a find costs without Korbelt's engine, shown and laid out once:
// a QListWidget of N items with their own text (plain) or without text (bare), or the
// window's own status list, a view of its store of lines (line). Prints the seconds.
#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "input/InputListCommands.h"
#include "settings/QSettingsStore.h"
#include "ui/StatusListWidget.h"
#include "ui/frmKorbelt.h"

namespace {

int Floor(long lines, const char* kind) {
    const std::string line = "  @1,234,567 found 054 095 088 088 073 105 107  removed";
    const bool statusList = std::strcmp(kind, "line") == 0;
    QListWidget items;
    korbelt::StatusListWidget status;
    QAbstractItemView& list = statusList ? static_cast<QAbstractItemView&>(status) : items;
    items.setUniformItemSizes(true);
    list.resize(505, 172);
    list.show();
    const auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < lines; ++i) {
        if (statusList) {
            status.Lines().Append(line);
        } else if (std::strcmp(kind, "plain") == 0) {
            items.addItem(QString::fromStdString(line));
        } else {
            items.addItem(new QListWidgetItem());
        }
    }
    list.scrollToBottom();
    QApplication::processEvents();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::printf("%.3f\n", took.count());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "");
    QApplication::setApplicationName("Korbelt");
    if (argc == 4 && std::strcmp(argv[1], "--floor") == 0) {
        return Floor(std::atol(argv[2]), argv[3]);
    }
    if (argc != 2) {
        std::fprintf(stderr,
                     "usage: korbelt-bench-window FILE\n"
                     "       korbelt-bench-window --floor N plain|line|bare\n");
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
    // How long the window waits for its events at most: a timer due every 10 ms runs only
    // when the run yields to the window.
    QElapsedTimer sinceTick;
    qint64 longestMs = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longestMs = std::max(longestMs, sinceTick.restart());
    });
    tick.start(10);

    const auto start = std::chrono::steady_clock::now();
    sinceTick.start();
    window.cmdProcessAuto_Click();
    longestMs = std::max(longestMs, sinceTick.elapsed());
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;

    std::printf("%.3f %lld\n", took.count(), static_cast<long long>(longestMs));
    const auto* list = window.findChild<QAbstractItemView*>("List1");
    for (int i = 0; list != nullptr && i < list->model()->rowCount(); ++i) {
        std::printf("%s\n", qPrintable(list->model()->index(i, 0).data().toString()));
    }
    return window.Run().fileerror ? 1 : 0;
}
