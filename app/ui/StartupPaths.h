#pragma once

#include <optional>
#include <string>
#include <vector>

#include "input/InputListCommands.h"

namespace korbelt {

// What the window takes from its command line: the files and folders the desktop hands it
// when they are opened with Korbelt (Exec=Korbelt %F). Every argument after the program's
// own name is such a path, unless the command line asks for help or the version.
std::vector<std::string> StartupPaths(int argc, const char* const* argv);

// What Korbelt answers on the terminal, before any window or display, when an argument is
// --help or --version (the first of them decides); nothing for any other command line.
std::optional<std::string> TerminalAnswer(int argc, const char* const* argv);

// Puts the paths in the input list in the order given, exactly as a drop of them would.
void AddStartupPaths(const std::vector<std::string>& paths, InputListCommands& commands);

}  // namespace korbelt
