// korbelt-cli: the repair job from a terminal, for scripts and download managers.
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/Interrupts.h"
#include "cli/PathErrors.h"
#include "cli/RunReport.h"
#include "cli/Terminal.h"
#include "engine/RepairEngine.h"
#include "engine/system/KorbscanLibrary.h"
#include "engine/system/PosixFileSystem.h"
#include "input/InputListCommands.h"
#include "run/BatchRun.h"
#include "settings/Options.h"
#include "settings/QSettingsStore.h"
#include "settings/Version.h"
#include "verify/ChecksumCatalog.h"

namespace korbelt {
namespace {

// The settings of the window, then this run's overrides. The store is only read.
void PutOptionsInForce(const CliOptions& cli, ModGlobals& globals, OptionMarks& marks) {
    QSettingsStore store;
    Options options(globals, marks);
    options.RestoreMySettings(store);
    options.CheckRangeAtStartup();
    if (cli.rangeStart) {
        globals.rangestart = static_cast<std::int16_t>(*cli.rangeStart);
        globals.rangeend = static_cast<std::int16_t>(*cli.rangeEnd);
    }
    if (cli.truncate) {
        marks.SetTruncateChecked(*cli.truncate);
    }
    if (cli.ignoreHJSplit) {
        marks.SetIgnoreHJSplitChecked(*cli.ignoreHJSplit);
    }
    if (cli.verify) {
        marks.SetVerifyChecked(*cli.verify);
    }
    if (cli.leaveUnpatterned) {
        marks.SetLeaveUnpatternedChecked(*cli.leaveUnpatterned);
    }
    // A checksum file named for this run is meant to be used, whatever the settings say.
    if (!cli.checksums.empty()) {
        marks.SetVerifyChecked(true);
    }
}

// Checksum files named on the command line are read before any file is touched: one that
// cannot be read stops the run, as a wrong command line does. A symbolic link is followed
// there, since the user chose it.
bool AddChecksumFiles(const CliOptions& cli, ChecksumCatalog& checksums, RunReporter& reporter) {
    for (const std::string& file : cli.checksums) {
        char* resolved = realpath(file.c_str(), nullptr);
        const std::string from = resolved != nullptr ? resolved : file;
        std::free(resolved);
        if (const auto reason = checksums.AddChecksumFile(file, from)) {
            reporter.Error({file, *reason, ErrorPhase::Checksums});
            return false;
        }
    }
    return true;
}

// The command line takes the PATHs the window's input list would: each PATH it will not
// take is an error of the run, told in the command line's own words.
void AddPaths(const CliOptions& cli, InputList& list, FileSystem& fs, MessageBoxes& boxes,
              RunReporter& reporter) {
    class NoLines : public StatusList {
      public:
        int AppendLine(const std::string&) override { return 0; }
        void SetLine(int, const std::string&) override {}
        void RemoveLine(int) override {}
        int LineCount() const override { return 0; }
        std::string Line(int) const override { return ""; }
        void SelectLine(int) override {}
        void SetTopLine(int) override {}
        void Clear() override {}
    } noLines;
    InputListCommands commands(list, fs, noLines, boxes);
    for (const std::string& path : cli.paths) {
        switch (commands.AddInputFile(path)) {
            case InputListCommands::Added::Entry:
                break;
            case InputListCommands::Added::Invalid:
                reporter.Error(UnusablePath(path));
                break;
            case InputListCommands::Added::ListFull:
                reporter.Error({path,
                                "Too many PATHs: the input list holds " +
                                    std::to_string(InputList::kMaxEntries),
                                ErrorPhase::Arguments});
                break;
        }
    }
}

ExitStatus Repair(const CliOptions& cli) {
    // With --json the records are the data on standard output, the lines only messages.
    std::FILE* lines = cli.json ? stderr : stdout;
    const NumberFormat format(NumberFormat::LocaleThousandsSeparator());
    RunReporter reporter({.lines = lines,
                          .errors = stderr,
                          .records = cli.json ? stdout : nullptr,
                          .linesOnTerminal = isatty(fileno(lines)) != 0},
                         cli.verbosity, cli.dryRun, format);
    PosixFileSystem fs;
    ChecksumCatalog checksums(fs);
    if (!AddChecksumFiles(cli, checksums, reporter)) {
        return reporter.Finish();
    }
    Interrupts::Install();
    ModGlobals globals;
    OptionMarks marks;
    PutOptionsInForce(cli, globals, marks);

    RunState run;
    TerminalStatus status(lines);
    RunOptions options = Options::InForce(globals, marks);
    options.dryRun = cli.dryRun;
    options.dropVerifiedBackups = cli.dropVerifiedBackups;
    TerminalHost host(status, options, run, stdin, stderr,
                      {.yesToAll = cli.yes, .keepBackups = cli.keepBackups});
    host.ReportTo(reporter);
    KorbscanLibrary library;
    RepairEngine engine(host, run, library, fs, format);
    engine.SetChecksums(&checksums);
    engine.SetReportSink(&reporter);

    InputList list;
    AddPaths(cli, list, fs, host, reporter);
    BatchRun batch(host, run, engine, list, host, fs);
    if (cli.interactive) {
        batch.cmdProcessInter_Click();
    } else {
        batch.cmdProcessAuto_Click();
    }
    host.ClearProgress();
    return reporter.Finish(Interrupts::Terminating() != 0);
}

// The status lines and records are the program's result: when they could not all be
// written (a full disk, a closed pipe), the run did not succeed whatever it did to the files.
ExitStatus CheckOutputWritten(ExitStatus status) {
    if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) {
        return status;
    }
    const int error = errno;
    std::fprintf(stderr, "korbelt-cli: cannot write the status lines: %s\n", std::strerror(error));
    return Worse(status, ExitStatus::Failed);
}

ExitStatus Main(const std::vector<std::string>& arguments) {
    const CliParse parse = ParseCommandLine(arguments);
    if (!parse.error.empty()) {
        std::fprintf(stderr, "korbelt-cli: %s\n%s", parse.error.c_str(), UsageHint().c_str());
        return ExitStatus::Usage;
    }
    if (parse.options.help) {
        std::fputs(UsageText().c_str(), stdout);
        return ExitStatus::Ok;
    }
    if (parse.options.version) {
        std::printf("korbelt-cli %s\n", Version::Text().c_str());
        return ExitStatus::Ok;
    }
    return Repair(parse.options);
}

}  // namespace
}  // namespace korbelt

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const korbelt::ExitStatus status = korbelt::CheckOutputWritten(korbelt::Main(arguments));
    korbelt::Interrupts::EndByTerminatingSignal();
    return static_cast<int>(status);
}
