#pragma once

#include <string>

#include "cli/RunTally.h"

namespace korbelt {

// Why a PATH given is neither an ordinary file nor an ordinary folder: what the system says
// of the name, or what keeps it from being one.
PathError UnusablePath(const std::string& path);
// Why a folder could not be listed.
PathError UnlistedFolder(const std::string& folder);

}  // namespace korbelt
