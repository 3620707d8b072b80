#pragma once

#include <optional>
#include <string>
#include <vector>

#include "input/FileFilters.h"

namespace korbelt {

// How the open dialog is to be shown. Several files may be picked, and a typed name that
// does not exist is returned like any other, so that the input list can say it is invalid.
struct OpenDialogSettings {
    // The name the dialog opens with; "" for none. After several files were picked it is
    // their directory + "/*.*": open in that directory with every file in view.
    std::string filename;
    std::vector<FileFilter> filters;
    int filterindex = 1;  // 1-based, into filters
};

// What the user confirmed.
struct OpenDialogChoice {
    std::vector<std::string> paths;  // full paths, in the dialog's order
    int filterindex = 1;             // 1-based: the file type shown when the user confirmed
};

// The toolkit's modal open-file dialog.
class OpenFileDialog {
  public:
    virtual ~OpenFileDialog() = default;

    // Nothing when the user cancelled or the dialog could not be shown.
    virtual std::optional<OpenDialogChoice> Run(const OpenDialogSettings& settings) = 0;
};

}  // namespace korbelt
