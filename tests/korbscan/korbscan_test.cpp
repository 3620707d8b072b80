// The record I/O library, loaded the way the program loads it.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include <gtest/gtest.h>

#include "TempDir.h"
#include "engine/system/KorbscanLibrary.h"

namespace korbelt {
namespace {

using test::Bytes;

class KorbscanTest : public ::testing::Test {
  protected:
    int Scan(const Bytes& bytes, int from, int to) {
        return library.ScanBuff(bytes.data(), static_cast<std::int16_t>(from),
                                static_cast<std::int16_t>(to));
    }
    KorbscanLibrary library;
    test::TempDir dir;
};

// A buffer of 64 'x' bytes with the given bytes placed at index at.
Bytes Buffer(std::size_t at, const Bytes& bytes) {
    Bytes buffer(64, 'x');
    std::copy(bytes.begin(), bytes.end(), buffer.begin() + static_cast<long>(at));
    return buffer;
}

TEST_F(KorbscanTest, EmptyRangeReturnsScantoWithoutReadingTheBuffer) {
    EXPECT_EQ(library.ScanBuff(nullptr, 10, 10), 10);
    EXPECT_EQ(library.ScanBuff(nullptr, 12, 3), 3);
    EXPECT_EQ(library.ScanBuff(nullptr, -1, -5), -5);
}

TEST_F(KorbscanTest, FindsBothTriplesAndTellsThemApartByTheSecondByte) {
    const Bytes wrapper = Buffer(7, {13, 13, 10});
    EXPECT_EQ(Scan(wrapper, 0, 40), 7);
    EXPECT_EQ(wrapper[8], 13);
    const Bytes repeat = Buffer(9, {13, 10, '-'});
    EXPECT_EQ(Scan(repeat, 0, 40), 9);
    EXPECT_EQ(repeat[10], 10);
}

TEST_F(KorbscanTest, ThreeCarriageReturnsThenLineFeedMatchOneLater) {
    EXPECT_EQ(Scan(Buffer(5, {13, 13, 13, 10}), 0, 40), 6);
}

TEST_F(KorbscanTest, WrapperTripleWinsOverTheDashTripleInsideIt) {
    EXPECT_EQ(Scan(Buffer(5, {13, 13, 10, '-'}), 0, 40), 5);
}

TEST_F(KorbscanTest, TripleStartingAtTheLastIndexIsFoundWithItsTailBeyondScanto) {
    EXPECT_EQ(Scan(Buffer(39, {13, 10, '-'}), 0, 40), 39);
    EXPECT_EQ(Scan(Buffer(40, {13, 10, '-'}), 0, 40), 40);  // starts at scanto: not found
}

TEST_F(KorbscanTest, LoneCarriageReturnsAndOtherLineEndsArePassedOver) {
    EXPECT_EQ(Scan(Buffer(3, {13, 'a', 13, 10, 'a', 13, 10, 10, 10, 13}), 0, 40), 40);
    EXPECT_EQ(Scan(Buffer(3, {13, 10, '-'}), 4, 40), 40);             // starts before scanfrom
    EXPECT_EQ(Scan(Buffer(3, {13, 10, '-', 13, 13, 10}), 0, 40), 3);  // lowest index wins
    EXPECT_EQ(Scan(Buffer(3, {13, 10, '-', 13, 13, 10}), 4, 40), 6);
}

TEST_F(KorbscanTest, FullRecordScanReadsOnlyTwoBytesPastScanto) {
    // The engine's buffer: 10240 bytes of record plus look-ahead, triple at 10239.
    Bytes record(10242, 'x');
    record[10239] = 13;
    record[10240] = 10;
    record[10241] = '-';
    EXPECT_EQ(Scan(record, 0, 10240), 10239);
}

// Whatever is under the name is someone's: another run's copy, a planted file.
TEST_F(KorbscanTest, AnExistingFileIsNeverOpenedNorEmptied) {
    const std::string path = dir.File("out.$$$");
    test::WriteBytes(path, Bytes(100, 7));
    errno = 0;
    EXPECT_EQ(library.OpenFile(path), -1);
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(test::ReadBytes(path), Bytes(100, 7));
}

TEST_F(KorbscanTest, WritesFollowEachOtherAndPassLineEndsUntranslated) {
    const std::string path = dir.File("out.$$$");
    const std::int32_t handle = library.OpenFile(path);
    ASSERT_GE(handle, 0);
    const Bytes first = {10, 13, 'a', 13, 10};
    const Bytes second = {0, 255, 10};
    EXPECT_EQ(library.WriteBuff(handle, first.data(), 5), 5);
    EXPECT_EQ(library.WriteBuff(handle, second.data(), 0), 0);
    EXPECT_EQ(library.WriteBuff(handle, second.data(), 3), 3);
    library.CloseFile(handle);
    EXPECT_EQ(test::ReadBytes(path), (Bytes{10, 13, 'a', 13, 10, 0, 255, 10}));
}

// Readable by its writer only, until the engine gives it the input's permissions.
TEST_F(KorbscanTest, NewFileIsTheWritersAlone) {
    const mode_t old = umask(0);
    const std::string path = dir.File("perm.$$$");
    const std::int32_t handle = library.OpenFile(path);
    umask(old);
    ASSERT_GE(handle, 0);
    library.CloseFile(handle);
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(KorbscanTest, OpenFailsOnBadPathAndOnAPlantedSymbolicLink) {
    EXPECT_EQ(library.OpenFile(dir.File("missing/dir/x.$$$")), -1);
    const std::string target = dir.File("precious");
    test::WriteBytes(target, Bytes(10, 'p'));
    const std::string link = dir.File("a.avi.$$$");
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    EXPECT_EQ(library.OpenFile(link), -1);
    EXPECT_EQ(test::ReadBytes(target), Bytes(10, 'p'));
}

TEST_F(KorbscanTest, WriteToAClosedHandleFails) {
    const Bytes bytes(10, 1);
    EXPECT_EQ(library.WriteBuff(-1, bytes.data(), 10), -1);
    EXPECT_EQ(library.CloseFile(-1), 0);
}

TEST_F(KorbscanTest, WriteBeyondTheFileSizeLimitReportsFailure) {
    const std::string path = dir.File("limited.$$$");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{100, 100};
        setrlimit(RLIMIT_FSIZE, &limit);
        KorbscanLibrary own;
        const std::int32_t handle = own.OpenFile(path);
        const Bytes bytes(1000, 'z');
        const std::int32_t written = own.WriteBuff(handle, bytes.data(), 1000);
        own.CloseFile(handle);
        _exit(written == -1 ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(test::ReadBytes(path).size(), 100u);  // what did reach the file
}

}  // namespace
}  // namespace korbelt
