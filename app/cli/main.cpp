// korbelt-cli: the repair job from a terminal, for scripts and download managers.
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/Interrupts.h"
#include "cli/Terminal.h"
#include "engine/KorbscanLibrary.h"
#include "engine/PosixFileSystem.h"
#include "engine/RepairEngine.h"
#include "input/InputListCommands.h"
#include "run/BatchRun.h"
#include "settings/Options.h"
#include "settings/QSettingsStore.h"
#include "settings/Version.h"
#include "verify/ChecksumCatalog.h"

namespace korbelt {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitNotRepaired = 1;
constexpr int kExitUsage = 2;
constexpr int kExitBusy = 3;  // nothing failed, but another Korbelt was repairing a file
constexpr int kExitDamageLeft = 4;  // nothing failed, but known damage was left in a file

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
bool AddChecksumFiles(const CliOptions& cli, ChecksumCatalog& checksums) {
    for (const std::string& file : cli.checksums) {
        char* resolved = realpath(file.c_str(), nullptr);
        const std::string from = resolved != nullptr ? resolved : file;
        std::free(resolved);
        if (const auto reason = checksums.AddChecksumFile(file, from)) {
            std::fprintf(stderr, "korbelt-cli: cannot read checksum file '%s': %s\n",
                         EscapeForTerminal(file).c_str(), reason->c_str());
            return false;
        }
    }
    return true;
}

int Repair(const CliOptions& cli) {
    PosixFileSystem fs;
    ChecksumCatalog checksums(fs);
    if (!AddChecksumFiles(cli, checksums)) {
        return kExitUsage;
    }
    Interrupts::Install();
    ModGlobals globals;
    OptionMarks marks;
    PutOptionsInForce(cli, globals, marks);

    RunState run;
    // With --json the reports are the data on standard output, the lines only messages.
    TerminalStatus status(cli.json ? stderr : stdout);
    RunOptions options = Options::InForce(globals, marks);
    options.dryRun = cli.dryRun;
    options.dropVerifiedBackups = cli.dropVerifiedBackups;
    TerminalHost host(status, options, run, stdin, stderr,
                      {.yesToAll = cli.yes, .keepBackups = cli.keepBackups});
    if (cli.json) {
        host.PrintReportsTo(stdout);
    }
    KorbscanLibrary library;
    RepairEngine engine(host, run, library, fs,
                        NumberFormat(NumberFormat::LocaleThousandsSeparator()));
    engine.SetChecksums(&checksums);

    InputList list;
    InputListCommands commands(list, fs, status, host);
    status.SetEchoEachLine(true);
    for (const std::string& path : cli.paths) {
        commands.AddInputFile(path);
    }
    status.SetEchoEachLine(false);
    const bool everyPathValid = list.Count() == static_cast<int>(cli.paths.size());

    BatchRun batch(host, run, engine, list, host, fs);
    if (cli.interactive) {
        batch.cmdProcessInter_Click();
    } else {
        batch.cmdProcessAuto_Click();
    }
    host.ClearProgress();
    if (!everyPathValid || batch.Failures() != 0) {
        return kExitNotRepaired;
    }
    if (batch.DamageLeft() != 0) {
        return kExitDamageLeft;
    }
    return batch.Busy() != 0 ? kExitBusy : kExitOk;
}

// The status lines are the program's result: when they could not all be written (a full
// disk, a closed pipe), the run did not succeed whatever it did to the files.
int CheckOutputWritten(int status) {
    if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) {
        return status;
    }
    const int error = errno;
    std::fprintf(stderr, "korbelt-cli: cannot write the status lines: %s\n", std::strerror(error));
    return status == kExitUsage ? status : kExitNotRepaired;
}

int Main(const std::vector<std::string>& arguments) {
    const CliParse parse = ParseCommandLine(arguments);
    if (!parse.error.empty()) {
        std::fprintf(stderr, "korbelt-cli: %s\n%s", parse.error.c_str(), UsageText().c_str());
        return kExitUsage;
    }
    if (parse.options.help) {
        std::fputs(UsageText().c_str(), stdout);
        return kExitOk;
    }
    if (parse.options.version) {
        std::printf("korbelt-cli %s\n", Version::Text().c_str());
        return kExitOk;
    }
    return Repair(parse.options);
}

}  // namespace
}  // namespace korbelt

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const int status = korbelt::CheckOutputWritten(korbelt::Main(arguments));
    korbelt::Interrupts::EndByTerminatingSignal();
    return status;
}
