// Korbelt: the desktop window.
#include <QApplication>
#include <clocale>

#include "AppIcon.h"
#include "QSettingsStore.h"
#include "frmKorbelt.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // Thousands separators follow the user's locale; QApplication has set it up.
    std::setlocale(LC_NUMERIC, "");
    QApplication::setApplicationName("Korbelt");
    QApplication::setWindowIcon(korbelt::AppIcon());
    korbelt::QSettingsStore store;
    korbelt::frmKorbelt window(store);
    window.show();
    return QApplication::exec();
}
