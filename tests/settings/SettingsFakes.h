#pragma once

#include <map>
#include <string>
#include <vector>

#include "settings/OptionsDisplay.h"
#include "settings/SettingsStore.h"

namespace korbelt::test {

// A settings store in memory that records every read and write in order.
class RecordingStore : public SettingsStore {
  public:
    struct Access {
        std::string application;
        std::string section;
        std::string key;
        std::string text;  // the default of a read, the value of a write
        bool operator==(const Access&) const = default;
    };

    std::string Read(const std::string& application, const std::string& section,
                     const std::string& key, const std::string& defaultText) override {
        reads.push_back({application, section, key, defaultText});
        const auto found = values.find(Path(application, section, key));
        return found == values.end() ? defaultText : found->second;
    }
    void Write(const std::string& application, const std::string& section, const std::string& key,
               const std::string& text) override {
        writes.push_back({application, section, key, text});
        values[Path(application, section, key)] = text;
    }

    // Puts a value in place without recording it, as a previous run would have.
    void Put(const std::string& key, const std::string& text) {
        values[Path("Korbelt", "Options", key)] = text;
    }
    std::vector<std::string> WrittenKeys() const {
        std::vector<std::string> keys;
        for (const Access& write : writes) {
            keys.push_back(write.key);
        }
        return keys;
    }

    std::map<std::string, std::string> values;
    std::vector<Access> reads;
    std::vector<Access> writes;

  private:
    static std::string Path(const std::string& application, const std::string& section,
                            const std::string& key) {
        return application + "|" + section + "|" + key;
    }
};

// Option marks that count how often the label text was set.
class RecordingDisplay : public OptionMarks {
  public:
    void SetOptionsText(const std::string& text) override {
        ++textSets;
        OptionMarks::SetOptionsText(text);
    }
    int textSets = 0;
};

}  // namespace korbelt::test
