#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

#include "structure/StructureWalker.h"

namespace korbelt {

// How far past where the sizes put it a header is looked for again: the extra bytes a
// download path slips in are a few at a time, a byte or a MIME wrapper of a few header
// lines. The nearest place wins, so a repeated byte is found within its first few steps.
constexpr std::int64_t kResyncReach = 1024;
// Headers found again by a search, at most, in one walk: beyond that a file is not damaged
// in a few places but is no longer its format, and the walk gives up rather than search on.
constexpr int kMaxResyncs = 4096;

// The first place from expected to expected + reach (and not past limit) where a
// header is, as isHeader says; none when there is no such place. A template: walkers ask
// it at every packet or block, where a call through a std::function costs as much as the
// look at the header.
template <typename IsHeader>
std::optional<std::int64_t> FindAgain(std::int64_t expected, std::int64_t limit,
                                      IsHeader&& isHeader, std::int64_t reach = kResyncReach) {
    const std::int64_t last = std::min(expected + reach, limit);
    for (std::int64_t at = expected; at <= last; ++at) {
        if (isHeader(at)) {
            return at;
        }
    }
    return std::nullopt;
}

// The stop predicate asked every so many steps of a walk, not at each one.
class StopPoll {
  public:
    explicit StopPoll(const StopPredicate& stop) : stop_(stop) {}
    bool Now() {
        if (++steps_ % 1024 != 0) {
            return false;
        }
        return stop_ && stop_();
    }

  private:
    const StopPredicate& stop_;
    std::int64_t steps_ = 0;
};

// A walk from block to block (packet, pack, archive block) of a structure in which each
// says where the next one is: the next is found again there or, after extra bytes, at the
// nearest place further on, and a walk that has had to search more than kMaxResyncs times
// has lost track.
class BlockWalk {
  public:
    explicit BlockWalk(const StopPredicate& stop) : poll_(stop) {}

    // step(at) for each block from `from` on: the offset of the next block, or what
    // Ends(how) returns to end the walk there; the walk is whole at the end of the file.
    template <typename StepAt>
    WalkEnd Run(std::int64_t from, std::int64_t length, StepAt&& step) {
        for (std::int64_t at = from; at < length;) {
            if (poll_.Now()) {
                return WalkEnd::Stopped;
            }
            at = step(at);
            if (at < 0) {
                return end_;
            }
        }
        return WalkEnd::Whole;
    }
    // What a step returns to end the walk as said. (Not a struct of an offset and an end:
    // returned at every packet, that costs as much as the packet's look.)
    std::int64_t Ends(WalkEnd how) {
        end_ = how;
        return -1;
    }

    // Where the next block is, found again from expected on; none where the walk lost track.
    template <typename IsBlock>
    std::optional<std::int64_t> Next(std::int64_t expected, std::int64_t limit, IsBlock&& isBlock,
                                     std::int64_t reach = kResyncReach) {
        const auto next = FindAgain(expected, limit, isBlock, reach);
        if (!next || (*next != expected && ++resyncs_ > kMaxResyncs)) {
            return std::nullopt;
        }
        // Made anew, not copied: a copy of the optional is read as a whole just after its
        // value and its flag were written, which stalls the processor at every packet.
        return *next;
    }

  private:
    StopPoll poll_;
    int resyncs_ = 0;
    WalkEnd end_ = WalkEnd::Whole;
};

// The regions of one walk, handed on in order: stretches that fit exactly and have no check
// of their own are joined into one region while they follow each other, so that a file of a
// million intact packets gives one region, not a million.
class RegionLog {
  public:
    RegionLog(const RegionSink& sink, std::string units) : sink_(sink), units_(std::move(units)) {}
    ~RegionLog() { Flush(); }
    RegionLog(const RegionLog&) = delete;
    RegionLog& operator=(const RegionLog&) = delete;

    // A unit of the structure found whole where its sizes put it.
    void Fits(std::int64_t start, std::int64_t end, const std::string& what);
    // Any other region: with a check, or not of its length.
    void Add(EvidenceRegion region);
    void Flush();

  private:
    const RegionSink& sink_;
    std::string units_;  // "MPEG-TS packets": the joined regions' description
    std::optional<EvidenceRegion> pending_;
    std::int64_t joined_ = 0;
};

// A name or a FourCC as it may appear in a region's description: printable ASCII kept, the
// rest as '?', at most 64 characters.
std::string Printable(const std::uint8_t* bytes, std::size_t count);

}  // namespace korbelt
