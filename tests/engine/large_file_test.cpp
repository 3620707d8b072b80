// A sparse file larger than 2 GiB, with finds on both sides of 2,147,483,648.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "PassFixture.h"

namespace korbelt::test {
namespace {

constexpr std::int64_t kTwoGiB = 2147483648LL;

void PutAt(int fd, std::int64_t offset, const Bytes& bytes) {
    ASSERT_EQ(pwrite(fd, bytes.data(), bytes.size(), offset), static_cast<ssize_t>(bytes.size()));
}

Bytes ReadAt(const std::string& path, std::int64_t offset, std::size_t count) {
    Bytes bytes(count);
    const int fd = open(path.c_str(), O_RDONLY);
    const ssize_t n = pread(fd, bytes.data(), count, offset);
    close(fd);
    bytes.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
    return bytes;
}

TEST_F(PassFixture, FilesBeyondTwoGigabytesAreRepairedWithWidePositions) {
    const std::string path = dir.File("huge.mkv");
    const std::int64_t length = kTwoGiB + 30 * 1024 * 1024;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, length), 0);
    // The zeros after each triple are all equal, so the last pair of the window goes:
    // offset 44 after the CR.
    const std::int64_t before = kTwoGiB - 5000;
    const std::int64_t after = kTwoGiB + 7000;
    PutAt(fd, before, {13, 10, '-'});
    PutAt(fd, after, {13, 10, '-'});
    PutAt(fd, after + 100, {'e', 'n', 'd'});
    close(fd);

    Process(path);

    const std::string zeros = "000 000 000 000 000 000 000  removed";
    EXPECT_EQ(Lines(), (std::vector<std::string>{
                           path, "  @2,147,478,649 found " + zeros,
                           "  @2,147,490,649 found " + zeros,
                           "  2 bytes removed, 2,178,940,928 bytes read, 2,178,940,926 bytes "
                           "written."}));
    EXPECT_FALSE(run.fileerror);
    // The second triple moved one byte towards the start, the marker after it two.
    EXPECT_EQ(ReadAt(path, after - 1, 3), (Bytes{13, 10, '-'}));
    EXPECT_EQ(ReadAt(path, after + 98, 3), (Bytes{'e', 'n', 'd'}));
    EXPECT_EQ(ReadAt(path + ".bak", after + 100, 3), (Bytes{'e', 'n', 'd'}));
}

}  // namespace
}  // namespace korbelt::test
