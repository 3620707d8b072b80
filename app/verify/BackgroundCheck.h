#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "verify/StreamCheck.h"

namespace korbelt {

// A StreamCheck on a thread of its own, so that hashing the repaired copy runs beside the
// reading and writing instead of after it. Add copies the bytes (they may change as soon as
// it returns) into blocks that the thread hashes in order; Finish waits for the last.
class BackgroundCheck {
  public:
    BackgroundCheck(const Expectation& expected, bool countSlices);
    ~BackgroundCheck();
    BackgroundCheck(const BackgroundCheck&) = delete;
    BackgroundCheck& operator=(const BackgroundCheck&) = delete;

    void Add(const std::uint8_t* bytes, std::size_t count);
    StreamCheck::Result Finish();

  private:
    using Block = std::vector<std::uint8_t>;

    void Hash();
    void Hand(Block block);

    StreamCheck check_;
    Block filling_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Block> queue_;
    std::vector<Block> spare_;
    bool finished_ = false;
    std::thread thread_;
};

}  // namespace korbelt
