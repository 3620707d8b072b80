// The media walkers over files built from the formats' descriptions: a byte repeated after a
// marker and a MIME wrapper found in the chunk, packet, box or block that holds them and
// removed by the plan; the intact files fit everywhere; hostile sizes cost milliseconds.
#include <algorithm>
#include <cstring>
#include <optional>

#include "MediaBuilders.h"
#include "StructureFixture.h"
#include "structure/SplitPieces.h"

namespace korbelt::test {
namespace {

class MediaWalkersTest : public StructureTest {
  protected:
    // Where the n-th CR LF '-' marker is, and a CR a little after the m-th.
    static std::size_t Marker(const Bytes& bytes, int n) {
        const std::string marker = "\r\n-";
        auto at = bytes.begin();
        for (int i = 0; i <= n; ++i) {
            at = std::search(i == 0 ? at : at + 1, bytes.end(), marker.begin(), marker.end());
        }
        return static_cast<std::size_t>(at - bytes.begin());
    }
    // A byte repeated 42 bytes after the a-th marker, a wrapper after the CR of the b-th
    // (its line's end); a chance find, a pair of equal bytes that came with the file, in
    // the chance-th marker's window.
    struct Case {
        Damaged damaged;
        std::vector<Candidate> candidates;
    };
    static Case Damage(const Bytes& intact, int a, int b) {
        Damaged one = RepeatBytes(intact, {Marker(intact, a) + 41});
        const std::size_t cr = Marker(one.bytes, b) + 24;  // the CR after "Where are you going?"
        EXPECT_EQ(one.bytes[cr], '\r');
        Damaged both = InsertWrapper(one.bytes, cr);
        Case result{{both.bytes, {}}, {one.inserted[0], both.inserted[0]}};
        std::sort(result.candidates.begin(), result.candidates.end(),
                  [](const Candidate& x, const Candidate& y) { return x.offset < y.offset; });
        return result;
    }
    // A Cluster's block as muxers write them: its ID, its size in two bytes, its data.
    static Bytes ShortBlock(const Bytes& data, std::uint8_t id = 0xA3) {
        Bytes out = {id, static_cast<std::uint8_t>(0x40 | data.size() >> 8),
                     static_cast<std::uint8_t>(data.size())};
        Put(out, data);
        return out;
    }
    // A WebM file of one Cluster of these blocks, with a CRC-32 element or without.
    static Bytes OneCluster(const Bytes& blocks, bool withCrc) {
        Bytes mkv = Ebml(0x1A45DFA3, Ebml(0x4282, {'w', 'e', 'b', 'm'}));
        Put(mkv,
            Ebml(0x18538067, withCrc ? EbmlWithCrc(0x1F43B675, blocks) : Ebml(0x1F43B675, blocks)));
        return mkv;
    }
    // One Cluster of a Timestamp and SimpleBlocks of these data.
    static Bytes OneCluster(const std::vector<Bytes>& data, bool withCrc) {
        Bytes blocks = Ebml(0xE7, {0});
        for (const Bytes& one : data) {
            Put(blocks, ShortBlock(one));
        }
        return OneCluster(blocks, withCrc);
    }
    // The damaged Matroska file's walk puts its extra bytes in these parts, and the plan
    // restores it.
    void ExpectParts(const Bytes& intact, const Damaged& damaged,
                     const std::vector<std::string>& parts) {
        const auto regions = Walk(damaged.bytes, "Matroska");
        EXPECT_EQ(DamagedParts(regions), parts);
        EXPECT_TRUE(Restored(damaged.bytes, Plan(damaged.bytes, regions, damaged.inserted)) ==
                    intact);
    }
    static std::size_t OffsetOf(const Bytes& part, const Bytes& in) {
        return static_cast<std::size_t>(
            std::search(in.begin(), in.end(), part.begin(), part.end()) - in.begin());
    }
    // The parts of the damaged regions that hold extra bytes, named with their count.
    static std::vector<std::string> DamagedParts(const std::vector<EvidenceRegion>& regions) {
        std::vector<std::string> hurt;
        for (const EvidenceRegion& region : DamagedRegions(regions)) {
            for (const EvidenceRegion& part : region.parts) {
                if (part.Excess() != 0) {
                    hurt.push_back(part.what + " +" + std::to_string(part.Excess()));
                }
            }
        }
        return hurt;
    }
    // Walks the damaged file, expects the damaged regions named, plans, and checks that the
    // plan restores the file; and that the intact file fits everywhere.
    void Restores(const Bytes& intact, const char* format, int a, int b,
                  const std::vector<std::string>& names, RegionStanding standing,
                  std::optional<RegionStanding> lastStanding = std::nullopt) {
        const Case damage = Damage(intact, a, b);
        const auto regions = Walk(damage.damaged.bytes, format);
        std::vector<std::string> hurt;
        for (const EvidenceRegion& region : DamagedRegions(regions)) {
            hurt.push_back(region.what);
        }
        EXPECT_EQ(hurt, names) << format;
        const auto plans = Plan(damage.damaged.bytes, regions, damage.candidates);
        std::size_t seen = 0;
        for (const RegionPlan& plan : plans) {
            if (plan.region.Excess() != 0) {
                const bool last = ++seen == names.size();
                EXPECT_EQ(plan.standing, last && lastStanding ? *lastStanding : standing)
                    << format << " " << plan.region.what << " " << plan.region.start << ".."
                    << plan.region.end << " +" << plan.region.Excess();
            }
        }
        EXPECT_TRUE(Restored(damage.damaged.bytes, plans) == intact) << format;

        const auto whole = Walk(intact, format);
        EXPECT_TRUE(DamagedRegions(whole).empty()) << format;
        ASSERT_FALSE(whole.empty());
        EXPECT_EQ(whole.front().start, 0);
        EXPECT_EQ(whole.back().end, static_cast<std::int64_t>(intact.size())) << format;
        for (std::size_t i = 1; i < whole.size(); ++i) {
            EXPECT_EQ(whole[i].start, whole[i - 1].end) << format << " " << whole[i].what;
        }
    }
};

TEST_F(MediaWalkersTest, AviChunksAndTheOpenDmlExtensionLocateTheExtraBytes) {
    const Bytes avi = Avi();
    EXPECT_STREQ(walkers.For(std::string_view(reinterpret_cast<const char*>(avi.data()), 64),
                             "movie.avi")->Format(), "RIFF");
    // Chunk 4 of the first movi, the fifth chunk of the AVIX's.
    Restores(avi, "RIFF", 2, 34, {"RIFF chunk '01wb'", "RIFF chunk '00dc'"},
             RegionStanding::Consistent);
}

TEST_F(MediaWalkersTest, TransportStreamPacketsLocateTheExtraBytes) {
    for (const std::size_t packet : {std::size_t{188}, std::size_t{192}}) {
        const Bytes ts = TransportStream(60, packet);
        const StructureWalker* walker =
            walkers.For(std::string_view(reinterpret_cast<const char*>(ts.data()), 400), "x");
        ASSERT_NE(walker, nullptr);
        EXPECT_STREQ(walker->Format(), "MPEG-TS");
        const std::string name = packet == 188 ? "MPEG-TS packet" : "M2TS packet";
        Restores(ts, "MPEG-TS", 10, 40, {name, name}, RegionStanding::Consistent);
        // The extra bytes in the last packet: it is longer than a packet.
        const Damaged last = RepeatBytes(ts, {ts.size() - 20});
        const auto hurt = DamagedRegions(Walk(last.bytes, "MPEG-TS"));
        ASSERT_EQ(hurt.size(), 1u);
        EXPECT_EQ(hurt[0].start, static_cast<std::int64_t>(ts.size() - packet));
    }
}

TEST_F(MediaWalkersTest, IsoMediaBoxesLocateTheExtraBytes) {
    const Bytes mp4 = Mp4();
    EXPECT_STREQ(walkers.For(std::string_view(reinterpret_cast<const char*>(mp4.data()), 64),
                             "x.mp4")->Format(), "ISO media");
    // In the media data, and in a box inside moov.
    Restores(mp4, "ISO media", 0, 1, {"box 'mdat'", "box 'titl'"}, RegionStanding::Consistent);
}

TEST_F(MediaWalkersTest, MatroskaCrcsProveClustersAndBlocksLocateTheRest) {
    const Bytes mkv = Matroska();
    // A byte in the Cluster with a CRC-32 and a wrapper in it too: proven, parts or not.
    Restores(mkv, "Matroska", 2, 8, {"Matroska Cluster"}, RegionStanding::Proven);
    // In the Cluster without one: the block that holds them.
    Restores(mkv, "Matroska", 14, 20, {"Matroska SimpleBlock", "Matroska SimpleBlock"},
             RegionStanding::Consistent);
    // Clusters of unknown size, as a live stream writes them.
    Restores(Matroska(true), "Matroska", 3, 15, {"Matroska SimpleBlock", "Matroska SimpleBlock"},
             RegionStanding::Consistent);
}

// A byte slipped into each of two blocks one after the other, in a Cluster whose blocks give
// their sizes in two bytes, as muxers write them. The second block, a byte too long itself,
// does not end where the next one starts: the first block's end is still the one found a byte
// on, not a header that leaving a byte out of the first block's size would make, which its
// data can hold by chance (here an EncryptedBlock's ID and a size that fits).
TEST_F(MediaWalkersTest, MatroskaBlocksDamagedOneAfterTheOtherAreEachARegion) {
    Bytes first = Payload(0x10D6, 7);
    first[0] = 0x81;  // the size without its second byte: 0x1081
    first[0x1081] = 0xAF;
    first[0x1082] = 0x81;
    first.back() = 0;  // never an element's first byte: the block's end is told by its size alone
    Bytes blocks = Ebml(0xE7, {0});
    Put(blocks, ShortBlock(Payload(200, 5)));
    Put(blocks, ShortBlock(first));
    for (int b = 0; b < 4; ++b) {
        Put(blocks, ShortBlock(Payload(70 + 40 * b, 9 + b), b == 0 ? 0xA0 : 0xA3));
    }
    const Bytes mkv = OneCluster(blocks, true);
    const auto firstData = static_cast<std::size_t>(
        std::search(mkv.begin(), mkv.end(), first.begin(), first.end()) - mkv.begin());
    const std::size_t secondEnd = firstData + first.size() + 3 + 70;
    const Damaged damaged = RepeatBytes(mkv, {firstData + 30, secondEnd - 4});
    ExpectParts(mkv, damaged, {"Matroska SimpleBlock +1", "Matroska BlockGroup +1"});
}

// Where the sizes put the next block, a child's header found there alone may be chance: a
// block's last byte that reads as one (a Position's ID, with the next block's ID for a size)
// where the block holds an extra byte, and a block's ID repeated, which reads as the ID and a
// size that ends it on a Timestamp's header in its data. Where two headers follow each other
// a byte on, or with the repeated byte left out, the extra byte is there.
TEST_F(MediaWalkersTest, AChildsHeaderFoundAloneWhereTheSizesPutItMayBeChance) {
    Bytes lastByte = Payload(300, 21);
    lastByte.back() = 0xA7;
    Bytes repeatedId = Payload(200, 22);
    repeatedId[33] = 0xE7;  // a Timestamp of one byte, 37 bytes on from the block's ID
    repeatedId[34] = 0x81;
    repeatedId[36] = 0x00;
    const Bytes mkv = OneCluster({Payload(200, 20), lastByte, Payload(150, 23), repeatedId,
                                  Payload(120, 24), Payload(90, 25)},
                                 true);
    const Damaged damaged =
        RepeatBytes(mkv, {OffsetOf(lastByte, mkv) + 100, OffsetOf(repeatedId, mkv) - 3});
    ExpectParts(mkv, damaged, {"Matroska SimpleBlock +1", "Matroska SimpleBlock +1"});
}

// A header found again where a block's extra bytes end must be one a Cluster can hold: in
// the data a wrapper pushed on, a CRC-32's ID with a size of 13 (a CRC-32 is four bytes)
// would end where the next block starts, and take 15 of the wrapper's bytes from its block.
TEST_F(MediaWalkersTest, AChanceHeaderOfASizeNoClusterChildHasIsNotABlocksEnd) {
    Bytes wrapped = Payload(300, 31);
    wrapped[285] = 0xBF;
    wrapped[286] = 0x8D;
    const Bytes mkv =
        OneCluster({Payload(200, 30), wrapped, Payload(150, 32), Payload(120, 33)}, false);
    const std::size_t data = OffsetOf(wrapped, mkv);
    ASSERT_EQ(mkv[data + 34], '\r');
    const Damaged damaged = InsertWrapper(mkv, data + 34);
    const auto regions = Walk(damaged.bytes, "Matroska");
    std::vector<std::string> hurt;
    for (const EvidenceRegion& region : DamagedRegions(regions)) {
        hurt.push_back(region.what + " +" + std::to_string(region.Excess()));
    }
    EXPECT_EQ(hurt, std::vector<std::string>{"Matroska SimpleBlock +" +
                                             std::to_string(damaged.bytes.size() - mkv.size())});
    EXPECT_TRUE(Restored(damaged.bytes, Plan(damaged.bytes, regions, damaged.inserted)) == mkv);
}

// A byte of a Cluster's CRC-32 element repeated, as a byte after a marker lands on it: the
// element as it was is the six bytes left with it out, which proves it, and the Cluster is
// still proven by its CRC-32. The repeated ID reads as two CRC-32 IDs; a repeated byte of its
// size or its CRC-32 reads as an element of the plain form, told apart by the Cluster's
// first child, which starts a byte later.
TEST_F(MediaWalkersTest, ARepeatedByteOfTheCrcElementLeavesTheClusterProven) {
    const Bytes mkv = Matroska();
    const std::vector<std::uint8_t> cluster = {0x1F, 0x43, 0xB6, 0x75};
    const auto crc = static_cast<std::size_t>(
        std::search(mkv.begin(), mkv.end(), cluster.begin(), cluster.end()) - mkv.begin() + 12);
    ASSERT_EQ(mkv[crc], 0xBF);
    for (std::size_t at = crc; at < crc + 6; ++at) {
        const Damaged damaged = RepeatBytes(mkv, {at});
        const auto regions = Walk(damaged.bytes, "Matroska");
        std::vector<std::string> hurt;
        for (const EvidenceRegion& region : DamagedRegions(regions)) {
            hurt.push_back(region.what);
        }
        EXPECT_EQ(hurt, std::vector<std::string>{"Matroska Cluster CRC-32 element"}) << at - crc;
        const auto plans = Plan(damaged.bytes, regions, damaged.inserted);
        for (const RegionPlan& plan : plans) {
            if (plan.region.check && plan.region.Excess() != 0) {
                EXPECT_EQ(plan.standing, RegionStanding::Proven) << plan.region.what;
            }
        }
        EXPECT_TRUE(Restored(damaged.bytes, plans) == mkv) << at - crc;
    }
}

// A Cluster with a CRC-32 and extra bytes in it: its parts tile it, the blocks that hold the
// extra bytes one part each, the blocks that fit between them joined.
TEST_F(MediaWalkersTest, MatroskaClusterPartsJoinTheBlocksThatFit) {
    const Case damage = Damage(Matroska(), 2, 8);
    std::optional<EvidenceRegion> cluster;
    for (const EvidenceRegion& region : DamagedRegions(Walk(damage.damaged.bytes, "Matroska"))) {
        cluster = region;
    }
    ASSERT_TRUE(cluster && !cluster->parts.empty());
    std::int64_t at = cluster->start;
    std::int64_t excess = 0;
    int damaged = 0;
    int elements = 0;  // the Timestamp and the 12 blocks, as the parts count them
    for (const EvidenceRegion& part : cluster->parts) {
        EXPECT_EQ(part.start, at);
        at = part.end;
        excess += part.Excess();
        damaged += part.Excess() != 0;
        const std::size_t joined = part.what.find(" Matroska elements");
        elements += joined == std::string::npos ? 1 : std::stoi(part.what.substr(0, joined));
    }
    EXPECT_EQ(at, cluster->end);
    EXPECT_EQ(excess, cluster->Excess());
    EXPECT_EQ(damaged, 2);
    EXPECT_EQ(cluster->parts.size(), 5u);
    EXPECT_EQ(elements, 13);
}

TEST_F(MediaWalkersTest, ProgramStreamPacketsLocateTheExtraBytes) {
    const Bytes ps = ProgramStream();
    EXPECT_STREQ(walkers.For(std::string_view(reinterpret_cast<const char*>(ps.data()), 64),
                             "x.mpg")->Format(), "MPEG-PS");
    Restores(ps, "MPEG-PS", 2, 9, {"MPEG-PS packet", "MPEG-PS packet"}, RegionStanding::Consistent);
}

// The packed streams of a 7z archive are one region of their length; its next header is
// proven by its CRC-32.
TEST_F(MediaWalkersTest, SevenZipPackedStreamsAndTheNextHeaderLocateTheExtraBytes) {
    const Bytes archive = SevenZip();
    EXPECT_STREQ(walkers.For(std::string_view(reinterpret_cast<const char*>(archive.data()), 64),
                             "x.7z")->Format(), "7z");
    Restores(archive, "7z", 0, 1, {"7z packed streams", "7z next header"},
             RegionStanding::Consistent, RegionStanding::Proven);
}

// RAR 4 and RAR 5: every header proven by its CRC, every stored member's data by its CRC-32.
TEST_F(MediaWalkersTest, RarHeadersAndStoredMembersProveTheExtraBytes) {
    const std::vector<Bytes> members = {Payload(3000, 61), Payload(200, 62), Payload(5000, 63)};
    for (const auto& [format, archive] :
         {std::pair<const char*, Bytes>{"RAR 4", Rar4(members)}, {"RAR 5", Rar5(members)}}) {
        EXPECT_STREQ(walkers.For(std::string_view(reinterpret_cast<const char*>(archive.data()), 64),
                                 "x.rar")->Format(), format);
        Restores(archive, format, 0, 2, {"RAR member 'part0.txt'", "RAR member 'part2.txt'"},
                 RegionStanding::Proven);
        // A byte repeated in a header (a marker's reach ends there): the header is found
        // again with the byte left out, a region one byte too long that its CRC proves.
        const std::string name = "part1.txt";
        const auto at = static_cast<std::size_t>(
            std::search(archive.begin(), archive.end(), name.begin(), name.end()) - archive.begin());
        const Damaged slipped = RepeatBytes(archive, {at + 2});
        const auto regions = Walk(slipped.bytes, format);
        const auto hurt = DamagedRegions(regions);
        ASSERT_EQ(hurt.size(), 1u) << format;
        EXPECT_EQ(hurt[0].what, "RAR block header");
        const auto plans = Plan(slipped.bytes, regions, slipped.inserted);
        EXPECT_TRUE(Restored(slipped.bytes, plans) == archive) << format;
    }
}

// Sizes of 2^32 - 1 and 2^63, lists nested a thousand deep, millions of empty elements and
// packets: each walker on each costs milliseconds, and the walk ends.
TEST_F(MediaWalkersTest, HostileStructureCostsMilliseconds) {
    std::vector<std::pair<std::string, Bytes>> hostile;
    Bytes nested;
    for (int i = 0; i < 1000; ++i) {
        Put(nested, "LIST");
        PutLe32(nested, 0xFFFFFFF0u);
        Put(nested, "movi");
    }
    Bytes riff = RiffList("RIFF", "AVI ", nested);
    hostile.push_back({"nested lists", riff});
    Bytes junk = {'R', 'I', 'F', 'F', 0xff, 0xff, 0xff, 0xff, 'A', 'V', 'I', ' '};
    while (junk.size() < (std::size_t{4} << 20)) Put(junk, Bytes{'J', 'U', 'N', 'K', 0, 0, 0, 0});
    hostile.push_back({"empty chunks", junk});
    hostile.push_back({"all sync bytes", Bytes(std::size_t{4} << 20, 0x47)});
    Bytes boxes;
    for (int i = 0; i < 1000; ++i) {
        PutBe32(boxes, 1);
        Put(boxes, "moov");
        PutBe32(boxes, 0x7FFFFFFF);
        PutBe32(boxes, 0xFFFFFFFF);
    }
    hostile.push_back({"boxes of 2^63", boxes});
    Bytes voids = Ebml(0x1A45DFA3, {});
    Put(voids, Bytes{0x18, 0x53, 0x80, 0x67, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    while (voids.size() < (std::size_t{4} << 20)) Put(voids, Bytes{0xEC, 0x80});
    hostile.push_back({"empty voids in a segment of unknown size", voids});
    Bytes clusters = Ebml(0x1A45DFA3, {});
    Put(clusters, Bytes{0x18, 0x53, 0x80, 0x67, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    while (clusters.size() < (std::size_t{4} << 20)) Put(clusters, Bytes{0x1F, 0x43, 0xB6, 0x75, 0xFF, 0xA3, 0x80});
    hostile.push_back({"clusters of unknown size, empty blocks", clusters});
    hostile.push_back({"random", RandomBytes(std::size_t{4} << 20, 77)});
    for (const char* marker : {"Rar!\x1a\x07\x00", "Rar!\x1a\x07\x01\x00"}) {
        Bytes equal(marker, marker + std::strlen(marker) + 1);
        equal.resize(std::size_t{4} << 20, 0x74);  // every byte a pair, and a file header's type
        hostile.push_back({"a RAR archive of equal bytes", equal});
    }
    for (const auto& [what, bytes] : hostile) {
        EXPECT_LT(HostileCost(bytes), 2000.0) << what;
    }
}

}  // namespace
}  // namespace korbelt::test

namespace korbelt::test {
namespace {

// A split file's pieces: the one longer than the others is a region of their length, and
// the planner removes the find in it.
TEST(SplitPieces, APieceLongerThanTheOthersIsARegionOfTheirLength) {
    const std::vector<Piece> folder = {{"movie.avi.001", 1000}, {"movie.avi.002", 1001},
                                       {"movie.avi.003", 1000}, {"movie.avi.004", 300},
                                       {"other.001", 5},        {"movie.avi", 7}};
    const auto region = SplitPieceRegion(folder[1], folder);
    ASSERT_TRUE(region.has_value());
    EXPECT_EQ(region->what, "split piece 'movie.avi.002'");
    EXPECT_EQ(region->Excess(), 1);
    ASSERT_TRUE(SplitPieceRegion(folder[0], folder));
    EXPECT_EQ(SplitPieceRegion(folder[0], folder)->Excess(), 0);
    // The last piece's length nothing gives; a name that is no piece's; pieces that agree on
    // no length.
    EXPECT_FALSE(SplitPieceRegion(folder[3], folder));
    EXPECT_FALSE(SplitPieceRegion(folder[5], folder));
    const std::vector<Piece> ragged = {{"a.001", 1000}, {"a.002", 1100}, {"a.003", 1200},
                                       {"a.004", 10}};
    EXPECT_FALSE(SplitPieceRegion(ragged[0], ragged));
    // Of two pieces before the last, the shorter gives the length where the other is longer
    // by what damage adds, and no more.
    const std::vector<Piece> two = {{"b.001", 100000}, {"b.002", 100070}, {"b.003", 10}};
    ASSERT_TRUE(SplitPieceRegion(two[1], two));
    EXPECT_EQ(SplitPieceRegion(two[1], two)->Excess(), 70);
    EXPECT_EQ(SplitPieceRegion(two[0], two)->Excess(), 0);
    const std::vector<Piece> apart = {{"c.001", 100000}, {"c.002", 150000}, {"c.003", 10}};
    EXPECT_FALSE(SplitPieceRegion(apart[1], apart));
    // A piece cut short lacks bytes: removing any cannot make it whole.
    const std::vector<Piece> cut = {{"d.001", 1000}, {"d.002", 990}, {"d.003", 1000}, {"d.004", 5}};
    EXPECT_FALSE(SplitPieceRegion(cut[1], cut));

    const Bytes intact = RandomBytes(1000, 3);
    const Damaged damaged = RepeatBytes(intact, {500});
    fuzz::BytesInput input(damaged.bytes);
    RegionPlanner planner(input, 1001, nullptr);
    const RegionPlan plan = planner.Plan(*region, damaged.inserted);
    EXPECT_EQ(plan.standing, RegionStanding::Consistent);
    EXPECT_EQ(plan.removed, (std::vector<Removal>{{500, 1}}));
}

}  // namespace
}  // namespace korbelt::test
