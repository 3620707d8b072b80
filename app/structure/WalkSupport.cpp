#include "structure/WalkSupport.h"

#include <algorithm>

namespace korbelt {

void RegionLog::Fits(std::int64_t start, std::int64_t end, const std::string& what) {
    if (pending_ && pending_->end == start) {
        pending_->end = end;
        pending_->length = pending_->Span();
        ++joined_;
        return;
    }
    Flush();
    pending_ = EvidenceRegion{start, end, end - start, nullptr, what};
    joined_ = 1;
}

void RegionLog::Add(EvidenceRegion region) {
    Flush();
    sink_(std::move(region));
}

void RegionLog::Flush() {
    if (pending_) {
        if (joined_ > 1) {
            pending_->what = std::to_string(joined_) + " " + units_;
        }
        sink_(std::move(*pending_));
        pending_.reset();
    }
}

std::string Printable(const std::uint8_t* bytes, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < std::min<std::size_t>(count, 64); ++i) {
        text += bytes[i] >= 0x20 && bytes[i] < 0x7f ? static_cast<char>(bytes[i]) : '?';
    }
    return text;
}

}  // namespace korbelt
