// Checksum files made by the real tools (par2, cksfv, md5sum, sha256sum), read back: every
// file's length, digest and slice checksums as the tools computed them; damaged, truncated
// and hostile checksum files read without harm.
#include <gtest/gtest.h>

#include "ChildProcess.h"
#include "PostedSlices.h"
#include "TempDir.h"
#include "engine/system/PosixFileSystem.h"
#include "verify/BackgroundCheck.h"
#include "verify/ChecksumCatalog.h"
#include "verify/TextLists.h"

namespace korbelt::test {
namespace {

// Runs a tool in the directory given; the test is skipped where the tool is missing.
void Tool(const std::string& directory, const std::string& command) {
    const ProgramResult result =
        RunProgram("/bin/sh", {"-c", "cd \"$1\" && " + command, "sh", directory}, "", {});
    ASSERT_EQ(result.exitCode, 0) << command << "\n" << result.out << result.err;
}

DigestBytes Md5Of(const Bytes& bytes) {
    return DigestOf(DigestKind::Md5, bytes.data(), bytes.size());
}

class ChecksumFiles : public ::testing::Test {
  protected:
    std::string Put(const std::string& name, const Bytes& bytes) {
        WriteBytes(dir.File(name), bytes);
        return dir.File(name);
    }

    TempDir dir;
    PosixFileSystem fs;
    ChecksumCatalog catalog{fs};
    const Bytes first = RandomBytes(300000, 1);
    const Bytes second = RandomBytes(123457, 2);
};

TEST_F(ChecksumFiles, AParSetDescribesEveryFileAndItsSlicesWhateverVolumeIsRead) {
    Put("first file.avi", first);
    Put("second.r00", second);
    Tool(dir.Path(), "par2 create -q -q -s8192 -r10 -n1 set.par2 'first file.avi' second.r00");
    const auto names = ListDirectory(dir.Path());
    ASSERT_EQ(names.size(), 4u);  // the two files, the index and one volume
    for (const std::string& par : {names[2], names[3]}) {
        SCOPED_TRACE(par);
        std::error_code error;
        auto file = fs.OpenInput(dir.File(par), error);
        ASSERT_TRUE(file);
        Par2Contents set = ReadPar2(*file, dir.File(par));
        EXPECT_TRUE(set.AllPacketsSound());
        ASSERT_EQ(set.files.size(), 2u);
        for (Expectation& entry : set.files) {
            ASSERT_TRUE(LoadSlices(*file, entry));
            const Bytes& bytes = entry.name == "first file.avi" ? first : second;
            EXPECT_EQ(entry.length, static_cast<std::int64_t>(bytes.size())) << entry.name;
            EXPECT_EQ(entry.digest, Md5Of(bytes)) << entry.name;
            ASSERT_EQ(entry.sliceSize, 8192);
            const auto slices = SlicesOf(bytes, 8192);
            ASSERT_EQ(entry.slices.size(), slices.size());
            for (std::size_t i = 0; i < slices.size(); ++i) {
                EXPECT_EQ(entry.slices[i].md5, slices[i].md5) << entry.name << " slice " << i;
                EXPECT_EQ(entry.slices[i].crc32, slices[i].crc32) << entry.name << " slice " << i;
            }
        }
    }
    const auto found = catalog.For(dir.File("FIRST FILE.AVI")).entries;
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].HasSlices(), true);
    EXPECT_EQ(found[0].name, "first file.avi");
    EXPECT_EQ(found[0].source, dir.File(names[2]));
    // An index cut short: the volume, passed over while the index was sound, describes it.
    const Bytes index = ReadBytes(dir.File(names[2]));
    Put(names[2], Bytes(index.begin(), index.begin() + static_cast<long>(index.size() / 3)));
    ChecksumCatalog fresh{fs};
    // What is left of the index still gives the file's MD5, behind the volume's slices.
    const auto fromVolume = fresh.For(dir.File("second.r00")).entries;
    ASSERT_EQ(fromVolume.size(), 2u);
    EXPECT_EQ(fromVolume[0].source, dir.File(names[3]));
    EXPECT_EQ(fromVolume[0].slices.size(), SlicesOf(second, 8192).size());
}

TEST_F(ChecksumFiles, DamagedTruncatedAndHostileParFilesAreReadWithoutHarm) {
    Put("a.bin", first);
    Tool(dir.Path(), "par2 create -q -q -s4096 -r5 a.par2 a.bin");
    const Bytes sound = ReadBytes(dir.File("a.par2"));
    const auto read = [&](const Bytes& bytes) {
        Put("x.par2", bytes);
        std::error_code error;
        auto file = fs.OpenInput(dir.File("x.par2"), error);
        return ReadPar2(*file, "x.par2");
    };
    // A byte changed inside the first packet: that packet fails its MD5, the rest is read.
    Bytes flipped = sound;
    flipped[100] ^= 0xff;
    const Par2Contents damaged = read(flipped);
    EXPECT_EQ(damaged.damagedPackets, 1);
    EXPECT_GT(damaged.packets, 0);
    // Cut off in the middle, and a length of 2^63: nothing beyond the cut, no huge read.
    EXPECT_LT(read(Bytes(sound.begin(), sound.begin() + sound.size() / 2)).files.size(), 2u);
    Bytes absurd = sound;
    absurd[15] = 0x7f;
    EXPECT_GE(read(absurd).damagedPackets, 1);
    // Noise with the magic sprinkled in, and nothing at all.
    Bytes noise = RandomBytes(200000, 9);
    for (std::size_t at = 0; at + 8 < noise.size(); at += 997) {
        std::copy_n("PAR2\0PKT", 8, noise.begin() + static_cast<long>(at));
    }
    EXPECT_TRUE(read(noise).files.empty());
    EXPECT_FALSE(read({}).IsPar2());
}

// A PAR 2.0 file in memory that counts the bytes read from it.
class CountedPar2 : public InputFile {
  public:
    explicit CountedPar2(Bytes bytes) : bytes_(std::move(bytes)) {}
    std::int64_t Length(std::error_code&) override {
        return static_cast<std::int64_t>(bytes_.size());
    }
    std::size_t ReadAt(std::int64_t offset, std::uint8_t* buffer, std::size_t count,
                       std::error_code&) override {
        const auto from = std::min(bytes_.size(), static_cast<std::size_t>(offset));
        const std::size_t n = std::min(count, bytes_.size() - from);
        std::copy_n(bytes_.begin() + static_cast<long>(from), n, buffer);
        read += n;
        return n;
    }
    std::error_code Identify(FileIdentity&) override { return {}; }
    LockResult Lock() override { return LockResult::Unsupported; }
    std::error_code SetAccess(const FileIdentity&) override { return {}; }
    std::size_t read = 0;

  private:
    Bytes bytes_;
};

// A packet header: the magic, the length, a wrong MD5, set 0 and the type given.
void PutHeader(Bytes& bytes, std::size_t at, std::uint64_t length, const char (&type)[17]) {
    std::copy_n("PAR2\0PKT", 8, bytes.begin() + static_cast<long>(at));
    for (int i = 0; i < 8; ++i) {
        bytes[at + 8 + i] = static_cast<std::uint8_t>(length >> (8 * i));
    }
    std::copy_n(type, 16, bytes.begin() + static_cast<long>(at + 48));
}

// Each byte is read a bounded number of times whatever the file holds: a run of packet
// magic, and packets nested in packets that each claim the rest of the file.
TEST(Par2Reading, HostileFilesCostAboutAReadOfTheirBytes) {
    Bytes magic(4 << 20);
    for (std::size_t at = 0; at < magic.size(); at += 8) {
        std::copy_n("PAR2\0PKT", 8, magic.begin() + static_cast<long>(at));
    }
    CountedPar2 repeated(magic);
    EXPECT_EQ(ReadPar2(repeated, "x.par2").packets, 0);
    EXPECT_LE(repeated.read, 2 * magic.size());

    Bytes nested(1 << 20);
    for (std::size_t at = 0; at + 64 <= nested.size(); at += 64) {
        PutHeader(nested, at, nested.size() - at, "PAR 2.0\0FileDesc");
    }
    CountedPar2 inside(nested);
    EXPECT_EQ(ReadPar2(inside, "x.par2").damagedPackets, static_cast<int>(nested.size() / 64));
    EXPECT_LE(inside.read, 2 * nested.size() + (17 << 20));
}

TEST(Par2Reading, SliceCountsHoldForEveryLength) {
    EXPECT_EQ(SliceCount(INT64_MAX, 4), INT64_MAX / 4 + 1);
    EXPECT_EQ(SliceCount(INT64_MAX - 3, 4), INT64_MAX / 4);
    EXPECT_EQ(SliceCount(8, 4), 2);
    EXPECT_EQ(SliceCount(0, 4), 0);
    EXPECT_EQ(SliceCount(-1, 4), 0);
}

// The offset of the packet of this type describing the file with this ID's first byte, found
// by walking the headers of a sound file.
std::size_t PacketOf(const Bytes& par2, const std::string& type, std::size_t nth) {
    for (std::size_t at = 0; at + 64 <= par2.size();) {
        std::uint64_t length = 0;
        for (int i = 7; i >= 0; --i) {
            length = length << 8 | par2[at + 8 + i];
        }
        if (std::string(par2.begin() + static_cast<long>(at + 48),
                        par2.begin() + static_cast<long>(at + 64)) == type &&
            nth-- == 0) {
            return at;
        }
        at += length;
    }
    ADD_FAILURE() << "no such packet";
    return 0;
}

// A packet whose own MD5 fails is never used: one bit flipped in a file's description loses
// that file, in its slice checksums loses only its slices.
TEST_F(ChecksumFiles, APacketThatFailsItsMd5IsNeverUsed) {
    Put("a.bin", first);
    Put("b.bin", second);
    Tool(dir.Path(), "par2 create -q -q -s4096 -c0 set.par2 a.bin b.bin");
    Bytes par2 = ReadBytes(dir.File("set.par2"));
    const std::string description("PAR 2.0\0FileDesc", 16);
    const std::string slices("PAR 2.0\0IFSC\0\0\0\0", 16);
    const auto nameAt = [&](std::size_t packet) {
        return std::string(reinterpret_cast<const char*>(&par2[packet + 64 + 56]));
    };
    const std::size_t a =
        PacketOf(par2, description, nameAt(PacketOf(par2, description, 0)) == "a.bin" ? 0 : 1);
    par2[a + 64 + 20] ^= 0x08;  // in a.bin's MD5
    // Slice checksums come in the order of the descriptions: b.bin's are the other ones.
    const std::size_t b =
        PacketOf(par2, slices, nameAt(PacketOf(par2, description, 0)) == "a.bin" ? 1 : 0);
    par2[b + 64 + 16 + 16] ^= 0x01;  // in the CRC-32 of b.bin's first slice
    Put("set.par2", par2);
    const Evidence forA = catalog.For(dir.File("a.bin"));
    EXPECT_TRUE(forA.entries.empty());
    const Evidence forB = catalog.For(dir.File("b.bin"));
    ASSERT_EQ(forB.entries.size(), 1u);
    EXPECT_EQ(forB.entries[0].digest, Md5Of(second));
    EXPECT_FALSE(forB.entries[0].HasSlices());
}

TEST_F(ChecksumFiles, SfvAndDigestListsOfEveryFormNameTheirFiles) {
    Put("with space.avi", first);
    Put("b.bin", second);
    Tool(dir.Path(), "cksfv -q 'with space.avi' b.bin > set.sfv");
    Tool(dir.Path(), "md5sum -b 'with space.avi' > text.md5 && md5sum b.bin >> text.md5");
    Tool(dir.Path(), "sha256sum --tag 'with space.avi' > bsd.sha256");
    Tool(dir.Path(), "printf '; comment\\n\\ngarbage line\\n%0200000d\\n' 0 >> set.sfv");
    const auto spaced = catalog.For(dir.File("with space.avi")).entries;
    ASSERT_EQ(spaced.size(), 3u);  // the two digests first, then the CRC-32
    EXPECT_EQ(spaced[2].crc32, Crc32(0, first.data(), first.size()));
    EXPECT_EQ(spaced[0].digest, DigestOf(DigestKind::Sha256, first.data(), first.size()));
    EXPECT_EQ(spaced[1].digest, Md5Of(first));
    const auto b = catalog.For(dir.File("b.bin")).entries;
    ASSERT_EQ(b.size(), 2u);
    EXPECT_EQ(b[0].kind, DigestKind::Md5);
    EXPECT_EQ(b[0].digest, Md5Of(second));
    EXPECT_EQ(b[0].source, dir.File("text.md5"));
    const Bytes sfvText = ReadBytes(dir.File("set.sfv"));
    const auto crcs = ParseSfv(std::string(sfvText.begin(), sfvText.end()), "set.sfv");
    ASSERT_EQ(crcs.size(), 2u);
    EXPECT_EQ(crcs[1].name, "b.bin");
    EXPECT_EQ(crcs[1].crc32, Crc32(0, second.data(), second.size()));
    EXPECT_TRUE(catalog.For(dir.File("missing.avi")).Empty());
}

TEST_F(ChecksumFiles, ANameWithANewlineIsEscapedInTheListAndStillFound) {
    const std::string odd = "new\nline\\.avi";
    Put(odd, first);
    Tool(dir.Path(), "md5sum new*line* > odd.md5");
    const auto found = catalog.For(dir.File(odd)).entries;
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].digest, Md5Of(first));
}

// Slices are hashed on several threads, a block of whole slices at a time: the check must
// come out as the file's MD5 would, whatever the pieces it is fed in, across blocks and
// with a short last slice, with slices larger than a block; beyond 8 MiB the digest decides.
TEST(BackgroundCheckTest, ProvesAStreamByItsSlicesAsByItsDigest) {
    const Bytes posted = RandomBytes((5 << 20) + 123, 4);
    Expectation expected = PostedAs(posted, 65536);
    const auto check = [&](const Bytes& bytes) {
        BackgroundCheck background(expected, false);
        for (std::size_t at = 0; at < bytes.size(); at += 100003) {
            background.Add(bytes.data() + at, std::min<std::size_t>(100003, bytes.size() - at));
        }
        return background.Finish();
    };
    ASSERT_TRUE(BackgroundCheck::ChecksBySlices(expected));
    const auto intact = check(posted);
    EXPECT_TRUE(intact.matches);
    EXPECT_EQ(intact.slicesMatching, 81);
    EXPECT_EQ(intact.sliceCount, 81);
    Bytes flipped = posted;
    flipped[40 * 65536 + 7] ^= 1;
    const auto damaged = check(flipped);
    EXPECT_FALSE(damaged.matches);
    EXPECT_EQ(damaged.slicesMatching, 80);
    Bytes longer = posted;
    longer.push_back(0);  // every slice still matches, padded with zeros; the length does not
    EXPECT_FALSE(check(longer).matches);
    EXPECT_EQ(check(longer).slicesMatching, 81);

    // Slices larger than a block: one to a block. Larger still: the file's digest decides.
    for (const std::int64_t size : {std::int64_t{3} << 20, std::int64_t{16} << 20}) {
        expected.sliceSize = size;
        expected.slices = SlicesOf(posted, static_cast<std::size_t>(size));
        EXPECT_EQ(BackgroundCheck::ChecksBySlices(expected), size < (16 << 20));
        EXPECT_TRUE(check(posted).matches);
        EXPECT_FALSE(check(flipped).matches);
    }
}

}  // namespace
}  // namespace korbelt::test
