#include "settings/Options.h"

#include "settings/SettingsText.h"

namespace korbelt {

RunOptions Options::InForce(const ModGlobals& globals, const OptionsDisplay& display) {
    RunOptions options;
    options.rangeStart = globals.GetDBRangeStart();
    options.rangeEnd = globals.GetDBRangeEnd();
    options.truncate = display.TruncateChecked();
    options.ignoreHJSplit = display.IgnoreHJSplitChecked();
    options.verify = display.VerifyChecked();
    options.leaveUnpatterned = display.LeaveUnpatternedChecked();
    return options;
}
namespace {

const std::string kApplication = "Korbelt";
const std::string kSection = "Options";
const std::string kRangeStartKey = "DBRangeStart";
const std::string kRangeEndKey = "DBRangeEnd";
const std::string kTruncateKey = "TruncateMime";
const std::string kIgnoreHJSplitKey = "IgnoreHJSplit";
const std::string kLastVersionKey = "LastVersionRun";
const std::string kVerifyKey = "VerifyChecksums";
const std::string kLeaveUnpatternedKey = "LeaveUnpatterned";

// Releases before the version marker used 39 to 42 as their default range.
constexpr std::int16_t kOldDefaultStart = 39;
constexpr std::int16_t kOldDefaultEnd = 42;

// A hand-edited value that is no 16-bit whole number counts as absent.
std::int16_t ReadNumber(SettingsStore& store, const std::string& key, std::int16_t fallback) {
    const std::string text = store.Read(kApplication, kSection, key, DecimalText(fallback));
    return ParseDecimal16(text).value_or(fallback);
}

bool ReadYes(SettingsStore& store, const std::string& key, bool fallback = false) {
    return IsYes(store.Read(kApplication, kSection, key, YesNoText(fallback)));
}

void WriteText(SettingsStore& store, const std::string& key, const std::string& text) {
    store.Write(kApplication, kSection, key, text);
}

}  // namespace

void Options::RestoreMySettings(SettingsStore& store) {
    globals_.rangestart = ReadNumber(store, kRangeStartKey, ModGlobals::kUnset);
    globals_.rangeend = ReadNumber(store, kRangeEndKey, ModGlobals::kUnset);
    display_.SetTruncateChecked(ReadYes(store, kTruncateKey));
    display_.SetIgnoreHJSplitChecked(ReadYes(store, kIgnoreHJSplitKey));
    display_.SetVerifyChecked(ReadYes(store, kVerifyKey, true));
    display_.SetLeaveUnpatternedChecked(ReadYes(store, kLeaveUnpatternedKey));
    globals_.lastversion = ReadNumber(store, kLastVersionKey, kUnmarkedVersion);

    if (globals_.lastversion < kVersionMarker && globals_.rangestart == kOldDefaultStart &&
        globals_.rangeend == kOldDefaultEnd) {
        globals_.rangestart = ModGlobals::kUnset;
        globals_.rangeend = ModGlobals::kUnset;
    }
    UpdateOptionsText();
}

void Options::CheckRangeAtStartup() {
    // Compared as stored: an unset end (-1) is at or below any start, so it unsets both.
    if (globals_.rangeend <= globals_.rangestart) {
        globals_.rangestart = ModGlobals::kUnset;
        globals_.rangeend = ModGlobals::kUnset;
    }
}

void Options::SaveMySettings(SettingsStore& store) {
    WriteText(store, kRangeStartKey, DecimalText(globals_.rangestart));
    WriteText(store, kRangeEndKey, DecimalText(globals_.rangeend));
    WriteText(store, kTruncateKey, YesNoText(display_.TruncateChecked()));
    WriteText(store, kIgnoreHJSplitKey, YesNoText(display_.IgnoreHJSplitChecked()));
    WriteText(store, kVerifyKey, YesNoText(display_.VerifyChecked()));
    WriteText(store, kLeaveUnpatternedKey, YesNoText(display_.LeaveUnpatternedChecked()));
    if (globals_.lastversion < kVersionMarker) {
        globals_.lastversion = kVersionMarker;
    }
    WriteText(store, kLastVersionKey, DecimalText(globals_.lastversion));
}

std::string Options::SearchRangeText() const {
    return "Searching for Duplicate Bytes in chars " + DecimalText(globals_.GetDBRangeStart()) +
           "-" + DecimalText(globals_.GetDBRangeEnd()) +
           " relative to the first char in 0Dh,0Ah,2Dh";
}

void Options::UpdateOptionsText() {
    std::string text;
    if (display_.TruncateChecked()) {
        text = "Truncating file if a Mime Wrapper is found within 10 bytes of the End of File.";
    }
    if (display_.IgnoreHJSplitChecked()) {
        if (!text.empty()) {
            text += "\r\n";
        }
        text += "Ignoring HJSplit files which are an exact multiple of 1K in size.";
    }
    // Verifying is the default: the frame shows when it is off, as it shows the other two
    // options when they are on.
    if (!display_.VerifyChecked()) {
        if (!text.empty()) {
            text += "\r\n";
        }
        text += "Not verifying repairs with checksum files.";
    }
    if (display_.LeaveUnpatternedChecked()) {
        if (!text.empty()) {
            text += "\r\n";
        }
        text += "Leaving files with no damage pattern as they are.";
    }
    // Setting an unchanged text would only make the label repaint.
    if (display_.OptionsText() != text) {
        display_.SetOptionsText(text);
    }
}

void Options::mnuOptionsTruncate_Click() {
    display_.SetTruncateChecked(!display_.TruncateChecked());
    UpdateOptionsText();
}

void Options::mnuOptionsIgnoreHJS_Click() {
    display_.SetIgnoreHJSplitChecked(!display_.IgnoreHJSplitChecked());
    UpdateOptionsText();
}

void Options::mnuOptionsVerify_Click() {
    display_.SetVerifyChecked(!display_.VerifyChecked());
    UpdateOptionsText();
}

void Options::mnuOptionsLeaveUnpatterned_Click() {
    display_.SetLeaveUnpatternedChecked(!display_.LeaveUnpatternedChecked());
    UpdateOptionsText();
}

}  // namespace korbelt
