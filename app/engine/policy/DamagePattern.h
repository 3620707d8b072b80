#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "engine/report/FileReport.h"

namespace korbelt {

// The markers of one file by what follows them: a text that repeats a line after many
// markers (a certificate's BEGIN line, a ruler of dashes, a template) repeats its pairs with
// it, and is one observation of the file's structure, not a hundred. Each distinct context
// (the first bytes after the marker, by a hash) counts its markers and, at each distance,
// those with a pair there. A context has an excess of pairs at a distance when its own
// control distances make as many unlikely: a template has one at the distance of its fixed
// pair, and so is one context however many markers repeat it, while damage shows in every
// context alike, however many entries of one changelog's form share their first bytes. The
// table is of a fixed size: when it fills, only the contexts of a smaller share of the
// hashes are kept, a sample of them all.
class ContextSketch {
  public:
    static constexpr int kEntries = 2048;
    // Counter k of a context: markers with an equal pair k + kFirstBit characters after it.
    static constexpr int kFirstBit = 10;
    static constexpr int kBits = 90;

    // A marker whose pairs reach all kBits distances; markers reaching fewer are left out.
    void Add(std::uint32_t key, const std::array<std::uint64_t, 2>& pairs);
    void Clear();
    // Over the contexts kept, by distance: those with an excess of pairs there, and those
    // counted. rate is the file's chance rate, which a context with few markers is drawn to.
    struct Tally {
        std::array<std::int64_t, kBits> with{};
        std::array<std::int64_t, kBits> reaching{};
    };
    Tally Count(double rate, bool control(int distance)) const;

  private:
    struct Entry {
        std::uint32_t key = 0;
        std::uint32_t markers = 0;  // 0: unused
        std::array<std::uint32_t, kBits> pairs{};
    };
    bool Kept(std::uint32_t key) const { return (key >> 16) < (std::uint32_t{1} << 16 >> level_); }
    Entry* Find(std::uint32_t key);
    void Thin();

    std::vector<Entry> entries_ = std::vector<Entry>(kEntries);
    std::vector<std::size_t> usedAt_;  // the entries in use, so that a new file clears only them
    int level_ = 0;  // a context is kept when its hash is below 2^(32 - level)
};

// Counts, over the CR LF '-' markers of one file, how often an equal pair of bytes follows
// at each distance. A download path that slips in a repeated byte does it after many
// markers at one distance; chance puts pairs at every distance alike. The pairs well before
// and well after the window where such damage lies tell the file's own chance rate. The
// judgement is made over distinct contexts; the markers are counted for the file's line.
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
    // The bytes after the dash that make a marker's context: 3 up to this.
    static constexpr int kContextEnd = 11;
    // Columns of a line told apart in the chance rate; the later ones are taken as one.
    static constexpr int kColumns = 16;
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
    void Clear();

  private:
    static bool OpensWrapper(const std::uint8_t* bytes, std::size_t cr, std::size_t available);
    double ChanceRate() const;
    double ChanceAt(std::size_t j, double rate) const;
    PatternVerdict::Distance Counted(int distance) const;

    std::int64_t markers_ = 0;
    std::array<std::int64_t, kWindowSize> hits_{};
    std::array<std::int64_t, kWindowSize> seen_{};
    // Markers with pairs at two distances of the window at once: one slipped-in byte is one
    // distance, so a second distance is damage only by the markers it has to itself.
    std::array<std::array<std::int64_t, kWindowSize>, kWindowSize> both_{};
    std::int64_t controlHits_ = 0;
    std::int64_t controlSeen_ = 0;
    // Where lines break after the markers, chance is not the same in every column: a line's
    // first columns hold indentation, rulers and numbers. The control pairs by the column
    // of their line, and how often each distance of the window fell in each column.
    std::array<std::int64_t, kColumns + 1> columnHits_{};
    std::array<std::int64_t, kColumns + 1> columnSeen_{};
    std::array<std::array<std::int64_t, kColumns + 1>, kWindowSize> windowColumns_{};
    ContextSketch contexts_;
};

// P[X >= x] for X binomial with n trials of probability p.
double BinomialTail(std::int64_t n, double p, std::int64_t x);

}  // namespace korbelt
