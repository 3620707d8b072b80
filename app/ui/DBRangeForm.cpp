#include "ui/DBRangeForm.h"

namespace korbelt {

namespace {

// The first entry that reads exactly as wanted, else the fallback: a range from a
// hand-edited store may name a number the list does not hold.
int IndexOfEntry(const std::vector<std::string>& entries, const std::string& wanted, int fallback) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i] == wanted) {
            return static_cast<int>(i);
        }
    }
    return fallback;
}

std::string WantedEntry(std::int16_t value, std::int16_t whenunset) {
    return std::to_string(value == ModGlobals::kUnset ? whenunset : value);
}

bool IsIndexIn(const std::vector<std::string>& entries, int index) {
    return index >= 0 && index < static_cast<int>(entries.size());
}

}  // namespace

const std::vector<std::string>& DBRangeForm::StartEntries() {
    static const std::vector<std::string> entries{"35", "36", "37", "38", "39",
                                                  "40", "41", "42", "43"};
    return entries;
}

const std::vector<std::string>& DBRangeForm::EndEntries() {
    static const std::vector<std::string> entries{"39", "40", "41", "42", "43", "44",
                                                  "45", "46", "47", "48", "49"};
    return entries;
}

DBRangeForm::DBRangeForm(ModGlobals& rangevalues, MessageBoxes& messageboxes)
    : globals(rangevalues), boxes(messageboxes) {}

std::string DBRangeForm::CurrentRangeText(int start, int end) {
    return "Current search range for Duplicate Bytes is " + std::to_string(start) + " to " +
           std::to_string(end);
}

void DBRangeForm::Form_Load() {
    dlgstart = globals.GetDBRangeStart();
    dlgend = globals.GetDBRangeEnd();
    ShowDBRangeStartValue();
    ShowDBRangeEndValue();
    currentrange = CurrentRangeText(dlgstart, dlgend);
}

void DBRangeForm::ShowDBRangeStartValue() {
    startindex = IndexOfEntry(StartEntries(), WantedEntry(dlgstart, ModGlobals::kDefaultRangeStart),
                              kDefaultStartIndex);
}

void DBRangeForm::ShowDBRangeEndValue() {
    endindex = IndexOfEntry(EndEntries(), WantedEntry(dlgend, ModGlobals::kDefaultRangeEnd),
                            kDefaultEndIndex);
}

int DBRangeForm::SelectedStart() const {
    return std::stoi(StartEntries()[static_cast<std::size_t>(startindex)]);
}

int DBRangeForm::SelectedEnd() const {
    return std::stoi(EndEntries()[static_cast<std::size_t>(endindex)]);
}

bool DBRangeForm::IsDBRangeValid() {
    const int start = SelectedStart();
    const int end = SelectedEnd();
    if (end < start) {
        boxes.Warning("Range End must be larger than Range Start");
        return false;
    }
    if (end == start) {
        boxes.Warning("The range must be at least 2 bytes long");
        return false;
    }
    return true;
}

void DBRangeForm::SaveDBRange() {
    dlgstart = static_cast<std::int16_t>(SelectedStart());
    dlgend = static_cast<std::int16_t>(SelectedEnd());
    // The default pair is stored as unset, so a later change of the defaults reaches it.
    if (dlgstart == ModGlobals::kDefaultRangeStart && dlgend == ModGlobals::kDefaultRangeEnd) {
        globals.rangestart = ModGlobals::kUnset;
        globals.rangeend = ModGlobals::kUnset;
    } else {
        globals.rangestart = dlgstart;
        globals.rangeend = dlgend;
    }
}

void DBRangeForm::cmdApply_Click() {
    if (!IsDBRangeValid()) {
        return;
    }
    SaveDBRange();
    ShowDBRangeStartValue();
    ShowDBRangeEndValue();
    currentrange = CurrentRangeText(dlgstart, dlgend);
}

bool DBRangeForm::cmdOK_Click() {
    if (!IsDBRangeValid()) {
        return false;
    }
    SaveDBRange();
    return true;
}

void DBRangeForm::cmdDefaults_Click() {
    dlgstart = ModGlobals::kUnset;
    dlgend = ModGlobals::kUnset;
    ShowDBRangeStartValue();
    ShowDBRangeEndValue();
    // The lists only: the label keeps naming the range still in force.
    currentrange = CurrentRangeText(globals.GetDBRangeStart(), globals.GetDBRangeEnd());
}

void DBRangeForm::SelectStart(int index) {
    if (IsIndexIn(StartEntries(), index)) {
        startindex = index;
    }
}

void DBRangeForm::SelectEnd(int index) {
    if (IsIndexIn(EndEntries(), index)) {
        endindex = index;
    }
}

}  // namespace korbelt
