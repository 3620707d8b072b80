#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "verify/Expectation.h"

namespace korbelt {

// Proves the slices of a repaired copy by their MD5s, beside the repair, on as many threads
// as there are cores (up to 4). Each slice is handed over by its index as soon as it is
// decided, wherever it lies in the copy: after a slice that could not be mended, the rest
// still count where they were found.
class SliceProof {
  public:
    explicit SliceProof(const Expectation& expected);
    ~SliceProof();
    SliceProof(const SliceProof&) = delete;
    SliceProof& operator=(const SliceProof&) = delete;

    // An empty buffer to fill with a slice, one used before where there is one: filling it
    // again costs no clearing of fresh memory.
    std::vector<std::uint8_t> Buffer();
    // The bytes of slice index as the copy holds them (the last slice unpadded).
    void Add(std::int64_t index, std::vector<std::uint8_t> bytes);
    // The slices proven; waits for the last.
    std::int64_t Finish();

  private:
    struct Job {
        std::int64_t index = 0;
        std::vector<std::uint8_t> bytes;
    };
    void Work();
    void Join();

    const Expectation& expected_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> queue_;
    std::vector<std::vector<std::uint8_t>> spare_;  // buffers to copy slices into again
    std::size_t queuedBytes_ = 0;
    bool finished_ = false;
    std::int64_t proven_ = 0;
    std::vector<std::thread> workers_;
};

}  // namespace korbelt
