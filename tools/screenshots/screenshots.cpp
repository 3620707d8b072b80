// Renders Korbelt's windows to PNG files: the main window idle and during a run, the range
// dialog and the About box. Runs on the offscreen platform; no display needed.
//
//   korbelt-screenshots OUTPUT_DIR
#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <fstream>

#include "input/InputListCommands.h"
#include "settings/QSettingsStore.h"
#include "ui/frmKorbelt.h"

namespace {

void Save(QWidget* widget, const QString& path) {
    if (!widget->grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    }
}

// A few damaged files to show a run on.
QString MakeSamples(const QTemporaryDir& dir) {
    const QString downloads = dir.filePath("Downloads");
    QDir().mkpath(downloads + "/Series");
    for (const char* name :
         {"holiday-2024.avi", "concert.mpg", "Series/episode-01.avi", "Series/episode-02.avi"}) {
        std::string data(3 * 1024 * 1024, 'x');
        for (std::size_t i = 0; i < data.size(); ++i) {
            data[i] = static_cast<char>('a' + i % 23);
        }
        for (std::size_t at = 5000; at + 50 < data.size(); at += 700000) {
            data[at] = '\r', data[at + 1] = '\n', data[at + 2] = '-';
            data[at + 41] = data[at + 42] = 'Q';
        }
        std::ofstream(QDir(downloads).filePath(name).toStdString(), std::ios::binary) << data;
    }
    return downloads;
}

// Grabs the modal dialog the window opens next, then closes it.
void GrabNextModal(const QString& path) {
    QTimer::singleShot(300, [path] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            Save(modal, path);
            modal->close();
        }
    });
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: korbelt-screenshots OUTPUT_DIR\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    QTemporaryDir dir;
    korbelt::QSettingsStore store(dir.filePath("Korbelt.conf").toStdString());
    korbelt::frmKorbelt window(store);
    window.show();

    const QString downloads = MakeSamples(dir);
    window.Commands().AddInputFile(QDir(downloads).filePath("holiday-2024.avi").toStdString());
    window.Commands().AddInputFile(QDir(downloads).filePath("concert.mpg").toStdString());
    window.Commands().AddInputFile(QDir(downloads).filePath("Series").toStdString());
    window.Commands().AddInputFile(QDir(downloads).filePath("missing.avi").toStdString());
    window.Inputs().SetSelected(1, false);
    QApplication::processEvents();
    Save(&window, out + "/main-window.png");

    // During a run: grab once the second file is under way.
    bool grabbed = false;
    QObject::connect(&window, &QWidget::windowTitleChanged, [&](const QString& title) {
        if (!grabbed && title.startsWith("60%") && window.Run().listindex > 2) {
            grabbed = true;
            Save(&window, out + "/main-window-running.png");
        }
    });
    window.Globals().rangestart = -1;
    window.cmdProcessAuto_Click();
    Save(&window, out + "/main-window-done.png");

    GrabNextModal(out + "/range-dialog.png");
    window.mnuOptionsDBRange_Click();
    GrabNextModal(out + "/about-box.png");
    window.mnuHelpAbout_Click();
    std::printf("pictures written to %s\n", qPrintable(out));
    return 0;
}
