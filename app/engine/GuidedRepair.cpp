// A file whose slice checksums are known is repaired as they say: its finds are gathered
// first, without a word, the checksums decide which of them are real and find the bytes the
// pattern cannot see, and the pass that follows removes just those.
#include "engine/PassState.h"

namespace korbelt {
namespace {

// Set for as long as it lives, whatever ends the gathering: a failed read throws.
class Collecting {
  public:
    explicit Collecting(bool& flag) : flag_(flag) { flag_ = true; }
    ~Collecting() { flag_ = false; }
    Collecting(const Collecting&) = delete;
    Collecting& operator=(const Collecting&) = delete;

  private:
    bool& flag_;
};

}  // namespace

// False when the user stopped the file while its finds were gathered.
bool RepairEngine::GuideBySlices(Pass& pass) {
    guide_.reset();
    const Expectation* guide = pass.evidence.SliceGuide();
    if (guide == nullptr) {
        return true;
    }
    pass.collected.clear();
    pass.collectedTo = 0;
    Ending ending = Ending::Normal;
    {
        Collecting quiet(collecting_);
        ending = CopyRecords(pass);
    }
    if (ending == Ending::UserAbort) {
        return false;
    }
    if (ending == Ending::BadWrapper) {
        return true;  // the pass that follows meets it again and says so
    }
    if (pass.collectedTo < iflength_) {
        pass.collected.push_back({pass.collectedTo, iflength_ - pass.collectedTo});
    }
    GuidedPlanner planner(*pass.input, iflength_, *guide);
    const GuidedPlan plan = planner.Plan(pass.collected);
    if (plan.readError) {
        throw Unable("read input file failed", "read input file", pass.filename, plan.readError);
    }
    guide_ = std::make_unique<Guide>();
    guide_->slicesVerified = plan.slicesVerified;
    for (const Removal& removal : plan.kept) {
        guide_->kept.insert(removal.offset);
    }
    for (const GuidedPlan::Ignored& ignored : plan.ignored) {
        guide_->ignored[ignored.removal.offset] = ignored.sliceVerifiesWithout;
    }
    for (const Removal& slipped : plan.inserted) {
        guide_->slipped.push_back(slipped.offset);
    }
    return true;
}

// Why a find at this 0-based offset stays, when the checksums say it must; a find they
// did not plan for (none) stays too, unproven.
std::optional<Reason> RepairEngine::GuidedRefusal(std::int64_t offset) const {
    if (!guide_ || guide_->kept.contains(offset)) {
        return std::nullopt;
    }
    const auto ignored = guide_->ignored.find(offset);
    return ignored != guide_->ignored.end() && ignored->second ? Reason::SliceVerifiesWithout
                                                               : Reason::SliceDoesNotVerify;
}

void RepairEngine::NoteDeclined() {
    if (guide_) {
        guide_->declined = true;
    }
}

// Where in the current record the next byte the checksums found lies; kRecordSize when
// it lies beyond.
int RepairEngine::SlippedByteIndex() {
    if (!guide_) {
        return kRecordSize;
    }
    // One that a cut-out wrapper took with it is passed.
    while (guide_->nextSlipped < guide_->slipped.size() &&
           guide_->slipped[guide_->nextSlipped] < readpos - 1) {
        ++guide_->nextSlipped;
    }
    if (guide_->nextSlipped == guide_->slipped.size()) {
        return kRecordSize;
    }
    const std::int64_t index = guide_->slipped[guide_->nextSlipped] - (readpos - 1);
    return index >= 0 && index < kRecordSize && readpos - 1 + index < iflength_
               ? static_cast<int>(index)
               : kRecordSize;
}

// Reported, and asked about, as a find of the pattern is.
int RepairEngine::RemoveSlippedByte(int index) {
    ++guide_->nextSlipped;
    Find find;
    find.kind = FindKind::SlippedByte;
    find.offset = readpos - 1 + index;
    find.position = readpos + index;
    find.shown = {buff[index]};
    return Tell(Decide(find)) ? index : -1;
}

}  // namespace korbelt
