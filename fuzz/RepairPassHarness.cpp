#include "RepairPassHarness.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <optional>
#include <sstream>

#include "FakeHost.h"
#include "engine/RepairEngine.h"
#include "engine/report/NumberFormat.h"
#include "ports/EngineHost.h"
#include "ports/RunState.h"
#include "settings/ModGlobals.h"
#include "verify/ChecksumCatalog.h"
#include "verify/Digest.h"

namespace korbelt::fuzz {
namespace {

// Errors a real disk, network share or removable drive gives. ENOENT is left out: from a
// delete it means the file is gone, which an injected one would make a lie.
constexpr int kErrors[] = {ENOSPC, EIO, EACCES, EXDEV, EROFS, EDQUOT, EPERM, EMLINK, EBUSY, EFBIG};
constexpr std::size_t kErrorCount = sizeof(kErrors) / sizeof(kErrors[0]);

const std::string kDirectory = "/mem";
const Bytes kOldBackup = {'o', 'l', 'd', ' ', 'b', 'a', 'c', 'k', 'u', 'p'};
const Bytes kStaleTemp = {'s', 't', 'a', 'l', 'e'};
const Bytes kNeighbour = {'n', 'e', 'i', 'g', 'h', 'b', 'o', 'u', 'r', 13, 10, '-'};

std::uint8_t At(const std::uint8_t* bytes, std::size_t size, std::size_t index) {
    return index < size ? bytes[index] : 0;
}

bool StartsWith(const std::string& text, const std::string& head) {
    return text.compare(0, head.size(), head) == 0;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Whether every byte of part appears in whole, in order: a repair only ever leaves out.
bool IsSubsequence(const Bytes& part, const Bytes& whole) {
    std::size_t j = 0;
    for (std::size_t i = 0; i < whole.size() && j < part.size(); ++i) {
        if (whole[i] == part[j]) {
            ++j;
        }
    }
    return j == part.size();
}

std::string PathOf(PassCase::Name name) {
    switch (name) {
        case PassCase::Name::Plain:
            return kDirectory + "/a.avi";
        case PassCase::Name::HJSplitPiece:
            return kDirectory + "/piece.007";
        case PassCase::Name::Hidden:
            return kDirectory + "/.hidden";
        case PassCase::Name::Empty:
            return "";
    }
    return "";
}

void PutLittle(Bytes& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

Bytes Packet(const Bytes& set, const char (&type)[17], const Bytes& body) {
    Bytes hashed = set;
    hashed.insert(hashed.end(), type, type + 16);
    hashed.insert(hashed.end(), body.begin(), body.end());
    Bytes packet = {'P', 'A', 'R', '2', 0, 'P', 'K', 'T'};
    PutLittle(packet, 32 + hashed.size(), 8);
    const DigestBytes md5 = DigestOf(DigestKind::Md5, hashed.data(), hashed.size());
    packet.insert(packet.end(), md5.begin(), md5.end());
    packet.insert(packet.end(), hashed.begin(), hashed.end());
    return packet;
}

// A PAR 2.0 index of one file, as par2 writes it: Main, File Description, slice checksums.
Bytes Par2Index(const Bytes& posted, std::int64_t sliceSize, std::string name) {
    name.resize((name.size() + 3) / 4 * 4, '\0');
    const DigestBytes whole = DigestOf(DigestKind::Md5, posted.data(), posted.size());
    const DigestBytes first =
        DigestOf(DigestKind::Md5, posted.data(), std::min<std::size_t>(posted.size(), 16384));
    const Bytes fileId(whole.begin(), whole.end());
    Bytes main;
    PutLittle(main, static_cast<std::uint64_t>(sliceSize), 8);
    PutLittle(main, 1, 4);
    main.insert(main.end(), fileId.begin(), fileId.end());
    const DigestBytes setDigest = DigestOf(DigestKind::Md5, main.data(), main.size());
    const Bytes set(setDigest.begin(), setDigest.end());
    Bytes description = fileId;
    description.insert(description.end(), whole.begin(), whole.end());
    description.insert(description.end(), first.begin(), first.end());
    PutLittle(description, posted.size(), 8);
    description.insert(description.end(), name.begin(), name.end());
    Bytes checksums = fileId;
    for (std::size_t at = 0; at < posted.size(); at += static_cast<std::size_t>(sliceSize)) {
        Bytes slice(posted.begin() + static_cast<long>(at),
                    posted.begin() + static_cast<long>(std::min<std::size_t>(
                                         posted.size(), at + static_cast<std::size_t>(sliceSize))));
        slice.resize(static_cast<std::size_t>(sliceSize), 0);
        const DigestBytes md5 = DigestOf(DigestKind::Md5, slice.data(), slice.size());
        checksums.insert(checksums.end(), md5.begin(), md5.end());
        PutLittle(checksums, Crc32(0, slice.data(), slice.size()), 4);
    }
    Bytes index = Packet(set, "PAR 2.0\0Main\0\0\0\0", main);
    for (const Bytes& packet : {Packet(set, "PAR 2.0\0FileDesc", description),
                                Packet(set, "PAR 2.0\0IFSC\0\0\0\0", checksums)}) {
        index.insert(index.end(), packet.begin(), packet.end());
    }
    return index;
}

// Checks one finished pass against the promises of the repair pass.
class Verdict {
  public:
    // posted: where slices guide the pass, the file as the plain repair left it, which the
    // index describes. What came of the file is read from the engine's report, never from
    // its lines.
    Verdict(const PassCase& pass, const std::map<std::string, Bytes>& before,
            const MemoryFileSystem& fs, const test::FakeHost& host, const RunState& run,
            const std::optional<Bytes>& posted, const FileReport& report)
        : pass_(pass),
          posted_(posted),
          report_(report),
          before_(before),
          fs_(fs),
          host_{host.status.lines, host.boxes.Texts(test::ScriptedBoxes::Kind::Warning),
                host.boxes.Texts(test::ScriptedBoxes::Kind::Notice), host.boxes.Questions()},
          run_(run),
          name_(PathOf(pass.name)),
          temp_(name_ + ".$$$"),
          bak_(name_ + ".bak"),
          original_(pass.FileBytes()) {}

    std::vector<std::string> Broken() {
        CheckCommon();
        if (NothingMayChange()) {
            Expect(fs_.Snapshot() == before_, "a file changed although the pass may change none");
        } else if (run_.fileerror && !NotVerified()) {
            CheckFailedPass();
        } else {
            CheckFinishedPass();
        }
        if (posted_) {
            CheckGuided();
        } else {
            CheckDamageDistance();
        }
        return broken_;
    }

  private:
    void Expect(bool ok, const std::string& what) {
        if (!ok) {
            broken_.push_back(what);
        }
    }

    std::optional<Bytes> Before(const std::string& path) const {
        const auto it = before_.find(path);
        return it == before_.end() ? std::nullopt : std::optional<Bytes>(it->second);
    }

    // Stop may be asked about before it, while the checksum files are read.
    bool BackupRefused() const {
        return std::any_of(host_.questions.begin(), host_.questions.end(), [](const auto& q) {
            return StartsWith(q.text, "Backup file '") && !q.yes;
        });
    }

    // A pass that went to its end but whose copy the checksums do not prove.
    bool NotVerified() const { return report_.outcome == FileOutcome::NotVerified; }
    bool Intact() const { return report_.outcome == FileOutcome::Intact; }
    // Its repeated bytes were what chance gives, and the option left it as it was.
    bool LeftAlone() const {
        return report_.outcome == FileOutcome::Ignored && report_.pattern &&
               report_.pattern->kind == PatternVerdict::Kind::NoPattern;
    }

    bool NothingMayChange() const {
        return pass_.name == PassCase::Name::Empty || pass_.name == PassCase::Name::Hidden ||
               pass_.dryRun || BackupRefused() ||
               (host_.lines.size() > 0 && host_.lines[0] == name_ + " - HJSplit file ignored");
    }

    void CheckCommon() {
        Expect(fs_.Get(kDirectory + "/neighbour.avi") == kNeighbour, "another file was touched");
        // Korbelt deletes only what it wrote: a NAME.$$$ without its mark stays as it was, and
        // the copy written beside it under another name goes as NAME.$$$ would.
        if (pass_.staleTemp && pass_.postedTemp) {
            Expect(fs_.Get(temp_) == Before(temp_), "a posted NAME.$$$ was changed or deleted");
        }
        const std::string other = name_ + ".1.$$$";
        Expect(!fs_.Get(other) ||
                   (fs_.FaultFired() &&
                    std::any_of(host_.warnings.begin(), host_.warnings.end(),
                                [&](const std::string& w) { return Contains(w, other); })),
               "NAME.1.$$$ left behind and no warning names it");
        for (const auto& asked : host_.questions) {
            const std::string& q = asked.text;
            Expect(StartsWith(q, "Backup file '" + bak_ + "' already exists\r\n") ||
                       EndsWith(q, "\r\nShall I remove the repeated byte?") ||
                       EndsWith(q, "\r\nShall I remove the slipped-in byte?") ||
                       EndsWith(q, "\r\nShall I remove the Wrapper?") || q == "Abort Processing?",
                   "unknown question: " + q);
        }
        for (const auto& notice : host_.notices) {
            Expect(StartsWith(notice, "Unable to find end of Mime Wrapper\r\n"),
                   "unknown notice: " + notice);
        }
        if (pass_.name == PassCase::Name::Empty) {
            Expect(host_.warnings == std::vector<std::string>{"Please choose a file first"},
                   "no warning for the empty name");
        } else if (pass_.name == PassCase::Name::Hidden) {
            Expect(host_.warnings == std::vector<std::string>{name_ + "\r\ndoes not exist"},
                   "no warning for a hidden file");
        }
    }

    // Where the input's bytes are now: under its own name, else under NAME.bak.
    void CheckNeverNeither(const std::optional<Bytes>& name, const std::optional<Bytes>& bak) {
        const bool underName = name && *name == original_;
        const bool underBak = bak && *bak == original_;
        Expect(underName || underBak, "the input's bytes are lost");
        if (!name) {
            Expect(std::any_of(host_.warnings.begin(), host_.warnings.end(),
                               [&](const std::string& w) {
                                   return Contains(w, "The original file is now '" + bak_ + "'");
                               }),
                   "the input's name is gone and no warning says where the file is");
        }
    }

    bool WarningNamesTemp() const {
        return std::any_of(host_.warnings.begin(), host_.warnings.end(), [&](const auto& w) {
            return StartsWith(w, "Unable to delete temporary file '" + temp_ + "'\r\n") ||
                   Contains(w, "The temporary file '" + temp_ + "' could not be deleted: ");
        });
    }

    void CheckFailedPass() {
        const auto name = fs_.Get(name_);
        const auto bak = fs_.Get(bak_);
        const auto temp = fs_.Get(temp_);
        CheckNeverNeither(name, bak);
        Expect(!name || *name == original_, "a failed pass changed the input");
        Expect(!bak || *bak == original_ || bak == Before(bak_), "a failed pass made a bad backup");
        const bool createFailed =
            host_.warnings.size() == 1 &&
            StartsWith(host_.warnings[0], "Error opening output file '" + temp_ + "'");
        // A NAME.$$$ from an earlier crash that the pass never got to open may stay.
        Expect(!temp || temp == Before(temp_) || (fs_.FaultFired() && WarningNamesTemp()),
               "NAME.$$$ left behind and no warning names it");

        const std::string line = host_.lines.empty() ? "" : host_.lines[0];
        const bool aborted =
            line == "Aborted " + name_ || line == "Aborted-bad Mime Wrapper " + name_;
        Expect(aborted || (fs_.FaultFired() && StartsWith(line, name_ + " - ")),
               "a failed pass without a fault or an abort: " + line);
        if (aborted || !fs_.FaultFired()) {
            return;
        }
        Expect(!host_.warnings.empty(), "a failed file operation without a warning");
        if (createFailed) {
            Expect(line == name_ + " - failed to create output file", "line: " + line);
        } else if (!host_.warnings.empty()) {
            Expect(Contains(host_.warnings[0], std::strerror(fs_.FaultError())),
                   "the warning does not give the reason: " + host_.warnings[0]);
            Expect(EndsWith(line, " failed") || EndsWith(line, "changed during processing"),
                   "line: " + line);
        }
    }

    void CheckFinishedPass() {
        const auto name = fs_.Get(name_);
        const auto bak = fs_.Get(bak_);
        CheckNeverNeither(name, bak);
        // A file proven intact is not touched, nor is a NAME.$$$ an earlier run left, nor one
        // the pass could not examine and wrote its copy beside, saying so.
        const bool keptBeside = !report_.copyName.empty();
        Expect(!fs_.Get(temp_) || ((Intact() || pass_.postedTemp || keptBeside) &&
                                   fs_.Get(temp_) == Before(temp_)),
               "NAME.$$$ left behind by a finished pass");
        Expect(!host_.lines.empty() && host_.lines[0] == name_, "the file's line is not its name");
        if (!name) {
            return;
        }
        const bool changed = *name != original_;
        if (changed) {
            Expect(name->size() < original_.size() && IsSubsequence(*name, original_),
                   "the repaired copy is not the input with bytes left out");
            Expect(bak == original_, "NAME.bak does not hold the input");
        } else {
            Expect(bak == Before(bak_), "the old backup changed although the file did not");
        }
        const NumberFormat format;
        const auto read = static_cast<std::int64_t>(original_.size());
        const auto written = static_cast<std::int64_t>(name->size());
        const std::string summary = "  " + NumberFormat::Plain(read - written) +
                                    " bytes removed, " + format.Grouped(read) + " bytes read, " +
                                    format.Grouped(written) + " bytes written.";
        // Checksums add a line after the summary, or say intact instead of it.
        const bool intact = Intact() && host_.lines.size() == 2;
        const bool last = !host_.lines.empty() && host_.lines.back() == summary;
        const bool beforeLast =
            posted_ && host_.lines.size() >= 2 && host_.lines[host_.lines.size() - 2] == summary;
        const bool dropped = !changed && (NotVerified() || LeftAlone()) &&
                             EndsWith(host_.lines.back(), "; the file was left as it is");
        Expect((intact && !changed) || last || beforeLast || dropped,
               "summary \"" + (host_.lines.empty() ? "" : host_.lines.back()) + "\" instead of \"" +
                   summary + "\"");
    }

    // Where the markers show damage and no checksum decides, every repeated byte removed is
    // the pair at one of its distances.
    void CheckDamageDistance() {
        if (!report_.pattern || report_.pattern->kind != PatternVerdict::Kind::Damage) {
            return;
        }
        for (const Decision& decision : report_.finds) {
            const Find& find = decision.find;
            Expect(find.kind != FindKind::RepeatedByte || !decision.removed ||
                       report_.pattern->Flags(static_cast<int>(find.offset - (find.position - 1))),
                   "a repeated byte removed away from the damage's distance");
        }
    }

    // A repair said to be verified holds the posted bytes; and where nothing else stands in
    // the way (no question, fault or Stop), the slices restore the file as the plain repair
    // does: never worse than plain.
    void CheckGuided() {
        const auto name = fs_.Get(name_);
        const bool verified =
            report_.checksums && (report_.checksums->verdict == ChecksumReport::Verdict::Verified ||
                                  report_.checksums->verdict == ChecksumReport::Verdict::Intact);
        if (verified && !pass_.dryRun) {
            Expect(name == posted_, "a verified repair that is not the posted file");
        }
        const bool unhindered = !pass_.interactive && !pass_.dryRun && !pass_.oldBackup &&
                                !pass_.staleTemp && pass_.stopAtYield == 0 && !fs_.FaultFired() &&
                                pass_.name == PassCase::Name::Plain;
        if (unhindered) {
            Expect(!run_.fileerror && name == posted_,
                   "the slices did less than the plain repair: " +
                       (host_.lines.empty() ? std::string() : host_.lines.back()));
        }
    }

    const PassCase& pass_;
    const std::optional<Bytes>& posted_;
    const FileReport& report_;
    const std::map<std::string, Bytes>& before_;
    const MemoryFileSystem& fs_;
    // What the host recorded of the pass.
    struct Seen {
        std::vector<std::string> lines;
        std::vector<std::string> warnings;
        std::vector<std::string> notices;
        std::vector<test::ScriptedBoxes::Box> questions;
    };
    const Seen host_;
    const RunState& run_;
    const std::string name_;
    const std::string temp_;
    const std::string bak_;
    const Bytes original_;
    std::vector<std::string> broken_;
};

}  // namespace

PassCase PassCase::Decode(const std::uint8_t* bytes, std::size_t size) {
    const auto at = [&](std::size_t i) { return At(bytes, size, i); };
    PassCase pass;
    const std::uint8_t flags = at(0);
    pass.interactive = (flags & 1) != 0;
    pass.truncate = (flags & 2) != 0;
    pass.ignoreHJSplit = (flags & 4) != 0;
    pass.dryRun = (flags & 8) != 0;
    pass.oldBackup = (flags & 16) != 0;
    pass.staleTemp = (flags & 32) != 0;
    pass.name = static_cast<Name>(flags >> 6);
    pass.rangestart = static_cast<std::int16_t>(at(1) | at(2) << 8);
    pass.rangeend = static_cast<std::int16_t>(at(3) | at(4) << 8);
    pass.faultSite = at(5) & 0x7f;
    pass.postedTemp = (at(5) & 0x80) != 0;
    pass.faultNth = at(6);
    pass.faultErrorIndex = static_cast<int>(at(7) % kErrorCount);
    pass.lead = (at(8) | at(9) << 8) % kMaxLead;
    pass.copies = 1 + (at(10) & 3);
    pass.withoutHardLinks = (at(10) & 4) != 0;
    pass.wideWrites = (at(10) & 8) != 0;
    pass.slices = (at(10) & 16) != 0;
    pass.sliceSizeIndex = (at(10) >> 5) & 3;
    pass.leaveUnpatterned = (at(10) & 128) != 0;
    pass.stopAtYield = at(11);
    for (int i = 0; i < 8; ++i) {
        pass.answers |= static_cast<std::uint64_t>(at(12 + static_cast<std::size_t>(i))) << (8 * i);
    }
    if (size > kHeaderSize) {
        pass.data.assign(bytes + kHeaderSize, bytes + size);
    }
    return pass;
}

Bytes PassCase::Encode() const {
    Bytes out(kHeaderSize, 0);
    out[0] = static_cast<std::uint8_t>(
        (interactive ? 1 : 0) | (truncate ? 2 : 0) | (ignoreHJSplit ? 4 : 0) | (dryRun ? 8 : 0) |
        (oldBackup ? 16 : 0) | (staleTemp ? 32 : 0) | static_cast<int>(name) << 6);
    out[1] = static_cast<std::uint8_t>(rangestart & 0xff);
    out[2] = static_cast<std::uint8_t>((rangestart >> 8) & 0xff);
    out[3] = static_cast<std::uint8_t>(rangeend & 0xff);
    out[4] = static_cast<std::uint8_t>((rangeend >> 8) & 0xff);
    out[5] = static_cast<std::uint8_t>((faultSite & 0x7f) | (postedTemp ? 0x80 : 0));
    out[6] = static_cast<std::uint8_t>(faultNth);
    out[7] = static_cast<std::uint8_t>(faultErrorIndex);
    out[8] = static_cast<std::uint8_t>(lead & 0xff);
    out[9] = static_cast<std::uint8_t>(lead >> 8);
    out[10] = static_cast<std::uint8_t>((copies - 1) | (withoutHardLinks ? 4 : 0) |
                                        (wideWrites ? 8 : 0) | (slices ? 16 : 0) |
                                        sliceSizeIndex << 5 | (leaveUnpatterned ? 128 : 0));
    out[11] = static_cast<std::uint8_t>(stopAtYield);
    for (int i = 0; i < 8; ++i) {
        out[12 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(answers >> (8 * i));
    }
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

Bytes PassCase::FileBytes() const {
    Bytes file;
    file.reserve(static_cast<std::size_t>(lead) + data.size() * static_cast<std::size_t>(copies));
    // Letters in turn: no CR, so no marker, and no two equal neighbours.
    for (int i = 0; i < lead; ++i) {
        file.push_back(static_cast<std::uint8_t>('a' + i % 26));
    }
    for (int i = 0; i < copies; ++i) {
        file.insert(file.end(), data.begin(), data.end());
    }
    return file;
}

int PassCase::FaultError() const {
    return kErrors[static_cast<std::size_t>(faultErrorIndex) % kErrorCount];
}

std::string PassCase::Describe() const {
    std::ostringstream text;
    text << "name " << PathOf(name) << (interactive ? " interactive" : " automatic")
         << (truncate ? " truncate" : "") << (ignoreHJSplit ? " ignore-hjsplit" : "")
         << (dryRun ? " dry-run" : "") << (oldBackup ? " old-backup" : "")
         << (staleTemp ? (postedTemp ? " posted-temp" : " stale-temp") : "") << (withoutHardLinks ? " no-hard-links" : "")
         << (wideWrites ? " wide-writes" : "") << (leaveUnpatterned ? " leave-unpatterned" : "")
         << " range " << rangestart << ".." << rangeend;
    if (slices) {
        text << " slices of " << SliceSize();
    }
    if (faultSite < static_cast<int>(FaultSite::Count) && faultNth > 0) {
        text << " fault " << SiteName(static_cast<FaultSite>(faultSite)) << " #" << faultNth << " "
             << std::strerror(FaultError());
    }
    text << " stop@" << stopAtYield << " answers " << std::hex << answers << std::dec << " lead "
         << lead << " data " << data.size() << " x" << copies;
    return text.str();
}

struct PassRunner::Rig {
    explicit Rig(RecordIo& scanner) : io(fs, scanner), scanner(scanner) {}

    MemoryFileSystem fs;
    MemoryRecordIo io;
    RecordIo& scanner;
    RunState run;
    test::FakeHost host;
    RepairEngine engine{host, run, io, fs};
    ChecksumCatalog checksums{fs};
};

namespace {

// The file as the plain repair leaves it, with the options of the case; nothing where that
// repair fails.
std::optional<Bytes> PlainRepair(const PassCase& pass, const RunOptions& options,
                                 RecordIo& scanner) {
    MemoryFileSystem fs;
    MemoryRecordIo io(fs, scanner);
    RunState run;
    test::FakeHost host;
    RepairEngine engine(host, run, io, fs);
    RunOptions plain = options;
    plain.dryRun = false;
    plain.verify = false;
    // The file as the pattern's own finds leave it: what the slices' finds can rebuild.
    plain.judgeMarkers = false;
    engine.StartRun(plain);
    const std::string name = kDirectory + "/a.avi";
    fs.Put(name, pass.FileBytes());
    run.listindex = host.status.AppendLine("Processing " + name);
    engine.ProcessFile(name);
    return run.fileerror ? std::nullopt : fs.Get(name);
}

}  // namespace

PassRunner::PassRunner(RecordIo& scanner) : rig_(std::make_unique<Rig>(scanner)) {}

PassRunner::~PassRunner() = default;

PassOutcome PassRunner::Run(const PassCase& pass) {
    MemoryFileSystem& fs = rig_->fs;
    fs.Reset();
    rig_->io.Reset();
    const std::string name = PathOf(pass.name);
    fs.Put(kDirectory + "/neighbour.avi", kNeighbour);
    if (!name.empty()) {
        fs.Put(name, pass.FileBytes());
        if (pass.oldBackup) {
            fs.Put(name + ".bak", kOldBackup);
        }
        if (pass.staleTemp) {
            if (pass.postedTemp) {
                fs.Put(name + ".$$$", kStaleTemp);
            } else {
                fs.PutMarked(name + ".$$$", kStaleTemp, KorbeltMark::Copy);
            }
        }
    }
    fs.SetWithoutHardLinks(pass.withoutHardLinks);
    rig_->io.SetWideWrites(pass.wideWrites);
    if (pass.faultSite < static_cast<int>(FaultSite::Count) && pass.faultNth > 0) {
        fs.FailAt(static_cast<FaultSite>(pass.faultSite), pass.faultNth, pass.FaultError());
    }
    auto before = fs.Snapshot();

    RunState& run = rig_->run;
    run = RunState();
    run.interactive = pass.interactive;
    // The range as a settings store of any content gives it: -1 is the default.
    ModGlobals range;
    range.rangestart = pass.rangestart;
    range.rangeend = pass.rangeend;
    RunOptions options;
    options.rangeStart = range.GetDBRangeStart();
    options.rangeEnd = range.GetDBRangeEnd();
    options.truncate = pass.truncate;
    options.ignoreHJSplit = pass.ignoreHJSplit;
    options.leaveUnpatterned = pass.leaveUnpatterned;
    options.dryRun = pass.dryRun;
    std::optional<Bytes> posted;
    if (pass.slices && pass.name == PassCase::Name::Plain) {
        posted = PlainRepair(pass, options, rig_->scanner);
    }
    if (posted) {
        fs.Put(kDirectory + "/a.avi.par2", Par2Index(*posted, pass.SliceSize(), "a.avi"));
        before = fs.Snapshot();
    }
    rig_->engine.SetChecksums(posted ? &rig_->checksums : nullptr);
    options.verify = posted.has_value();
    rig_->engine.StartRun(options);
    test::FakeHost& host = rig_->host;
    host.ClearRecords();
    // The case's bits answer the questions in turn, and Stop is pressed at one yield.
    host.boxes.answer = [&pass, asked = 0u](QuestionKind, const std::string&) mutable {
        return ((pass.answers >> (asked++ % 64)) & 1) != 0;
    };
    host.onYield = [&run, stop = pass.stopAtYield](int yield) {
        run.stopflag = run.stopflag || yield == stop;
    };
    run.listindex = host.status.AppendLine("Processing " + name);
    rig_->engine.ProcessFile(name);

    PassOutcome outcome;
    outcome.broken = Verdict(pass, before, fs, host, run, posted, rig_->engine.Report()).Broken();
    outcome.broken.insert(outcome.broken.end(), host.misuse.begin(), host.misuse.end());
    if (rig_->io.OpenHandles() != 0) {
        outcome.broken.push_back("the temporary file was left open");
    }
    outcome.lines = host.status.lines;
    for (const auto& w : host.boxes.Texts(test::ScriptedBoxes::Kind::Warning)) {
        outcome.boxes.push_back("warning: " + w);
    }
    for (const auto& n : host.boxes.Texts(test::ScriptedBoxes::Kind::Notice)) {
        outcome.boxes.push_back("notice: " + n);
    }
    for (const auto& q : host.boxes.Questions()) {
        outcome.boxes.push_back("question: " + q.text + (q.yes ? " -> Yes" : " -> No"));
    }
    outcome.fileerror = run.fileerror;
    outcome.faultFired = fs.FaultFired();
    return outcome;
}

PassOutcome RunPass(const PassCase& pass, RecordIo& scanner) {
    return PassRunner(scanner).Run(pass);
}

}  // namespace korbelt::fuzz
