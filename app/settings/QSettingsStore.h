#pragma once

#include <string>
#include <utility>

#include "settings/SettingsStore.h"

namespace korbelt {

// The settings store kept by QSettings. By default it is the user's native store: on Linux
// the INI file <config dir>/Korbelt/<application>.conf, one group per section. Given a file
// path, that one INI file holds the settings whatever the application. Values are text.
class QSettingsStore : public SettingsStore {
  public:
    QSettingsStore() = default;
    explicit QSettingsStore(std::string iniPath) : iniPath_(std::move(iniPath)) {}

    std::string Read(const std::string& application, const std::string& section,
                     const std::string& key, const std::string& defaultText) override;
    // Reaches the disk before it returns, so a program that ends at once loses nothing.
    void Write(const std::string& application, const std::string& section, const std::string& key,
               const std::string& text) override;

  private:
    std::string iniPath_;
};

}  // namespace korbelt
