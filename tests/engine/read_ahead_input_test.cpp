// The read-ahead window: every read answers exactly what the file itself would answer,
// bytes, count and error, with far fewer read calls of the file.
#include <cerrno>
#include <random>

#include <gtest/gtest.h>

#include "TempDir.h"
#include "engine/scan/ReadAheadInput.h"

namespace korbelt::test {
namespace {

// A file in memory that counts its reads. It can end before the length it reports (a file
// that shrank) and can fail every read that reaches a bad spot, after delivering the bytes
// before it, as a disk with an unreadable sector does.
class MemoryFile : public InputFile {
  public:
    explicit MemoryFile(Bytes bytes) : bytes_(std::move(bytes)) {}

    std::int64_t Length(std::error_code& error) override {
        if (lengthError) {
            error = std::make_error_code(std::errc::io_error);
            return 0;
        }
        return reportedLength >= 0 ? reportedLength : static_cast<std::int64_t>(bytes_.size());
    }

    std::size_t ReadAt(std::int64_t offset, std::uint8_t* buffer, std::size_t count,
                       std::error_code& error) override {
        ++reads;
        readBytes += count;
        std::size_t done = 0;
        for (std::int64_t at = offset; done < count; ++at, ++done) {
            if (at == badSpot) {
                error = std::make_error_code(std::errc::io_error);
                return done;
            }
            if (at >= static_cast<std::int64_t>(bytes_.size())) {
                break;
            }
            buffer[done] = bytes_[static_cast<std::size_t>(at)];
        }
        return done;
    }

    std::error_code Identify(FileIdentity&) override { return {}; }
    LockResult Lock() override { return LockResult::Locked; }
    std::error_code SetAccess(const FileIdentity&) override { return {}; }

    std::int64_t reportedLength = -1;
    std::int64_t badSpot = -1;
    bool lengthError = false;
    int reads = 0;
    std::size_t readBytes = 0;

  private:
    Bytes bytes_;
};

struct ReadResult {
    Bytes bytes;
    std::size_t count = 0;
    std::error_code error;
    bool operator==(const ReadResult&) const = default;
};

ReadResult Read(InputFile& file, std::int64_t offset, std::size_t count) {
    ReadResult result;
    result.bytes.assign(count, 0xEE);
    result.count = file.ReadAt(offset, result.bytes.data(), count, result.error);
    result.bytes.resize(result.count);
    return result;
}

// The reads of a repair pass: records of up to 10291 bytes, each starting somewhere in the
// one before (after a removal) or 10240 bytes on, now and then a jump past a wrapper.
std::vector<std::pair<std::int64_t, std::size_t>> PassLikeReads(std::int64_t length,
                                                                std::uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<std::pair<std::int64_t, std::size_t>> reads;
    std::int64_t at = 0;
    while (at < length) {
        const std::size_t count =
            static_cast<std::size_t>(std::min<std::int64_t>(10291, length - at));
        reads.emplace_back(at, count);
        const int roll = static_cast<int>(random() % 10);
        at += roll < 6 ? 10240 : roll < 9 ? 1 + random() % 10290 : 10240 + random() % 20000;
    }
    return reads;
}

class ReadAheadInputTest : public ::testing::Test {
  protected:
    // The same bytes twice: one file read directly, one through a window.
    void Make(const Bytes& bytes, std::size_t windowSize) {
        auto windowed = std::make_unique<MemoryFile>(bytes);
        windowedFile = windowed.get();
        window.assign(windowSize, 0);
        input = std::make_unique<ReadAheadInput>(std::move(windowed), window);
        direct = std::make_unique<MemoryFile>(bytes);
    }

    Bytes window;
    MemoryFile* windowedFile = nullptr;
    std::unique_ptr<ReadAheadInput> input;
    std::unique_ptr<MemoryFile> direct;
};

TEST_F(ReadAheadInputTest, ServesThePassesReadsAsTheFileDoesWithFewReadCalls) {
    const Bytes bytes = RandomBytes(3'000'000, 1);
    for (const std::size_t windowSize : {10291u, 12345u, 65536u, 262144u, 1048576u}) {
        Make(bytes, windowSize);
        const auto reads = PassLikeReads(static_cast<std::int64_t>(bytes.size()), 2);
        for (const auto& [offset, count] : reads) {
            ASSERT_EQ(Read(*input, offset, count), Read(*direct, offset, count))
                << "window " << windowSize << " offset " << offset;
        }
        if (windowSize >= 65536) {
            EXPECT_LT(windowedFile->reads * 4, static_cast<int>(reads.size()));
        }
        // The window only reads on from what it holds: every byte once, give or take.
        EXPECT_LT(windowedFile->readBytes, bytes.size() + 2 * windowSize);
    }
}

TEST_F(ReadAheadInputTest, ReadsBackwardsAndFarAheadAndLargerThanTheWindowAreServedToo) {
    const Bytes bytes = RandomBytes(200000, 4);
    Make(bytes, 20000);
    const std::vector<std::pair<std::int64_t, std::size_t>> reads = {
        {50000, 10291},  {40000, 10291}, {45000, 100},  {150000, 10291}, {0, 1},
        {199990, 10291}, {250000, 10},   {1000, 30000}, {190000, 10291}, {199999, 1}};
    for (const auto& [offset, count] : reads) {
        EXPECT_EQ(Read(*input, offset, count), Read(*direct, offset, count)) << offset;
    }
}

TEST_F(ReadAheadInputTest, ReadErrorInTheMiddleOfAWindowComesWithTheReadThatNeedsTheBadByte) {
    const Bytes bytes = RandomBytes(500000, 5);
    for (const std::int64_t badSpot : {0, 1, 10240, 10290, 10291, 123456, 262143, 262144, 499999}) {
        Make(bytes, 262144);
        windowedFile->badSpot = badSpot;
        direct->badSpot = badSpot;
        for (const auto& [offset, count] :
             PassLikeReads(static_cast<std::int64_t>(bytes.size()), 6)) {
            const ReadResult expected = Read(*direct, offset, count);
            ASSERT_EQ(Read(*input, offset, count), expected)
                << "bad " << badSpot << " at " << offset;
            if (expected.error) {
                break;  // the pass stops at the first failed read
            }
        }
    }
}

TEST_F(ReadAheadInputTest, FileThatEndsBeforeItsLengthIsShortAtTheSameReadAsTheFileItself) {
    const Bytes bytes = RandomBytes(300000, 7);
    for (const std::size_t shrunk : {5000u, 10291u, 20480u, 100000u, 262144u, 299999u}) {
        Make(Bytes(bytes.begin(), bytes.begin() + static_cast<long>(shrunk)), 65536);
        windowedFile->reportedLength = 300000;
        direct->reportedLength = 300000;
        bool shortRead = false;
        for (const auto& [offset, count] : PassLikeReads(300000, 8)) {
            const ReadResult expected = Read(*direct, offset, count);
            ASSERT_EQ(Read(*input, offset, count), expected) << "shrunk " << shrunk;
            if (expected.count < count) {
                EXPECT_FALSE(expected.error);
                shortRead = true;
                break;
            }
        }
        EXPECT_TRUE(shortRead);
    }
}

TEST_F(ReadAheadInputTest, LengthIsTheFilesLengthAndItsError) {
    Make(RandomBytes(1000, 9), 20000);
    std::error_code error;
    EXPECT_EQ(input->Length(error), 1000);
    EXPECT_FALSE(error);
    windowedFile->reportedLength = 5000;
    EXPECT_EQ(input->Length(error), 5000);
    windowedFile->lengthError = true;
    input->Length(error);
    EXPECT_EQ(error, std::errc::io_error);
}

TEST_F(ReadAheadInputTest, HeldBytesAreTheBytesTheLastReadServedUntilTheWindowMoves) {
    const Bytes bytes = RandomBytes(100000, 10);
    Make(bytes, 30000);
    Read(*input, 1000, 10291);
    EXPECT_TRUE(input->Holds(1000, 30000));
    EXPECT_FALSE(input->Holds(1000, 30001));
    EXPECT_FALSE(input->Holds(999, 10));
    const std::uint8_t* held = input->HeldBytes(5000, 20000);
    ASSERT_NE(held, nullptr);
    EXPECT_TRUE(std::equal(held, held + 20000, bytes.begin() + 5000));
    EXPECT_EQ(input->HeldBytes(20000, 20000), nullptr);
    const int readsBefore = windowedFile->reads;
    Read(*input, 25000, 10291);  // past the window's end: it moves on
    EXPECT_EQ(windowedFile->reads, readsBefore + 1);
    EXPECT_FALSE(input->Holds(1000, 10));
    EXPECT_TRUE(input->Holds(25000, 30000));
}

// Served in place: the bytes where the window holds them, with the count and error a read
// of the file gives, and nothing at all for a read the window cannot hold.
TEST_F(ReadAheadInputTest, ServedInPlaceReadsPointAtWhatTheFileWouldDeliver) {
    const Bytes bytes = RandomBytes(400000, 11);
    Make(bytes, 65536);
    windowedFile->badSpot = 350000;
    direct->badSpot = 350000;
    for (const auto& [offset, count] : PassLikeReads(400000, 12)) {
        const ReadResult expected = Read(*direct, offset, count);
        const std::uint8_t* at = nullptr;
        ReadResult served;
        served.count = input->Serve(offset, count, at, served.error);
        ASSERT_NE(at, nullptr);
        served.bytes.assign(at, at + served.count);
        ASSERT_EQ(served, expected) << offset;
        if (expected.error) {
            break;
        }
    }
    const std::uint8_t* at = &bytes[0];
    std::error_code error;
    const int readsBefore = windowedFile->reads;
    EXPECT_EQ(input->Serve(0, 65537, at, error), 0u);
    EXPECT_EQ(at, nullptr);
    EXPECT_FALSE(error);
    EXPECT_EQ(windowedFile->reads, readsBefore);
}

}  // namespace
}  // namespace korbelt::test
