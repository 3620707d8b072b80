// ZIP archives made by zip, damaged as downloads are, walked and planned: each member's CRC-32
// proves which find to remove; an intact archive fits everywhere; hostile headers cost little.
#include "StructureFixture.h"

namespace korbelt::test {
namespace {

class ZipWalkerTest : public StructureTest {
  protected:
    // notes.txt stored (text with CR LF '-' markers), data.bin deflated.
    Bytes Archive() {
        WriteBytes(dir.File("notes.txt"), ToBytes(DashedText(400, 7)));
        WriteBytes(dir.File("data.bin"), ToBytes(DashedText(3000, 9)));
        return Made("/usr/bin/zip", {"-q", "-X", "-n", ".txt", "a.zip", "notes.txt", "data.bin"},
                    "a.zip");
    }
    static Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }
    // The two blanks that start the text's second line: a pair of equal bytes by chance.
    static std::int64_t ChancePair(const Bytes& archive) {
        const std::string line = "\r\n  line 1 ";
        const auto found = std::search(archive.begin(), archive.end(), line.begin(), line.end());
        return static_cast<std::int64_t>(found - archive.begin()) + 2;
    }
    // Where the first stored copy of the text is in the archive.
    static std::size_t InNotes(const Bytes& archive, std::size_t at) {
        const std::string start = "- line 0";
        const auto found = std::search(archive.begin(), archive.end(), start.begin(), start.end());
        return static_cast<std::size_t>(found - archive.begin()) + at;
    }
};

TEST_F(ZipWalkerTest, TheMembersCrcsChooseTheFindsThatRestoreTheArchive) {
    const Bytes intact = Archive();
    ASSERT_FALSE(intact.empty());
    // A byte repeated in the stored member, and a wrapper in the deflated one after one of
    // its CRs; the two blanks that start a line of the text are a chance find.
    const std::string name = "data.bin";
    const auto local = std::search(intact.begin(), intact.end(), name.begin(), name.end());
    const auto cr = std::find(local + 200, intact.end(), '\r');
    ASSERT_NE(cr, intact.end());
    Damaged damaged = RepeatBytes(intact, {InNotes(intact, 300)});
    const Damaged wrapped =
        InsertWrapper(damaged.bytes, static_cast<std::size_t>(cr - intact.begin()) + 1);
    damaged.bytes = wrapped.bytes;
    damaged.inserted.push_back(wrapped.inserted[0]);
    const auto chance = ChancePair(intact);
    ASSERT_EQ(intact[static_cast<std::size_t>(chance)], ' ');
    ASSERT_EQ(intact[static_cast<std::size_t>(chance) + 1], ' ');

    const auto regions = Walk(damaged.bytes, "ZIP");
    const auto hurt = DamagedRegions(regions);
    ASSERT_EQ(hurt.size(), 2u);
    EXPECT_EQ(hurt[0].what, "ZIP member 'notes.txt'");
    EXPECT_EQ(hurt[0].Excess(), 1);
    EXPECT_STREQ(hurt[0].check->Kind(), "CRC-32");
    EXPECT_EQ(hurt[1].what, "ZIP member 'data.bin'");
    EXPECT_EQ(hurt[1].Excess(), wrapped.inserted[0].lengths[1]);
    EXPECT_STREQ(hurt[1].check->Kind(), "inflated CRC-32");

    const std::vector<Candidate> candidates = {RepeatedByteCandidate(chance), damaged.inserted[0],
                                               damaged.inserted[1]};
    const auto plans = Plan(damaged.bytes, regions, candidates);
    int proven = 0;
    for (const RegionPlan& plan : plans) {
        if (plan.region.Excess() != 0) {
            EXPECT_EQ(plan.standing, RegionStanding::Proven) << plan.region.what;
            ++proven;
        }
    }
    EXPECT_EQ(proven, 2);
    // The chance pair stays; the slipped byte goes, and the wrapper to its true end, a byte
    // short of where the scan would end it.
    EXPECT_TRUE(Restored(damaged.bytes, plans) == intact);
    const auto notes = std::find_if(plans.begin(), plans.end(), [](const RegionPlan& p) {
        return p.region.what == "ZIP member 'notes.txt'";
    });
    ASSERT_NE(notes, plans.end());
    EXPECT_EQ(notes->left, (std::vector<Removal>{{chance, 1}}));
}

TEST_F(ZipWalkerTest, AnIntactArchiveFitsEveryRegionAndLeavesItsFinds) {
    const Bytes intact = Archive();
    const auto regions = Walk(intact, "ZIP");
    EXPECT_TRUE(DamagedRegions(regions).empty());
    ASSERT_GE(regions.size(), 4u);
    EXPECT_EQ(regions.front().start, 0);
    EXPECT_EQ(regions.back().end, static_cast<std::int64_t>(intact.size()));
    const auto chance = ChancePair(intact);
    const auto plans = Plan(intact, regions, {RepeatedByteCandidate(chance)});
    for (const RegionPlan& plan : plans) {
        EXPECT_NE(plan.standing, RegionStanding::NoFit) << plan.region.what;
        EXPECT_TRUE(plan.removed.empty()) << plan.region.what;
        // The member with the chance find is proven intact by its CRC-32.
        if (!plan.left.empty()) {
            EXPECT_EQ(plan.standing, RegionStanding::Proven) << plan.region.what;
        }
    }
}

// A text that ends in a marker puts the repeated byte in the next member's local header: in
// its fixed part, or in its name. The directory's copy of the header finds it again.
TEST_F(ZipWalkerTest, ExtraBytesInALocalHeaderAreFoundAgainByItsName) {
    const Bytes intact = Archive();
    const std::string name = "data.bin";
    const auto second = static_cast<std::size_t>(
        std::search(intact.begin(), intact.end(), name.begin(), name.end()) - intact.begin());
    const std::size_t header = second - 30;
    ASSERT_EQ(intact[header], 'P');
    for (const std::size_t at : {header + 4, header + 26, second + 3}) {
        const Damaged damaged = RepeatBytes(intact, {at});
        const auto regions = Walk(damaged.bytes, "ZIP");
        const auto hurt = DamagedRegions(regions);
        ASSERT_EQ(hurt.size(), 1u) << at - header;
        EXPECT_EQ(hurt[0].what, "ZIP local header 'data.bin'") << at - header;
        EXPECT_TRUE(Restored(damaged.bytes, Plan(damaged.bytes, regions, damaged.inserted)) ==
                    intact)
            << at - header;
        // Among every pair of equal bytes in the header, the directory's copy of it tells
        // the slipped byte apart; being a copy, not a checksum, it proves nothing.
        std::vector<Candidate> pairs;
        for (std::size_t i = header; i < second + name.size() + 1; ++i) {
            if (damaged.bytes[i] == damaged.bytes[i + 1]) {
                pairs.push_back(RepeatedByteCandidate(static_cast<std::int64_t>(i)));
            }
        }
        ASSERT_GT(pairs.size(), 2u) << at - header;
        const auto plans = Plan(damaged.bytes, regions, pairs);
        EXPECT_TRUE(Restored(damaged.bytes, plans) == intact) << at - header;
        for (const RegionPlan& plan : plans) {
            if (plan.region.Excess() != 0) {
                EXPECT_EQ(plan.standing, RegionStanding::Consistent) << at - header;
            }
        }
    }
}

// Written to a pipe, zip puts each member's sizes in a ZIP64 data descriptor after its data.
TEST_F(ZipWalkerTest, AStreamedArchiveIsWalkedByItsDescriptorsAndCentralDirectory) {
    WriteBytes(dir.File("in.txt"), ToBytes(DashedText(500, 3)));
    const ProgramResult made = RunProgram(
        "/bin/sh", {"-c", "cd \"$0\" && /usr/bin/zip -q -X - - < in.txt | cat > s.zip", dir.Path()},
        "", {});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    const Bytes intact = ReadBytes(dir.File("s.zip"));
    const auto regions = Walk(intact, "ZIP");
    EXPECT_TRUE(DamagedRegions(regions).empty());
    const bool described = std::any_of(regions.begin(), regions.end(), [](const EvidenceRegion& r) {
        return r.what.find("ZIP data descriptor") != std::string::npos ||
               r.what.find("ZIP headers") != std::string::npos;
    });
    EXPECT_TRUE(described);

    const Damaged damaged = RepeatBytes(intact, {intact.size() / 2});
    const auto hurt = DamagedRegions(Walk(damaged.bytes, "ZIP"));
    ASSERT_EQ(hurt.size(), 1u);
    EXPECT_EQ(hurt[0].what, "ZIP member '-'");
    const auto plans = Plan(damaged.bytes, hurt, damaged.inserted);
    EXPECT_EQ(plans.at(0).standing, RegionStanding::Proven);
    EXPECT_EQ(plans.at(0).removed.size(), 1u);
}

// Sizes of 2^63, a directory that claims a million entries, a few MiB of empty members.
TEST_F(ZipWalkerTest, HostileHeadersCostMilliseconds) {
    Bytes huge = {'P', 'K', 3, 4, 45, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                  0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 1, 0, 20, 0, 'x',
                  1, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0, 0x80};
    huge.resize(4096, 0);
    EXPECT_LT(HostileCost(huge), 50.0);

    const Bytes empty = {'P', 'K', 3, 4, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                         0, 0, 0, 0, 0, 0, 0, 0};
    Bytes many;
    while (many.size() < (std::size_t{4} << 20)) {
        many.insert(many.end(), empty.begin(), empty.end());
    }
    const Bytes end = {'P', 'K', 5, 6, 0, 0, 0, 0, 0xff, 0xff, 0xff, 0xff,
                       0xff, 0xff, 0xff, 0x7f, 0, 0, 0, 0, 0, 0};
    many.insert(many.end(), end.begin(), end.end());
    EXPECT_LT(HostileCost(many), 1500.0);
    const auto regions = Walk(many, "ZIP");
    EXPECT_GT(regions.size(), 100000u);
}

}  // namespace
}  // namespace korbelt::test
