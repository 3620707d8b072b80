#pragma once

#include <string>

namespace korbelt {

// The per-user settings store: text values under application, section and key.
class SettingsStore {
  public:
    virtual ~SettingsStore() = default;

    // The stored text of the key, or defaultText when the key, the section or the whole
    // store is absent.
    virtual std::string Read(const std::string& application, const std::string& section,
                             const std::string& key, const std::string& defaultText) = 0;
    // Creates or replaces the key.
    virtual void Write(const std::string& application, const std::string& section,
                       const std::string& key, const std::string& text) = 0;
};

}  // namespace korbelt
