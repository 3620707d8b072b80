// Planning a repair by a file's slice checksums: which of the pattern's finds are kept, which
// bytes the checksums alone find, and how a slice that cannot be mended leaves the rest be.
#include <gtest/gtest.h>

#include "PostedSlices.h"
#include "engine/system/PosixFileSystem.h"
#include "verify/GuidedPlan.h"

namespace korbelt::test {
namespace {

constexpr std::size_t kSlice = 4096;

// The posted file with bytes slipped in at posted offsets, in increasing order; the offsets
// of the slipped bytes in the arrived file come back.
struct Arrived {
    Bytes bytes;
    std::vector<Removal> slipped;
};
Arrived Slip(const Bytes& posted, const std::vector<std::pair<std::size_t, Bytes>>& inserts) {
    Arrived arrived{posted, {}};
    std::int64_t shift = 0;
    for (const auto& [at, extra] : inserts) {
        const auto offset = static_cast<std::int64_t>(at) + shift;
        arrived.bytes.insert(arrived.bytes.begin() + offset, extra.begin(), extra.end());
        arrived.slipped.push_back({offset, static_cast<std::int64_t>(extra.size())});
        shift += static_cast<std::int64_t>(extra.size());
    }
    return arrived;
}

Bytes Without(const Bytes& bytes, std::vector<Removal> removals) {
    std::sort(removals.begin(), removals.end(),
              [](const Removal& a, const Removal& b) { return a.offset > b.offset; });
    Bytes out = bytes;
    for (const Removal& removal : removals) {
        out.erase(out.begin() + removal.offset, out.begin() + removal.offset + removal.length);
    }
    return out;
}

// The plans of every slice of a file, gathered.
struct GuidedPlan {
    std::vector<Removal> removed;
    std::vector<SlicePlan::Ignored> ignored;
    std::vector<Removal> inserted;
    std::int64_t slicesVerified = 0;
    std::int64_t sliceCount = 0;
    std::int64_t otherEvidenceChose = 0;
};

// Other evidence that removes what it was given, wherever asked: from a little before where
// it is asked from, as a region begun in the slice before has its removals there.
class GivenRemovals : public RemovalHint {
  public:
    GivenRemovals(std::vector<Removal> removals, int* asked = nullptr,
                  std::vector<Removal>* seen = nullptr)
        : removals_(std::move(removals)), asked_(asked), seen_(seen) {}
    std::vector<Removal> Within(std::int64_t start, std::int64_t end,
                                const std::vector<Removal>& finds, std::int64_t) override {
        if (asked_ != nullptr) {
            ++*asked_;
        }
        if (seen_ != nullptr) {
            *seen_ = finds;
        }
        std::vector<Removal> within;
        for (const Removal& removal : removals_) {
            if (removal.offset >= start - 16 && removal.offset < end) {
                within.push_back(removal);
            }
        }
        return within;
    }
    std::error_code ReadError() const override { return {}; }

  private:
    std::vector<Removal> removals_;
    int* asked_;
    std::vector<Removal>* seen_;
};

class GuidedPlanTest : public ::testing::Test {
  protected:
    GuidedPlan Plan(const Bytes& arrived, const Expectation& expected,
                    const std::vector<Removal>& finds, std::unique_ptr<RemovalHint> hint = nullptr) {
        WriteBytes(dir.File("movie.avi"), arrived);
        std::error_code error;
        input = fs.OpenInput(dir.File("movie.avi"), error);
        GuidedPlanner planner(*input, static_cast<std::int64_t>(arrived.size()), expected);
        planner.UseHint(std::move(hint));
        GuidedPlan plan;
        plan.sliceCount = static_cast<std::int64_t>(expected.slices.size());
        while (!planner.Done()) {
            const SlicePlan slice = planner.PlanNext(finds);
            plan.slicesVerified += slice.verified ? 1 : 0;
            plan.otherEvidenceChose += slice.otherEvidenceChose ? 1 : 0;
            plan.removed.insert(plan.removed.end(), slice.removed.begin(), slice.removed.end());
            plan.ignored.insert(plan.ignored.end(), slice.ignored.begin(), slice.ignored.end());
            if (slice.inserted) {
                plan.inserted.push_back(*slice.inserted);
            }
        }
        const std::vector<SlicePlan::Ignored> rest = planner.Rest(finds);
        plan.ignored.insert(plan.ignored.end(), rest.begin(), rest.end());
        EXPECT_FALSE(planner.ReadError());
        return plan;
    }

    TempDir dir;
    PosixFileSystem fs;
    std::unique_ptr<InputFile> input;
    const Bytes posted = RandomBytes(10 * kSlice + 1000, 11);
    const Expectation expected = PostedAs(posted, kSlice);
};

TEST_F(GuidedPlanTest, KeepsTheFindsThatMakeTheirSlicesVerifyAndFindsTheBytesTheyMiss) {
    // Slice 1: a find that is real. Slice 3: a chance find in intact bytes. Slice 5: a byte
    // no find points at. Slice 7: a real find and a byte beside it. Slice 8: five bytes found.
    const Arrived arrived = Slip(posted, {{1 * kSlice + 100, {7}},
                                          {5 * kSlice + 4000, {9}},
                                          {7 * kSlice + 10, {1}},
                                          {7 * kSlice + 3000, {2}},
                                          {8 * kSlice + 2, {1, 2, 3, 4, 5}}});
    const Removal chance{3 * kSlice + 200 + 1, 1};
    const std::vector<Removal> finds = {arrived.slipped[0], chance, arrived.slipped[2],
                                        arrived.slipped[4]};
    const GuidedPlan plan = Plan(arrived.bytes, expected, finds);
    EXPECT_EQ(plan.removed,
              (std::vector<Removal>{arrived.slipped[0], arrived.slipped[2], arrived.slipped[4]}));
    ASSERT_EQ(plan.ignored.size(), 1u);
    EXPECT_EQ(plan.ignored[0].removal, chance);
    EXPECT_TRUE(plan.ignored[0].sliceVerifiesWithout);
    EXPECT_EQ(plan.inserted, (std::vector<Removal>{arrived.slipped[1], arrived.slipped[3]}));
    EXPECT_EQ(plan.slicesVerified, 11);
    EXPECT_EQ(plan.sliceCount, 11);
    std::vector<Removal> all = plan.removed;
    all.insert(all.end(), plan.inserted.begin(), plan.inserted.end());
    EXPECT_EQ(Without(arrived.bytes, all), posted);
    // The intact file: every find is a chance one.
    const GuidedPlan intact = Plan(posted, expected, {{100, 1}, {10 * kSlice + 5, 1}});
    EXPECT_TRUE(intact.removed.empty());
    EXPECT_TRUE(intact.inserted.empty());
    EXPECT_EQ(intact.ignored.size(), 2u);
    EXPECT_EQ(intact.slicesVerified, 11);
}

// A slice no plan proves keeps what the pattern alone would remove; the next one is found
// where it starts, even when it needs a repair itself, however many bad slices come first.
TEST_F(GuidedPlanTest, ASliceThatCannotBeMendedKeepsThePatternsFindsAndTheNextIsFoundAgain) {
    // Two bytes slipped into slice 2, none found: one byte is all the search looks for. The
    // slice right after it has a real find of its own.
    const Arrived arrived =
        Slip(posted, {{2 * kSlice + 10, {1}}, {2 * kSlice + 20, {2}}, {3 * kSlice + 5, {3}}});
    const Removal inBadSlice{2 * kSlice + 500, 1};
    const GuidedPlan plan = Plan(arrived.bytes, expected, {inBadSlice, arrived.slipped[2]});
    EXPECT_EQ(plan.removed, (std::vector<Removal>{inBadSlice, arrived.slipped[2]}));
    EXPECT_TRUE(plan.ignored.empty());
    EXPECT_EQ(plan.slicesVerified, 10);

    // Twenty bad slices in a row (a byte changed in each, not slipped in), then bytes slipped
    // into slices 22 and 24, one with a find and one without.
    const Bytes longer = RandomBytes(30 * kSlice, 13);
    const Expectation longerExpected = PostedAs(longer, kSlice);
    Bytes changed = longer;
    for (std::size_t slice = 1; slice <= 20; ++slice) {
        changed[slice * kSlice + 7] ^= 0x40;
    }
    const Arrived chain = Slip(changed, {{22 * kSlice + 9, {4}}, {24 * kSlice + 99, {5}}});
    const GuidedPlan chained = Plan(chain.bytes, longerExpected, {chain.slipped[0]});
    EXPECT_EQ(chained.removed, std::vector<Removal>{chain.slipped[0]});
    EXPECT_EQ(chained.inserted, std::vector<Removal>{chain.slipped[1]});
    EXPECT_EQ(chained.slicesVerified, 10);

    // A file that is not the one the checksums describe: the finds go as the pattern says.
    const Bytes other = RandomBytes(posted.size() + 5, 12);
    const GuidedPlan none = Plan(other, expected, {{5000, 1}, {30000, 1}});
    EXPECT_EQ(none.removed.size(), 2u);
    EXPECT_TRUE(none.inserted.empty());
    EXPECT_EQ(none.slicesVerified, 0);
}

// Where no choice of a slice's finds proves it, other evidence (the file's structure) is
// asked, and its removals are made where the slice's checksums then prove them; asked only
// there, and never believed where they do not.
TEST_F(GuidedPlanTest, OtherEvidenceChoosesInASliceItsFindsCannotProve) {
    const Arrived arrived = Slip(posted, {{1 * kSlice + 7, {4}},
                                          {2 * kSlice + 10, {1}},
                                          {2 * kSlice + 20, {2}},
                                          {5 * kSlice + 5, {3}}});
    const Removal inBadSlice{2 * kSlice + 500, 1};
    int asked = 0;
    std::vector<Removal> seen;
    const GuidedPlan plan = Plan(
        arrived.bytes, expected, {arrived.slipped[0], inBadSlice, arrived.slipped[3]},
        std::make_unique<GivenRemovals>(
            std::vector<Removal>{arrived.slipped[1], arrived.slipped[2]}, &asked, &seen));
    EXPECT_EQ(plan.slicesVerified, 11);
    EXPECT_EQ(plan.otherEvidenceChose, 1);
    EXPECT_EQ(asked, 1);
    // The removal made in the slice before is given with the finds, for a region begun there.
    EXPECT_EQ(seen, (std::vector<Removal>{arrived.slipped[0], inBadSlice, arrived.slipped[3]}));
    std::vector<Removal> all = plan.removed;
    all.insert(all.end(), plan.inserted.begin(), plan.inserted.end());
    EXPECT_EQ(Without(arrived.bytes, all), posted);

    // A byte slipped in at a slice's start that repeats the last byte of the slice before:
    // the evidence names the run's first byte, which that slice kept, and the same bytes
    // come of removing the run's byte in this one.
    const Arrived atStart =
        Slip(posted, {{2 * kSlice, {posted[2 * kSlice - 1]}}, {2 * kSlice + 20, {2}}});
    const GuidedPlan run = Plan(atStart.bytes, expected, {},
                                std::make_unique<GivenRemovals>(std::vector<Removal>{
                                    {atStart.slipped[0].offset - 1, 1}, atStart.slipped[1]}));
    EXPECT_EQ(run.slicesVerified, 11);
    EXPECT_EQ(Without(atStart.bytes, run.removed), posted);

    // Evidence whose removals the slice's checksums do not prove changes nothing.
    const GuidedPlan wrong =
        Plan(arrived.bytes, expected, {arrived.slipped[0], inBadSlice, arrived.slipped[3]},
             std::make_unique<GivenRemovals>(
                 std::vector<Removal>{arrived.slipped[1], {2 * kSlice + 31, 1}}));
    EXPECT_EQ(wrong.slicesVerified, 10);
    EXPECT_EQ(wrong.otherEvidenceChose, 0);
    EXPECT_EQ(wrong.removed,
              (std::vector<Removal>{arrived.slipped[0], inBadSlice, arrived.slipped[3]}));
}

// Any number of finds in one slice, all of them real, or all but a chance one among them.
TEST_F(GuidedPlanTest, ManyFindsInOneSliceAreKeptTogether) {
    std::vector<std::pair<std::size_t, Bytes>> six;
    for (std::size_t i = 0; i < 6; ++i) {
        six.push_back({4 * kSlice + 100 + 600 * i, {static_cast<std::uint8_t>(i)}});
    }
    const Arrived arrived = Slip(posted, six);
    std::vector<Removal> finds = arrived.slipped;
    const GuidedPlan plan = Plan(arrived.bytes, expected, finds);
    EXPECT_EQ(plan.removed, arrived.slipped);
    EXPECT_EQ(plan.slicesVerified, 11);
    const Removal chance{arrived.slipped[3].offset + 50, 1};
    finds.insert(finds.begin() + 4, chance);
    const GuidedPlan withChance = Plan(arrived.bytes, expected, finds);
    EXPECT_EQ(withChance.removed, arrived.slipped);
    ASSERT_EQ(withChance.ignored.size(), 1u);
    EXPECT_EQ(withChance.ignored[0].removal, chance);
}

// A wrapper whose header lines end in a standard blank line: the pattern's removal takes the
// first byte after it as well; the slice's checksum ends it where it ends.
TEST_F(GuidedPlanTest, AWrapperEndingInABlankLineEndsWhereItsSliceVerifies) {
    const std::string text = "\r\n" + std::string(29, '-') +
                             "=_Part_0017\r\nContent-Type: application/octet-stream\r\n\r\n";
    const Arrived arrived = Slip(posted, {{6 * kSlice + 300, Bytes(text.begin(), text.end())}});
    Removal byThePattern = arrived.slipped[0];
    ++byThePattern.length;
    const GuidedPlan plan = Plan(arrived.bytes, expected, {byThePattern});
    EXPECT_EQ(plan.removed, arrived.slipped);
    EXPECT_TRUE(plan.ignored.empty());
    EXPECT_EQ(plan.slicesVerified, 11);
    EXPECT_EQ(Without(arrived.bytes, plan.removed), posted);

    // After the data's CR two bytes before a slice's end: the wrapper's first CR alone, taken
    // for a slipped byte, makes that slice too (the wrapper's LF standing in for the data's),
    // but leaves the rest of the wrapper to the next slice, which cannot take it out.
    Bytes lined = posted;
    lined[3 * kSlice - 2] = '\r';
    lined[3 * kSlice - 1] = '\n';
    const Arrived across = Slip(lined, {{3 * kSlice - 1, Bytes(text.begin(), text.end())}});
    Removal late = across.slipped[0];
    ++late.length;
    const GuidedPlan straddling = Plan(across.bytes, PostedAs(lined, kSlice), {late});
    EXPECT_EQ(straddling.removed, across.slipped);
    EXPECT_TRUE(straddling.inserted.empty());
    EXPECT_EQ(straddling.slicesVerified, 11);
}

// A pair of equal bytes across a slice's end: its removal makes the same slice as none, one
// byte further on. Chance there leaves the file as it is; damage there is found by the next.
TEST_F(GuidedPlanTest, APairAcrossASlicesEndIsDecidedByTheNextSlice) {
    Bytes paired = posted;
    paired[4 * kSlice] = paired[4 * kSlice - 1];
    const Expectation pairedExpected = PostedAs(paired, kSlice);
    const Removal pair{4 * kSlice - 1, 1};
    const GuidedPlan chance = Plan(paired, pairedExpected, {pair});
    EXPECT_TRUE(chance.removed.empty());
    EXPECT_TRUE(chance.inserted.empty());
    EXPECT_EQ(chance.slicesVerified, 11);

    const Arrived arrived = Slip(paired, {{4 * kSlice, {paired[4 * kSlice]}}});
    const GuidedPlan damage = Plan(arrived.bytes, pairedExpected, {pair});
    std::vector<Removal> all = damage.removed;
    all.insert(all.end(), damage.inserted.begin(), damage.inserted.end());
    EXPECT_EQ(Without(arrived.bytes, all), paired);
    EXPECT_EQ(damage.slicesVerified, 11);
}

// Five bytes repeated in one slice, none of them found: the pairs of equal bytes in its reach
// are met in the middle of its CRC-32, and the MD5 confirms the one choice.
TEST_F(GuidedPlanTest, BytesRepeatedWhereNoFindPointsAreMetInTheMiddleOfTheSlicesCrc) {
    std::vector<std::pair<std::size_t, Bytes>> repeats;
    for (std::size_t i = 0; i < 5; ++i) {
        const std::size_t at = 3 * kSlice + 300 + 700 * i;
        repeats.push_back({at, {posted[at - 1]}});
    }
    const Arrived arrived = Slip(posted, repeats);
    const GuidedPlan plan = Plan(arrived.bytes, expected, {});
    EXPECT_EQ(plan.removed.size(), 5u);
    EXPECT_EQ(Without(arrived.bytes, plan.removed), posted);
    EXPECT_EQ(plan.slicesVerified, 11);
}

// A slice with more pairs of equal bytes than are tried: those its markers reach are, and
// the damage, another pair of each marker than the scan kept, is found.
TEST_F(GuidedPlanTest, InASliceOfManyPairsThePairsItsMarkersReachAreMet) {
    Bytes paired = posted;
    for (std::size_t i = 4 * kSlice; i < 5 * kSlice; i += 30) {
        paired[i + 1] = paired[i];  // 136 pairs in slice 4
    }
    std::vector<std::pair<std::size_t, Bytes>> repeats;
    for (std::size_t k = 0; k < 4; ++k) {
        const std::size_t cr = 4 * kSlice + 200 + 900 * k;
        paired[cr] = '\r';
        paired[cr + 1] = '\n';
        paired[cr + 2] = '-';
        for (std::size_t d = 37; d < 48; ++d) {
            while (paired[cr + d + 1] == paired[cr + d]) {
                paired[cr + d + 1] ^= 0x55;
            }
        }
        paired[cr + 44] = paired[cr + 43];  // a chance pair at 43, at 44 once damage shifts it
        repeats.push_back({cr + 40 + 1, {paired[cr + 40]}});  // the damage, at 40
    }
    const Arrived arrived = Slip(paired, repeats);
    std::vector<Removal> finds;  // the scan keeps the last pair in its reach: the chance one
    for (const Removal& slipped : arrived.slipped) {
        finds.push_back({slipped.offset + 3, 1});
    }
    const GuidedPlan plan = Plan(arrived.bytes, PostedAs(paired, kSlice), finds);
    EXPECT_EQ(Without(arrived.bytes, plan.removed), paired);
    EXPECT_EQ(plan.ignored.size(), 4u);
    EXPECT_EQ(plan.slicesVerified, 11);
}

}  // namespace
}  // namespace korbelt::test
