#include "cli/CliOptions.h"

#include <charconv>

namespace korbelt {
namespace {

std::optional<int> WholeNumber(const std::string& text) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end) {
        return std::nullopt;
    }
    return value;
}

// START-END with 0 <= START < END <= 51: the window must stay inside the look-ahead.
bool ParseRange(const std::string& text, CliOptions& options) {
    const auto dash = text.find('-', 1);
    if (dash == std::string::npos) {
        return false;
    }
    const auto start = WholeNumber(text.substr(0, dash));
    const auto end = WholeNumber(text.substr(dash + 1));
    if (!start || !end || *start < 0 || *start >= *end || *end > 51) {
        return false;
    }
    options.rangeStart = start;
    options.rangeEnd = end;
    return true;
}

// Applies one short option letter; false for an unknown one.
bool ShortOption(char letter, CliOptions& options) {
    switch (letter) {
        case 'i':
            options.interactive = true;
            return true;
        case 'y':
            options.yes = true;
            return true;
        case 'n':
            options.dryRun = true;
            return true;
        case 'h':
            options.help = true;
            return true;
        case 'q':
            options.verbosity = Verbosity::Quiet;
            return true;
        case 'v':
            options.verbosity = Verbosity::Verbose;
            return true;
        default:
            return false;
    }
}

bool LongFlag(const std::string& name, CliOptions& options) {
    if (name == "--interactive")
        options.interactive = true;
    else if (name == "--yes")
        options.yes = true;
    else if (name == "--keep-backups")
        options.keepBackups = true;
    else if (name == "--dry-run")
        options.dryRun = true;
    else if (name == "--json")
        options.json = true;
    else if (name == "--drop-verified-backups")
        options.dropVerifiedBackups = true;
    else if (name == "--quiet")
        options.verbosity = Verbosity::Quiet;
    else if (name == "--verbose")
        options.verbosity = Verbosity::Verbose;
    else if (name == "--help")
        options.help = true;
    else if (name == "--version")
        options.version = true;
    else if (name == "--truncate")
        options.truncate = true;
    else if (name == "--no-truncate")
        options.truncate = false;
    else if (name == "--ignore-hjsplit")
        options.ignoreHJSplit = true;
    else if (name == "--no-ignore-hjsplit")
        options.ignoreHJSplit = false;
    else if (name == "--leave-unpatterned")
        options.leaveUnpatterned = true;
    else if (name == "--no-leave-unpatterned")
        options.leaveUnpatterned = false;
    else if (name == "--verify")
        options.verify = true;
    else if (name == "--no-verify")
        options.verify = false;
    else
        return false;
    return true;
}

}  // namespace

CliParse ParseCommandLine(const std::vector<std::string>& arguments) {
    CliParse parse;
    CliOptions& options = parse.options;
    bool onlyPaths = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& arg = arguments[i];
        if (onlyPaths || arg.empty() || arg[0] != '-' || arg == "-") {
            options.paths.push_back(arg);
        } else if (arg == "--") {
            onlyPaths = true;
        } else if (arg == "--range" || arg.rfind("--range=", 0) == 0) {
            std::string value;
            if (arg == "--range") {
                if (i + 1 == arguments.size()) {
                    parse.error = "option --range needs a value START-END";
                    return parse;
                }
                value = arguments[++i];
            } else {
                value = arg.substr(8);
            }
            if (!ParseRange(value, options)) {
                parse.error = "bad range '" + value +
                              "': whole numbers START-END with 0 <= START < END <= 51";
                return parse;
            }
        } else if (arg == "--checksums" || arg.rfind("--checksums=", 0) == 0) {
            if (arg == "--checksums" && i + 1 == arguments.size()) {
                parse.error = "option --checksums needs a FILE";
                return parse;
            }
            options.checksums.push_back(arg == "--checksums" ? arguments[++i] : arg.substr(12));
        } else if (arg.rfind("--", 0) == 0) {
            if (!LongFlag(arg, options)) {
                parse.error = "unknown option '" + arg + "'";
                return parse;
            }
        } else {
            for (std::size_t k = 1; k < arg.size(); ++k) {
                if (!ShortOption(arg[k], options)) {
                    parse.error = "unknown option '-" + std::string(1, arg[k]) + "'";
                    return parse;
                }
            }
        }
    }
    if (options.paths.empty() && !options.help && !options.version) {
        parse.error = "no PATH given";
    }
    return parse;
}

std::string UsageText() {
    return "Usage: korbelt-cli [OPTIONS] PATH...\n"
           "Repairs downloaded files that carry extra bytes: a byte repeated shortly after\n"
           "CR LF '-', and MIME wrappers left inside the data. Each PATH is a file, or a\n"
           "directory whose files are all repaired. A repaired file keeps its original as\n"
           "NAME.bak; a file with nothing to repair is left alone.\n"
           "\n"
           "Options (the settings of the Korbelt window apply unless overridden here):\n"
           "  -i, --interactive        ask before each removal\n"
           "  -y, --yes                answer Yes to every other question (replace an old\n"
           "                           backup, go on after a failed file)\n"
           "      --keep-backups       never replace an old backup: answer No to that\n"
           "                           question, also with --yes, and print it with the\n"
           "                           answer\n"
           "  -n, --dry-run            report what would be removed; change nothing on disk\n"
           "  -q, --quiet              print errors only: the lines of files that were not\n"
           "                           repaired or were left, warnings and questions\n"
           "  -v, --verbose            print every line, and the summary even when the\n"
           "                           output is not a terminal\n"
           "      --json               JSON records on standard output: one per file, one\n"
           "                           per error, a summary at the end (see the manual\n"
           "                           page); the status lines go to standard error\n"
           "      --range START-END    look for repeated bytes START to END characters after\n"
           "                           CR LF '-' (default 39-45; 0 <= START < END <= 51)\n"
           "      --truncate           cut a file off at a MIME wrapper within 10 bytes of\n"
           "                           its end\n"
           "      --no-truncate        do not\n"
           "      --ignore-hjsplit     skip HJSplit pieces (.001 ...) of whole kilobytes\n"
           "      --no-ignore-hjsplit  do not\n"
           "      --verify             let the checksums a download carries decide (its\n"
           "                           PAR 2.0 set, SFV, md5sum or sha*sum lists): leave a\n"
           "                           file that matches alone, prove a repair\n"
           "      --no-verify          do not\n"
           "      --leave-unpatterned  without --interactive, leave a file as it is when its\n"
           "                           markers show no damage pattern: its repeated bytes\n"
           "                           are what chance gives (a checksum still decides)\n"
           "      --no-leave-unpatterned  do not\n"
           "      --drop-verified-backups  delete NAME.bak after a repair its checksum\n"
           "                           proves, so that the file is as it was posted\n"
           "      --checksums FILE     a checksum file kept elsewhere (repeatable; turns\n"
           "                           --verify on)\n"
           "  -h, --help               show this help and exit\n"
           "      --version            show the version and exit\n"
           "\n"
           "The status lines go to standard output, control characters in names escaped\n"
           "(\\n, \\t, \\xHH, \\\\); questions, warnings, errors and progress to standard\n"
           "error. On a terminal the run ends with a summary line.\n"
           "Ctrl-C once asks whether to abort the current file; twice aborts it. SIGTERM\n"
           "and SIGHUP abort it at once and end the run.\n"
           "\n"
           "Exit status: 0 every file repaired, clean, intact or ignored; 1 a PATH was\n"
           "invalid, a file was not repaired (or its repair not verified where a checksum\n"
           "is known) or the output not fully written; 2 the command line was wrong; 3 only\n"
           "files another Korbelt was repairing were left; 4 nothing failed, but known\n"
           "damage was left in a file. The first that applies of 2, 1, 4, 3 is the status.\n";
}

std::string UsageHint() {
    return "Try 'korbelt-cli --help'.\n";
}

}  // namespace korbelt
