#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace korbelt {

// Which of a region's suspect bytes to leave out so that the rest has the CRC-32 its
// structure gives, where there are too many choices to try one by one: the bytes before a
// split point and those after it are enumerated apart, each half's CRC-32 for every choice
// of its own, and the halves met in the middle (a half's CRC-32 shifted by the length the
// other half leaves), in about the square root of the work of trying every choice.
struct CrcMeetResult {
    // Each choice whose bytes have the CRC-32, as the offsets left out: at most two whose
    // bytes differ (two such choices mean the CRC-32 cannot tell them apart).
    std::vector<std::vector<std::int64_t>> matches;
    bool tooMany = false;  // a half would hold more than the limit: nothing was tried
    bool stopped = false;
};

struct CrcMeetProblem {
    const std::uint8_t* bytes = nullptr;
    std::size_t size = 0;
    std::vector<std::int64_t> suspects;  // offsets into bytes, ascending, distinct
    int leaveOut = 0;                    // how many of them go
    std::uint32_t expected = 0;
};

// maxBits: each half holds at most 2^maxBits choices.
CrcMeetResult MeetOnCrc(const CrcMeetProblem& problem, double maxBits,
                        const std::function<bool()>& stop);

// log2 of the number of ways to leave out `count` of `of` suspects.
double ChoiceBits(std::int64_t of, std::int64_t count);

}  // namespace korbelt
