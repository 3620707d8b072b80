#include "QSettingsStore.h"

#include <sys/stat.h>

#include <QFile>
#include <QSettings>
#include <QString>
#include <QVariant>
#include <memory>

namespace korbelt {
namespace {

const QString kOrganisation = QStringLiteral("Korbelt");

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

std::unique_ptr<QSettings> Open(const std::string& iniPath, const std::string& application) {
    if (iniPath.empty()) {
        return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                           kOrganisation, Q(application));
    }
    return std::make_unique<QSettings>(Q(iniPath), QSettings::IniFormat);
}

// Only a regular file (or nothing yet) is read or written: a FIFO or a device put where the
// settings file belongs would make the program wait for ever before it shows anything.
bool IsUsable(const QSettings& settings) {
    struct stat info {};
    const QByteArray path = QFile::encodeName(settings.fileName());
    return stat(path.constData(), &info) != 0 || S_ISREG(info.st_mode);
}

QString KeyPath(const std::string& section, const std::string& key) {
    return Q(section) + QLatin1Char('/') + Q(key);
}

}  // namespace

std::string QSettingsStore::Read(const std::string& application, const std::string& section,
                                 const std::string& key, const std::string& defaultText) {
    const auto settings = Open(iniPath_, application);
    if (!IsUsable(*settings)) {
        return defaultText;
    }
    const QVariant value = settings->value(KeyPath(section, key));
    if (!value.isValid()) {
        return defaultText;
    }
    // A hand-edited file can make a value a list or some other type; whatever does not read
    // as one text comes back empty, which no reader takes for a value.
    return value.toString().toStdString();
}

void QSettingsStore::Write(const std::string& application, const std::string& section,
                           const std::string& key, const std::string& text) {
    const auto settings = Open(iniPath_, application);
    if (!IsUsable(*settings)) {
        return;
    }
    settings->setValue(KeyPath(section, key), Q(text));
    settings->sync();
}

}  // namespace korbelt
