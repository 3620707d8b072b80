#pragma once

#include <string>

namespace korbelt {

// An input list entry is a kind word, one blank and the path exactly as it was added. The
// kind is decided once, when the entry is added; readers tell file entries from directory
// entries by the first four characters alone.
inline constexpr const char* kFileEntryPrefix = "file ";
inline constexpr const char* kDirectoryEntryPrefix = "directory ";

std::string FileEntry(const std::string& path);
std::string DirectoryEntry(const std::string& path);

// True when the text begins with "file" (case-sensitive); every other entry is a directory.
bool IsFileEntry(const std::string& text);

// The path after the kind word and its blank.
std::string EntryPath(const std::string& text);

}  // namespace korbelt
