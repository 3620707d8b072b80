// The wide write of the record I/O (korbWriteBuffEx and the engine's seam for it) and the
// vectorised marker scan, held against the plain reading of the scan rules.
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>

#include <gtest/gtest.h>

#include "TempDir.h"
#include "engine/system/KorbscanLibrary.h"
#include "engine/system/PosixFileSystem.h"

namespace korbelt::test {
namespace {

// The scan exactly as the rules read: the first CR CR LF or CR LF '-' that starts at an
// index from scanfrom to scanto - 1, else scanto.
int PlainScan(const std::uint8_t* buffer, int scanfrom, int scanto) {
    for (int i = scanfrom; i < scanto; ++i) {
        if (buffer[i] != 13) {
            continue;
        }
        if (buffer[i + 1] == 13 && buffer[i + 2] == 10) {
            return i;
        }
        if (buffer[i + 1] == 10 && buffer[i + 2] == '-') {
            return i;
        }
    }
    return scanto;
}

// Bytes drawn mostly from CR, LF, '-' and one other byte, so that triples, near misses and
// runs of CRs turn up everywhere, in every position of a vector.
Bytes DenseMarkerBytes(std::size_t count, std::uint32_t seed, int otherPercent) {
    std::mt19937 random(seed);
    const std::uint8_t pool[] = {13, 10, '-'};
    Bytes bytes(count);
    for (auto& byte : bytes) {
        const int roll = static_cast<int>(random() % 100);
        byte = roll < otherPercent ? static_cast<std::uint8_t>('a' + random() % 3)
                                   : pool[random() % 3];
    }
    return bytes;
}

class RecordIoTest : public ::testing::Test {
  protected:
    KorbscanLibrary library;
    TempDir dir;
};

TEST_F(RecordIoTest, VectorisedScanFindsWhatThePlainScanFindsForEveryRange) {
    for (const int otherPercent : {10, 60, 97}) {
        const Bytes bytes =
            DenseMarkerBytes(300, static_cast<std::uint32_t>(otherPercent), otherPercent);
        for (int from = 0; from < 200; from += 1) {
            for (int to = from; to <= 298; to += 7) {
                ASSERT_EQ(library.ScanBuff(bytes.data(), static_cast<std::int16_t>(from),
                                           static_cast<std::int16_t>(to)),
                          PlainScan(bytes.data(), from, to))
                    << "from " << from << " to " << to << " others " << otherPercent;
            }
        }
    }
}

TEST_F(RecordIoTest, VectorisedScanOverWholeRecordsAsThePassCallsIt) {
    // A record buffer of random bytes with triples sprinkled in, scanned on from the index
    // after each find, the way the pass goes through a record.
    std::mt19937 random(77);
    for (int round = 0; round < 200; ++round) {
        Bytes buff = RandomBytes(10291, static_cast<std::uint32_t>(round));
        for (int k = 0; k < 40; ++k) {
            const std::size_t at = random() % 10289;
            buff[at] = 13;
            buff[at + 1] = random() % 2 == 0 ? 10 : 13;
            buff[at + 2] = random() % 3 == 0 ? 'x' : (buff[at + 1] == 13 ? 10 : '-');
        }
        for (int currpos = 0; currpos < 10240; ++currpos) {
            const int found = library.ScanBuff(buff.data(), static_cast<std::int16_t>(currpos),
                                               static_cast<std::int16_t>(10240));
            ASSERT_EQ(found, PlainScan(buff.data(), currpos, 10240)) << "round " << round;
            currpos = found;
        }
    }
}

TEST_F(RecordIoTest, VectorisedScanReadsNothingBeyondTwoBytesPastItsLastStart) {
    // The buffer ends right before an unreadable page: a read of one byte too many faults.
    const long page = sysconf(_SC_PAGESIZE);
    auto* pages = static_cast<std::uint8_t*>(mmap(nullptr, static_cast<std::size_t>(2 * page),
                                                  PROT_READ | PROT_WRITE,
                                                  MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(pages, MAP_FAILED);
    ASSERT_EQ(mprotect(pages + page, static_cast<std::size_t>(page), PROT_NONE), 0);
    const Bytes fill = DenseMarkerBytes(static_cast<std::size_t>(page), 5, 90);
    std::copy(fill.begin(), fill.end(), pages);
    for (int to = 0; to <= 600; ++to) {
        // Indexes 0 to to + 1 readable, and nothing after them.
        const std::uint8_t* buffer = pages + page - (to + 2);
        for (const int from : {0, to / 2, to - 1, to - 33}) {
            if (from < 0) {
                continue;
            }
            ASSERT_EQ(library.ScanBuff(buffer, static_cast<std::int16_t>(from),
                                       static_cast<std::int16_t>(to)),
                      PlainScan(buffer, from, to));
        }
    }
    // A triple whose tail is the last two readable bytes.
    std::uint8_t* last = pages + page - 3;
    last[0] = 13, last[1] = 10, last[2] = '-';
    std::fill(pages + page - 100, last, 'x');
    EXPECT_EQ(library.ScanBuff(pages + page - 100, 0, 98), 97);
    munmap(pages, static_cast<std::size_t>(2 * page));
}

TEST_F(RecordIoTest, TheLibraryHasTheWideWrite) {
    EXPECT_TRUE(library.HasWriteBuffEx());
}

TEST_F(RecordIoTest, WideWriteTakesMoreThanARecordAndKeepsEveryByteAsItIs) {
    const std::string path = dir.File("out.$$$");
    const std::int32_t handle = library.OpenFile(path);
    ASSERT_GE(handle, 0);
    Bytes bytes = RandomBytes(100000, 3);
    bytes[0] = 13, bytes[1] = 10, bytes[99998] = 10, bytes[99999] = 13;
    const Bytes tail = {1, 2, 3};
    EXPECT_EQ(library.WriteBuffEx(handle, bytes.data(), 100000), 100000);
    EXPECT_EQ(library.WriteBuff(handle, tail.data(), 3), 3);
    EXPECT_EQ(library.WriteBuffEx(handle, tail.data(), 0), 0);
    library.CloseFile(handle);
    Bytes expected = bytes;
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(ReadBytes(path), expected);
}

TEST_F(RecordIoTest, WideWriteRefusesANegativeLengthAndABadHandle) {
    const std::string path = dir.File("out.$$$");
    const std::int32_t handle = library.OpenFile(path);
    ASSERT_GE(handle, 0);
    const Bytes bytes(10, 'q');
    EXPECT_EQ(library.WriteBuffEx(handle, bytes.data(), -1), -1);
    library.CloseFile(handle);
    EXPECT_TRUE(ReadBytes(path).empty());
    errno = 0;
    EXPECT_EQ(library.WriteBuffEx(-1, bytes.data(), 10), -1);
    EXPECT_EQ(errno, EBADF);
}

// Every copy the library makes is Korbelt's by its mark, from the moment it has its name and
// for as long as it keeps it; the name it takes is still only ever a new one.
TEST_F(RecordIoTest, ACopyCarriesKorbeltsMarkUnderTheNameItWasMadeUnder) {
    PosixFileSystem fs;
    const std::string path = dir.File("movie.avi.$$$");
    const std::int32_t handle = library.OpenFile(path);
    ASSERT_GE(handle, 0);
    EXPECT_EQ(fs.MarkOf(path), KorbeltMark::Copy);
    EXPECT_EQ(library.OpenFile(path), -1);
    EXPECT_EQ(errno, EEXIST);
    library.CloseFile(handle);
    ASSERT_EQ(rename(path.c_str(), dir.File("movie.avi").c_str()), 0);
    EXPECT_EQ(fs.MarkOf(dir.File("movie.avi")), KorbeltMark::None);
    ASSERT_EQ(symlink("movie.avi", path.c_str()), 0);
    EXPECT_EQ(fs.MarkOf(path), KorbeltMark::None);
    EXPECT_EQ(library.OpenFile(path), -1);
    EXPECT_EQ(library.OpenFile(dir.File("no such folder/x.$$$")), -1);
}

// Record I/O that only has the record write: the seam's own wide write cuts it up.
class RecordWritesOnly : public RecordIo {
  public:
    std::int32_t OpenFile(const std::string&) override { return 5; }
    std::int32_t CloseFile(std::int32_t) override { return 0; }
    std::int32_t ScanBuff(const std::uint8_t*, std::int16_t, std::int16_t scanto) override {
        return scanto;
    }
    std::int32_t WriteBuff(std::int32_t handle, const std::uint8_t* buffer,
                           std::int16_t length) override {
        EXPECT_EQ(handle, 5);
        calls.push_back(length);
        if (static_cast<int>(calls.size()) == failAt) {
            return -1;
        }
        const std::int32_t taken = static_cast<int>(calls.size()) == shortAt ? length / 2 : length;
        written.insert(written.end(), buffer, buffer + taken);
        return taken;
    }

    std::vector<int> calls;
    Bytes written;
    int failAt = 0;
    int shortAt = 0;
};

TEST(RecordIoSeam, WithoutAWideCallOfItsOwnTheEngineIsToldToWriteRecordByRecord) {
    RecordWritesOnly io;
    EXPECT_FALSE(io.HasWriteBuffEx());
}

TEST(RecordIoSeam, WideWriteIsCutIntoRecordWritesInOrder) {
    RecordWritesOnly io;
    const Bytes bytes = RandomBytes(70000, 9);
    EXPECT_EQ(io.WriteBuffEx(5, bytes.data(), 70000), 70000);
    EXPECT_EQ(io.calls, (std::vector<int>{32767, 32767, 4466}));
    EXPECT_EQ(io.written, bytes);
    EXPECT_EQ(io.WriteBuffEx(5, bytes.data(), 0), 0);
    EXPECT_EQ(io.calls.size(), 3u);
}

TEST(RecordIoSeam, CutWideWriteStopsAtTheFirstFailureOrShortWrite) {
    const Bytes bytes = RandomBytes(70000, 9);
    RecordWritesOnly failing;
    failing.failAt = 2;
    EXPECT_EQ(failing.WriteBuffEx(5, bytes.data(), 70000), -1);
    EXPECT_EQ(failing.calls.size(), 2u);

    RecordWritesOnly shortOne;
    shortOne.shortAt = 2;
    EXPECT_EQ(shortOne.WriteBuffEx(5, bytes.data(), 70000), 32767 + 16383);
    EXPECT_EQ(shortOne.calls.size(), 2u);

    RecordWritesOnly negative;
    EXPECT_EQ(negative.WriteBuffEx(5, bytes.data(), -7), -1);
    EXPECT_TRUE(negative.calls.empty());
}

}  // namespace
}  // namespace korbelt::test
