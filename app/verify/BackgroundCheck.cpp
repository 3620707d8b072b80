#include "verify/BackgroundCheck.h"

#include <algorithm>

namespace korbelt {
namespace {

// Blocks large enough that handing them over costs little, few enough that the copy waiting
// to be hashed stays small: at most kBlocks of them are in flight.
constexpr std::size_t kBlockSize = std::size_t{4} << 20;
constexpr std::size_t kBlocks = 4;

}  // namespace

BackgroundCheck::BackgroundCheck(const Expectation& expected, bool countSlices)
    : check_(expected, countSlices), thread_([this] { Hash(); }) {
    filling_.reserve(kBlockSize);
}

BackgroundCheck::~BackgroundCheck() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        finished_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void BackgroundCheck::Add(const std::uint8_t* bytes, std::size_t count) {
    while (count > 0) {
        const std::size_t piece = std::min(count, kBlockSize - filling_.size());
        filling_.insert(filling_.end(), bytes, bytes + piece);
        bytes += piece;
        count -= piece;
        if (filling_.size() == kBlockSize) {
            Hand(std::move(filling_));
            filling_ = Block();
            std::lock_guard<std::mutex> lock(mutex_);
            if (!spare_.empty()) {
                filling_ = std::move(spare_.back());
                spare_.pop_back();
            }
            filling_.clear();
            filling_.reserve(kBlockSize);
        }
    }
}

// Waits while kBlocks are in flight: the copy runs no further ahead of the hashing.
void BackgroundCheck::Hand(Block block) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return queue_.size() < kBlocks; });
    queue_.push_back(std::move(block));
    changed_.notify_all();
}

void BackgroundCheck::Hash() {
    for (;;) {
        Block block;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return !queue_.empty() || finished_; });
            if (queue_.empty()) {
                return;
            }
            block = std::move(queue_.front());
            queue_.pop_front();
        }
        changed_.notify_all();
        check_.Add(block.data(), block.size());
        std::lock_guard<std::mutex> lock(mutex_);
        spare_.push_back(std::move(block));
    }
}

StreamCheck::Result BackgroundCheck::Finish() {
    if (!filling_.empty()) {
        Hand(std::move(filling_));
        filling_ = Block();
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        finished_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
    return check_.Finish();
}

}  // namespace korbelt
