#pragma once

#include <string>
#include <vector>

#include "input/InputListCommands.h"

namespace korbelt {

// The one thing the window takes from its command line: the files and folders the desktop
// hands it when they are opened with Korbelt (Exec=Korbelt %F). Every argument after the
// program's own name is such a path; there are no options to tell apart.
std::vector<std::string> StartupPaths(int argc, const char* const* argv);

// Puts the paths in the input list in the order given, exactly as a drop of them would.
void AddStartupPaths(const std::vector<std::string>& paths, InputListCommands& commands);

}  // namespace korbelt
