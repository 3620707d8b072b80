// korbelt-cli killed with SIGKILL at random moments while it repairs a directory: whatever
// moment it dies, every file's original bytes are still there under its own name or as
// NAME.bak, a name never holds half a repair, and running it again repairs everything.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <map>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#include "Damage.h"
#include "ProcessSupport.h"

namespace korbelt::test {
namespace {

using Clock = std::chrono::steady_clock;
using Texts = std::vector<std::string>;

constexpr int kKills = 50;

struct Download {
    std::string name;
    Bytes original;
    Bytes repaired;
};

// Damaged files of several sizes, one with nothing to repair.
const std::vector<Download>& Downloads() {
    static const std::vector<Download> downloads = [] {
        std::vector<Download> all;
        const std::pair<const char*, std::size_t> damaged[] = {
            {"a.avi", 1200000}, {"b.mkv", 400000}, {"c.avi", 2000000},
            {"d.001", 150000},  {"f.avi", 40000},
        };
        std::uint32_t seed = 41;
        for (const auto& [name, size] : damaged) {
            const Bytes data = Damaged(size, ++seed);
            all.push_back({name, data, Repaired(data)});
        }
        const Bytes clean = Clean(600000, 99);
        all.push_back({"e.bin", clean, clean});
        return all;
    }();
    return downloads;
}

void LayOut(const std::string& directory) {
    for (const auto& download : Downloads()) {
        WriteBytes(directory + "/" + download.name, download.original);
    }
}

bool IsPrefix(const Bytes& part, const Bytes& whole) {
    return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

// What a kill left of one file.
enum class State { Untouched, CopyBegun, BackupLinked, Swapped };

const char* StateName(State state) {
    switch (state) {
        case State::Untouched:
            return "untouched";
        case State::CopyBegun:
            return "copy begun";
        case State::BackupLinked:
            return "backup made, copy not yet in place";
        case State::Swapped:
            return "repaired";
    }
    return "?";
}

// Checks what a kill left of one file and says which state it was in.
State CheckAfterKill(const std::string& directory, const Download& download) {
    const std::string path = directory + "/" + download.name;
    const bool hasName = Exists(path);
    const bool hasBak = Exists(path + ".bak");
    const bool hasTemp = Exists(path + ".$$$");
    const Bytes name = hasName ? ReadBytes(path) : Bytes();
    const Bytes bak = hasBak ? ReadBytes(path + ".bak") : Bytes();
    EXPECT_TRUE((hasName && name == download.original) || (hasBak && bak == download.original))
        << download.name << ": the original bytes are gone";
    EXPECT_TRUE(hasName) << download.name << ": the name is gone";
    EXPECT_TRUE(name == download.original || name == download.repaired)
        << download.name << ": the name holds neither the original nor the repaired copy";
    if (hasBak) {
        EXPECT_EQ(bak, download.original) << download.name << ".bak";
    }
    if (hasTemp) {
        // Written in order and never anything else: a beginning of the repaired copy.
        EXPECT_TRUE(IsPrefix(ReadBytes(path + ".$$$"), download.repaired))
            << download.name << ".$$$ holds something else";
    }
    if (name == download.repaired && download.repaired != download.original) {
        EXPECT_TRUE(hasBak) << download.name << ": repaired without a backup";
        return State::Swapped;
    }
    if (hasBak) {
        return State::BackupLinked;
    }
    return hasTemp ? State::CopyBegun : State::Untouched;
}

void CheckAllRepaired(const std::string& directory) {
    Texts expected;
    for (const auto& download : Downloads()) {
        const std::string path = directory + "/" + download.name;
        EXPECT_EQ(ReadBytes(path), download.repaired) << download.name;
        expected.push_back(download.name);
        if (download.repaired != download.original) {
            EXPECT_EQ(ReadBytes(path + ".bak"), download.original) << download.name;
            expected.push_back(download.name + ".bak");
        }
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(ListDirectory(directory), expected);
}

// Until the copy of the file has begun (or its repair is over), or the program has ended.
void WaitForCopyOrEnd(pid_t pid, const std::string& path) {
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (Clock::now() < deadline && !Exists(path + ".$$$") && !Exists(path + ".bak")) {
        siginfo_t info{};
        if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
            info.si_pid == pid) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
}

TEST(Crash, KilledAtRandomMomentsNothingIsLostAndARerunRepairsEverything) {
    TempDir home;
    const std::string d = home.File("downloads");
    const auto environment = CliEnvironment(home.Path());

    // How long a whole run takes here, from start to exit: the quickest of three, as the
    // first run of a program is slower than the ones that follow.
    mkdir(d.c_str(), 0755);
    auto runTime = Clock::duration::max();
    for (int i = 0; i < 3; ++i) {
        for (const auto& name : ListDirectory(d)) {
            unlink((d + "/" + name).c_str());
        }
        LayOut(d);
        const auto started = Clock::now();
        const ProgramResult whole = RunCli(home.Path(), {"--yes", d});
        runTime = std::min(runTime, Clock::now() - started);
        ASSERT_EQ(whole.exitCode, 0) << whole.err;
        CheckAllRepaired(d);
    }
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(runTime).count();

    // A moment is a random file of the run, and a random time after its copy was begun of up
    // to half what an average file takes: kills land all over the work, not mostly before
    // the program has started or after it has ended.
    std::mt19937 random(20240607);
    std::uniform_int_distribution<std::size_t> file(0, Downloads().size() - 1);
    const long long perFile = micros / static_cast<long long>(Downloads().size());
    std::uniform_int_distribution<long long> moment(0, perFile / 2);
    std::map<State, int> seen;
    int killedRunning = 0;
    std::vector<std::string> names;
    for (const auto& download : Downloads()) {
        names.push_back(d + "/" + download.name);
    }
    names.insert(names.begin(), "--yes");

    for (int kill = 1; kill <= kKills; ++kill) {
        SCOPED_TRACE("kill " + std::to_string(kill));
        for (const auto& name : ListDirectory(d)) {
            unlink((d + "/" + name).c_str());
        }
        LayOut(d);
        const std::string target = d + "/" + Downloads()[file(random)].name;
        const long long after = moment(random);
        {
            BackgroundProgram cli(CliPath(), {"--yes", d}, environment, home.File("out"),
                                  home.File("err"));
            WaitForCopyOrEnd(cli.Pid(), target);
            std::this_thread::sleep_for(std::chrono::microseconds(after));
            cli.Signal(SIGKILL);
            killedRunning += cli.Wait() == -1;
        }
        for (const auto& download : Downloads()) {
            ++seen[CheckAfterKill(d, download)];
        }
        const ProgramResult rerun = RunCli(home.Path(), names);
        EXPECT_EQ(rerun.exitCode, 0) << rerun.out << rerun.err;
        CheckAllRepaired(d);
        if (HasFailure()) {
            break;
        }
    }

    std::printf(
        "%d SIGKILLs at random moments of a %lld ms run over %zu files "
        "(%d of them before the run ended):\n",
        kKills, static_cast<long long>(micros / 1000), Downloads().size(), killedRunning);
    for (const auto& [state, count] : seen) {
        std::printf("  %-36s %4d files\n", StateName(state), count);
    }
    std::printf("  original bytes lost: %s; every rerun repaired everything: %s\n",
                HasFailure() ? "SEE FAILURES" : "never", HasFailure() ? "NO" : "yes");
    // Random moments that all fell before or after the work would prove nothing.
    EXPECT_GT(seen[State::CopyBegun] + seen[State::BackupLinked], 0);
    EXPECT_GT(seen[State::Swapped], 0);
    EXPECT_GT(killedRunning, kKills / 3);
}

}  // namespace
}  // namespace korbelt::test
