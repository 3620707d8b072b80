#pragma once

#include <functional>
#include <string>
#include <vector>

#include "input/InputList.h"
#include "ports/FileSystem.h"
#include "ports/MessageBoxes.h"
#include "ports/StatusList.h"

namespace korbelt {

// What the input list does when the user fills, inspects or prunes it. The window's
// handlers of the same names only translate their toolkit's events and call these.
class InputListCommands {
  public:
    // What a drag hovering over the list is told.
    enum class DropEffect { None, Copy };

    // yieldToUi lets pending user-interface events run; it may be empty.
    InputListCommands(InputList& list, FileSystem& fs, StatusList& status, MessageBoxes& boxes,
                      std::function<void()> yieldToUi = {});

    // What came of adding a name.
    enum class Added { Entry, Invalid, ListFull };

    // Appends a selected "file " or "directory " entry for filename, or reports it as a
    // status line. The path is taken literally: wildcards match nothing but themselves.
    Added AddInputFile(const std::string& filename);

    // Only a list of files is welcome, and only as a copy; moves and links are refused.
    static DropEffect lstInputFiles_OLEDragOver(bool offersfilelist, bool offerscopy);
    // Adds each dropped path in the order given.
    void lstInputFiles_OLEDragDrop(const std::vector<std::string>& filenames);
    // Shows the current entry's kind and path.
    void lstInputFiles_DblClick();
    // After a Yes, removes every entry that is not selected.
    void cmdTidy_Click();
    // After a Yes, removes every entry.
    void cmdClear_Click();

  private:
    void InformUser(const std::string& text);

    InputList& list_;
    FileSystem& fs_;
    StatusList& status_;
    MessageBoxes& boxes_;
    std::function<void()> yieldToUi_;
};

}  // namespace korbelt
