#include "verify/EvidenceCheck.h"

namespace korbelt {

namespace {

bool SameCheck(const Expectation& a, const Expectation& b) {
    return a.SameContents(b) && a.sliceSize == b.sliceSize && a.slices.size() == b.slices.size();
}

}  // namespace

EvidenceCheck::EvidenceCheck(const std::vector<Expectation>& entries, bool countSlices,
                             const Expectation* provenElsewhere) {
    for (std::size_t index = 0; index < entries.size(); ++index) {
        if (provenElsewhere != nullptr && SameCheck(entries[index], *provenElsewhere)) {
            checkOf_.push_back(kElsewhere);
            continue;
        }
        std::size_t same = 0;
        while (same < index &&
               (checkOf_[same] == kElsewhere || !SameCheck(entries[same], entries[index]))) {
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

bool EvidenceCheck::Hopeless() const {
    for (const auto& check : checks_) {
        if (!check->Mismatched()) {
            return false;
        }
    }
    return !checks_.empty();
}

std::vector<StreamCheck::Result> EvidenceCheck::Finish() {
    std::vector<StreamCheck::Result> finished;
    for (const auto& check : checks_) {
        finished.push_back(check->Finish());
    }
    std::vector<StreamCheck::Result> results;
    for (const std::size_t check : checkOf_) {
        results.push_back(check == kElsewhere ? StreamCheck::Result() : finished[check]);
    }
    return results;
}

}  // namespace korbelt
