#pragma once

#include <cstdint>
#include <string>

#include "ports/RunOptions.h"
#include "settings/ModGlobals.h"
#include "settings/OptionsDisplay.h"
#include "settings/SettingsStore.h"

namespace korbelt {

// The three user options: the duplicate-bytes range in ModGlobals and the two check marks of
// the display. Reads them all at start-up, writes them all at File, Exit, and keeps the
// options text of the display in step with the marks.
class Options {
  public:
    // What a run starts with: the range and the marks as they stand.
    static RunOptions InForce(const ModGlobals& globals, const OptionsDisplay& display);

    // The version marker written by this release; a store marked below it may still hold the
    // old default range 39 to 42.
    static constexpr std::int16_t kVersionMarker = 131;
    // The marker assumed when a store has none: written by a release before markers existed.
    static constexpr std::int16_t kUnmarkedVersion = 102;

    Options(ModGlobals& globals, OptionsDisplay& display) : globals_(globals), display_(display) {}

    void RestoreMySettings(SettingsStore& store);
    // Run once after RestoreMySettings: a range whose end, as stored, is not past its start
    // falls back to the default.
    void CheckRangeAtStartup();
    void SaveMySettings(SettingsStore& store);

    // The text of the search-range label.
    std::string SearchRangeText() const;
    void UpdateOptionsText();

    void mnuOptionsTruncate_Click();
    void mnuOptionsIgnoreHJS_Click();
    void mnuOptionsVerify_Click();
    void mnuOptionsLeaveUnpatterned_Click();

  private:
    ModGlobals& globals_;
    OptionsDisplay& display_;
};

}  // namespace korbelt
