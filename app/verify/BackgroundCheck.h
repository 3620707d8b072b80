#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "verify/StreamCheck.h"

namespace korbelt {

// Checks a stream of bytes beside the code that reads or writes it, so that hashing runs
// beside the I/O instead of after it. Add copies the bytes (they may change as soon as it
// returns) into blocks that other threads hash; Finish waits for the last.
//
// Where the expectation holds the MD5 of every slice (a PAR 2.0 set), the slices are hashed
// on as many threads as there are cores, and a stream of the described length whose every
// slice matches is proven as surely as by the file's MD5: the slice digests cover every byte
// with the same hash. One MD5 of the whole file has to be computed in order on one core, and
// on a fast disk that alone takes longer than the repair it would check. Otherwise one
// thread runs a StreamCheck over the blocks in order.
class BackgroundCheck {
  public:
    BackgroundCheck(const Expectation& expected, bool countSlices);
    ~BackgroundCheck();
    BackgroundCheck(const BackgroundCheck&) = delete;
    BackgroundCheck& operator=(const BackgroundCheck&) = delete;

    // Whether this expectation is checked slice by slice on several threads.
    static bool ChecksBySlices(const Expectation& expected);

    void Add(const std::uint8_t* bytes, std::size_t count);
    // A slice hashed so far did not match: the stream cannot match any more. Checked by the
    // file's digest, that is known only at the end.
    bool Mismatched() const { return mismatched_.load(std::memory_order_relaxed); }
    StreamCheck::Result Finish();

  private:
    struct Block {
        std::int64_t offset = 0;  // of its first byte in the stream
        std::vector<std::uint8_t> bytes;
    };

    void Work();
    void Hand();
    void Join();
    void HashSlices(const Block& block, Hasher& hasher);
    void Tally(std::size_t index, const DigestBytes& digest);

    const Expectation& expected_;
    const bool bySlices_;
    const std::size_t blockSize_;
    const std::size_t maxQueued_;
    std::optional<StreamCheck> stream_;  // without slices
    std::atomic<std::int64_t> slicesMatching_{0};
    std::atomic<bool> mismatched_{false};
    std::int64_t length_ = 0;
    Block filling_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Block> queue_;
    std::vector<std::vector<std::uint8_t>> spare_;
    bool finished_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace korbelt
