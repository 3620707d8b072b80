// A file whose slice checksums are known is repaired as they say, in one pass: the scan runs
// ahead gathering the pattern's finds as values, the checksums decide them a slice at a
// time, and the copy is written close behind from the bytes still in memory. Each find gets
// one line, with what became of it. Without checksums, a file whose format is known is
// repaired the same way by the regions its own structure delimits.
#include <algorithm>
#include <cstring>

#include "engine/PassState.h"
#include "engine/scan/ReadAheadInput.h"
#include "structure/PieceWalk.h"
#include "structure/SplitPieces.h"
#include "structure/StructureHint.h"

namespace korbelt {
namespace {

constexpr std::int64_t kUnheldPiece = std::int64_t{1} << 20;
constexpr std::int64_t kHead = 4096;  // what a format is recognised by

// The input as the structure reads it, beside the pass's read window: bytes the window holds
// come from it, others from the file, so that a walk's jumps and a region's checks behind
// the scan never move the window the scan reads from. Keeps the first error a read met: a
// walk only says that one failed, and the pass says why.
class BesideTheWindow : public InputFile {
  public:
    BesideTheWindow(InputFile& input, ReadAheadInput* window)
        : input_(input), window_(window), file_(window != nullptr ? window->File() : input) {}
    std::int64_t Length(std::error_code& error) override { return input_.Length(error); }
    std::size_t ReadAt(std::int64_t offset, std::uint8_t* buffer, std::size_t count,
                       std::error_code& error) override {
        if (const std::uint8_t* held = Peek(offset, count)) {
            std::memcpy(buffer, held, count);
            return count;
        }
        const std::size_t got = file_.ReadAt(offset, buffer, count, error);
        if (error && !error_) {
            error_ = error;
        }
        return got;
    }
    const std::uint8_t* Peek(std::int64_t offset, std::size_t count) override {
        return window_ != nullptr ? window_->HeldBytes(offset, count) : nullptr;
    }
    std::error_code Identify(FileIdentity& identity) override { return input_.Identify(identity); }
    LockResult Lock() override { return input_.Lock(); }
    std::error_code SetAccess(const FileIdentity& from) override { return input_.SetAccess(from); }
    std::error_code Error() const { return error_; }

  private:
    InputFile& input_;
    ReadAheadInput* window_;
    InputFile& file_;
    std::error_code error_;
};

}  // namespace

// Starts a guided pass where a checksum file gives the slices; false without one. The read
// window then holds from where the copy is written to where the scan is, and the planner's
// reach beyond.
bool RepairEngine::StartGuide(Pass& pass) {
    UseGuide(nullptr);
    const Expectation* slices = pass.evidence.SliceGuide();
    if (slices == nullptr) {
        return false;
    }
    UseGuide(std::make_unique<Guide>(*pass.input, iflength_, *slices, SearchRange()));
    if (options_.useStructure) {
        // The file's structure chooses in a slice no choice of its own finds proves.
        guide_->reader = std::make_unique<BesideTheWindow>(*pass.input, pass.window);
        const auto [start, stop] = SearchRange();
        guide_->slices->UseHint(std::make_unique<StructureHint>(
            fs_, walkers_, pass.filename, *guide_->reader, iflength_,
            [this] { return run_.stopflag; }, start, stop));
    }
    if (pass.window != nullptr) {
        pass.window->KeepFrom(0);
    }
    return true;
}

// Where no checksum guides the pass and the file's format is known by its first bytes (those
// of the first record, so that a file of no known format costs no read more), its structure
// guides the pass: the walk reads its headers, a small part of the file, before the first
// record is scanned. A piece of a split file is walked as the part of the whole it is, and
// where that walk gives nothing, guided by the length the other pieces of its set share, or
// else walked alone. False when the user stops the file during the walk.
bool RepairEngine::StartStructureGuide(Pass& pass) {
    if (!pass.evidence.entries.empty()) {
        return true;  // the checksums guide the pass, or judge its copy
    }
    UseGuide(nullptr);
    if (!options_.useStructure) {
        return true;
    }
    const std::string_view head(reinterpret_cast<const char*>(buff.data()),
                                static_cast<std::size_t>(std::min(iflength_, kHead)));
    auto input = std::make_unique<BesideTheWindow>(*pass.input, pass.window);
    std::vector<EvidenceRegion> regions;
    WalkEnd end = WalkEnd::Whole;
    EvidenceNames names{};
    // A piece is first walked with its set: alone, the first piece of a video would end in
    // the middle of a Cluster, and its walk lose track there.
    if (!PieceRegions(pass, *input, regions, end, names)) {
        return false;
    }
    const StructureWalker* walker = regions.empty() ? walkers_.For(head, pass.filename) : nullptr;
    if (walker != nullptr) {
        regions = WalkRegions(*walker, *input, iflength_, [this] { return StopWhileReading(); },
                              &end);
        if (input->Error()) {
            throw Unable("read input file failed", "read input file", pass.filename,
                         input->Error());
        }
        if (end == WalkEnd::Stopped) {
            return false;
        }
        if (end == WalkEnd::ReadFailed) {
            regions.clear();
        }
        names = walker->Names();
    }
    if (input->Error()) {
        throw Unable("read input file failed", "read input file", pass.filename, input->Error());
    }
    if (regions.empty()) {
        return true;  // nothing to follow
    }
    const auto [start, stop] = SearchRange();
    auto planner = std::make_unique<RegionGuide>(*input, iflength_, std::move(regions),
                                                 [this] { return run_.stopflag; }, start, stop);
    UseGuide(std::make_unique<Guide>(std::move(planner), names, end, std::move(input)));
    verdictMayMove_ = false;  // the structure decides; the markers' verdict is only told
    if (counting_) {
        pairsAt_ = 0;  // the scan's finds are the structure's to decide, at every distance
    }
    if (pass.window != nullptr) {
        pass.window->KeepFrom(0);
    }
    return true;
}

// A piece of a split file: its set walked as the file it was cut from, where the regions in
// the piece (cut to it where they reach into the pieces beside it) account for all the bytes
// it has too many; else the length the other pieces of its set share. Nothing for a file that
// is no piece of a set. False when the user stops the file during the walk.
bool RepairEngine::PieceRegions(Pass& pass, InputFile& input, std::vector<EvidenceRegion>& regions,
                                WalkEnd& end, EvidenceNames& names) {
    const std::vector<Piece> others = PiecesBeside(fs_, pass.filename);
    if (others.empty()) {
        return true;
    }
    std::optional<EvidenceRegion> piece =
        SplitPieceRegion({BaseName(pass.filename), iflength_}, others);
    auto across = WalkAcrossPieces(fs_, walkers_, pass.filename, others, input, iflength_,
                                   [this] { return StopWhileReading(); });
    if (across && across->end == WalkEnd::Stopped) {
        return false;
    }
    std::int64_t accounted = 0;
    for (const EvidenceRegion& region : across ? across->regions : regions) {
        accounted += region.Excess();
    }
    if (across && (!piece || accounted == piece->Excess())) {
        regions.clear();
        std::int64_t at = 0;
        for (EvidenceRegion& region : across->regions) {
            // Where the regions hold every byte too many, the stretches between them hold none.
            if (piece && region.start > at) {
                regions.emplace_back(at, region.start, region.start - at, nullptr,
                                     "split piece '" + BaseName(pass.filename) + "' between");
            }
            at = region.end;
            regions.push_back(std::move(region));
        }
        if (piece && at < iflength_) {
            regions.emplace_back(at, iflength_, iflength_ - at, nullptr,
                                 "split piece '" + BaseName(pass.filename) + "' between");
        }
        end = across->end;
        names = across->names;
    } else if (piece) {
        regions = {std::move(*piece)};
        end = WalkEnd::Whole;
        names = kSplitPieceNames;
    }
    return true;
}

// Plans the slices the scan has passed far enough, and writes them; at the end, all of them
// and the rest of the file. False when the user stops the file between two slices and
// agrees to abort: planning a slice takes a few milliseconds, so Stop is seen at once.
bool RepairEngine::AdvanceGuide(Pass& pass, bool atEnd) {
    Guide& guide = *guide_;
    StretchPlanner& planner = *guide.planner;
    while (!planner.Done() && (atEnd || planner.NeededUpTo() <= readpos - 1)) {
        ApplySlicePlan(pass, planner.PlanNext(guide.removals));
        ForgetPlannedFinds();
        if (planner.ReadError()) {
            throw Unable("read input file failed", "read input file", pass.filename,
                         planner.ReadError());
        }
        if (atEnd) {
            host_.YieldToUi();
            if (!GoOnAfterStop()) {
                return false;
            }
        }
    }
    if (!atEnd) {
        WriteAheadOfFinds(pass);
    }
    if (atEnd) {
        // Past the stretches the evidence describes nothing is proven: the finds there go as
        // the pattern says, as in a slice no plan proves.
        std::vector<Removal> removed;
        for (const SlicePlan::Ignored& rest : planner.Rest(guide.removals)) {
            if (TellGuided(FindAt(rest.removal.offset), true, Reason::Found)) {
                removed.push_back(rest.removal);
            }
        }
        WriteKept(pass, iflength_, removed);
    }
    return true;
}

// The structure removes the scan's finds, or another pair of a marker the scan found a pair
// after (no further before it than the marker's reach): the bytes before that reach of the
// first find still to be planned are in the copy whatever it decides, and go out now, so that
// the copy follows the scan and the read window need not hold a region of many MiB. A find
// the scan is yet to make starts no earlier than the byte before the record it scans next.
void RepairEngine::WriteAheadOfFinds(Pass& pass) {
    Guide& guide = *guide_;
    if (guide.regions == nullptr || pairsAt_ != 0) {
        // Slice checksums may find a slipped byte anywhere in their slice; where the scan
        // looks at some distances only, a marker's pair at another is no find of the scan.
        return;
    }
    std::int64_t safe = std::min(readpos - 2 - kLookAhead, guide.regions->OnlyFindsBefore());
    if (!guide.removals.empty()) {
        safe = std::min(safe, guide.removals.front().offset - kLookAhead);
    }
    if (safe > guide.written) {
        WriteKept(pass, safe, {});
    }
}

// Every find of the slice and the byte the checksums found, in file order, each with its
// line and, where it goes and the run is interactive, its question; then the slice's bytes
// with those left out.
void RepairEngine::ApplySlicePlan(Pass& pass, const SlicePlan& plan) {
    Guide& guide = *guide_;
    struct Planned {
        Find find;
        bool keep;
        Reason reason;
    };
    std::vector<Planned> planned;
    const bool byStructure = guide.regions != nullptr;
    for (const Removal& made : plan.removed) {
        Find find = FindAt(made.offset);
        if (find.position == 0) {
            find = PairFound(pass, made.offset);  // a pair of a marker the scan passed over
            if (find.kind == FindKind::StructureByte && !byStructure) {
                find.kind = FindKind::SlippedByte;  // no marker points at it: the checksums found it
            }
        }
        find.length = made.length;  // a wrapper ends where the evidence says
        planned.push_back({find, true, Reason::Found});
    }
    for (const SlicePlan::Ignored& ignored : plan.ignored) {
        planned.push_back({FindAt(ignored.removal.offset), false,
                           byStructure                  ? Reason::StructureFitsWithout
                           : ignored.sliceVerifiesWithout ? Reason::SliceVerifiesWithout
                                                          : Reason::SliceDoesNotVerify});
    }
    if (plan.inserted) {
        Find slipped;
        slipped.kind = FindKind::SlippedByte;
        slipped.offset = plan.inserted->offset;
        slipped.position = slipped.offset + 1;
        AppendInput(pass, slipped.offset, 1, slipped.shown);
        planned.push_back({slipped, true, Reason::Found});
    }
    std::sort(planned.begin(), planned.end(),
              [](const Planned& a, const Planned& b) { return a.find.offset < b.find.offset; });
    std::vector<Removal> removed;
    bool allKept = true;
    for (const Planned& item : planned) {
        if (TellGuided(item.find, item.keep, item.reason)) {
            removed.push_back({item.find.offset, item.find.length});
        } else if (item.keep) {
            allKept = false;
        }
    }
    guide.declined = guide.declined || !allKept;
    if (guide.proof) {
        Count(guide.sliceTally, plan);
    }
    // A slice the checksums proved, written as they proved it, is proven again by its MD5.
    WriteKept(pass, plan.end, removed, guide.proof && plan.verified && allKept ? plan.index : -1);
}

// A slice there was something to decide in, by what decided it.
void RepairEngine::Count(SliceReport& tally, const SlicePlan& plan) {
    const bool removes = !plan.removed.empty() || plan.inserted.has_value();
    if (!plan.verified) {
        tally.unproven += removes ? 1 : 0;
    } else if (removes) {
        ++tally.repaired;
        tally.structureChose += plan.otherEvidenceChose ? 1 : 0;
    } else if (!plan.ignored.empty()) {
        ++tally.left;
    }
}

// A repeated byte the file's structure proves, of a marker whose pair the scan took
// elsewhere: its line as the scan would have shown it; of no marker, a byte the structure
// alone found.
Find RepairEngine::PairFound(Pass& pass, std::int64_t offset) {
    const auto [start, end] = SearchRange();
    Find find;
    find.offset = offset;
    const std::int64_t from = std::max<std::int64_t>(0, offset - end);
    std::vector<std::uint8_t> before;
    AppendInput(pass, from, offset - from, before);
    for (std::int64_t cr = offset - start; cr > offset - end && cr >= 0; --cr) {
        const auto at = static_cast<std::size_t>(cr - from);
        if (at + 2 < before.size() && before[at] == kCR && before[at + 1] == kLF &&
            before[at + 2] == kDash) {
            find.position = cr + 1;
            const std::int64_t last = std::min(cr + end, iflength_ - 1);
            AppendInput(pass, cr + start, last - (cr + start) + 1, find.shown);
            return find;
        }
    }
    find.kind = FindKind::StructureByte;  // a repeated byte no marker points at
    find.position = offset + 1;
    AppendInput(pass, offset, 1, find.shown);
    return find;
}

// The finds of the slices planned are told: the guide keeps those still to be planned only,
// no more than the scan is ahead of the copy.
void RepairEngine::ForgetPlannedFinds() {
    Guide& guide = *guide_;
    const auto planned = static_cast<long>(guide.planner->Planned());
    guide.finds.erase(guide.finds.begin(), guide.finds.begin() + planned);
    guide.removals.erase(guide.removals.begin(), guide.removals.begin() + planned);
    guide.planner->Forget(static_cast<std::size_t>(planned));
}

// A find of the guided pass as the scan saw it; a slipped byte the scan never saw has none.
Find RepairEngine::FindAt(std::int64_t offset) const {
    const std::vector<Find>& finds = guide_->finds;
    const auto found =
        std::lower_bound(finds.begin(), finds.end(), offset,
                         [](const Find& find, std::int64_t at) { return find.offset < at; });
    if (found != finds.end() && found->offset == offset) {
        return *found;
    }
    Find none;
    none.offset = offset;
    return none;
}

// The line of a guided find; one the checksums keep is asked about in an interactive run.
bool RepairEngine::TellGuided(const Find& find, bool keep, Reason reason) {
    if (!keep) {
        return Tell({find, false, reason});
    }
    return Tell(Decide(find));
}

// Writes the input from where the copy has got to up to end, less the removals (in order,
// within that stretch), straight from where the read window holds it; slice, if not -1, is
// the slice those bytes make, for its proof.
void RepairEngine::WriteKept(Pass& pass, std::int64_t end, const std::vector<Removal>& removed,
                             std::int64_t slice) {
    Guide& guide = *guide_;
    std::vector<std::uint8_t> proven =
        slice >= 0 ? guide.proof->Buffer() : std::vector<std::uint8_t>();
    std::int64_t at = guide.written;
    std::size_t next = 0;
    while (at < end) {
        while (next < removed.size() && removed[next].offset + removed[next].length <= at) {
            ++next;
        }
        if (next < removed.size() && removed[next].offset <= at) {
            at = std::min(end, removed[next].offset + removed[next].length);
            continue;
        }
        std::int64_t stop = next < removed.size() ? std::min(end, removed[next].offset) : end;
        // Bytes the window no longer holds are read again, a bounded piece at a time.
        stop = std::min(stop, at + kUnheldPiece);
        const std::uint8_t* bytes = WriteInput(pass, at, stop - at);
        if (slice >= 0) {
            proven.insert(proven.end(), bytes, bytes + (stop - at));
        }
        at = stop;
    }
    guide.written = std::max(guide.written, end);
    if (pass.window != nullptr) {
        pass.window->KeepFrom(guide.written);
    }
    StartWritebackOfChangedCopy(pass);
    if (slice >= 0) {
        guide.proof->Add(slice, std::move(proven));
    }
}

// Writes count bytes of the input from offset to the copy; where they are, until the next read.
const std::uint8_t* RepairEngine::WriteInput(Pass& pass, std::int64_t offset, std::int64_t count) {
    const auto size = static_cast<std::size_t>(count);
    const std::uint8_t* bytes = pass.input->Peek(offset, size);
    if (bytes == nullptr) {
        guide_->unheld.clear();
        AppendInput(pass, offset, count, guide_->unheld);
        bytes = guide_->unheld.data();
    }
    Observe(pass, bytes, count);
    errno = 0;
    const std::int32_t written =
        Io().WriteBuffEx(pass.outhandle, bytes, static_cast<std::int32_t>(count));
    CheckWritten(pass, written, count, errno);
    writepos += count;
    return bytes;
}

void RepairEngine::AppendInput(Pass& pass, std::int64_t offset, std::int64_t count,
                               std::vector<std::uint8_t>& bytes) {
    const std::size_t from = bytes.size();
    bytes.resize(from + static_cast<std::size_t>(count));
    std::error_code error;
    // Bytes behind the scan the window no longer holds come from the file itself: the
    // window stays where the scan reads.
    InputFile& file = pass.window != nullptr ? pass.window->File() : *pass.input;
    const std::size_t got =
        file.ReadAt(offset, bytes.data() + from, static_cast<std::size_t>(count), error);
    if (error) {
        throw Unable("read input file failed", "read input file", pass.filename, error);
    }
    if (static_cast<std::int64_t>(got) < count) {
        throw InputChanged(pass.filename, "became shorter");
    }
}

}  // namespace korbelt
