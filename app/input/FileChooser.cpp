#include "input/FileChooser.h"

#include <exception>

namespace korbelt {

std::string PickedDirectory(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

OpenDialogSettings FileChooser::PrepareOpening() {
    if (firstbrowse) {
        firstbrowse = false;
        filterindex = 1;
    }
    return {browsename, ChooserFilters(), filterindex};
}

void FileChooser::cmdInputFile_Click(OpenFileDialog& dialog) {
    // Whatever goes wrong here, the user has seen the dialog and sees no message: what was
    // added before the failure stays, nothing after it is tried.
    try {
        const auto choice = dialog.Run(PrepareOpening());
        if (choice) {
            TakeChoice(*choice);
        }
    } catch (const std::exception&) {
    }
}

void FileChooser::TakeChoice(const OpenDialogChoice& choice) {
    if (choice.paths.empty()) {
        return;
    }
    const int filters = static_cast<int>(ChooserFilters().size());
    if (choice.filterindex >= 1 && choice.filterindex <= filters) {
        filterindex = choice.filterindex;
    }
    if (choice.paths.size() == 1) {
        commands_.AddInputFile(choice.paths.front());
        browsename = choice.paths.front();
        return;
    }
    TakeSeveral(choice.paths);
}

void FileChooser::TakeSeveral(const std::vector<std::string>& paths) {
    // The next opening starts in the same directory with every file in view. The separator
    // is this platform's "/", since a "\" would be part of a Linux file name.
    browsename = PickedDirectory(paths.front()) + "/" + "*.*";
    for (const std::string& path : paths) {
        commands_.AddInputFile(path);
    }
}

}  // namespace korbelt
