// What runs beside korbelt-cli: a second Korbelt on the same file, another user's files in
// a shared folder, a service manager that ends the program in the middle of a file.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

#include <gtest/gtest.h>

#include "Damage.h"
#include "ProcessSupport.h"

namespace korbelt::test {
namespace {

constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;

struct Owner {
    uid_t uid;
    gid_t gid;
    mode_t mode;
    bool operator==(const Owner&) const = default;
};

Owner OwnerOf(const std::string& path) {
    struct stat info {};
    stat(path.c_str(), &info);
    return {info.st_uid, info.st_gid, info.st_mode & 07777};
}

TEST(Neighbours, TwoRunsOnOneFileNeverLoseTheOriginal) {
    TempDir home;
    const std::string d = home.File("d");
    mkdir(d.c_str(), 0755);
    const std::string path = d + "/movie.avi";
    const Bytes original = Damaged(3 << 20, 41);

    // While another Korbelt holds the file, it is left alone: a line says so, exit status 3.
    WriteBytes(path, original);
    const int held = open(path.c_str(), O_RDONLY);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    const ProgramResult busy = RunCli(home.Path(), {"--yes", path});
    close(held);
    EXPECT_EQ(busy.exitCode, 3);
    EXPECT_EQ(busy.out, path + " - skipped, another Korbelt is repairing it\n");
    EXPECT_EQ(busy.err, "");
    EXPECT_EQ(ListDirectory(d), std::vector<std::string>{"movie.avi"});

    // Two runs racing for real: however they meet, the original ends up as NAME.bak.
    int met = 0;
    constexpr int kRounds = 30;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        WriteBytes(path, original);
        unlink((path + ".bak").c_str());
        BackgroundProgram first(CliPath(), {"--yes", path}, CliEnvironment(home.Path()),
                                home.File("first.out"), home.File("first.err"));
        std::this_thread::sleep_for(std::chrono::milliseconds(round % 10 * 2));
        const ProgramResult second = RunCli(home.Path(), {"--yes", path});
        const int firstExit = first.Wait();
        EXPECT_TRUE(firstExit == 0 || firstExit == 3) << firstExit;
        EXPECT_TRUE(second.exitCode == 0 || second.exitCode == 3) << second.err;
        met += (firstExit == 3) + (second.exitCode == 3);
        ASSERT_EQ(ReadBytes(path + ".bak"), original) << "the original is lost";
        EXPECT_EQ(ReadBytes(path), Repaired(original));
        EXPECT_EQ(ListDirectory(d), (std::vector<std::string>{"movie.avi", "movie.avi.bak"}));
    }
    std::printf("in %d of %d rounds one run found the other at work\n", met, kRounds);
}

// SIGTERM (a service stopped) and SIGHUP (a terminal closed) in the middle of a file end the
// run as a confirmed abort: no temporary file, the input as it was, ended by that signal.
TEST(Neighbours, SigtermAndSighupMidFileEndTheRunAsAnAbort) {
    TempDir home;
    Bytes data = Damaged(1 << 20, 43);
    data.resize(std::size_t{64} << 20, '0');  // long enough to be caught at work
    for (const int signal : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        const std::string path = home.File("movie.avi");
        WriteBytes(path, data);
        BackgroundProgram cli(CliPath(), {"--yes", path, path}, CliEnvironment(home.Path()),
                              home.File("out"), home.File("err"));
        while (access((path + ".$$$").c_str(), F_OK) != 0) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        cli.Signal(signal);
        int endedBy = 0;
        EXPECT_EQ(cli.Wait(&endedBy), -1);
        EXPECT_EQ(endedBy, signal);
        const Bytes out = ReadBytes(home.File("out"));
        const std::string first = "Aborted " + path + "\n";
        EXPECT_EQ(std::string(out.begin(), out.end()).substr(0, first.size()), first);
        EXPECT_EQ(ReadBytes(path), data);
        EXPECT_FALSE(Exists(path + ".$$$"));
        EXPECT_FALSE(Exists(path + ".bak"));
    }
}

// In a folder every user may write to, root repairs: a NAME.$$$ another user planted is not
// written through but stepped round, and a file of another user's stays theirs, mode, owner
// and group.
TEST(Neighbours, AnotherUsersFilesStayTheirs) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "acting for another user needs root";
    }
    TempDir home;
    const std::string shared = home.File("shared");
    mkdir(shared.c_str(), 0777);
    chmod(shared.c_str(), 0777);
    const Bytes data = Damaged(50000, 47);

    const std::string movie = shared + "/movie.avi";
    WriteBytes(movie, data);
    const std::string planted = movie + ".$$$";
    WriteBytes(planted, {});
    ASSERT_EQ(chown(planted.c_str(), kNobody, kNogroup), 0);
    const ProgramResult steppedRound = RunCli(home.Path(), {"--yes", movie});
    EXPECT_EQ(steppedRound.exitCode, 0) << steppedRound.err;
    EXPECT_NE(steppedRound.out.find("  '" + planted +
                                    "' is kept: it belongs to another user; the copy is written "
                                    "as '" + movie + ".1.$$$'\n"),
              std::string::npos)
        << steppedRound.out;
    EXPECT_EQ(ReadBytes(movie), Repaired(data));
    EXPECT_TRUE(ReadBytes(planted).empty());
    EXPECT_EQ(OwnerOf(planted), (Owner{kNobody, kNogroup, OwnerOf(planted).mode}));

    const std::string theirs = shared + "/theirs.avi";
    WriteBytes(theirs, data);
    ASSERT_EQ(chown(theirs.c_str(), kNobody, kNogroup), 0);
    ASSERT_EQ(chmod(theirs.c_str(), 0640), 0);
    const ProgramResult repaired = RunCli(home.Path(), {"--yes", theirs});
    EXPECT_EQ(repaired.exitCode, 0) << repaired.err;
    EXPECT_EQ(ReadBytes(theirs), Repaired(data));
    EXPECT_EQ(OwnerOf(theirs), (Owner{kNobody, kNogroup, 0640}));
    EXPECT_EQ(OwnerOf(theirs + ".bak"), (Owner{kNobody, kNogroup, 0640}));
}

}  // namespace
}  // namespace korbelt::test
