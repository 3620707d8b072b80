// Renders Korbelt's windows to PNG files: the main window idle, during a run and after a run
// whose files came out differently, the range dialog and the About box. Runs on the
// offscreen platform; no display needed.
//
//   korbelt-screenshots OUTPUT_DIR
#include <unistd.h>
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

// Bytes that never repeat a neighbour, with a marker CR LF '-' every 25,000 bytes; after each
// marker, slippedAt > 0 doubles the byte that many characters on.
std::string Marked(std::size_t size, std::size_t slippedAt) {
    std::string data(size, 'x');
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<char>('a' + i % 23);
    }
    for (std::size_t at = size - 400; at >= 200 && at < size; at -= 25000) {
        data[at] = '\r', data[at + 1] = '\n', data[at + 2] = '-';
        if (slippedAt > 0) {
            data.insert(at + slippedAt, 1, data[at + slippedAt]);
        }
    }
    return data;
}

// A run whose four files come out repaired, clean, left with damage (outside the search
// range) and failed (a link, which is never followed).
QString MakeMixedSamples(const QTemporaryDir& dir) {
    const QString downloads = dir.filePath("Mixed");
    QDir().mkpath(downloads);
    const auto write = [&](const char* name, const std::string& data) {
        std::ofstream(QDir(downloads).filePath(name).toStdString(), std::ios::binary) << data;
    };
    write("holiday-2024.avi", Marked(400000, 41));
    write("concert.mpg", Marked(300000, 0));
    write("lecture.avi", Marked(300000, 46));
    write("backup-of-party.avi", Marked(300000, 41));
    symlink(QDir(downloads).filePath("backup-of-party.avi").toLocal8Bit().constData(),
            QDir(downloads).filePath("party.avi").toLocal8Bit().constData());
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

    window.Inputs().Clear();
    const QString mixed = MakeMixedSamples(dir);
    for (const char* name : {"holiday-2024.avi", "concert.mpg", "lecture.avi", "party.avi"}) {
        window.Commands().AddInputFile(QDir(mixed).filePath(name).toStdString());
    }
    window.cmdProcessAuto_Click();
    // Taller than drawn, so that the status list shows every file's lines.
    window.resize(window.width() + 100, window.height() + 150);
    QApplication::processEvents();
    Save(&window, out + "/main-window-outcomes.png");

    GrabNextModal(out + "/range-dialog.png");
    window.mnuOptionsDBRange_Click();
    GrabNextModal(out + "/about-box.png");
    window.mnuHelpAbout_Click();
    std::printf("pictures written to %s\n", qPrintable(out));
    return 0;
}
