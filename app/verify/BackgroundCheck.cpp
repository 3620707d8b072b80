#include "verify/BackgroundCheck.h"

#include <algorithm>

#include "verify/Md5Lanes.h"
#include "verify/WorkerThreads.h"

namespace korbelt {
namespace {

// Blocks large enough that handing them over costs little, few enough that the bytes waiting
// to be hashed stay small: about two blocks of kBlockSize per thread wait.
constexpr std::size_t kBlockSize = std::size_t{2} << 20;
constexpr unsigned kMaxThreads = 4;

unsigned HashingThreads() {
    return std::clamp(std::thread::hardware_concurrency(), 1u, kMaxThreads);
}

// Whole slices to a block, so that no slice is split between two threads.
std::size_t BlockSizeFor(const Expectation& expected, bool bySlices) {
    if (!bySlices) {
        return kBlockSize;
    }
    // Eight whole slices where they fit in a few blocks' worth: they are hashed side by side.
    const auto slice = static_cast<std::size_t>(expected.sliceSize);
    const std::size_t slices = std::max<std::size_t>(
        kBlockSize / slice, std::min<std::size_t>(kMd5Lanes, 4 * kBlockSize / slice));
    return std::max<std::size_t>(1, slices) * slice;
}

std::size_t MaxQueued(std::size_t blockSize, unsigned threads) {
    return std::max<std::size_t>(2, 2 * threads * kBlockSize / blockSize);
}

}  // namespace

bool BackgroundCheck::ChecksBySlices(const Expectation& expected) {
    // With larger slices, no more than about 40 MiB wait to be hashed.
    return expected.HasSlicesInMemory() && expected.length &&
           static_cast<std::int64_t>(expected.slices.size()) ==
               SliceCount(*expected.length, expected.sliceSize);
}

BackgroundCheck::BackgroundCheck(const Expectation& expected, bool countSlices)
    : expected_(expected),
      bySlices_(ChecksBySlices(expected)),
      blockSize_(BlockSizeFor(expected, bySlices_)),
      maxQueued_(MaxQueued(blockSize_, bySlices_ ? HashingThreads() : 1)) {
    if (!bySlices_) {
        stream_.emplace(expected, countSlices);
    }
    filling_.bytes.reserve(blockSize_);
    const unsigned threads = bySlices_ ? HashingThreads() : 1;
    for (unsigned index = 0; index < threads; ++index) {
        workers_.emplace_back([this] { Work(); });
    }
}

BackgroundCheck::~BackgroundCheck() {
    Join();
}

void BackgroundCheck::Add(const std::uint8_t* bytes, std::size_t count) {
    while (count > 0) {
        const std::size_t piece = std::min(count, blockSize_ - filling_.bytes.size());
        filling_.bytes.insert(filling_.bytes.end(), bytes, bytes + piece);
        bytes += piece;
        count -= piece;
        length_ += static_cast<std::int64_t>(piece);
        if (filling_.bytes.size() == blockSize_) {
            Hand();
        }
    }
}

// Waits while the queue is full: the stream runs no further ahead of the hashing.
void BackgroundCheck::Hand() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return queue_.size() < maxQueued_; });
    const std::int64_t next = filling_.offset + static_cast<std::int64_t>(filling_.bytes.size());
    queue_.push_back(std::move(filling_));
    filling_ = Block{next, {}};
    if (!spare_.empty()) {
        filling_.bytes = std::move(spare_.back());
        spare_.pop_back();
    }
    filling_.bytes.clear();
    filling_.bytes.reserve(blockSize_);
    changed_.notify_all();
}

void BackgroundCheck::Work() {
    std::optional<Hasher> hasher;
    if (bySlices_) {
        hasher.emplace(DigestKind::Md5);
    }
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
        if (bySlices_) {
            HashSlices(block, *hasher);
        } else {
            stream_->Add(block.bytes.data(), block.bytes.size());
        }
        std::lock_guard<std::mutex> lock(mutex_);
        spare_.push_back(std::move(block.bytes));
    }
}

// A short last slice is hashed as PAR 2.0 hashes it: padded with zeros to the full size.
// Whole slices eight at a time side by side; a short last slice as PAR 2.0 hashes it, padded
// with zeros to the full size.
void BackgroundCheck::HashSlices(const Block& block, Hasher& hasher) {
    const auto slice = static_cast<std::size_t>(expected_.sliceSize);
    const auto first = static_cast<std::size_t>(block.offset / expected_.sliceSize);
    const std::size_t whole = block.bytes.size() / slice;
    DigestBytes digests[kMd5Lanes];
    for (std::size_t group = 0; group < whole; group += kMd5Lanes) {
        const std::size_t count = std::min(kMd5Lanes, whole - group);
        const std::uint8_t* messages[kMd5Lanes];
        for (std::size_t i = 0; i < count; ++i) {
            messages[i] = block.bytes.data() + (group + i) * slice;
        }
        Md5OfMany(messages, count, slice, digests);
        for (std::size_t i = 0; i < count; ++i) {
            Tally(first + group + i, digests[i]);
        }
    }
    if (const std::size_t rest = block.bytes.size() - whole * slice) {
        hasher.Add(block.bytes.data() + whole * slice, rest);
        AddZeros(hasher, slice - rest);
        Tally(first + whole, hasher.Finish());
    }
}

void BackgroundCheck::Tally(std::size_t index, const DigestBytes& digest) {
    if (expected_.SliceMd5Matches(static_cast<std::int64_t>(index), digest)) {
        slicesMatching_.fetch_add(1, std::memory_order_relaxed);
    } else {
        mismatched_.store(true, std::memory_order_relaxed);
    }
}

void BackgroundCheck::Join() {
    FinishWorkers(mutex_, finished_, changed_, workers_);
}

StreamCheck::Result BackgroundCheck::Finish() {
    if (!filling_.bytes.empty()) {
        Hand();
    }
    Join();
    if (!bySlices_) {
        return stream_->Finish();
    }
    StreamCheck::Result result;
    result.sliceCount = static_cast<std::int64_t>(expected_.slices.size());
    result.slicesMatching = slicesMatching_.load();
    result.matches = length_ == *expected_.length && result.slicesMatching == result.sliceCount;
    return result;
}

}  // namespace korbelt
