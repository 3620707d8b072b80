#include "verify/SliceProof.h"

#include <algorithm>

#include "verify/Digest.h"
#include "verify/Md5Lanes.h"
#include "verify/WorkerThreads.h"

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

// Takes up to eight whole slices at a time and hashes them side by side; a short last slice
// alone, padded with zeros as PAR 2.0 hashes it.
void SliceProof::Work() {
    Hasher md5(DigestKind::Md5);
    const auto size = static_cast<std::size_t>(expected_.sliceSize);
    for (;;) {
        std::vector<Job> jobs;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            // Eight slices, or all there will be: hashed side by side they cost a quarter.
            changed_.wait(lock, [this] {
                return queue_.size() >= kMd5Lanes || queuedBytes_ >= kMaxQueuedBytes || finished_;
            });
            if (queue_.empty()) {
                return;
            }
            do {
                jobs.push_back(std::move(queue_.front()));
                queue_.pop_front();
                queuedBytes_ -= jobs.back().bytes.size();
            } while (jobs.size() < kMd5Lanes && jobs.front().bytes.size() == size &&
                     !queue_.empty() && queue_.front().bytes.size() == size);
        }
        changed_.notify_all();
        DigestBytes digests[kMd5Lanes];
        if (jobs.front().bytes.size() == size) {
            const std::uint8_t* messages[kMd5Lanes];
            for (std::size_t i = 0; i < jobs.size(); ++i) {
                messages[i] = jobs[i].bytes.data();
            }
            Md5OfMany(messages, jobs.size(), size, digests);
        } else if (jobs.front().bytes.size() < size) {
            md5.Add(jobs.front().bytes.data(), jobs.front().bytes.size());
            AddZeros(md5, size - jobs.front().bytes.size());
            digests[0] = md5.Finish();
        }
        std::lock_guard<std::mutex> lock(mutex_);
        for (std::size_t i = 0; i < jobs.size(); ++i) {
            proven_ += expected_.SliceMd5Matches(jobs[i].index, digests[i]) ? 1 : 0;
            spare_.push_back(std::move(jobs[i].bytes));
        }
    }
}

void SliceProof::Join() {
    FinishWorkers(mutex_, finished_, changed_, workers_);
}

std::int64_t SliceProof::Finish() {
    Join();
    return proven_;
}

}  // namespace korbelt
