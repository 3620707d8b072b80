#pragma once

#include <chrono>
#include <ctime>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ChildProcess.h"
#include "StructureHarness.h"
#include "TempDir.h"
#include "structure/RegionPlanner.h"
#include "structure/Walkers.h"

namespace korbelt::test {

// An intact file with bytes slipped in, and where they now are.
struct Damaged {
    Bytes bytes;
    std::vector<Candidate> inserted;  // as the scan would propose their removal
};

// A copy of the byte at each offset of the intact file (increasing) slipped in after it,
// as a download path repeats a byte after CR LF '-'.
inline Damaged RepeatBytes(const Bytes& intact, const std::vector<std::size_t>& offsets) {
    Damaged damaged{intact, {}};
    std::int64_t shift = 0;
    for (const std::size_t at : offsets) {
        const auto offset = static_cast<std::int64_t>(at) + shift;
        damaged.bytes.insert(damaged.bytes.begin() + offset + 1, damaged.bytes[offset]);
        damaged.inserted.push_back(RepeatedByteCandidate(offset));
        ++shift;
    }
    return damaged;
}

// A MIME wrapper slipped in after the CR at offset of the intact file: the scan's removal
// ends a byte too late, after the LF of the blank line that closes the wrapper's headers.
inline Damaged InsertWrapper(const Bytes& intact, std::size_t crAt) {
    const std::string wrapper = "\r\n" + std::string(29, '-') +
                                "=_Part_0017\r\nContent-Type: application/octet-stream\r\n\r\n";
    Damaged damaged{intact, {}};
    damaged.bytes.insert(damaged.bytes.begin() + static_cast<std::ptrdiff_t>(crAt) + 1,
                         wrapper.begin(), wrapper.end());
    const auto offset = static_cast<std::int64_t>(crAt) + 1;
    const std::int64_t secondCr = offset + static_cast<std::int64_t>(wrapper.size()) - 4;
    damaged.inserted.push_back(WrapperCandidate(offset, secondCr + 5 - offset, secondCr));
    return damaged;
}

// The damaged bytes less every removal the plans chose.
inline Bytes Restored(const Bytes& damaged, const std::vector<RegionPlan>& plans) {
    std::vector<Removal> removals;
    for (const RegionPlan& plan : plans) {
        removals.insert(removals.end(), plan.removed.begin(), plan.removed.end());
    }
    Bytes out;
    std::size_t next = 0;
    for (std::int64_t at = 0; at < static_cast<std::int64_t>(damaged.size());) {
        if (next < removals.size() && removals[next].offset == at) {
            at += removals[next++].length;
            continue;
        }
        out.push_back(damaged[static_cast<std::size_t>(at++)]);
    }
    return out;
}

class StructureTest : public ::testing::Test {
  protected:
    std::vector<EvidenceRegion> Walk(const Bytes& bytes, const char* format,
                                     WalkEnd expectedEnd = WalkEnd::Whole) {
        const StructureWalker* walker = walkers.Named(format);
        EXPECT_NE(walker, nullptr) << format;
        if (walker == nullptr) {
            return {};
        }
        fuzz::BytesInput input(bytes);
        WalkEnd end = WalkEnd::ReadFailed;
        auto regions = WalkRegions(*walker, input, static_cast<std::int64_t>(bytes.size()),
                                   nullptr, &end);
        EXPECT_EQ(end, expectedEnd) << format;
        return regions;
    }

    std::vector<RegionPlan> Plan(const Bytes& bytes, const std::vector<EvidenceRegion>& regions,
                                 const std::vector<Candidate>& candidates) {
        fuzz::BytesInput input(bytes);
        RegionPlanner planner(input, static_cast<std::int64_t>(bytes.size()), nullptr);
        return planner.PlanAll(regions, candidates);
    }

    // Runs a tool in the test's directory; its output file's bytes.
    Bytes Made(const std::string& program, const std::vector<std::string>& arguments,
               const std::string& output) {
        std::vector<std::string> all = {"-c", "cd \"$0\" && exec \"$@\"", dir.Path(), program};
        all.insert(all.end(), arguments.begin(), arguments.end());
        const ProgramResult made = RunProgram("/bin/sh", all, "", {});
        EXPECT_EQ(made.exitCode, 0) << program << ": " << made.err;
        return ReadBytes(dir.File(output));
    }

    // The walk of a hostile file and the planning of its regions, in milliseconds of this
    // process's processor time: other work on the machine does not count against it.
    double HostileCost(const Bytes& bytes) {
        const std::clock_t start = std::clock();
        for (const auto& walker : walkers.All()) {
            fuzz::BytesInput input(bytes);
            const auto regions = WalkRegions(*walker, input,
                                             static_cast<std::int64_t>(bytes.size()), nullptr);
            RegionPlanner planner(input, static_cast<std::int64_t>(bytes.size()), nullptr);
            planner.PlanAll(regions, {});
        }
        return 1000.0 * static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    }

    TempDir dir;
    Walkers walkers;
};

// The regions that one removal or more must account for.
inline std::vector<EvidenceRegion> DamagedRegions(const std::vector<EvidenceRegion>& regions) {
    std::vector<EvidenceRegion> damaged;
    for (const EvidenceRegion& region : regions) {
        if (region.Excess() != 0) {
            damaged.push_back(region);
        }
    }
    return damaged;
}

// Text with CR LF line ends and lines that start with '-', as subtitles and lists have.
inline std::string DashedText(int lines, unsigned seed) {
    std::string text;
    for (int i = 0; i < lines; ++i) {
        seed = seed * 1103515245u + 12345u;
        text += (i % 3 == 0 ? "- " : "  ") + std::string("line ") + std::to_string(i) + " of " +
                std::to_string(seed % 100000) + " words\r\n";
    }
    return text;
}

}  // namespace korbelt::test
