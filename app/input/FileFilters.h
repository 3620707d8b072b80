#pragma once

#include <string>
#include <vector>

namespace korbelt {

// One file type the open dialog offers: the text the user reads and the patterns it
// stands for, separated by ";".
struct FileFilter {
    std::string description;
    std::string patterns;
};

// The six file types, "All Files (*.*)" first. Filter indexes elsewhere count from 1.
const std::vector<FileFilter>& ChooserFilters();

// The filters as one text: description and patterns of each, all joined by "|".
std::string ChooserFilterText();

// A filter as a toolkit file dialog wants it: the description, a blank, then the patterns
// in parentheses separated by blanks. "*.*" becomes "*": on Linux a name needs no dot, and
// "*.*" would hide every file without one. The description keeps its "(*.*)" for the eye;
// a dialog that hides filter details shows exactly the description.
std::string DialogNameFilter(const FileFilter& filter);
std::vector<std::string> DialogNameFilters();

// The 1-based index of a dialog name filter among the chooser's filters; 0 for none.
int FilterIndexOfNameFilter(const std::string& namefilter);

}  // namespace korbelt
