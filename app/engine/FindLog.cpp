#include "engine/FindLog.h"

namespace korbelt {

void FindLog::Start(StatusList& status, ReportSink* sink) {
    status_ = &status;
    sink_ = sink;
    report_.finds.clear();
    lines_.clear();
    passing_ = false;
    wrapperOpen_ = false;
    passedRemovals_ = 0;
    removedRepeats_ = 0;
}

void FindLog::Add(const Decision& decision, int line, bool open) {
    report_.finds.push_back(decision);
    lines_.push_back(line);
    wrapperOpen_ = open;
    if (decision.removed && decision.find.kind == FindKind::RepeatedByte) {
        ++removedRepeats_;
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
    removedRepeats_ = 0;
    const std::int64_t passed = passedRemovals_;
    report_.passedOnUndone = report_.passedOnUndone || passed > 0;
    passedRemovals_ = 0;
    return passed;
}

}  // namespace korbelt
