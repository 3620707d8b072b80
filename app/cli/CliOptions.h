#pragma once

#include <optional>
#include <string>
#include <vector>

namespace korbelt {

// What the command line asks for.
struct CliOptions {
    std::vector<std::string> paths;
    bool interactive = false;
    bool yes = false;
    bool keepBackups = false;  // answer No to replacing an old backup, even with --yes
    bool dryRun = false;
    bool json = false;
    bool dropVerifiedBackups = false;  // a repair its checksum proves keeps no NAME.bak  // reports
                                       // on standard output, the status lines on standard error
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

// The usage text printed by --help and after a usage error.
std::string UsageText();

}  // namespace korbelt
