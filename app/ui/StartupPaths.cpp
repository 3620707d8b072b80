#include "ui/StartupPaths.h"

namespace korbelt {

std::vector<std::string> StartupPaths(int argc, const char* const* argv) {
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        // The bytes as the desktop gave them: a file name need not be valid text.
        paths.emplace_back(argv[i]);
    }
    return paths;
}

void AddStartupPaths(const std::vector<std::string>& paths, InputListCommands& commands) {
    // The drop handler adds each path with AddInputFile and turns a name that cannot even be
    // examined into a status line; going through it keeps both ways in exactly alike, and
    // keeps such a name from ending the program before its window is up.
    commands.lstInputFiles_OLEDragDrop(paths);
}

}  // namespace korbelt
