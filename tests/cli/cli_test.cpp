// The built korbelt-cli, run as a script or a download manager would run it.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include <gtest/gtest.h>

#include "ChildProcess.h"
#include "TempDir.h"
#include "verify/Digest.h"

namespace korbelt::test {
namespace {

using Texts = std::vector<std::string>;

// 300 bytes that never repeat a neighbour, with CR LF '-' at 100 and "RR" at 141.
Bytes Damaged() {
    Bytes data(300);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>('a' + i % 20);
    }
    data[100] = 13, data[101] = 10, data[102] = '-';
    data[141] = data[142] = 'R';
    return data;
}

const std::string kFind = "  @101 found 116 097 082 082 100 101 102 ";
const std::string kSummary = "  1 bytes removed, 300 bytes read, 299 bytes written.";
const std::string kDrySummary =
    "  1 bytes would be removed, 300 bytes read, 299 bytes would be written.";

Bytes Repaired() {
    Bytes data = Damaged();
    data.erase(data.begin() + 141);
    return data;
}

std::string Base64(const std::string& bytes) {
    const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned bits = 0;
    int held = 0;
    for (const char c : bytes) {
        bits = bits << 8 | static_cast<unsigned char>(c);
        for (held += 8; held >= 6; held -= 6) {
            out += digits[(bits >> (held - 6)) & 63];
        }
    }
    if (held > 0) {
        out += digits[(bits << (6 - held)) & 63];
    }
    return out + std::string((4 - out.size() % 4) % 4, '=');
}

int Count(const std::string& text, const std::string& part) {
    int count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

std::string Joined(const Texts& lines) {
    std::string text;
    for (const auto& line : lines) {
        text += line + "\n";
    }
    return text;
}

class Cli : public ::testing::Test {
  protected:
    Cli() { mkdir(dir.File("cfg").c_str(), 0755); }

    ProgramResult Run(const Texts& arguments, const std::string& input = "") {
        return RunProgram(ProgramDirectory() + "/korbelt-cli", arguments, input,
                          {"LC_ALL=C", "XDG_CONFIG_HOME=" + dir.File("cfg"), "HOME=" + dir.Path()});
    }
    std::string File(const std::string& name, const Bytes& bytes = Damaged()) {
        WriteBytes(dir.File(name), bytes);
        return dir.File(name);
    }
    void StoreSettings(const std::string& ini) {
        mkdir(dir.File("cfg/Korbelt").c_str(), 0755);
        std::ofstream(dir.File("cfg/Korbelt/Korbelt.conf")) << ini;
    }

    TempDir dir;
};

TEST_F(Cli, RepairsFilesAndPrintsTheStatusListOnly) {
    const std::string a = File("a.avi");
    const std::string clean = File("clean.bin", Bytes(50, 'z'));
    const ProgramResult result = Run({a, clean});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, Joined({a, kFind + " removed", kSummary, clean,
                                  "  0 bytes removed, 50 bytes read, 50 bytes written."}));
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(ReadBytes(a), Repaired());
    EXPECT_EQ(ReadBytes(a + ".bak"), Damaged());
    EXPECT_EQ(ListDirectory(dir.Path()), (Texts{"a.avi", "a.avi.bak", "cfg", "clean.bin"}));
}

// An error names the program, the path and the reason, on standard error; the window's
// "Invalid File" line is not the command line's.
TEST_F(Cli, InvalidPathIsAnErrorLineAndMakesTheExitStatusOne) {
    const std::string a = File("a.avi");
    File(".hidden");
    mkfifo(dir.File("fifo").c_str(), 0644);
    const ProgramResult result =
        Run({a, dir.File("missing"), dir.File(".hidden"), dir.File("fifo"), dir.File("a.avi/x")});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, Joined({a, kFind + " removed", kSummary}));
    EXPECT_EQ(result.err,
              Joined({"korbelt-cli: " + dir.File("missing") + ": No such file or directory",
                      "korbelt-cli: " + dir.File(".hidden") + ": Hidden: its name starts with '.'",
                      "korbelt-cli: " + dir.File("fifo") + ": Not a regular file or directory",
                      "korbelt-cli: " + dir.File("a.avi/x") + ": Not a directory"}));
    EXPECT_EQ(ReadBytes(a), Repaired());
}

class CliUsage : public Cli, public ::testing::WithParamInterface<Texts> {};

TEST_P(CliUsage, UsageErrorsTouchNothingAndExitTwo) {
    const std::string a = File("a.avi");
    Texts arguments = GetParam();
    for (auto& arg : arguments) {
        if (arg == "FILE") {
            arg = a;
        }
    }
    const ProgramResult result = Run(arguments);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.out, "");
    // One line naming the problem, one pointing to the help.
    const std::string hint = "\nTry 'korbelt-cli --help'.\n";
    ASSERT_GT(result.err.size(), hint.size()) << result.err;
    EXPECT_EQ(result.err.rfind("korbelt-cli: ", 0), 0u) << result.err;
    EXPECT_EQ(result.err.find('\n'), result.err.size() - hint.size()) << result.err;
    EXPECT_EQ(result.err.substr(result.err.size() - hint.size()), hint);
    EXPECT_EQ(ReadBytes(a), Damaged());
    EXPECT_EQ(ListDirectory(dir.Path()), (Texts{"a.avi", "cfg"}));
}

INSTANTIATE_TEST_SUITE_P(
    BadCommandLines, CliUsage,
    ::testing::Values(Texts{}, Texts{"--bogus", "FILE"}, Texts{"-x", "FILE"},
                      Texts{"--range", "45-45", "FILE"}, Texts{"--range", "46-45", "FILE"},
                      Texts{"--range", "40-52", "FILE"}, Texts{"--range", "-1-5", "FILE"},
                      Texts{"--range", "a-b", "FILE"}, Texts{"--range=39", "FILE"},
                      Texts{"FILE", "--range"}, Texts{"-i"}));

TEST_F(Cli, UsageErrorsSayWhat) {
    EXPECT_EQ(Run({}).err, "korbelt-cli: no PATH given\nTry 'korbelt-cli --help'.\n");
    EXPECT_EQ(Run({"--frob", "a"}).err,
              "korbelt-cli: unknown option '--frob'\nTry 'korbelt-cli --help'.\n");
}

TEST_F(Cli, HelpAndVersionGoToStandardOutput) {
    const ProgramResult help = Run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.rfind("Usage: korbelt-cli [OPTIONS] PATH...\n", 0), 0u);
    for (const char* option : {"--interactive", "--yes", "--dry-run", "--quiet", "--verbose",
                               "--range START-END", "--truncate", "--no-truncate",
                               "--ignore-hjsplit", "--no-ignore-hjsplit", "--help", "--version"}) {
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    }
    EXPECT_EQ(Run({"-h"}).out, help.out);
    const ProgramResult version = Run({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "korbelt-cli 1.3.2\n");
}

TEST_F(Cli, InteractiveQuestionsAreAnsweredFromStandardInput) {
    Bytes data = Damaged();
    Bytes twice = data;
    twice.insert(twice.end(), data.begin(), data.end());  // the same find again at 401
    const std::string a = File("a.avi", twice);
    const ProgramResult result = Run({"--interactive", a}, "YES\nno\n");
    EXPECT_EQ(result.exitCode, 0);
    const std::string question = kFind + "\nShall I remove the repeated byte? [y/N] ";
    const std::string second = "  @401 found 116 097 082 082 100 101 102 ";
    EXPECT_EQ(result.err, question + second + "\nShall I remove the repeated byte? [y/N] ");
    EXPECT_EQ(result.out, Joined({a, kFind + " removed", second + " ignored",
                                  "  1 bytes removed, 600 bytes read, 599 bytes written."}));
}

TEST_F(Cli, EndOfInputAnswersNo) {
    const std::string a = File("a.avi");
    const ProgramResult result = Run({"-i", a});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, Joined({a, kFind + " ignored",
                                  "  0 bytes removed, 300 bytes read, 300 bytes written."}));
    EXPECT_EQ(ReadBytes(a), Damaged());
    EXPECT_FALSE(Exists(a + ".bak"));
}

TEST_F(Cli, OldBackupIsKeptUnlessTheUserOrYesAgreesAndAlwaysWithKeepBackups) {
    const std::string a = File("a.avi");
    File("a.avi.bak", {'o', 'l', 'd'});
    const ProgramResult refused = Run({a});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.out, Joined({"Processing " + a}));
    EXPECT_EQ(refused.err, "Backup file '" + a +
                               ".bak' already exists\n"
                               "I will have to delete it. Is this OK [y/N] \n");
    EXPECT_EQ(ReadBytes(a), Damaged());

    const ProgramResult kept = Run({"--yes", "--keep-backups", a});
    EXPECT_EQ(kept.exitCode, 1);
    EXPECT_EQ(kept.out, refused.out);
    EXPECT_EQ(kept.err, "Backup file '" + a +
                            ".bak' already exists\n"
                            "I will have to delete it. Is this OK [y/N] n (--keep-backups)\n");
    EXPECT_EQ(ReadBytes(a), Damaged());
    EXPECT_EQ(ReadBytes(a + ".bak"), (Bytes{'o', 'l', 'd'}));

    const ProgramResult agreed = Run({"--yes", a});
    EXPECT_EQ(agreed.exitCode, 0);
    EXPECT_EQ(agreed.err, "");
    EXPECT_EQ(ReadBytes(a + ".bak"), Damaged());
    EXPECT_EQ(ReadBytes(a), Repaired());
}

TEST_F(Cli, YesGoesOnAfterAFailedFileButNeverAnswersARemovalQuestion) {
    const std::string a = File("a.avi");
    const std::string b = File("b.avi");
    File("a.avi.bak", {'o'});
    chmod(dir.Path().c_str(), 0755);
    const ProgramResult result = Run({"-y", "-i", a, b}, "n\nn\n");
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(
        result.out,
        Joined({a, kFind + " ignored", "  0 bytes removed, 300 bytes read, 300 bytes written.", b,
                kFind + " ignored", "  0 bytes removed, 300 bytes read, 300 bytes written."}));
}

TEST_F(Cli, DryRunReportsEverythingAndChangesNothing) {
    const std::string d = dir.File("dl");
    mkdir(d.c_str(), 0755);
    File("dl/a.avi");
    File("dl/a.avi.bak", {'o', 'l', 'd'});
    File("dl/b.avi", Bytes(10, 'q'));
    const ProgramResult dry = Run({"--dry-run", d});
    EXPECT_EQ(dry.exitCode, 0);
    EXPECT_EQ(dry.err, "");  // not even the backup question
    EXPECT_EQ(ListDirectory(d), (Texts{"a.avi", "a.avi.bak", "b.avi"}));
    EXPECT_EQ(ReadBytes(d + "/a.avi"), Damaged());
    EXPECT_EQ(ReadBytes(d + "/a.avi.bak"), (Bytes{'o', 'l', 'd'}));

    // Its lines say what would happen: nothing is removed or written.
    EXPECT_EQ(
        dry.out,
        Joined({d + "/a.avi", kFind + " would be removed", kDrySummary, d + "/a.avi.bak",
                "  0 bytes would be removed, 3 bytes read, 3 bytes would be written.", d + "/b.avi",
                "  0 bytes would be removed, 10 bytes read, 10 bytes would be written."}));
    const ProgramResult records = Run({"--dry-run", "--json", "-v", d + "/a.avi"});
    EXPECT_EQ(records.exitCode, 0);
    EXPECT_NE(records.out.find("\"outcome\":\"would be repaired\""), std::string::npos);
    EXPECT_NE(records.out.find("\"decision\":\"would be removed\""), std::string::npos);
    EXPECT_NE(records.out.find("{\"type\":\"summary\",\"version\":1,\"dry_run\":true,"),
              std::string::npos);
    // The bytes of the file and of the summary; no find says it was removed.
    EXPECT_EQ(Count(records.out, "\"removed\""), 2);
    EXPECT_EQ(Count(records.out, "\"removed\":1}"), 2);
    EXPECT_EQ(records.err.rfind(Joined({d + "/a.avi", kFind + " would be removed", kDrySummary}) +
                                    "Summary (dry run): 1 would be repaired, 0 clean, 0 left, "
                                    "0 failed; 1 bytes would be removed in ",
                                0),
              0u)
        << records.err;
    // A real run reports the same for the file the dry run looked at.
    const ProgramResult real = Run({"--yes", d + "/a.avi"});
    EXPECT_EQ(real.out, Joined({d + "/a.avi", kFind + " removed", kSummary}));
    EXPECT_EQ(ReadBytes(d + "/a.avi"), Repaired());
}

TEST_F(Cli, DirectorySkipsHiddenFilesAndFifosButTakesBackups) {
    const std::string d = dir.File("dl");
    mkdir(d.c_str(), 0755);
    File("dl/x.avi");
    File("dl/.hidden");
    File("dl/W.avi.bak");
    ASSERT_EQ(mkfifo((d + "/pipe").c_str(), 0644), 0);
    const ProgramResult result = Run({d});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, Joined({d + "/W.avi.bak", kFind + " removed", kSummary, d + "/x.avi",
                                  kFind + " removed", kSummary}));
    EXPECT_EQ(ReadBytes(d + "/.hidden"), Damaged());
    EXPECT_EQ(ListDirectory(d),
              (Texts{".hidden", "W.avi.bak", "W.avi.bak.bak", "pipe", "x.avi", "x.avi.bak"}));
}

// No name can forge a status line or drive the terminal; "." is the folder it names; status
// lines that cannot be written make the run a failure.
TEST_F(Cli, NamesAreEscapedAndTheStatusLinesMustReachTheirReader) {
    const std::string d = dir.File("dl");
    mkdir(d.c_str(), 0755);
    const std::string evil = "evil\n" + kSummary + "\x1b[31m\\\x9b.avi";
    File("dl/" + evil);
    const ProgramResult result = Run({"--dry-run", d});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, Joined({d + "/evil\\n" + kSummary + "\\x1b[31m\\\\\\x9b.avi",
                                  kFind + " would be removed", kDrySummary}));

    const std::string cli = ProgramDirectory() + "/korbelt-cli";
    const ProgramResult here =
        RunProgram("/bin/sh", {"-c", "cd \"$1\" && exec \"$2\" --dry-run .", "sh", d, cli}, "",
                   {"LC_ALL=C", "XDG_CONFIG_HOME=" + dir.File("cfg")});
    EXPECT_EQ(here.exitCode, 0) << here.out;
    EXPECT_EQ(here.out.rfind("./evil", 0), 0u) << here.out;

    const ProgramResult full =
        RunProgram("/bin/sh", {"-c", "exec \"$1\" --dry-run \"$2\" >/dev/full", "sh", cli, d}, "",
                   {"LC_ALL=C", "XDG_CONFIG_HOME=" + dir.File("cfg")});
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_EQ(full.err, "korbelt-cli: cannot write the status lines: No space left on device\n");
}

Bytes WrapperNearTheEnd() {
    Bytes data(200, 'w');
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>('a' + i % 20);
    }
    data[100] = 13, data[101] = 13, data[102] = 10;
    for (int i = 103; i <= 131; ++i) {
        data[static_cast<std::size_t>(i)] = '-';
    }
    data[140] = 13, data[141] = 10, data[160] = 13, data[161] = 10;
    data.resize(170);  // 6 bytes after the wrapper's end
    return data;
}

TEST_F(Cli, OptionsComeFromTheWindowsSettingsUnlessOverridden) {
    StoreSettings("[Options]\nTruncateMime=Yes\nDBRangeStart=40\nDBRangeEnd=41\n");
    const std::string conf = dir.File("cfg/Korbelt/Korbelt.conf");
    const Bytes storeBefore = ReadBytes(conf);

    const std::string t = File("t.avi", WrapperNearTheEnd());
    EXPECT_EQ(Run({t}).exitCode, 0);
    EXPECT_EQ(ReadBytes(t).size(), 101u);  // cut off at the wrapper

    const std::string k = File("k.avi", WrapperNearTheEnd());
    EXPECT_EQ(Run({"--no-truncate", k}).exitCode, 0);
    EXPECT_EQ(ReadBytes(k).size(), 107u);

    // The stored range 40-41 misses the pair at 41-42 after the CR; --range finds it.
    const std::string a = File("a.avi");
    EXPECT_EQ(Run({a}).out, Joined({a, "  0 bytes removed, 300 bytes read, 300 bytes written."}));
    EXPECT_EQ(Run({"--range", "39-45", a}).out, Joined({a, kFind + " removed", kSummary}));
    EXPECT_EQ(ReadBytes(conf), storeBefore);
}

TEST_F(Cli, SecondInterruptAbortsTheFileAndLeavesNoTemporaryFile) {
    const std::string big = dir.File("big.mkv");
    {
        std::ofstream out(big, std::ios::binary);
        out.seekp(400 * 1024 * 1024);
        out.put('x');
    }
    BackgroundProgram cli(ProgramDirectory() + "/korbelt-cli", {big},
                          {"LC_ALL=C", "XDG_CONFIG_HOME=" + dir.File("cfg")}, dir.File("out"),
                          dir.File("err"));
    for (int i = 0; i < 2000 && !Exists(big + ".$$$"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(Exists(big + ".$$$"));
    cli.Signal(SIGINT);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    cli.Signal(SIGINT);
    EXPECT_EQ(cli.Wait(), 1);
    const Bytes out = ReadBytes(dir.File("out"));
    EXPECT_EQ(std::string(out.begin(), out.end()),
              "Aborted " + big + "\n  the file was left as it was\n");
    EXPECT_FALSE(Exists(big + ".$$$"));
    EXPECT_FALSE(Exists(big + ".bak"));
    struct stat info {};
    stat(big.c_str(), &info);
    EXPECT_EQ(info.st_size, 400 * 1024 * 1024 + 1);
}

// Thousands of md5 lists beside the file take a second or more to read. SIGTERM, SIGHUP and a
// second Ctrl-C end the run there, within moments, and the file is left as it was.
TEST_F(Cli, SignalsAreAnsweredWhileTheChecksumFilesAreRead) {
    const std::string movie = File("movie.avi");
    std::string lines;
    for (int k = 0; k < 1000; ++k) {
        lines += "d41d8cd98f00b204e9800998ecf8427e  part" + std::to_string(k) + ".bin\n";
    }
    for (int n = 0; n < 3000; ++n) {
        std::ofstream(dir.File("list" + std::to_string(n) + ".md5")) << lines;
    }
    using Clock = std::chrono::steady_clock;
    for (const std::vector<int>& signals : std::vector<std::vector<int>>{
             {SIGTERM}, {SIGHUP}, {SIGINT, SIGINT}}) {
        SCOPED_TRACE("signal " + std::to_string(signals.front()));
        BackgroundProgram cli(ProgramDirectory() + "/korbelt-cli", {"--yes", movie},
                              {"LC_ALL=C", "XDG_CONFIG_HOME=" + dir.File("cfg")}, dir.File("out"),
                              dir.File("err"));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const auto signalled = Clock::now();
        for (const int signal : signals) {
            cli.Signal(signal);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        int ending = 0;
        const int status = cli.Wait(&ending);
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() -
                                                                                signalled);
        std::printf("ended %lld ms after the first signal\n", static_cast<long long>(took.count()));
        EXPECT_LT(took.count(), 500);
        if (signals.size() == 1) {
            EXPECT_EQ(status, -1);
            EXPECT_EQ(ending, signals.front());
        } else {
            EXPECT_EQ(status, 1);
        }
        const Bytes out = ReadBytes(dir.File("out"));
        EXPECT_EQ(std::string(out.begin(), out.end()), "Aborted " + movie + "\n");
        EXPECT_EQ(ReadBytes(movie), Damaged());
    }
}

// A NAME.$$$ Korbelt did not write is kept, and the record names where the copy went.
TEST_F(Cli, JsonNamesTheCopyWrittenBesideAKeptTemporaryName) {
    const std::string a = File("a\xff.avi");
    File("a\xff.avi.$$$", {'p'});
    const ProgramResult result = Run({"--json", a});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const std::string copy = a + ".1.$$$";
    EXPECT_NE(result.out.find(",\"copy\":\"" + dir.Path() +
                              "/a\\udcff.avi.1.$$$\",\"copy_base64\":\"" + Base64(copy) + "\"}\n"),
              std::string::npos)
        << result.out;
    EXPECT_EQ(ReadBytes(a + ".$$$"), Bytes{'p'});
    EXPECT_EQ(ReadBytes(a), Repaired());
}

// SIGTERM ends the run at once: the file aborted has its record, the run no summary, so that
// a script can tell it was cut short.
TEST_F(Cli, ARunEndedByASignalHasNoSummary) {
    const std::string big = dir.File("big.mkv");
    ASSERT_EQ(truncate(File("big.mkv", {}).c_str(), 400 * 1024 * 1024), 0);
    BackgroundProgram cli(ProgramDirectory() + "/korbelt-cli", {"--json", big, big},
                          {"LC_ALL=C", "XDG_CONFIG_HOME=" + dir.File("cfg")}, dir.File("out"),
                          dir.File("err"));
    for (int i = 0; i < 2000 && !Exists(big + ".$$$"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    cli.Signal(SIGTERM);
    int signal = 0;
    EXPECT_EQ(cli.Wait(&signal), -1);
    EXPECT_EQ(signal, SIGTERM);
    const Bytes out = ReadBytes(dir.File("out"));
    const std::string records(out.begin(), out.end());
    const std::string head = "{\"type\":\"file\",\"version\":1,\"name\":\"" + big +
                             "\",\"finds\":[],\"outcome\":\"not repaired\",\"failure\":\"aborted\","
                             "\"bytes\":{\"read\":";
    const std::string tail = ",\"written\":0,\"removed\":0}}\n";
    EXPECT_EQ(records.substr(0, head.size()), head) << records;
    ASSERT_GT(records.size(), tail.size());
    EXPECT_EQ(records.substr(records.size() - tail.size()), tail) << records;
    EXPECT_EQ(Count(records, "\n"), 1) << records;
}

// Checksum files for the evidence tests: made by the real tools in the test's directory.
class CliEvidence : public Cli {
  protected:
    void Tool(const std::string& command) {
        const ProgramResult made =
            RunProgram("/bin/sh", {"-c", "cd \"$1\" && " + command, "sh", dir.Path()}, "", {});
        ASSERT_EQ(made.exitCode, 0) << command << "\n" << made.err;
    }
    // A list whose only entry gives the file the MD5 of other bytes.
    void WrongMd5List(const std::string& list, const std::string& name) {
        File(list, {});
        File("other", Bytes(7, 'o'));
        Tool("md5sum other | sed 's/other$/" + name + "/' > " + list + " && rm other");
    }
};

// --json: a record per file on standard output, names escaped as JSON (a byte that is not
// UTF-8 as \udcXX, and the name's bytes in base64 beside it), a summary at the end; the
// status lines on standard error.
TEST_F(CliEvidence, JsonReportsEachFileAsData) {
    const std::string odd = File("q\"\n\xff.avi");
    const std::string posted = File("posted.avi");
    Tool("md5sum posted.avi > posted.md5");
    const ProgramResult result = Run({"--json", "--verify", odd, posted});
    EXPECT_EQ(result.exitCode, 0);
    const std::string oddName = dir.Path() + "/q\\\"\\u000a\\udcff.avi";
    const std::string summary =
        "{\"type\":\"summary\",\"version\":1,\"dry_run\":false,\"files\":2,\"repaired\":1,"
        "\"clean\":1,\"left\":0,\"failed\":0,\"repeated\":0,\"errors\":0,\"bytes\":{\"read\":600,"
        "\"written\":299,\"removed\":1},\"seconds\":";
    ASSERT_NE(result.out.find(summary), std::string::npos) << result.out;
    EXPECT_EQ(result.out.substr(result.out.size() - 11), ",\"exit\":0}\n");
    EXPECT_EQ(result.out.substr(0, result.out.find(summary)),
              "{\"type\":\"file\",\"version\":1,\"name\":\"" + oddName + "\",\"name_base64\":\"" +
                  Base64(odd) +
                  "\",\"finds\":[{\"kind\":\"repeated byte\",\"offset\":141,"
                  "\"length\":1,\"position\":101,\"bytes\":[116,97,82,82,100,101,102],"
                  "\"decision\":\"removed\",\"reason\":\"found\"}],\"outcome\":\"repaired\","
                  "\"bytes\":{\"read\":300,\"written\":299,\"removed\":1},"
                  "\"pattern\":{\"verdict\":\"undecided\",\"markers\":1}}\n"
                  "{\"type\":\"file\",\"version\":1,\"name\":\"" +
                  posted +
                  "\",\"finds\":[],\"outcome\":\"intact\",\"bytes\":{\"read\":300,\"written\":0,"
                  "\"removed\":0},\"checksums\":{\"verdict\":\"intact\","
                  "\"file\":\"" +
                  dir.File("posted.md5") +
                  "\",\"disagreeing\":[],\"unread\":[],\"unchecked\":0}}\n");
    EXPECT_NE(result.err.find("  intact: matches '" + dir.File("posted.md5") + "'\n"),
              std::string::npos);
}

// The markers' verdict reaches the command line: the option leaves a file of chance
// pairs as it is, and --json names the verdict and its distance.
TEST_F(Cli, LeaveUnpatternedKeepsAFileOfChancePairsAndJsonTellsTheVerdict) {
    Bytes chance = RandomBytes(400 * 300, 3);
    Bytes damaged = QuietBytes(8 * 300, 5);
    for (std::size_t m = 0; m < 400; ++m) {
        std::copy_n("\r\n-", 3, chance.begin() + static_cast<long>(m * 300));
    }
    for (std::size_t m = 8; m-- > 0;) {
        std::copy_n("\r\n-", 3, damaged.begin() + static_cast<long>(m * 300));
        damaged.insert(damaged.begin() + static_cast<long>(m * 300 + 41), 'R');
        damaged[m * 300 + 42] = 'R';
    }
    const std::string a = File("a.avi", chance);
    const std::string b = File("b.avi", damaged);
    const ProgramResult result = Run({"--leave-unpatterned", "--json", a, b});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ReadBytes(a), chance);
    EXPECT_NE(result.out.find("\"outcome\":\"ignored\""), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("\"pattern\":{\"verdict\":\"no pattern\",\"markers\":400}"),
              std::string::npos);
    EXPECT_NE(result.out.find("\"pattern\":{\"verdict\":\"damage\",\"markers\":8,\"distance\":41,"
                              "\"matching\":8,\"of\":8,\"chance\":1,\"inRange\":true}"),
              std::string::npos);
    EXPECT_NE(result.err.find("; the file was left as it is\n"), std::string::npos);
    EXPECT_EQ(ReadBytes(b).size(), damaged.size() - 8);
    // The copy that was thrown away is in no figure: the file holds what it held.
    const std::string first = result.out.substr(0, result.out.find('\n'));
    EXPECT_NE(first.find("\"bytes\":{\"read\":120000,\"written\":120000,\"removed\":0}"),
              std::string::npos)
        << first;
    EXPECT_EQ(first.find("\"decision\":\"removed\""), std::string::npos) << first;
}

// A checksum that neither the file nor its copy matches decides nothing: with the option, a
// file of chance pairs is left as it is all the same, no backup made, and both lines say so.
// One the file matches still decides: it is intact.
TEST_F(CliEvidence, LeaveUnpatternedIsNotOverriddenByAChecksumThatDecidesNothing) {
    Bytes chance = RandomBytes(400 * 300, 3);
    for (std::size_t m = 0; m < 400; ++m) {
        std::copy_n("\r\n-", 3, chance.begin() + static_cast<long>(m * 300));
    }
    const std::string a = File("a.avi", chance);
    WrongMd5List("a.md5", "a.avi");
    const std::string list = "'" + dir.File("a.md5") + "'";
    const ProgramResult left = Run({"--leave-unpatterned", "--verify", a});
    EXPECT_EQ(ReadBytes(a), chance);
    EXPECT_FALSE(std::filesystem::exists(a + ".bak"));
    EXPECT_NE(left.out.find(" markers, as chance gives; the file was left as it is\n"),
              std::string::npos)
        << left.out;
    EXPECT_NE(left.out.find("  not verified: does not match " + list +
                            "; the file was left as it is\n"),
              std::string::npos)
        << left.out;
    EXPECT_EQ(left.exitCode, 1);  // the file is not the posted one, as without the option

    const ProgramResult repaired = Run({"--verify", a});
    EXPECT_NE(repaired.out.find(" markers, as chance gives; removed all the same\n"),
              std::string::npos)
        << repaired.out;
    EXPECT_TRUE(std::filesystem::exists(a + ".bak"));
    EXPECT_NE(ReadBytes(a), chance);

    Tool("rm a.avi.bak a.md5 && md5sum a.avi > a.md5");
    const ProgramResult intact = Run({"--leave-unpatterned", "--verify", a});
    EXPECT_NE(intact.out.find("  intact: matches "), std::string::npos) << intact.out;
    EXPECT_EQ(intact.exitCode, 0);
}

// Damage the markers show outside the search range stays in the file: that is no success,
// but no failure either, and its own exit status says so.
TEST_F(Cli, KnownDamageLeftInAFileIsItsOwnOutcome) {
    Bytes damaged = QuietBytes(8 * 300, 5);
    for (std::size_t m = 8; m-- > 0;) {
        std::copy_n("\r\n-", 3, damaged.begin() + static_cast<long>(m * 300));
        damaged.insert(damaged.begin() + static_cast<long>(m * 300 + 46), 'R');
        damaged[m * 300 + 47] = 'R';
    }
    const std::string a = File("a.avi", damaged);
    const std::string clean = File("b.avi", QuietBytes(3000, 6));
    const ProgramResult result = Run({"--json", clean, a});
    EXPECT_EQ(result.exitCode, 4) << result.err;
    EXPECT_EQ(ReadBytes(a), damaged);
    EXPECT_NE(result.out.find("\"outcome\":\"damage left\""), std::string::npos) << result.out;
    // The summary counts it as left, and its exit status is the run's.
    EXPECT_NE(result.out.find("\"repaired\":0,\"clean\":1,\"left\":1,\"failed\":0,"),
              std::string::npos)
        << result.out;
    EXPECT_EQ(result.out.substr(result.out.size() - 11), ",\"exit\":4}\n");
    EXPECT_NE(result.err.find("; outside the search range 39-45, the range 46-47 would repair it"),
              std::string::npos)
        << result.err;
    EXPECT_EQ(Run({"--range", "46-47", a}).exitCode, 0);
    EXPECT_EQ(ReadBytes(a).size(), damaged.size() - 8);
}

// par2 makes slices over 64 MiB for large sets: such a set still proves a file intact.
TEST_F(CliEvidence, ASetOfLargeSlicesProvesAnIntactFileByItsMd5) {
    const std::string a = File("a.avi");  // as posted: its find is a chance one
    Tool("par2 create -q -q -s100663296 -c1 -n1 big.par2 a.avi && rm big.vol*");
    const ProgramResult result = Run({"--verify", a});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, Joined({a, "  intact: matches '" + dir.File("big.par2") + "'"}));
    EXPECT_EQ(ReadBytes(a), Damaged());
}

// Any entry a file matches proves it: a wrong MD5 listed first never alters an intact file,
// and a repair is verified against the entry it matches; the entries that disagree are named.
TEST_F(CliEvidence, AFileMatchingAnyEntryIsIntactAndDisagreeingEntriesAreNamed) {
    const std::string a = File("a.avi");
    File("b.avi", Repaired());
    Tool("cksfv -q a.avi b.avi > right.sfv");
    const std::string b = File("b.avi");  // arrived damaged
    WrongMd5List("a-wrong.md5", "a.avi");
    Tool("cat a-wrong.md5 | sed 's/a.avi$/b.avi/' >> a-wrong.md5");
    const ProgramResult result = Run({"--verify", a, b});
    EXPECT_EQ(result.exitCode, 0);
    const std::string against =
        "'" + dir.File("right.sfv") + "'; does not match '" + dir.File("a-wrong.md5") + "'";
    EXPECT_EQ(result.out, Joined({a, "  intact: matches " + against, b, kFind + " removed",
                                  kSummary, "  verified: matches " + against}));
    EXPECT_EQ(ReadBytes(a), Damaged());
    EXPECT_EQ(ReadBytes(b), Repaired());
}

// A checksum file named for the run is read before any file is touched: one that cannot be
// stops the run as a wrong command line does. A link named there is followed, and naming a
// list turns verifying on whatever the settings say.
TEST_F(CliEvidence, AChecksumFileNamedForTheRunMustBeReadable) {
    const std::string a = File("a.avi");
    Tool(
        "mkdir elsewhere lists && md5sum a.avi > lists/posted.md5 && mkdir elsewhere/folder.md5 &&"
        " mkfifo elsewhere/fifo.md5 && truncate -s 16777217 elsewhere/huge.md5 &&"
        " ln -s ../lists/posted.md5 elsewhere/link.md5");
    const std::pair<const char*, const char*> unreadable[] = {
        {"missing.md5", "No such file or directory"},
        {"folder.md5", "Is a directory"},
        {"fifo.md5", "Not a regular file"},
        {"huge.md5", "Larger than 16 MiB, too large for a checksum list"}};
    for (const auto& [name, reason] : unreadable) {
        const std::string list = dir.File("elsewhere/") + name;
        const ProgramResult result = Run({"--checksums", list, a});
        EXPECT_EQ(result.exitCode, 2) << name;
        EXPECT_EQ(result.err,
                  "korbelt-cli: " + list + ": cannot read the checksum file: " + reason + "\n");
        EXPECT_EQ(result.out, "");
    }
    EXPECT_EQ(ReadBytes(a), Damaged());
    const std::string missing = dir.File("elsewhere/missing.md5");
    const ProgramResult records = Run({"--json", "--checksums", missing, a});
    EXPECT_EQ(records.exitCode, 2);
    EXPECT_EQ(records.out.substr(0, records.out.find("\"seconds\"")),
              "{\"type\":\"error\",\"version\":1,\"path\":\"" + missing +
                  "\",\"phase\":\"checksums\",\"reason\":\"No such file or directory\"}\n"
                  "{\"type\":\"summary\",\"version\":1,\"dry_run\":false,\"files\":0,"
                  "\"repaired\":0,\"clean\":0,\"left\":0,\"failed\":0,\"repeated\":0,"
                  "\"errors\":1,\"bytes\":{\"read\":0,\"written\":0,\"removed\":0},");
    EXPECT_EQ(records.out.substr(records.out.size() - 11), ",\"exit\":2}\n");

    StoreSettings("[Options]\nVerifyChecksums=No\n");
    const std::string link = dir.File("elsewhere/link.md5");
    const ProgramResult linked = Run({"--checksums", link, a});
    EXPECT_EQ(linked.exitCode, 0) << linked.err;
    EXPECT_EQ(linked.out, Joined({a, "  intact: matches '" + link + "'"}));
}

// A checksum file beside the files that cannot be read is warned of once, and every file's
// lines say it was not verified against it.
TEST_F(CliEvidence, AnUnreadableChecksumFileBesideIsWarnedOfOnceAndNamedPerFile) {
    const std::string d = dir.File("dl");
    mkdir(d.c_str(), 0755);
    const std::string a = File("dl/a.avi");
    const std::string b = File("dl/b.avi");
    ASSERT_EQ(truncate(File("dl/huge.md5", {}).c_str(), (16 << 20) + 1), 0);
    const ProgramResult result = Run({"--verify", a, b});
    const std::string huge = "'" + d + "/huge.md5'";
    EXPECT_EQ(result.err,
              "korbelt-cli: Checksum file " + huge +
                  " cannot be read\nLarger than 16 MiB, too large for a checksum list\n");
    const std::string unread = "  not verified against " + huge + ": it cannot be read";
    EXPECT_EQ(result.out, Joined({a, kFind + " removed", kSummary, unread, b, kFind + " removed",
                                  kSummary, unread}));
    EXPECT_EQ(ReadBytes(a), Repaired());
}

// A sound PAR 2.0 File Description of a file that is not there.
Bytes DescriptionPacket(std::uint32_t number) {
    const std::string name = "other-" + std::to_string(number) + ".avi";
    Bytes packet(64 + 56 + (name.size() + 3) / 4 * 4, 0);
    std::copy_n("PAR2\0PKT", 8, packet.begin());
    for (std::size_t i = 0; i < 8; ++i) {
        packet[8 + i] = static_cast<std::uint8_t>(packet.size() >> (8 * i));
    }
    std::copy_n("PAR 2.0\0FileDesc", 16, packet.begin() + 48);
    std::copy_n(reinterpret_cast<const std::uint8_t*>(&number), 4, packet.begin() + 64);
    std::copy(name.begin(), name.end(), packet.begin() + 64 + 56);
    const DigestBytes md5 = DigestOf(DigestKind::Md5, packet.data() + 32, packet.size() - 32);
    std::copy(md5.begin(), md5.end(), packet.begin() + 16);
    return packet;
}

// What the checksum files hold costs no memory: empty lines, entries naming other files and
// an index describing 400,000 of them are read without keeping them.
TEST_F(CliEvidence, CheckingAgainstHugeChecksumFilesTakesLittleMemory) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's own memory would hide the program's";
#endif
    const std::string a = File("a.avi");
    {  // made in a scope of its own: a child process starts with what its parent holds
        File("empty.md5", Bytes(16 << 20, '\n'));
        std::string entries;
        for (int i = 0; entries.size() < (16 << 20) - 64; ++i) {
            entries += "d41d8cd98f00b204e9800998ecf8427e  other-" + std::to_string(i) + ".avi\n";
        }
        for (const char* list : {"one.md5", "two.md5", "three.md5"}) {
            File(list, Bytes(entries.begin(), entries.end()));
        }
        Bytes index;
        for (std::uint32_t number = 0; index.size() < (64u << 20); ++number) {
            const Bytes packet = DescriptionPacket(number);
            index.insert(index.end(), packet.begin(), packet.end());
        }
        File("index.par2", index);
    }
    const ProgramResult result = Run({"--verify", a});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, Joined({a, kFind + " removed", kSummary}));
    struct rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    EXPECT_LT(usage.ru_maxrss, 100 * 1024) << "KiB at the peak";
}

// -q prints the lines of what went wrong only; -v adds the summary wherever the lines go.
TEST_F(Cli, QuietPrintsOnlyWhatWentWrongAndVerboseAddsTheSummary) {
    const std::string a = File("a.avi");
    const std::string b = File("b.avi");
    File("b.avi.bak", {'o', 'l', 'd'});
    const ProgramResult quiet = Run({"-q", "--keep-backups", a, b, dir.File("gone")});
    EXPECT_EQ(quiet.exitCode, 1);
    EXPECT_EQ(quiet.out, Joined({"Processing " + b}));
    EXPECT_EQ(quiet.err, Joined({"korbelt-cli: " + dir.File("gone") + ": No such file or directory",
                                 "Backup file '" + b + ".bak' already exists",
                                 "I will have to delete it. Is this OK [y/N] n (--keep-backups)"}));
    EXPECT_EQ(ReadBytes(a), Repaired());

    const std::string c = File("c.avi");
    const std::string e = File("e.avi", Repaired());
    const ProgramResult verbose = Run({"-v", c, e});
    EXPECT_EQ(verbose.exitCode, 0);
    const std::string lines =
        Joined({c, kFind + " removed", kSummary, e,
                "  0 bytes removed, 299 bytes read, 299 bytes written.",
                "Summary: 1 repaired, 1 clean, 0 left, 0 failed; 1 bytes removed in "});
    EXPECT_EQ(verbose.out.rfind(lines.substr(0, lines.size() - 1), 0), 0u) << verbose.out;
    EXPECT_EQ(verbose.out.substr(verbose.out.size() - 3), " s\n");
    EXPECT_EQ(verbose.err, "");
}

// The input list holds 32,767 entries, as the window's does: a PATH beyond them is an error.
TEST_F(Cli, PathsBeyondTheInputListAreErrors) {
    const std::string a = File("a.avi", Repaired());
    const Texts arguments = [&] {
        Texts paths{"-q"};
        paths.insert(paths.end(), 32768, a);
        return paths;
    }();
    const ProgramResult result = Run(arguments);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "korbelt-cli: " + a + ": Too many PATHs: the input list holds 32767\n");
}

// A PATH that is not a file or a folder, and a folder gone by the time its turn comes, are
// each an error record; every record carries its type and version, the summary comes last.
TEST_F(Cli, EachPathGetsItsRecordErrorsIncluded) {
    const std::string big = dir.File("big.mkv");
    ASSERT_EQ(truncate(File("big.mkv", {}).c_str(), 400 * 1024 * 1024), 0);
    const std::string gone = dir.File("gone");
    mkdir(gone.c_str(), 0755);
    const std::string missing = dir.File("missing\xff");
    BackgroundProgram cli(
        ProgramDirectory() + "/korbelt-cli", {"--json", "--dry-run", big, gone, missing},
        {"LC_ALL=C", "XDG_CONFIG_HOME=" + dir.File("cfg")}, dir.File("out"), dir.File("err"));
    // The folder goes while the big file is read, after the PATHs were taken: the error of the
    // last one has been told.
    for (int i = 0; i < 2000 && (!Exists(dir.File("err")) || ReadBytes(dir.File("err")).empty());
         ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(rmdir(gone.c_str()), 0);
    EXPECT_EQ(cli.Wait(), 1);
    const Bytes out = ReadBytes(dir.File("out"));
    const Bytes err = ReadBytes(dir.File("err"));
    const std::string records(out.begin(), out.end());
    EXPECT_EQ(records.substr(0, records.find("{\"type\":\"file\"")),
              "{\"type\":\"error\",\"version\":1,\"path\":\"" + dir.Path() +
                  "/missing\\udcff\",\"path_base64\":\"" + Base64(missing) +
                  "\",\"phase\":\"arguments\",\"reason\":\"No such file or directory\"}\n");
    EXPECT_NE(records.find("\"outcome\":\"clean\""), std::string::npos);
    const std::string unlisted =
        "{\"type\":\"error\",\"version\":1,\"path\":\"" + gone +
        "\",\"phase\":\"listing\",\"reason\":\"No such file or "
        "directory\"}\n{\"type\":\"summary\",\"version\":1,\"dry_run\":"
        "true,\"files\":1,\"repaired\":0,\"clean\":1,\"left\":0,\"failed\":"
        "0,\"repeated\":0,\"errors\":2,";
    EXPECT_NE(records.find(unlisted), std::string::npos) << records;
    EXPECT_EQ(records.substr(records.size() - 11), ",\"exit\":1}\n");
    EXPECT_EQ(std::string(err.begin(), err.end()),
              Joined({"korbelt-cli: " + dir.Path() + "/missing\xff: No such file or directory", big,
                      "  0 bytes would be removed, 419,430,400 bytes read, 419,430,400 "
                      "bytes would be written.",
                      "korbelt-cli: " + gone +
                          ": cannot list the folder: No such file or "
                          "directory"}));
}

// On a terminal the file's progress is redrawn in place with its share, rate and time left,
// then wiped before the status lines; the run ends with its summary. Off a terminal, neither
// (every other test here).
TEST_F(Cli, OnATerminalProgressIsRedrawnInPlaceAndTheRunEndsWithASummary) {
    // Large enough that the run outlasts the half second before a rate is shown, however
    // quick the machine: a sparse file reads at memory speed.
    const std::string big = dir.File("big.mkv");
    ASSERT_EQ(truncate(File("big.mkv", {}).c_str(), std::int64_t{6} << 30), 0);
    const std::string cli = ProgramDirectory() + "/korbelt-cli";
    const ProgramResult result =
        RunProgram("/usr/bin/script", {"-q", "-e", "-c", cli + " --dry-run " + big, "/dev/null"},
                   "", {"LC_ALL=C", "XDG_CONFIG_HOME=" + dir.File("cfg"), "TERM=dumb"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const std::regex measured(
        "\r\x1b\\[Kbig\\.mkv  [0-9]{1,2}%  [0-9.]+ [kMG]?B/s  [0-9]+:[0-9]{2} left");
    EXPECT_TRUE(std::regex_search(result.out, measured)) << result.out.substr(0, 400);
    EXPECT_NE(result.out.find("\r\x1b[Kbig.mkv  0%  -- B/s  --:-- left"), std::string::npos);
    const std::string end = "\r\x1b[K" + big +
                            "\r\n  0 bytes would be removed, 6,442,450,944 bytes read, "
                            "6,442,450,944 bytes would be written.\r\nSummary (dry run): 0 would "
                            "be repaired, 1 clean, 0 left, 0 failed; 0 bytes would be removed in ";
    const auto at = result.out.rfind(end);
    ASSERT_NE(at, std::string::npos) << result.out.substr(result.out.size() - 400);
    EXPECT_EQ(result.out.find("\x1b", at + 4), std::string::npos);
}

}  // namespace
}  // namespace korbelt::test
