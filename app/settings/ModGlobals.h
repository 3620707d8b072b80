#pragma once

#include <cstdint>

namespace korbelt {

// The values shared by the whole program: the duplicate-bytes range and the version marker
// of the settings store. -1 in either range value means "unset": the default applies.
struct ModGlobals {
    static constexpr std::int16_t kUnset = -1;
    static constexpr std::int16_t kDefaultRangeStart = 39;
    static constexpr std::int16_t kDefaultRangeEnd = 45;

    std::int16_t rangestart = kUnset;
    std::int16_t rangeend = kUnset;
    std::int16_t lastversion = 0;

    std::int16_t GetDBRangeStart() const {
        return rangestart == kUnset ? kDefaultRangeStart : rangestart;
    }
    std::int16_t GetDBRangeEnd() const { return rangeend == kUnset ? kDefaultRangeEnd : rangeend; }
};

}  // namespace korbelt
