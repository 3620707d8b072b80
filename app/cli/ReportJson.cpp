#include "cli/ReportJson.h"

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

std::string List(const std::vector<std::string>& texts) {
    std::string out = "[";
    for (std::size_t i = 0; i < texts.size(); ++i) {
        out += (i == 0 ? "" : ",") + Escaped(texts[i]);
    }
    return out + "]";
}

const char* OutcomeName(FileOutcome outcome) {
    switch (outcome) {
        case FileOutcome::Repaired:
            return "repaired";
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

std::string FindJson(const Decision& decision) {
    const Find& find = decision.find;
    std::string shown = "[";
    for (std::size_t i = 0; i < find.shown.size(); ++i) {
        shown += (i == 0 ? "" : ",") + Number(find.shown[i]);
    }
    return std::string("{\"kind\":\"") + KindName(find.kind) +
           "\",\"offset\":" + Number(find.offset) + ",\"length\":" + Number(find.length) +
           ",\"position\":" + Number(find.position) + ",\"bytes\":" + shown + "]" +
           ",\"decision\":\"" + (decision.removed ? "removed" : "kept") + "\",\"reason\":\"" +
           ReasonName(decision.reason) + "\"}";
}

std::string ChecksumsJson(const ChecksumReport& checksums) {
    std::string out = std::string("{\"verdict\":\"") + VerdictName(checksums.verdict) +
                      "\",\"file\":" + Escaped(checksums.file) +
                      ",\"disagreeing\":" + List(checksums.disagreeing);
    if (checksums.slicesMatching) {
        out += ",\"slices\":{\"matching\":" + Number(*checksums.slicesMatching) +
               ",\"was\":" + Number(checksums.slicesWere.value_or(0)) +
               ",\"of\":" + Number(checksums.sliceCount) + "}";
    }
    return out + ",\"unread\":" + List(checksums.unread) +
           ",\"unchecked\":" + Number(checksums.unchecked) + "}";
}

// Every scanned file has one, "undecided" included; the distance only where damage shows.
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
    }
    return out + "}";
}

}  // namespace

std::string ReportJson(const FileReport& report) {
    std::string out = "{\"name\":" + Escaped(report.name) + ",\"outcome\":\"" +
                      OutcomeName(report.outcome) + "\"";
    if (!report.failure.empty()) {
        out += ",\"failure\":" + Escaped(report.failure);
    }
    out += ",\"bytes\":{\"read\":" + Number(report.bytesRead) +
           ",\"written\":" + Number(report.bytesWritten) +
           ",\"removed\":" + Number(report.bytesRemoved) + "},\"finds\":[";
    for (std::size_t i = 0; i < report.finds.size(); ++i) {
        out += (i == 0 ? "" : ",") + FindJson(report.finds[i]);
    }
    out += "]";
    if (report.checksums) {
        out += ",\"checksums\":" + ChecksumsJson(*report.checksums);
    }
    if (report.pattern) {
        out += ",\"pattern\":" + PatternJson(*report.pattern);
    }
    if (report.backupDropped) {
        out += ",\"backup\":\"dropped\"";
    }
    return out + "}";
}

}  // namespace korbelt
