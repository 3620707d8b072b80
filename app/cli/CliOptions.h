#pragma once

#include <optional>
#include <string>
#include <vector>

namespace korbelt {

// How much a run prints besides its questions: errors only, every line (with the summary
// on a terminal), or every line and the summary wherever the output goes.
enum class Verbosity { Quiet, Normal, Verbose };

// What the command line asks for.
struct CliOptions {
    std::vector<std::string> paths;
    bool interactive = false;
    bool yes = false;
    bool keepBackups = false;  // answer No to replacing an old backup, even with --yes
    bool dryRun = false;
    bool json = false;
    bool dropVerifiedBackups = false;  // a repair its checksum proves keeps no NAME.bak
    Verbosity verbosity = Verbosity::Normal;
    bool help = false;
    bool version = false;
    std::optional<int> rangeStart;
    std::optional<int> rangeEnd;
    std::optional<bool> truncate;
    std::optional<bool> ignoreHJSplit;
    std::optional<bool> verify;
    std::optional<bool> leaveUnpatterned;
    std::vector<std::string> checksums;  // checksum files kept elsewhere
};

struct CliParse {
    CliOptions options;
    std::string error;  // empty when the command line is usable
};

CliParse ParseCommandLine(const std::vector<std::string>& arguments);

// The usage text printed by --help.
std::string UsageText();
// The line after a usage error's own, pointing to the help.
std::string UsageHint();

}  // namespace korbelt
