// The pass ended abruptly just before each of its file operations in turn, in a child
// process: every moment between two operations is a moment a crash or a power cut could
// choose. Whatever the moment, the original bytes are under the input's name or NAME.bak,
// and a rerun repairs the file. Random kills of the real program (crash_test.cpp) rarely hit
// the short moments; here every one of them is tried.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <map>

#include <gtest/gtest.h>

#include "Damage.h"
#include "FakeHost.h"
#include "Faults.h"
#include "engine/RepairEngine.h"
#include "engine/system/KorbscanLibrary.h"
#include "engine/system/PosixFileSystem.h"

namespace korbelt::test {
namespace {

using Texts = std::vector<std::string>;

const Bytes kOldBackup = {'o', 'l', 'd'};

struct Scenario {
    const char* name;
    bool damaged;
    bool oldBackup;
    bool withoutHardLinks;
};

const Scenario kScenarios[] = {
    {"repaired", true, false, false},
    {"repaired over an old backup", true, true, false},
    {"repaired without hard links", true, false, true},
    {"nothing to repair", false, false, false},
};

const Bytes& Original(const Scenario& scenario) {
    static const Bytes damaged = Damaged(70000, 53);
    static const Bytes clean = Clean(70000, 53);
    return scenario.damaged ? damaged : clean;
}

Bytes Expected(const Scenario& scenario) {
    return scenario.damaged ? Repaired(Original(scenario)) : Original(scenario);
}

// One pass over path with the plan given, the old backup agreed to.
void Pass(const std::string& path, FaultPlan& plan) {
    FakeHost host;
    RunState run;
    KorbscanLibrary library;
    PosixFileSystem realFs;
    FaultyFileSystem fs(realFs, plan);
    FaultyRecordIo io(library, plan);
    RepairEngine engine(host, run, io, fs);
    host.boxes.Answer(true);
    run.listindex = host.status.AppendLine("Processing " + path);
    engine.ProcessFile(path);
}

// Runs the pass in a child that ends before the nth call at the site; returns its status.
int CrashedPass(const std::string& path, const Scenario& scenario, Site site, int nth) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        FaultPlan plan;
        plan.SetWithoutHardLinks(scenario.withoutHardLinks);
        plan.CrashAt(site, nth);
        Pass(path, plan);
        std::_Exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

enum class Left { Untouched, CopyBegun, BackupMade, OnlyBackup, Repaired };

const char* LeftName(Left left) {
    switch (left) {
        case Left::Untouched:
            return "input untouched";
        case Left::CopyBegun:
            return "input and a part or all of the copy";
        case Left::BackupMade:
            return "input and its backup, copy not in place";
        case Left::OnlyBackup:
            return "only the backup and the whole copy";
        case Left::Repaired:
            return "repaired, original as backup";
    }
    return "?";
}

Left CheckLeft(const std::string& path, const Scenario& scenario) {
    const Bytes& original = Original(scenario);
    const Bytes expected = Expected(scenario);
    const bool hasName = Exists(path);
    const bool hasBak = Exists(path + ".bak");
    const bool hasTemp = Exists(path + ".$$$");
    const Bytes name = hasName ? ReadBytes(path) : Bytes();
    const Bytes bak = hasBak ? ReadBytes(path + ".bak") : Bytes();
    const Bytes temp = hasTemp ? ReadBytes(path + ".$$$") : Bytes();
    EXPECT_TRUE((hasName && name == original) || (hasBak && bak == original))
        << "the original bytes are gone";
    EXPECT_TRUE(!hasName || name == original || name == expected) << "half a repair";
    EXPECT_TRUE(!hasTemp || std::equal(temp.begin(), temp.end(), expected.begin()))
        << "NAME.$$$ holds something else than the beginning of the copy";
    EXPECT_TRUE(!hasBak || bak == original || bak == kOldBackup) << "a backup of something else";
    if (!hasName) {
        // Only without hard links, between the two renames: both halves are whole.
        EXPECT_TRUE(scenario.withoutHardLinks);
        EXPECT_EQ(temp, expected);
        return Left::OnlyBackup;
    }
    if (name == expected && name != original) {
        return Left::Repaired;
    }
    if (hasBak && bak == original) {
        return Left::BackupMade;
    }
    return hasTemp ? Left::CopyBegun : Left::Untouched;
}

TEST(CrashPoints, AtEveryMomentOfAPassTheOriginalSurvivesAndARerunRepairs) {
    std::map<Left, int> seen;
    int points = 0;
    for (const Scenario& scenario : kScenarios) {
        SCOPED_TRACE(scenario.name);
        TempDir dir;
        const std::string path = dir.File("movie.avi");
        const auto layOut = [&] {
            for (const auto& name : ListDirectory(dir.Path())) {
                unlink(dir.File(name).c_str());
            }
            WriteBytes(path, Original(scenario));
            if (scenario.oldBackup) {
                WriteBytes(path + ".bak", kOldBackup);
            }
        };
        layOut();
        FaultPlan counts;
        counts.SetWithoutHardLinks(scenario.withoutHardLinks);
        Pass(path, counts);
        ASSERT_EQ(ReadBytes(path), Expected(scenario));

        for (const Site site : AllSites()) {
            for (int nth = 1; nth <= counts.Calls(site); ++nth) {
                SCOPED_TRACE(std::string("crash before ") + SiteName(site) + " #" +
                             std::to_string(nth));
                layOut();
                ASSERT_EQ(CrashedPass(path, scenario, site, nth), FaultPlan::kCrashStatus);
                ++points;
                const Left left = CheckLeft(path, scenario);
                ++seen[left];
                if (left == Left::OnlyBackup) {
                    continue;  // a rerun by the input's name finds nothing to repair
                }
                FaultPlan none;
                none.SetWithoutHardLinks(scenario.withoutHardLinks);
                Pass(path, none);
                EXPECT_EQ(ReadBytes(path), Expected(scenario)) << "the rerun did not repair";
                if (scenario.damaged) {
                    EXPECT_EQ(ReadBytes(path + ".bak"), Original(scenario));
                }
                EXPECT_FALSE(Exists(path + ".$$$"));
            }
        }
    }
    std::printf(
        "Crash points: the pass ended before each of its %d file operations in %zu "
        "scenarios; left behind:\n",
        points, std::size(kScenarios));
    for (const auto& [left, count] : seen) {
        std::printf("  %-42s %3d\n", LeftName(left), count);
    }
    EXPECT_GT(seen[Left::BackupMade], 0) << "the moment between link and rename was not tried";
    EXPECT_GT(seen[Left::OnlyBackup], 0) << "the moment between two renames was not tried";
}

}  // namespace
}  // namespace korbelt::test
