#include "cli/ReportJson.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>

#include "cli/Terminal.h"

namespace korbelt {
namespace {

std::string Escaped(const std::string& text) {
    std::string out = "\"";
    char code[8];
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '"' || byte == '\\') {
            out += '\\';
            out += text[i++];
        } else if (byte < 0x20 || byte == 0x7f) {
            std::snprintf(code, sizeof(code), "\\u%04x", byte);
            out += code;
            ++i;
        } else if (byte < 0x80) {
            out += text[i++];
        } else if (const std::size_t length = Utf8SequenceAt(text, i)) {
            out.append(text, i, length);
            i += length;
        } else {
            std::snprintf(code, sizeof(code), "\\udc%02x", byte);
            out += code;
            ++i;
        }
    }
    return out + "\"";
}

std::string Base64(const std::string& bytes) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out = "\"";
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 3; ++k) {
            group = group << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        }
        for (std::size_t k = 0; k < 4; ++k) {
            out += k <= n ? digits[group >> (18 - 6 * k) & 63] : '=';
        }
    }
    return out + "\"";
}

// "key":"name", and "key_base64" with its bytes where the name is not UTF-8.
std::string NameFields(const char* key, const std::string& name) {
    std::string out = std::string("\"") + key + "\":" + Escaped(name);
    if (!IsUtf8(name)) {
        out += std::string(",\"") + key + "_base64\":" + Base64(name);
    }
    return out;
}

std::string List(const std::vector<std::string>& texts, std::string (*each)(const std::string&)) {
    std::string out = "[";
    for (std::size_t i = 0; i < texts.size(); ++i) {
        out += (i == 0 ? "" : ",") + each(texts[i]);
    }
    return out + "]";
}

// A list of names, and beside it the bytes of all of them where one is not UTF-8.
std::string NameListFields(const char* key, const std::vector<std::string>& names) {
    std::string out = std::string("\"") + key + "\":" + List(names, Escaped);
    if (!std::all_of(names.begin(), names.end(), IsUtf8)) {
        out += std::string(",\"") + key + "_base64\":" + List(names, Base64);
    }
    return out;
}

std::string Head(const char* type) {
    return std::string("{\"type\":\"") + type + "\",\"version\":" + std::to_string(kRecordVersion);
}

const char* OutcomeName(FileOutcome outcome, bool dryRun) {
    switch (outcome) {
        case FileOutcome::Repaired:
            return dryRun ? "would be repaired" : "repaired";
        case FileOutcome::Clean:
            return "clean";
        case FileOutcome::Intact:
            return "intact";
        case FileOutcome::Ignored:
            return "ignored";
        case FileOutcome::DamageLeft:
            return "damage left";
        case FileOutcome::AlreadyDone:
            return "already done";
        case FileOutcome::Busy:
            return "busy";
        case FileOutcome::NotRepaired:
            return "not repaired";
        case FileOutcome::NotVerified:
            return "not verified";
    }
    return "";
}

const char* KindName(FindKind kind) {
    switch (kind) {
        case FindKind::RepeatedByte:
            return "repeated byte";
        case FindKind::Wrapper:
            return "wrapper";
        case FindKind::SlippedByte:
        case FindKind::StructureByte:
            return "slipped byte";
    }
    return "";
}

const char* ReasonName(Reason reason) {
    switch (reason) {
        case Reason::Found:
            return "found";
        case Reason::Declined:
            return "declined";
        case Reason::SliceVerifiesWithout:
            return "slice verifies without it";
        case Reason::SliceDoesNotVerify:
            return "slice does not verify";
        case Reason::StructureFitsWithout:
            return "structure fits without it";
        case Reason::CopyDropped:
            return "copy dropped";
    }
    return "";
}

const char* VerdictName(ChecksumReport::Verdict verdict) {
    switch (verdict) {
        case ChecksumReport::Verdict::None:
            return "none";
        case ChecksumReport::Verdict::Intact:
            return "intact";
        case ChecksumReport::Verdict::Verified:
            return "verified";
        case ChecksumReport::Verdict::NotVerified:
            return "not verified";
    }
    return "";
}

std::string Number(std::int64_t value) {
    return std::to_string(value);
}

std::string ChecksumsJson(const ChecksumReport& checksums) {
    std::string out = std::string("{\"verdict\":\"") + VerdictName(checksums.verdict) + "\"," +
                      NameFields("file", checksums.file) + "," +
                      NameListFields("disagreeing", checksums.disagreeing);
    if (checksums.slicesMatching) {
        out += ",\"slices\":{\"matching\":" + Number(*checksums.slicesMatching) +
               ",\"was\":" + Number(checksums.slicesWere.value_or(0)) +
               ",\"of\":" + Number(checksums.sliceCount) + "}";
    }
    return out + "," + NameListFields("unread", checksums.unread) +
           ",\"unchecked\":" + Number(checksums.unchecked) + "}";
}

// Every scanned file has one, "undecided" included; the distance only where damage shows.
// Of the regions there was something to decide in: how many were repaired and how many left
// as found, each proven by a check or consistent with the lengths alone, and how many no
// choice of finds fit.
// The slices of a par2 set that guided the repair, by what decided them.
std::string SlicesJson(const SliceReport& slices) {
    return "{\"repaired\":" + Number(slices.repaired) +
           ",\"structureChose\":" + Number(slices.structureChose) +
           ",\"left\":" + Number(slices.left) + ",\"unproven\":" + Number(slices.unproven) + "}";
}

std::string StructureJson(const StructureReport& structure) {
    return "{\"format\":" + Escaped(structure.format) +
           ",\"walk\":" + (structure.whole ? "\"whole\"" : "\"lost track\"") +
           ",\"proof\":" + Escaped(structure.proof) + ",\"lengths\":" + Escaped(structure.lengths) +
           ",\"repaired\":{\"proven\":" + Number(structure.repairedProven) +
           ",\"consistent\":" + Number(structure.repairedConsistent) +
           "},\"left\":{\"proven\":" + Number(structure.leftProven) +
           ",\"consistent\":" + Number(structure.leftConsistent) +
           "},\"noFit\":" + Number(structure.noFit) +
           ",\"undecided\":" + Number(structure.undecided) + "}";
}

std::string PatternJson(const PatternVerdict& pattern) {
    const char* verdict = pattern.kind == PatternVerdict::Kind::Damage      ? "damage"
                          : pattern.kind == PatternVerdict::Kind::NoPattern ? "no pattern"
                                                                            : "undecided";
    std::string out =
        std::string("{\"verdict\":\"") + verdict + "\",\"markers\":" + Number(pattern.markers);
    if (pattern.kind == PatternVerdict::Kind::Damage) {
        out += ",\"distance\":" + Number(pattern.distance) +
               ",\"matching\":" + Number(pattern.matching) + ",\"of\":" + Number(pattern.seen) +
               ",\"chance\":" + Number(pattern.chance) +
               ",\"inRange\":" + (pattern.InRange() ? "true" : "false");
        if (!pattern.others.empty()) {
            out += ",\"also\":[";
            for (std::size_t i = 0; i < pattern.others.size(); ++i) {
                const PatternVerdict::Distance& other = pattern.others[i];
                out += std::string(i == 0 ? "" : ",") + "{\"distance\":" + Number(other.distance) +
                       ",\"matching\":" + Number(other.matching) + ",\"of\":" +
                       Number(other.seen) + "}";
            }
            out += "]";
        }
    }
    return out + "}";
}

}  // namespace

// Written for each of millions of finds: appended in place, without a string per field.
std::string FindRecord(const Decision& decision, bool dryRun) {
    const Find& find = decision.find;
    std::string out;
    out.reserve(160);
    const auto append = [&out](std::int64_t value) {
        char digits[24];
        out.append(digits, std::to_chars(digits, digits + sizeof(digits), value).ptr);
    };
    out += "{\"kind\":\"";
    out += KindName(find.kind);
    out += "\",\"offset\":";
    append(find.offset);
    out += ",\"length\":";
    append(find.length);
    out += ",\"position\":";
    append(find.position);
    out += ",\"bytes\":[";
    for (std::size_t i = 0; i < find.shown.size(); ++i) {
        if (i != 0) {
            out += ',';
        }
        append(find.shown[i]);
    }
    out += "],\"decision\":\"";
    out += !decision.removed ? "kept" : dryRun ? "would be removed" : "removed";
    out += "\",\"reason\":\"";
    out += ReasonName(decision.reason);
    out += "\"}";
    return out;
}

// The finds come before the outcome: a record is begun with its file's name and its finds
// are written as they come, however many there are.
std::string FileRecordStart(const FileReport& report) {
    return Head("file") + "," + NameFields("name", report.name) + ",\"finds\":[";
}

std::string FileRecordEnd(const FileReport& report, bool dryRun) {
    std::string out = std::string("],\"outcome\":\"") + OutcomeName(report.outcome, dryRun) + "\"";
    if (!report.failure.empty()) {
        out += ",\"failure\":" + Escaped(report.failure);
    }
    out += ",\"bytes\":{\"read\":" + Number(report.bytesRead) +
           ",\"written\":" + Number(report.bytesWritten) +
           ",\"removed\":" + Number(report.bytesRemoved) + "}";
    if (report.passedOnUndone) {
        out += ",\"finds_applied\":false";
    }
    if (report.checksums) {
        out += ",\"checksums\":" + ChecksumsJson(*report.checksums);
    }
    if (report.pattern) {
        out += ",\"pattern\":" + PatternJson(*report.pattern);
    }
    if (report.structure) {
        out += ",\"structure\":" + StructureJson(*report.structure);
    }
    if (report.slices) {
        out += ",\"slices\":" + SlicesJson(*report.slices);
    }
    if (report.backupDropped) {
        out += ",\"backup\":\"dropped\"";
    }
    if (!report.copyName.empty()) {
        out += "," + NameFields("copy", report.copyName);
    }
    return out + "}";
}

std::string FileRecord(const FileReport& report, bool dryRun) {
    std::string out = FileRecordStart(report);
    for (std::size_t i = 0; i < report.finds.size(); ++i) {
        out += (i == 0 ? "" : ",") + FindRecord(report.finds[i], dryRun);
    }
    return out + FileRecordEnd(report, dryRun);
}

std::string ErrorRecord(const PathError& error) {
    const char* phase = error.phase == ErrorPhase::Listing     ? "listing"
                        : error.phase == ErrorPhase::Checksums ? "checksums"
                                                               : "arguments";
    return Head("error") + "," + NameFields("path", error.path) + ",\"phase\":\"" + phase +
           "\",\"reason\":" + Escaped(error.reason) + "}";
}

std::string SummaryRecord(const RunTally& tally, bool dryRun) {
    char seconds[32];
    const auto end = std::to_chars(seconds, seconds + sizeof(seconds), tally.Seconds(),
                                   std::chars_format::fixed, 3)
                         .ptr;
    const auto files = [&](OutcomeGroup group) { return std::to_string(tally.Files(group)); };
    return Head("summary") + ",\"dry_run\":" + (dryRun ? "true" : "false") +
           ",\"files\":" + std::to_string(tally.Files()) +
           ",\"repaired\":" + files(OutcomeGroup::Repaired) +
           ",\"clean\":" + files(OutcomeGroup::Clean) + ",\"left\":" + files(OutcomeGroup::Left) +
           ",\"failed\":" + files(OutcomeGroup::Failed) +
           ",\"repeated\":" + files(OutcomeGroup::Repeated) +
           ",\"errors\":" + std::to_string(tally.Errors()) +
           ",\"bytes\":{\"read\":" + Number(tally.BytesRead()) +
           ",\"written\":" + Number(tally.BytesWritten()) +
           ",\"removed\":" + Number(tally.BytesRemoved()) +
           "},\"seconds\":" + std::string(seconds, end) +
           ",\"exit\":" + std::to_string(static_cast<int>(tally.Status())) + "}";
}

}  // namespace korbelt
