#include "settings/QSettingsStore.h"

#include <sys/stat.h>

#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QString>
#include <QVariant>
#include <memory>

namespace korbelt {
namespace {

const QString kOrganisation = QStringLiteral("Korbelt");

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// Where QSettings keeps the store: the file given, or the user's native one.
QString StorePath(const std::string& iniPath, const std::string& application) {
    if (!iniPath.empty()) {
        return Q(iniPath);
    }
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QLatin1Char('/') + kOrganisation + QLatin1Char('/') + Q(application) +
           QStringLiteral(".conf");
}

// QSettings reads its file as soon as it is made: a FIFO or a device put where the file
// belongs would make the program wait for ever before it shows anything. Only a regular
// file, or nothing yet, is read or written (a directory QSettings copes with on its own).
bool IsUsable(const QString& path) {
    struct stat info {};
    const QByteArray bytes = QFile::encodeName(path);
    return stat(bytes.constData(), &info) != 0 || S_ISREG(info.st_mode) || S_ISDIR(info.st_mode);
}

// The store, or nothing when what is in the file's place is no file.
std::unique_ptr<QSettings> Open(const std::string& iniPath, const std::string& application) {
    if (!IsUsable(StorePath(iniPath, application))) {
        return nullptr;
    }
    if (iniPath.empty()) {
        return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                           kOrganisation, Q(application));
    }
    return std::make_unique<QSettings>(Q(iniPath), QSettings::IniFormat);
}

QString KeyPath(const std::string& section, const std::string& key) {
    return Q(section) + QLatin1Char('/') + Q(key);
}

}  // namespace

std::string QSettingsStore::Read(const std::string& application, const std::string& section,
                                 const std::string& key, const std::string& defaultText) {
    const auto settings = Open(iniPath_, application);
    if (!settings) {
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
    if (!settings) {
        return;
    }
    settings->setValue(KeyPath(section, key), Q(text));
    settings->sync();
}

}  // namespace korbelt
