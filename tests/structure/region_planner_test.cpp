// The region planner over regions made by hand: which candidates a check or a length
// chooses, a wrapper's two ends, regions nothing fits, and the work and the stop bounds.
#include <chrono>

#include "StructureFixture.h"
#include "verify/CrcMeet.h"
#include "verify/Digest.h"

namespace korbelt::test {
namespace {

class RegionPlannerTest : public StructureTest {
  protected:
    // A region over the whole of the damaged bytes, of the intact bytes' length, checked by
    // their CRC-32 or by nothing.
    static EvidenceRegion Whole(const Bytes& damaged, const Bytes& intact, bool checked) {
        return {0, static_cast<std::int64_t>(damaged.size()),
                static_cast<std::int64_t>(intact.size()),
                checked ? Crc32Check(Crc32(0, intact.data(), intact.size())) : nullptr, "test"};
    }
    static std::vector<Candidate> With(std::vector<Candidate> candidates,
                                       const std::vector<std::int64_t>& chance) {
        for (const std::int64_t at : chance) {
            candidates.push_back(RepeatedByteCandidate(at));
        }
        std::sort(candidates.begin(), candidates.end(),
                  [](const Candidate& a, const Candidate& b) { return a.offset < b.offset; });
        return candidates;
    }
    const Bytes intact = RandomBytes(20000, 5);
};

TEST_F(RegionPlannerTest, TheCheckChoosesTheSlippedBytesAmongChanceFinds) {
    // Three bytes slipped in, five chance finds: all kept, none and one fewer fail the
    // length or the CRC-32; the choice of the three passes.
    const Damaged three = RepeatBytes(intact, {1000, 7000, 15000});
    const auto candidates = With(three.inserted, {50, 3000, 9000, 12000, 19000});
    const auto plans = Plan(three.bytes, {Whole(three.bytes, intact, true)}, candidates);
    ASSERT_EQ(plans.size(), 1u);
    EXPECT_EQ(plans[0].standing, RegionStanding::Proven);
    EXPECT_EQ(plans[0].left.size(), 5u);
    EXPECT_TRUE(Restored(three.bytes, plans) == intact);

    // One byte too many: every one-byte removal tried in a single pass.
    const Damaged one = RepeatBytes(intact, {12345});
    std::vector<std::int64_t> many;
    for (std::int64_t at = 10; at < 20000; at += 97) {
        many.push_back(at);
    }
    const auto onePlans = Plan(one.bytes, {Whole(one.bytes, intact, true)}, With(one.inserted, many));
    EXPECT_EQ(onePlans[0].standing, RegionStanding::Proven);
    EXPECT_EQ(onePlans[0].removed, (std::vector<Removal>{{12345, 1}}));
}

TEST_F(RegionPlannerTest, AWrapperEndsWhereTheCheckSaysOfItsTwoEnds) {
    Bytes data = intact;
    data[4000] = '\r';
    const Damaged wrapped = InsertWrapper(data, 4000);
    ASSERT_EQ(wrapped.inserted[0].lengths.size(), 2u);
    for (const bool checked : {true, false}) {
        const auto plans =
            Plan(wrapped.bytes, {Whole(wrapped.bytes, data, checked)}, wrapped.inserted);
        EXPECT_EQ(plans[0].standing,
                  checked ? RegionStanding::Proven : RegionStanding::Consistent);
        ASSERT_EQ(plans[0].removed.size(), 1u);
        // The scan would take one byte of data with it; the region's length says not to.
        EXPECT_EQ(plans[0].removed[0].length, wrapped.inserted[0].lengths[0] - 1);
        EXPECT_TRUE(Restored(wrapped.bytes, plans) == data);
    }
}

TEST_F(RegionPlannerTest, AWrapperWhoseLastByteIsALineFeedEndsAtItsLaterEnd) {
    // The wrapper's headers end in a blank line and one LF more: of its two ends only the
    // later (five bytes after the CR of its second CR LF) gives the region its length, though
    // the scan proposed the earlier.
    Bytes data = intact;
    data[4000] = '\r';
    const std::string wrapper = "\r\n" + std::string(29, '-') +
                                "=_Part_0017\r\nContent-Type: text/plain\r\n\r\n\n";
    Bytes damaged = data;
    damaged.insert(damaged.begin() + 4001, wrapper.begin(), wrapper.end());
    const std::int64_t secondCr = 4001 + static_cast<std::int64_t>(wrapper.size()) - 5;
    ASSERT_EQ(damaged[static_cast<std::size_t>(secondCr)], '\r');
    const Candidate candidate = WrapperCandidate(4001, secondCr + 4 - 4001, secondCr);
    for (const bool checked : {true, false}) {
        const auto plans = Plan(damaged, {Whole(damaged, data, checked)}, {candidate});
        EXPECT_EQ(plans[0].standing, checked ? RegionStanding::Proven : RegionStanding::Consistent);
        EXPECT_EQ(plans[0].removed,
                  (std::vector<Removal>{{4001, static_cast<std::int64_t>(wrapper.size())}}));
        EXPECT_TRUE(plans[0].alternatives.empty());
        EXPECT_TRUE(Restored(damaged, plans) == data);
    }
}

TEST_F(RegionPlannerTest, ALengthAloneDecidesOnlyWhereItsChoicesMakeTheSameBytes) {
    const Damaged one = RepeatBytes(intact, {5000});
    auto plans = Plan(one.bytes, {Whole(one.bytes, intact, false)}, one.inserted);
    EXPECT_EQ(plans[0].standing, RegionStanding::Consistent);
    EXPECT_EQ(plans[0].removed, (std::vector<Removal>{{5000, 1}}));
    // Three finds, one byte too many: any of them gives the length, and nothing tells which.
    plans = Plan(one.bytes, {Whole(one.bytes, intact, false)}, With(one.inserted, {8000, 9000}));
    EXPECT_EQ(plans[0].standing, RegionStanding::NoFit);
    EXPECT_TRUE(plans[0].ambiguous);
    EXPECT_TRUE(plans[0].removed.empty());
    // Either byte of the pair makes the same bytes: that is one choice.
    plans = Plan(one.bytes, {Whole(one.bytes, intact, false)}, With(one.inserted, {5001}));
    EXPECT_EQ(plans[0].standing, RegionStanding::Consistent);
    // A wrapper that gives the length is chosen over as many repeated bytes, none of which is
    // more than chance.
    Bytes data = intact;
    data[7000] = '\r';
    const Damaged wrapped = InsertWrapper(data, 7000);
    std::vector<std::int64_t> chance;
    for (std::int64_t at = 8000; chance.size() < 100; at += 97) {
        chance.push_back(at);
    }
    plans = Plan(wrapped.bytes, {Whole(wrapped.bytes, data, false)}, With(wrapped.inserted, chance));
    EXPECT_EQ(plans[0].standing, RegionStanding::Consistent);
    EXPECT_TRUE(Restored(wrapped.bytes, plans) == data);
    // The region fits as it is: nothing is removed, the finds are left.
    const auto fits = Plan(intact, {Whole(intact, intact, false)}, With({}, {100, 200}));
    EXPECT_EQ(fits[0].standing, RegionStanding::Consistent);
    EXPECT_TRUE(fits[0].removed.empty());
    EXPECT_EQ(fits[0].left.size(), 2u);
}

TEST_F(RegionPlannerTest, ARegionNoChoiceFitsKeepsThePlainDecisionsAndSaysWhy) {
    const Damaged two = RepeatBytes(intact, {5000, 6000});
    // Two bytes too many, one candidate: nothing gives the length.
    auto plans = Plan(two.bytes, {Whole(two.bytes, intact, true)}, {two.inserted[0]});
    EXPECT_EQ(plans[0].standing, RegionStanding::NoFit);
    EXPECT_FALSE(plans[0].checkFailed);
    EXPECT_TRUE(plans[0].removed.empty());
    // The length fits with a chance find, the CRC-32 does not.
    plans = Plan(two.bytes, {Whole(two.bytes, intact, true)}, With({two.inserted[0]}, {9000}));
    EXPECT_EQ(plans[0].standing, RegionStanding::NoFit);
    EXPECT_TRUE(plans[0].checkFailed);
    // Shorter than its length: bytes are missing, which no removal mends.
    const Bytes shorter(intact.begin(), intact.end() - 1);
    plans = Plan(shorter, {Whole(shorter, intact, false)}, {});
    EXPECT_EQ(plans[0].standing, RegionStanding::NoFit);
}

TEST_F(RegionPlannerTest, HostileCandidatesAndTheStopBoundTheWork) {
    // 400 candidates, five bytes too many, a CRC-32 nothing matches: the choices tried stop
    // at the work allowed.
    const Damaged five = RepeatBytes(intact, {100, 200, 300, 400, 500});
    std::vector<std::int64_t> many;
    for (std::int64_t at = 600; at < 20000; at += 49) {
        many.push_back(at);
    }
    EvidenceRegion region = Whole(five.bytes, intact, true);
    region.check = Crc32Check(0x12345678);
    const auto start = std::chrono::steady_clock::now();
    auto plans = Plan(five.bytes, {region}, With({}, many));
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 2.0);
    EXPECT_EQ(plans[0].standing, RegionStanding::NoFit);
    EXPECT_TRUE(plans[0].cutShort);

    // The same with a length alone: two choices that make other bytes are found at once,
    // and a run of equal bytes, where every choice makes the same ones, costs the work allowed,
    // and is never taken for proof of one.
    plans = Plan(five.bytes, {Whole(five.bytes, intact, false)}, With({}, many));
    EXPECT_EQ(plans[0].standing, RegionStanding::NoFit);
    EXPECT_TRUE(plans[0].ambiguous);
    Bytes run(20005, 'a');
    std::vector<std::int64_t> inRun;
    for (std::int64_t at = 100; at < 19900; at += 49) {
        inRun.push_back(at);
    }
    const auto runStart = std::chrono::steady_clock::now();
    plans = Plan(run, {{0, 20005, 20000, nullptr, "run"}}, With({}, inRun));
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - runStart).count(),
              2.0);
    EXPECT_NE(plans[0].standing, RegionStanding::Proven);
    EXPECT_TRUE(plans[0].removed.empty() || plans[0].removed.size() == 5u);

    fuzz::BytesInput input(five.bytes);
    RegionPlanner stopped(input, static_cast<std::int64_t>(five.bytes.size()), [] { return true; });
    const RegionPlan plan = stopped.Plan(region, With({}, many));
    EXPECT_TRUE(plan.cutShort);

    fuzz::BytesInput failing(five.bytes, 0);
    RegionPlanner reading(failing, static_cast<std::int64_t>(five.bytes.size()), nullptr);
    EXPECT_EQ(reading.Plan(Whole(five.bytes, intact, true), five.inserted).standing,
              RegionStanding::NoFit);
    EXPECT_TRUE(reading.ReadError());
}

// Markers in random bytes, each with a chance pair 43 after its CR (44 once damage before it
// shifts it: the pair the scan keeps, the last in its reach) and, where damage hits it, a byte
// repeated at the distance given (of 39 to 42): the intact bytes, the damaged ones, and the
// scan's candidates.
struct Markers {
    Bytes intact;
    Damaged damaged;
    std::vector<std::size_t> crs;  // in the intact bytes
};

Markers MarkedBytes(std::size_t count, std::size_t spacing, std::uint32_t seed) {
    Markers markers{RandomBytes(count * spacing + 100, seed), {}, {}};
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t cr = 50 + i * spacing;
        markers.intact[cr] = '\r';
        markers.intact[cr + 1] = '\n';
        markers.intact[cr + 2] = '-';
        for (std::size_t k = 30; k < 50; ++k) {  // no pairs in the reach but the chance one
            if (markers.intact[cr + k] == markers.intact[cr + k - 1]) {
                markers.intact[cr + k] ^= 0x55;
            }
        }
        markers.intact[cr + 44] = markers.intact[cr + 43];
        if (markers.intact[cr + 45] == markers.intact[cr + 44]) {
            markers.intact[cr + 45] ^= 0x55;
        }
        markers.crs.push_back(cr);
    }
    return markers;
}

// Damage at the distance each marker's entry gives (-1: none), the scan keeping each marker's
// later, chance pair as its candidate.
void Damage(Markers& markers, const std::vector<int>& distances) {
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i < distances.size(); ++i) {
        if (distances[i] >= 0) {
            at.push_back(markers.crs[i] + static_cast<std::size_t>(distances[i]));
        }
    }
    markers.damaged = RepeatBytes(markers.intact, at);
    markers.damaged.inserted.clear();
    std::int64_t shift = 0;
    for (std::size_t i = 0; i < distances.size(); ++i) {
        markers.damaged.inserted.push_back(
            RepeatedByteCandidate(static_cast<std::int64_t>(markers.crs[i]) + shift + 43 +
                                  (distances[i] >= 0 ? 1 : 0)));
        shift += distances[i] >= 0 ? 1 : 0;
    }
}

TEST_F(RegionPlannerTest, EveryPairOfTheMarkersIsTriedWhereTheScansPicksFailTheCheck) {
    // One byte too many, another pair of its marker than the scan kept; then damage at
    // varying distances after some of the markers.
    for (const std::vector<int>& distances :
         {std::vector<int>{-1, 41, -1, -1}, std::vector<int>{40, -1, 42, 39, -1, 41}}) {
        Markers markers = MarkedBytes(distances.size(), 300, 11);
        Damage(markers, distances);
        const Bytes& damaged = markers.damaged.bytes;
        const EvidenceRegion region = Whole(damaged, markers.intact, true);
        fuzz::BytesInput input(damaged);
        RegionPlanner planner(input, static_cast<std::int64_t>(damaged.size()), nullptr);
        EXPECT_EQ(planner.Plan(region, markers.damaged.inserted).standing, RegionStanding::NoFit);
        const RegionPlan plan = planner.PlanByPattern(region, markers.damaged.inserted, 39, 45);
        ASSERT_EQ(plan.standing, RegionStanding::Proven) << distances.size();
        EXPECT_TRUE(Restored(damaged, {plan}) == markers.intact);
        EXPECT_EQ(plan.left.size(), distances.size()) << "every chance pair the scan kept stays";
    }
}

// One block a marker, each a byte too long (the marker's damage in it), and the rest; the
// block of marker `late` reaches over the next one's damage to its last 20 bytes, which then
// hold none.
std::vector<EvidenceRegion> BlocksOf(const Markers& markers, std::int64_t regionEnd,
                                     std::size_t late = SIZE_MAX) {
    std::vector<EvidenceRegion> parts;
    std::int64_t start = 0;
    for (std::size_t i = 0; i < markers.crs.size(); ++i) {
        const std::int64_t end =
            static_cast<std::int64_t>(markers.crs[i]) + static_cast<std::int64_t>(i) + 1 + 150;
        if (late != SIZE_MAX && i == late + 1) {
            parts.back().end = end - 20;
            parts.back().length = parts.back().Span() - 1;
            parts.push_back({end - 20, end, 19, nullptr, "block"});
        } else {
            parts.push_back({start, end, end - start - 1, nullptr, "block"});
        }
        start = end;
    }
    parts.push_back({start, regionEnd, regionEnd - start, nullptr, "rest"});
    return parts;
}

TEST_F(RegionPlannerTest, PartsOfTheirOwnLengthAreSolvedTogetherByTheRegionsCrc) {
    // 24 parts, each a byte too long with two pairs to choose from: 2^24 combinations, more
    // than are ever checked one by one; each part's share of the CRC-32 finds the one.
    const std::vector<int> distances(24, 41);
    Markers markers = MarkedBytes(distances.size(), 200, 12);
    Damage(markers, distances);
    const Bytes& damaged = markers.damaged.bytes;
    EvidenceRegion region = Whole(damaged, markers.intact, true);
    region.parts = BlocksOf(markers, region.end);
    fuzz::BytesInput input(damaged);
    RegionPlanner planner(input, static_cast<std::int64_t>(damaged.size()), nullptr);
    EXPECT_EQ(planner.Plan(region, markers.damaged.inserted).standing, RegionStanding::NoFit);
    const RegionPlan plan = planner.PlanByPattern(region, markers.damaged.inserted, 39, 45);
    ASSERT_EQ(plan.standing, RegionStanding::Proven);
    EXPECT_TRUE(Restored(damaged, {plan}) == markers.intact);
}

TEST_F(RegionPlannerTest, AnExtraByteOnePartOffIsChosenWithThePartBeforeIt) {
    // The walk put the boundary between two damaged blocks 20 bytes too late: the first
    // holds both extra bytes, the second none, though each is said to hold one. The damage
    // at varying distances after 24 markers, too many choices to try one by one.
    std::vector<int> distances;
    for (int i = 0; i < 24; ++i) {
        distances.push_back(39 + i % 4);
    }
    Markers markers = MarkedBytes(distances.size(), 200, 12);
    Damage(markers, distances);
    const Bytes& damaged = markers.damaged.bytes;
    EvidenceRegion region = Whole(damaged, markers.intact, true);
    region.parts = BlocksOf(markers, region.end, 3);
    fuzz::BytesInput input(damaged);
    RegionPlanner planner(input, static_cast<std::int64_t>(damaged.size()), nullptr);
    const RegionPlan plan = planner.PlanByPattern(region, markers.damaged.inserted, 39, 45);
    ASSERT_EQ(plan.standing, RegionStanding::Proven);
    EXPECT_TRUE(Restored(damaged, {plan}) == markers.intact);
}

TEST_F(RegionPlannerTest, DamageAfterDozensOfMarkersIsMetInTheMiddleOfTheCrc) {
    // Ten of 30 markers hit at varying distances: some 2^29 choices, far more than are ever
    // tried in turn. The region begins after the first marker's CR, whose damage it holds.
    std::vector<int> distances(30, -1);
    for (int i = 0; i < 30; i += 3) {
        distances[static_cast<std::size_t>(i)] = 39 + i % 4;
    }
    Markers markers = MarkedBytes(distances.size(), 300, 13);
    Damage(markers, distances);
    const Bytes& damaged = markers.damaged.bytes;
    const std::int64_t start = static_cast<std::int64_t>(markers.crs[0]) + 20;
    const Bytes tail(markers.intact.begin() + start, markers.intact.end());
    const EvidenceRegion region(start, static_cast<std::int64_t>(damaged.size()),
                                static_cast<std::int64_t>(tail.size()),
                                Crc32Check(Crc32(0, tail.data(), tail.size())), "test");
    fuzz::BytesInput input(damaged);
    RegionPlanner planner(input, static_cast<std::int64_t>(damaged.size()), nullptr);
    const RegionPlan plan = planner.PlanByPattern(region, markers.damaged.inserted, 39, 45);
    ASSERT_EQ(plan.standing, RegionStanding::Proven);
    EXPECT_FALSE(plan.ambiguous);
    EXPECT_TRUE(Restored(damaged, {plan}) == markers.intact);
}

// A region cut out of a longer one whose other bytes are known (a piece's share of a Cluster
// or a member that goes on into the next piece): its plain CRC-32 is worked out from the
// whole's, any other check is fed the bytes beside it, and each then passes the middle's
// repaired bytes and no others.
TEST_F(RegionPlannerTest, ARegionCutOutOfALongerOneIsCheckedWithTheBytesBesideIt) {
    const Bytes head(intact.begin(), intact.begin() + 3000);
    const Bytes middle(intact.begin() + 3000, intact.begin() + 17000);
    const Bytes tail(intact.begin() + 17000, intact.end());
    const std::uint32_t whole = Crc32(0, intact.data(), intact.size());
    EXPECT_EQ(Crc32OfMiddle(whole, Crc32(0, head.data(), head.size()),
                            Crc32(0, tail.data(), tail.size()), tail.size(), middle.size()),
              Crc32(0, middle.data(), middle.size()));
    const auto framed =
        FramedCheck(SameBytesCheck(intact, std::vector<bool>(intact.size(), true)), head, tail);
    EXPECT_FALSE(framed->PlainCrc32());
    const Damaged damaged = RepeatBytes(middle, {5000});
    const EvidenceRegion cut{0, static_cast<std::int64_t>(damaged.bytes.size()),
                             static_cast<std::int64_t>(middle.size()), framed, "cut"};
    const auto plans = Plan(damaged.bytes, {cut}, With(damaged.inserted, {900, 9000}));
    ASSERT_EQ(plans.size(), 1u);
    EXPECT_EQ(plans[0].standing, RegionStanding::Consistent);  // a copy proves nothing
    EXPECT_TRUE(Restored(damaged.bytes, plans) == middle);
    const auto run = framed->Start();
    run->Add(damaged.bytes.data(), damaged.bytes.size());
    EXPECT_FALSE(run->Passes());
}

TEST(CrcMeet, FindsTheOneChoiceAndTellsEqualBytesFromRivals) {
    const Bytes intact = RandomBytes(5000, 21);
    // 24 suspects, 8 of them slipped in: each a copy of the byte before it.
    Bytes damaged;
    std::vector<std::int64_t> suspects, slipped;
    for (std::size_t i = 0; i < intact.size(); ++i) {
        damaged.push_back(intact[i]);
        if (i % 200 == 100) {
            suspects.push_back(static_cast<std::int64_t>(damaged.size()) - 1);
            if (suspects.size() % 3 == 0) {
                damaged.push_back(intact[i]);
                slipped.push_back(suspects.back());
            }
        }
    }
    CrcMeetProblem problem{damaged.data(), damaged.size(), suspects,
                           static_cast<int>(slipped.size()), Crc32(0, intact.data(), intact.size())};
    CrcMeetResult met = MeetOnCrc(problem, 22, nullptr);
    ASSERT_EQ(met.matches.size(), 1u);
    EXPECT_EQ(met.matches[0], slipped);

    // Both bytes of a pair make the same bytes: one match, not two rivals.
    problem.suspects.push_back(slipped.back() + 1);
    std::sort(problem.suspects.begin(), problem.suspects.end());
    met = MeetOnCrc(problem, 22, nullptr);
    EXPECT_EQ(met.matches.size(), 1u);

    EXPECT_TRUE(MeetOnCrc(problem, 4, nullptr).tooMany);
    EXPECT_TRUE(MeetOnCrc(problem, 22, [] { return true; }).stopped);
}

}  // namespace
}  // namespace korbelt::test
