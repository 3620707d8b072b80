#pragma once

#include <cstddef>
#include <vector>

namespace korbelt {

// The next choice of m among n, in lexicographic order of the indexes; false after the last.
// The planners try the finds of a slice or a region choice by choice with it.
inline bool NextChoice(std::vector<std::size_t>& chosen, std::size_t n) {
    const std::size_t m = chosen.size();
    for (std::size_t i = m; i-- > 0;) {
        if (chosen[i] < n - m + i) {
            ++chosen[i];
            for (std::size_t j = i + 1; j < m; ++j) {
                chosen[j] = chosen[j - 1] + 1;
            }
            return true;
        }
    }
    return false;
}

}  // namespace korbelt
