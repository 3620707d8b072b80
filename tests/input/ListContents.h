#pragma once

#include <string>
#include <vector>

#include "input/InputList.h"

namespace korbelt::test {

inline std::vector<std::string> Entries(const InputList& list) {
    std::vector<std::string> texts;
    for (int i = 0; i < list.Count(); ++i) {
        texts.push_back(list.Text(i));
    }
    return texts;
}

inline std::vector<bool> Marks(const InputList& list) {
    std::vector<bool> marks;
    for (int i = 0; i < list.Count(); ++i) {
        marks.push_back(list.Selected(i));
    }
    return marks;
}

}  // namespace korbelt::test
