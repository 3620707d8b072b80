#include "input/FileFilters.h"

namespace korbelt {
namespace {

std::string DialogPattern(const std::string& pattern) {
    return pattern == "*.*" ? "*" : pattern;
}

}  // namespace

const std::vector<FileFilter>& ChooserFilters() {
    // "?\?" is "??" written so that no compiler reads a trigraph into it.
    // clang-format off
    static const std::vector<FileFilter> filters = {
        {"All Files (*.*)", "*.*"},
        {"AVI's (*.avi)", "*.avi"},
        {"HJSplit files (*.0?\?)", "*.0?\?"},
        {"Mpeg's (*.mpg, *.mpeg, *.mpe)", "*.mpg;*.mpeg;*.mpe"},
        {"WinRAR files (*.r?\?)", "*.r?\?"},
        {"Zip files (*.zip)", "*.zip"},
    };
    // clang-format on
    return filters;
}

std::string ChooserFilterText() {
    std::string text;
    for (const FileFilter& filter : ChooserFilters()) {
        if (!text.empty()) {
            text += '|';
        }
        text += filter.description + '|' + filter.patterns;
    }
    return text;
}

std::string DialogNameFilter(const FileFilter& filter) {
    std::string patterns;
    std::size_t start = 0;
    while (start <= filter.patterns.size()) {
        std::size_t end = filter.patterns.find(';', start);
        if (end == std::string::npos) {
            end = filter.patterns.size();
        }
        if (!patterns.empty()) {
            patterns += ' ';
        }
        patterns += DialogPattern(filter.patterns.substr(start, end - start));
        start = end + 1;
    }
    return filter.description + " (" + patterns + ")";
}

std::vector<std::string> DialogNameFilters() {
    std::vector<std::string> namefilters;
    for (const FileFilter& filter : ChooserFilters()) {
        namefilters.push_back(DialogNameFilter(filter));
    }
    return namefilters;
}

int FilterIndexOfNameFilter(const std::string& namefilter) {
    const std::vector<std::string> namefilters = DialogNameFilters();
    for (std::size_t i = 0; i < namefilters.size(); ++i) {
        if (namefilters[i] == namefilter) {
            return static_cast<int>(i) + 1;
        }
    }
    return 0;
}

}  // namespace korbelt
