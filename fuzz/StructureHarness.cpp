#include "StructureHarness.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "structure/RegionPlanner.h"
#include "structure/Walkers.h"

namespace korbelt::fuzz {
namespace {

constexpr std::size_t kMaxCandidates = 64;

std::vector<Candidate> CandidatesOf(const std::vector<std::uint8_t>& bytes) {
    std::vector<Candidate> candidates;
    for (std::size_t i = 0; i + 1 < bytes.size() && candidates.size() < kMaxCandidates; ++i) {
        if (i + 3 < bytes.size() && bytes[i] == '\r' && bytes[i + 1] == '\r' &&
            bytes[i + 2] == '\n') {
            // A wrapper from the second CR to a CR LF some way on, where there is one.
            static constexpr std::array<char, 2> kCrLf = {'\r', '\n'};
            const auto end = std::search(bytes.begin() + static_cast<std::ptrdiff_t>(i) + 3,
                                         bytes.end(), kCrLf.begin(), kCrLf.end());
            if (end != bytes.end()) {
                const auto secondCr = static_cast<std::int64_t>(end - bytes.begin());
                const auto offset = static_cast<std::int64_t>(i) + 1;
                candidates.push_back(WrapperCandidate(offset, secondCr + 4 - offset, secondCr));
                i += 2;
                continue;
            }
        }
        if (bytes[i] == bytes[i + 1]) {
            candidates.push_back(RepeatedByteCandidate(static_cast<std::int64_t>(i)));
        }
    }
    return candidates;
}

// A plan keeps its promises: a region that fits nothing removes nothing, a proven one has a
// check, its removals give it its length and each is a candidate inside it. Planned from the
// markers' every pair (anyPair), a removal may also be any pair of equal bytes in the region,
// though the candidates here hold only the first of the file's pairs.
void CheckPlan(const RegionPlan& plan, const std::vector<Candidate>& candidates,
               const std::vector<std::uint8_t>& bytes, bool anyPair,
               std::vector<std::string>& broken) {
    const EvidenceRegion& region = plan.region;
    if (plan.standing == RegionStanding::NoFit) {
        if (!plan.removed.empty()) {
            broken.push_back("a region that fits no choice chose removals: " + region.what);
        }
        return;
    }
    if (plan.standing == RegionStanding::Proven && !region.check) {
        broken.push_back("proven without a check: " + region.what);
    }
    std::int64_t total = 0;
    for (const Removal& removal : plan.removed) {
        total += removal.length;
        const auto at = static_cast<std::size_t>(removal.offset);
        const bool pair = anyPair && removal.length == 1 && removal.offset >= 0 &&
                          at + 1 < bytes.size() && bytes[at] == bytes[at + 1];
        const bool known =
            pair || std::any_of(candidates.begin(), candidates.end(), [&](const Candidate& c) {
                return c.offset == removal.offset &&
                       std::find(c.lengths.begin(), c.lengths.end(), removal.length) !=
                           c.lengths.end();
            });
        if (!known || removal.offset < region.start || removal.offset + removal.length > region.end) {
            broken.push_back("a removal that is not a candidate of its region: " + region.what);
        }
    }
    if (total != region.Excess()) {
        broken.push_back("removals that do not give the region its length: " + region.what);
    }
}

}  // namespace

std::error_code BytesInput::Identify(FileIdentity& identity) {
    identity = FileIdentity{};
    identity.kind = FileIdentity::Kind::Regular;
    identity.size = static_cast<std::int64_t>(bytes_.size());
    return {};
}

std::size_t BytesInput::ReadAt(std::int64_t offset, std::uint8_t* buffer, std::size_t count,
                               std::error_code& error) {
    ++reads_;
    if (offset < 0) {
        error = std::make_error_code(std::errc::invalid_argument);
        return 0;
    }
    if (failFrom_ >= 0 && offset + static_cast<std::int64_t>(count) > failFrom_) {
        error = std::make_error_code(std::errc::io_error);
        return 0;
    }
    const auto size = static_cast<std::int64_t>(bytes_.size());
    if (offset >= size) {
        return 0;
    }
    const auto got = static_cast<std::size_t>(std::min<std::int64_t>(count, size - offset));
    std::memcpy(buffer, bytes_.data() + offset, got);
    return got;
}

std::vector<std::string> CheckStructure(const std::uint8_t* data, std::size_t size) {
    static const Walkers walkers;
    std::vector<std::string> broken;
    if (size == 0 || walkers.All().empty()) {
        return broken;
    }
    const StructureWalker& walker = *walkers.All()[data[0] % walkers.All().size()];
    BytesInput input(std::vector<std::uint8_t>(data + 1, data + size));
    const auto length = static_cast<std::int64_t>(size - 1);
    const std::vector<EvidenceRegion> regions = WalkRegions(walker, input, length, nullptr);
    std::int64_t previousEnd = 0;
    for (const EvidenceRegion& region : regions) {
        if (region.start < previousEnd || region.end < region.start || region.end > length ||
            region.length < 0) {
            broken.push_back(std::string(walker.Format()) + ": a region out of place: " +
                             region.what + " " + std::to_string(region.start) + ".." +
                             std::to_string(region.end));
        }
        previousEnd = std::max(previousEnd, region.end);
    }
    const std::vector<Candidate> candidates = CandidatesOf(input.Bytes());
    RegionPlanner planner(input, length, nullptr);
    // As the pass plans: a checked region that no choice of the scan's finds passes is
    // planned again from its markers' every pair.
    for (const RegionPlan& plan : planner.PlanAllWithPairs(regions, candidates, 39, 45)) {
        CheckPlan(plan, candidates, input.Bytes(), plan.fromPairs, broken);
    }
    return broken;
}

}  // namespace korbelt::fuzz
