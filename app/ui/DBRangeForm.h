#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ports/MessageBoxes.h"
#include "settings/ModGlobals.h"

namespace korbelt {

// What the duplicate-bytes range dialog knows and decides, without its widgets: the two
// fixed lists, which entry of each is selected, the pair the dialog shows and the text of
// its current-range label. The dialog window mirrors this state in its controls.
class DBRangeForm {
  public:
    static const std::vector<std::string>& StartEntries();  // "35" .. "43"
    static const std::vector<std::string>& EndEntries();    // "39" .. "49"
    static constexpr int kDefaultStartIndex = 4;            // "39"
    static constexpr int kDefaultEndIndex = 6;              // "45"

    DBRangeForm(ModGlobals& rangevalues, MessageBoxes& messageboxes);

    // Fills the form afresh from the range in force.
    void Form_Load();

    void ShowDBRangeStartValue();
    void ShowDBRangeEndValue();
    // Warns and returns false when the selected pair is not a range of two or more bytes.
    bool IsDBRangeValid();
    void SaveDBRange();

    void cmdApply_Click();
    // True when the range was put in force and the dialog may close.
    bool cmdOK_Click();
    void cmdDefaults_Click();

    // The user picked an entry; an index outside the list is ignored.
    void SelectStart(int index);
    void SelectEnd(int index);

    int StartIndex() const { return startindex; }
    int EndIndex() const { return endindex; }
    std::int16_t DlgStart() const { return dlgstart; }
    std::int16_t DlgEnd() const { return dlgend; }
    const std::string& CurrentRange() const { return currentrange; }  // labCurrentRange

    static std::string CurrentRangeText(int start, int end);

  private:
    int SelectedStart() const;
    int SelectedEnd() const;

    ModGlobals& globals;
    MessageBoxes& boxes;
    std::int16_t dlgstart = ModGlobals::kUnset;
    std::int16_t dlgend = ModGlobals::kUnset;
    int startindex = kDefaultStartIndex;
    int endindex = kDefaultEndIndex;
    std::string currentrange;
};

}  // namespace korbelt
