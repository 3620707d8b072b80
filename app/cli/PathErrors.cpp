#include "cli/PathErrors.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "ports/FileSystem.h"

namespace korbelt {

PathError UnusablePath(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        return {path, std::strerror(errno), ErrorPhase::Arguments};
    }
    const std::string name = BaseName(path);
    if (!name.empty() && name.front() == '.' && name != "." && name != "..") {
        return {path, "Hidden: its name starts with '.'", ErrorPhase::Arguments};
    }
    return {path, "Not a regular file or directory", ErrorPhase::Arguments};
}

PathError UnlistedFolder(const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return {folder, std::strerror(errno), ErrorPhase::Listing};
    }
    closedir(dir);
    // It opened now: what failed was reading it, part way or by then.
    return {folder, "Its entries could not be read", ErrorPhase::Listing};
}

}  // namespace korbelt
