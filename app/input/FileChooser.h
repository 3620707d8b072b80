#pragma once

#include <string>
#include <vector>

#include "input/InputListCommands.h"
#include "input/OpenFileDialog.h"

namespace korbelt {

// Picks input files in the open dialog and adds them to the input list. It remembers, for
// as long as the program runs, where the user last picked files and which file type they
// last confirmed; it chooses the file type itself only at the first opening.
class FileChooser {
  public:
    explicit FileChooser(InputListCommands& commands) : commands_(commands) {}

    // Runs the dialog and adds what was picked. A cancel, or any failure, ends it silently.
    void cmdInputFile_Click(OpenFileDialog& dialog);

    // The settings of the next opening; marks the chooser as opened.
    OpenDialogSettings PrepareOpening();
    // What to do with the user's confirmed choice.
    void TakeChoice(const OpenDialogChoice& choice);

    bool firstbrowse = true;  // true until the dialog has been opened once
    std::string browsename;   // the name the dialog opens with
    int filterindex = 1;      // 1-based; the file type last confirmed

  private:
    void TakeSeveral(const std::vector<std::string>& paths);

    InputListCommands& commands_;
};

// The directory part of a picked path: everything before its last "/".
std::string PickedDirectory(const std::string& path);

}  // namespace korbelt
