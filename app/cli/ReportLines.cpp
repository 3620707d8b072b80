#include "cli/ReportLines.h"

#include <cstdio>

#include "cli/Terminal.h"

namespace korbelt {
namespace {

// A rate or time is told only once there is enough of the file behind it to go by.
constexpr double kSecondsBeforeRate = 0.5;

std::string Count(std::int64_t value, const NumberFormat& format) {
    return value == 0 ? "0" : format.Grouped(value);
}

std::string Rate(double bytesPerSecond) {
    static const char* const units[] = {"B/s", "kB/s", "MB/s", "GB/s", "TB/s"};
    int unit = 0;
    for (; bytesPerSecond >= 1000 && unit < 4; ++unit) {
        bytesPerSecond /= 1000;
    }
    char text[32];
    std::snprintf(text, sizeof(text), bytesPerSecond < 10 ? "%.1f %s" : "%.0f %s", bytesPerSecond,
                  units[unit]);
    return text;
}

std::string Duration(double seconds) {
    const auto whole = static_cast<long long>(seconds + 0.5);
    char text[32];
    if (whole >= 3600) {
        std::snprintf(text, sizeof(text), "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60,
                      whole % 60);
    } else {
        std::snprintf(text, sizeof(text), "%lld:%02lld", whole / 60, whole % 60);
    }
    return text;
}

// The columns a text takes, at most: a character beyond ASCII may be a wide one.
std::size_t Columns(const std::string& text, std::size_t from, std::size_t length) {
    std::size_t columns = 0;
    for (std::size_t i = from; i < from + length;) {
        const std::size_t sequence =
            static_cast<unsigned char>(text[i]) < 0x80 ? 1 : Utf8SequenceAt(text, i);
        columns += sequence > 1 ? 2 : 1;
        i += sequence == 0 ? 1 : sequence;
    }
    return columns;
}

// The start of a name within columns, cut between whole characters, "..." marking the cut.
std::string Shortened(const std::string& name, std::size_t columns) {
    if (Columns(name, 0, name.size()) <= columns) {
        return name;
    }
    std::string out;
    std::size_t used = 0;
    for (std::size_t i = 0; i < name.size();) {
        const std::size_t sequence =
            static_cast<unsigned char>(name[i]) < 0x80 ? 1 : Utf8SequenceAt(name, i);
        const std::size_t length = sequence == 0 ? 1 : sequence;
        const std::size_t width = Columns(name, i, length);
        if (used + width + 3 > columns) {
            break;
        }
        out.append(name, i, length);
        used += width;
        i += length;
    }
    return out + "...";
}

}  // namespace

std::string ErrorLine(const PathError& error) {
    const char* phase = error.phase == ErrorPhase::Listing     ? "cannot list the folder: "
                        : error.phase == ErrorPhase::Checksums ? "cannot read the checksum file: "
                                                               : "";
    return "korbelt-cli: " + EscapeForTerminal(error.path) + ": " + phase + error.reason;
}

std::string SummaryLine(const RunTally& tally, bool dryRun, const NumberFormat& format) {
    std::string line = dryRun ? "Summary (dry run): " : "Summary: ";
    line += std::to_string(tally.Files(OutcomeGroup::Repaired)) +
            (dryRun ? " would be repaired, " : " repaired, ") +
            std::to_string(tally.Files(OutcomeGroup::Clean)) + " clean, " +
            std::to_string(tally.Files(OutcomeGroup::Left)) + " left, " +
            std::to_string(tally.Files(OutcomeGroup::Failed)) + " failed";
    if (tally.Errors() != 0) {
        line +=
            ", " + std::to_string(tally.Errors()) + (tally.Errors() == 1 ? " error" : " errors");
    }
    char seconds[32];
    std::snprintf(seconds, sizeof(seconds), "%.1f s", tally.Seconds());
    return line + "; " + Count(tally.BytesRemoved(), format) +
           (dryRun ? " bytes would be removed in " : " bytes removed in ") + seconds;
}

std::string ProgressLine(const Progress& progress, int columns) {
    const double done = static_cast<double>(progress.size) * progress.percent / 100;
    const bool measured = progress.seconds >= kSecondsBeforeRate && done > 0;
    const double rate = measured ? done / progress.seconds : 0;
    std::string tail = "  " + std::to_string(progress.percent) + "%  ";
    tail += measured ? Rate(rate) + "  " + Duration((progress.size - done) / rate) + " left"
                     : "-- B/s  --:-- left";
    const std::size_t width = columns > 1 ? static_cast<std::size_t>(columns - 1) : 79;
    const std::size_t room = width > tail.size() + 4 ? width - tail.size() : 4;
    return Shortened(EscapeForTerminal(progress.name), room) + tail;
}

}  // namespace korbelt
