#include "verify/SliceProof.h"

#include <algorithm>

#include "verify/Digest.h"

namespace korbelt {
namespace {

constexpr unsigned kMaxThreads = 4;
// The repair runs no further ahead of the hashing than this, and a slice or two.
constexpr std::size_t kMaxQueuedBytes = std::size_t{32} << 20;

}  // namespace

SliceProof::SliceProof(const Expectation& expected) : expected_(expected) {
    const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, kMaxThreads);
    for (unsigned index = 0; index < threads; ++index) {
        workers_.emplace_back([this] { Work(); });
    }
}

SliceProof::~SliceProof() {
    Join();
}

std::vector<std::uint8_t> SliceProof::Buffer() {
    std::vector<std::uint8_t> bytes;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!spare_.empty()) {
        bytes = std::move(spare_.back());
        spare_.pop_back();
    }
    bytes.clear();
    return bytes;
}

void SliceProof::Add(std::int64_t index, std::vector<std::uint8_t> bytes) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return queue_.empty() || queuedBytes_ < kMaxQueuedBytes; });
    queuedBytes_ += bytes.size();
    queue_.push_back({index, std::move(bytes)});
    changed_.notify_all();
}

void SliceProof::Work() {
    Hasher md5(DigestKind::Md5);
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return !queue_.empty() || finished_; });
            if (queue_.empty()) {
                return;
            }
            job = std::move(queue_.front());
            queue_.pop_front();
            queuedBytes_ -= job.bytes.size();
        }
        changed_.notify_all();
        bool proven = false;
        const auto size = static_cast<std::uint64_t>(expected_.sliceSize);
        if (job.index >= 0 && job.index < static_cast<std::int64_t>(expected_.slices.size()) &&
            job.bytes.size() <= size) {
            md5.Add(job.bytes.data(), job.bytes.size());
            AddZeros(md5, size - job.bytes.size());
            proven = md5.Finish() == expected_.slices[static_cast<std::size_t>(job.index)].md5;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        proven_ += proven ? 1 : 0;
        spare_.push_back(std::move(job.bytes));
    }
}

void SliceProof::Join() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        finished_ = true;
    }
    changed_.notify_all();
    for (std::thread& worker : workers_) {
        if (worker.joinable()) {
            worker.join();
        }
    }
}

std::int64_t SliceProof::Finish() {
    Join();
    return proven_;
}

}  // namespace korbelt
