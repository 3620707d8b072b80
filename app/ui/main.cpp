// Korbelt: the desktop window.
#include <QApplication>
#include <clocale>

#include "AppIcon.h"
#include "QSettingsStore.h"
#include "StartupPaths.h"
#include "frmKorbelt.h"

int main(int argc, char** argv) {
    // Takes Qt's own options (-platform, -style ...) out of argc and argv.
    QApplication app(argc, argv);
    // Thousands separators follow the user's locale; QApplication has set it up.
    std::setlocale(LC_NUMERIC, "");
    QApplication::setApplicationName("Korbelt");
    // Lets the desktop match the window to its entry: the icon and name in the task bar.
    QGuiApplication::setDesktopFileName("org.example.korbelt.Korbelt");
    QApplication::setWindowIcon(korbelt::AppIcon());
    korbelt::QSettingsStore store;
    korbelt::frmKorbelt window(store);
    window.show();
    korbelt::AddStartupPaths(korbelt::StartupPaths(argc, argv), window.Commands());
    return QApplication::exec();
}
