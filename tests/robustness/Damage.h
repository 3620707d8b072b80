#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include "TempDir.h"

namespace korbelt::test {

// Printable data without CR and without two equal neighbours: nothing in it is a find, and
// whatever is planted into it is the only find around.
inline Bytes Clean(std::size_t count, std::uint32_t seed) {
    Bytes bytes = RandomBytes(count, seed);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>('0' + bytes[i] % 75);
        if (i > 0 && bytes[i] == bytes[i - 1]) {
            bytes[i] = bytes[i] == 'z' ? '0' : static_cast<std::uint8_t>(bytes[i] + 1);
        }
    }
    return bytes;
}

// CR LF '-' at the index and a repeated byte 41 and 42 bytes after the CR, inside the
// default window (39 to 45): the pass drops the byte at index + 41.
inline void PlantRepeat(Bytes& data, std::size_t at) {
    data[at] = 13;
    data[at + 1] = 10;
    data[at + 2] = '-';
    data[at + 41] = '!';
    data[at + 42] = '!';
    // The planted pair must be the only one in the window.
    for (std::size_t i = at + 39; i <= at + 45; ++i) {
        if (i != at + 41 && i != at + 42 && data[i] == '!') {
            data[i] = '#';
        }
    }
}

// A wrapper start (CR CR LF and 29 dashes) at the index.
inline void PlantWrapperStart(Bytes& data, std::size_t at) {
    data[at] = 13;
    data[at + 1] = 13;
    data[at + 2] = 10;
    std::fill(data.begin() + static_cast<long>(at + 3), data.begin() + static_cast<long>(at + 32),
              '-');
}

// Clean data with a repeated byte planted every `every` bytes from `first` on.
inline Bytes Damaged(std::size_t count, std::uint32_t seed, std::size_t first = 100,
                     std::size_t every = 9000) {
    Bytes data = Clean(count, seed);
    for (std::size_t at = first; at + 50 < count; at += every) {
        PlantRepeat(data, at);
    }
    return data;
}

// What the pass makes of Damaged(): the byte 41 after each planted triple left out.
inline Bytes Repaired(const Bytes& damaged, std::size_t first = 100, std::size_t every = 9000) {
    Bytes out;
    out.reserve(damaged.size());
    for (std::size_t i = 0; i < damaged.size(); ++i) {
        const bool dropped =
            i >= first + 41 && (i - first - 41) % every == 0 && i - 41 + 50 < damaged.size();
        if (!dropped) {
            out.push_back(damaged[i]);
        }
    }
    return out;
}

}  // namespace korbelt::test
