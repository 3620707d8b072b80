#include "input/InputEntry.h"

#include <string_view>

namespace korbelt {

std::string FileEntry(const std::string& path) {
    return kFileEntryPrefix + path;
}

std::string DirectoryEntry(const std::string& path) {
    return kDirectoryEntryPrefix + path;
}

bool IsFileEntry(const std::string& text) {
    return text.starts_with("file");
}

std::string EntryPath(const std::string& text) {
    const std::size_t skip =
        std::string_view(IsFileEntry(text) ? kFileEntryPrefix : kDirectoryEntryPrefix).size();
    return text.size() > skip ? text.substr(skip) : std::string();
}

}  // namespace korbelt
