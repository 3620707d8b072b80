#include "verify/EvidenceCheck.h"

namespace korbelt {

EvidenceCheck::EvidenceCheck(const std::vector<Expectation>& entries, bool countSlices) {
    for (std::size_t index = 0; index < entries.size(); ++index) {
        std::size_t same = 0;
        while (same < index && !(entries[same].SameContents(entries[index]) &&
                                 entries[same].sliceSize == entries[index].sliceSize &&
                                 entries[same].slices.size() == entries[index].slices.size())) {
            ++same;
        }
        if (same < index) {
            checkOf_.push_back(checkOf_[same]);
            continue;
        }
        checkOf_.push_back(checks_.size());
        checks_.push_back(std::make_unique<BackgroundCheck>(entries[index], countSlices));
    }
}

void EvidenceCheck::Add(const std::uint8_t* bytes, std::size_t count) {
    for (const auto& check : checks_) {
        check->Add(bytes, count);
    }
}

std::vector<StreamCheck::Result> EvidenceCheck::Finish() {
    std::vector<StreamCheck::Result> finished;
    for (const auto& check : checks_) {
        finished.push_back(check->Finish());
    }
    std::vector<StreamCheck::Result> results;
    for (const std::size_t check : checkOf_) {
        results.push_back(finished[check]);
    }
    return results;
}

}  // namespace korbelt
