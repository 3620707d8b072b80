#include "engine/report/FindLog.h"

#include <algorithm>
#include <numeric>

namespace korbelt {
namespace {

// From the marker's CR, which the find's position names, to the repeated byte.
std::size_t DistanceOf(const Find& find, std::size_t slots) {
    const std::int64_t distance = find.offset - (find.position - 1);
    return static_cast<std::size_t>(std::clamp<std::int64_t>(distance, 0, slots - 1));
}

}  // namespace

void FindLog::Start(StatusList& status, ReportSink* sink) {
    status_ = &status;
    sink_ = sink;
    report_.finds.clear();
    lines_.clear();
    passing_ = false;
    wrapperOpen_ = false;
    passedRemovals_ = 0;
    removedAt_.fill(0);
}

void FindLog::Add(const Decision& decision, int line, bool open) {
    report_.finds.push_back(decision);
    lines_.push_back(line);
    wrapperOpen_ = open;
    if (decision.removed && decision.find.kind == FindKind::RepeatedByte) {
        ++removedAt_[DistanceOf(decision.find, removedAt_.size())];
    }
    if (passing_) {
        Release();
    }
}

void FindLog::PassOn() {
    passing_ = true;
    Release();
}

Find* FindLog::OpenWrapper() {
    return wrapperOpen_ && !report_.finds.empty() ? &report_.finds.back().find : nullptr;
}

void FindLog::WrapperEnded() {
    wrapperOpen_ = false;
    if (passing_) {
        Release();
    }
}

void FindLog::Release() {
    const std::size_t ready = report_.finds.size() - (wrapperOpen_ ? 1 : 0);
    for (std::size_t index = 0; index < ready; ++index) {
        const Decision& decision = report_.finds[index];
        if (sink_ != nullptr) {
            sink_->Find(report_, decision);
        }
        status_->Settle(lines_[index]);
        passedRemovals_ += decision.removed ? 1 : 0;
    }
    report_.findsPassedOn += static_cast<std::int64_t>(ready);
    report_.finds.erase(report_.finds.begin(), report_.finds.begin() + static_cast<long>(ready));
    lines_.erase(lines_.begin(), lines_.begin() + static_cast<long>(ready));
}

std::vector<int> FindLog::Withdraw() {
    std::vector<int> lines(lines_.rbegin(), lines_.rend());
    Start(*status_, sink_);
    return lines;
}

std::int64_t FindLog::Undo(const std::function<void(int, const Decision&)>& rewrite) {
    for (std::size_t index = 0; index < report_.finds.size(); ++index) {
        Decision& decision = report_.finds[index];
        if (decision.removed) {
            decision.removed = false;
            decision.reason = Reason::CopyDropped;
            if (rewrite) {
                rewrite(lines_[index], decision);
            }
        }
    }
    removedAt_.fill(0);
    const std::int64_t passed = passedRemovals_;
    report_.passedOnUndone = report_.passedOnUndone || passed > 0;
    passedRemovals_ = 0;
    return passed;
}

std::int64_t FindLog::RemovedRepeats() const {
    return std::accumulate(removedAt_.begin(), removedAt_.end(), std::int64_t{0});
}

std::uint64_t FindLog::RemovedRepeatDistances() const {
    std::uint64_t distances = 0;
    for (std::size_t at = 0; at < removedAt_.size(); ++at) {
        distances |= removedAt_[at] > 0 ? std::uint64_t{1} << at : 0;
    }
    return distances;
}

}  // namespace korbelt
