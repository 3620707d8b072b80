#pragma once

#include <array>
#include <cstdint>

#include "engine/FileReport.h"

namespace korbelt {

// Counts, over the CR LF '-' markers of one file, how often an equal pair of bytes follows
// at each distance. A download path that slips in a repeated byte does it after many
// markers at one distance; chance puts pairs at every distance alike. The pairs well before
// and well after the window where such damage lies tell the file's own chance rate.
class MarkerCensus {
  public:
    // Distances from a marker's CR to the first byte of a pair.
    static constexpr int kWindowFirst = 36;
    static constexpr int kWindowLast = 48;
    static constexpr int kWindowSize = kWindowLast - kWindowFirst + 1;
    static constexpr int kNearControlFirst = 10;
    static constexpr int kNearControlLast = 35;
    static constexpr int kFarControlFirst = 50;
    static constexpr int kFarControlLast = 99;
    // The bytes from the CR on that a marker's pairs reach.
    static constexpr int kReach = kFarControlLast + 2;

    // A marker whose CR is at marker; available bytes from it on are the file's (any past
    // them belong to nothing, or are not at hand, and are left out of its count).
    void Count(const std::uint8_t* marker, int available);

    // Every CR LF '-' marker of bytes, each with the bytes from it to the end of the input
    // it is given (count from bytes on, more after them).
    void CountAll(const std::uint8_t* bytes, std::size_t scanned, std::size_t available);

    PatternVerdict Judge(int rangeStart, int rangeEnd) const;
    std::int64_t Markers() const { return markers_; }

  private:
    std::int64_t markers_ = 0;
    std::array<std::int64_t, kWindowSize> hits_{};
    std::array<std::int64_t, kWindowSize> seen_{};
    std::int64_t controlHits_ = 0;
    std::int64_t controlSeen_ = 0;
};

// P[X >= x] for X binomial with n trials of probability p.
double BinomialTail(std::int64_t n, double p, std::int64_t x);

}  // namespace korbelt
