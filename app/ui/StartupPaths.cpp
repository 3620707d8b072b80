#include "ui/StartupPaths.h"

#include <string_view>

#include "settings/Version.h"

namespace korbelt {
namespace {

std::string UsageText() {
    return "Usage: Korbelt [PATH]...\n"
           "Opens the Korbelt window, which repairs downloaded files that carry extra bytes.\n"
           "Each PATH, a file or a directory, arrives in its input list as if it had been\n"
           "dropped there.\n"
           "\n"
           "      --help     show this help and exit\n"
           "      --version  show the version and exit\n"
           "\n"
           "The window also takes Qt's own options (-platform, -style ...). For the same\n"
           "repairs from a terminal or a script, see korbelt-cli --help.\n";
}

std::string VersionText() {
    return "Korbelt " + Version::Text() + "\nKorbelt is free software under the MIT licence.\n";
}

}  // namespace

std::vector<std::string> StartupPaths(int argc, const char* const* argv) {
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        // The bytes as the desktop gave them: a file name need not be valid text.
        paths.emplace_back(argv[i]);
    }
    return paths;
}

std::optional<std::string> TerminalAnswer(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help") {
            return UsageText();
        }
        if (argument == "--version") {
            return VersionText();
        }
    }
    return std::nullopt;
}

void AddStartupPaths(const std::vector<std::string>& paths, InputListCommands& commands) {
    // The drop handler adds each path with AddInputFile and turns a name that cannot even be
    // examined into a status line; going through it keeps both ways in exactly alike, and
    // keeps such a name from ending the program before its window is up.
    commands.lstInputFiles_OLEDragDrop(paths);
}

}  // namespace korbelt
