// Every place a pass touches the disk made to fail, at every time it is reached, with every
// error a real disk, share or drive gives there: the input is never lost, the user is told
// what failed and why, and nothing is left behind that no warning names. The matrix prints
// its size.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>

#include <gtest/gtest.h>

#include "Damage.h"
#include "FakeHost.h"
#include "Faults.h"
#include "RecordingControls.h"
#include "engine/RepairEngine.h"
#include "engine/system/KorbscanLibrary.h"
#include "engine/system/PosixFileSystem.h"
#include "input/InputListCommands.h"
#include "run/BatchRun.h"

namespace korbelt::test {
namespace {

using Texts = std::vector<std::string>;

const Bytes kOldBackup = {'o', 'l', 'd'};

enum class Ending { Repaired, Unchanged, Stopped, BadWrapper };

struct Scenario {
    const char* name;
    Ending ending;
    bool oldBackup;
    bool withoutHardLinks;
    // 1.25 MiB: the input is read in several windows and written in hundreds of records;
    // each of those places is tried with one of its errors in turn.
    bool large = false;
};

const Scenario kScenarios[] = {
    {"repaired", Ending::Repaired, false, false},
    {"repaired over an old backup", Ending::Repaired, true, false},
    {"repaired without hard links", Ending::Repaired, false, true},
    {"repaired over an old backup without hard links", Ending::Repaired, true, true},
    {"nothing to repair", Ending::Unchanged, false, false},
    {"nothing to repair beside an old backup", Ending::Unchanged, true, false},
    {"stopped and aborted by the user", Ending::Stopped, false, false},
    {"wrapper without an end", Ending::BadWrapper, false, false},
    {"large file repaired over an old backup", Ending::Repaired, true, false, true},
};

constexpr std::size_t kSmall = 35000;
constexpr std::size_t kLarge = 1310720;

// Errors each place really gives: a full or read-only disk, a failing drive, a share that
// refuses, quotas, a name on another device.
const std::map<Site, std::vector<int>>& ErrorsBySite() {
    static const std::map<Site, std::vector<int>> errors = {
        {Site::OpenInput, {EACCES, EIO, ENOENT, EMFILE}},
        {Site::ReadInput, {EIO, ESTALE}},
        {Site::InputLength, {EIO, EOVERFLOW}},
        {Site::CreateTemp, {ENOSPC, EACCES, EROFS, EDQUOT}},
        {Site::HoldTemp, {EACCES, EIO, EMFILE}},
        {Site::WriteTemp, {ENOSPC, EIO, EDQUOT, EFBIG}},
        {Site::SetAccessOfTemp, {EPERM, EROFS, EIO}},
        {Site::SyncTemp, {EIO, ENOSPC, EDQUOT}},
        {Site::CloseTemp, {EIO, ENOSPC}},
        {Site::DeleteOldBackup, {EACCES, EPERM, EBUSY, EROFS, EIO}},
        {Site::LinkInputToBackup, {EIO, ENOSPC, EACCES, EROFS, EDQUOT, EXDEV, EPERM, EMLINK}},
        {Site::RenameInputToBackup, {EACCES, EXDEV, EIO, EBUSY, ENOSPC}},
        {Site::RenameTempToInput, {EACCES, EXDEV, EIO, EBUSY, ENOSPC, EROFS}},
        {Site::SyncDirectory, {EIO}},
        {Site::DeleteTemp, {EACCES, EBUSY, EIO, EROFS}},
    };
    return errors;
}

// Failures the pass is built to ride out: a file system without hard links falls back to
// two renames, and a close cannot lose what the fsync before it already put on the disk.
bool Tolerated(Site site, int error) {
    return site == Site::CloseTemp ||
           (site == Site::LinkInputToBackup && (error == EPERM || error == EMLINK));
}

// After these the old backup is already gone: the user agreed to its deletion.
bool AfterOldBackupDeleted(Site site) {
    return site == Site::LinkInputToBackup || site == Site::RenameInputToBackup ||
           site == Site::RenameTempToInput || site == Site::SyncDirectory;
}

Bytes MakeScenarioBytes(const Scenario& scenario) {
    const std::size_t size = scenario.large ? kLarge : kSmall;
    switch (scenario.ending) {
        case Ending::Repaired:
        case Ending::Stopped:
            return Damaged(size, 7);
        case Ending::Unchanged:
            return Clean(size, 7);
        case Ending::BadWrapper: {
            Bytes data = Clean(size, 7);
            PlantWrapperStart(data, 15000);  // no CR LF anywhere after it: no end
            return data;
        }
    }
    return {};
}

const Bytes& ScenarioBytes(const Scenario& scenario) {
    static std::map<std::pair<Ending, bool>, Bytes> made;
    const auto key = std::make_pair(scenario.ending, scenario.large);
    if (made.count(key) == 0) {
        made[key] = MakeScenarioBytes(scenario);
    }
    return made[key];
}

// What one pass left: files, lines and boxes.
struct PassResult {
    bool fileerror = false;
    std::map<std::string, Bytes> files;
    Texts lines;
    Texts warnings;
    Texts notices;
};

// One pass over a fresh directory with the plan given.
PassResult RunPass(const Scenario& scenario, FaultPlan& plan) {
    TempDir dir;
    FakeHost host;
    RunState run;
    KorbscanLibrary library;
    PosixFileSystem realFs;
    plan.SetWithoutHardLinks(scenario.withoutHardLinks);
    FaultyFileSystem fs(realFs, plan);
    FaultyRecordIo io(library, plan);
    RepairEngine engine(host, run, io, fs);

    const std::string path = dir.File("movie.avi");
    WriteBytes(path, ScenarioBytes(scenario));
    if (scenario.oldBackup) {
        WriteBytes(path + ".bak", kOldBackup);
        host.boxes.Answer(true);
    }
    if (scenario.ending == Ending::Stopped) {
        host.onYield = [&](int n) { run.stopflag = run.stopflag || n == 2; };
        host.boxes.Answer(true);  // "Abort Processing?"
    }
    run.listindex = host.status.AppendLine("Processing " + path);
    engine.ProcessFile(path);

    PassResult result;
    result.fileerror = run.fileerror;
    for (const auto& name : ListDirectory(dir.Path())) {
        result.files[name] = ReadBytes(dir.File(name));
    }
    // Paths differ from pass to pass; the files' own names are what counts.
    const auto local = [&](std::string text) {
        for (std::size_t at; (at = text.find(dir.Path() + "/")) != std::string::npos;) {
            text.erase(at, dir.Path().size() + 1);
        }
        return text;
    };
    for (const auto& line : host.status.lines) {
        result.lines.push_back(local(line));
    }
    for (const auto& text : host.boxes.Texts(ScriptedBoxes::Kind::Warning)) {
        result.warnings.push_back(local(text));
    }
    for (const auto& text : host.boxes.Texts(ScriptedBoxes::Kind::Notice)) {
        result.notices.push_back(local(text));
    }
    return result;
}

// The warning and the status line's tail a failure at the site must give.
struct Report {
    std::string warning;
    std::string what;
};

Report ExpectedReport(Site site, int error) {
    const std::string reason = std::string("\r\n") + std::strerror(error);
    switch (site) {
        case Site::OpenInput:
            return {"Unable to open input file 'movie.avi'" + reason, "open input file failed"};
        case Site::ReadInput:
        case Site::InputLength:
            return {"Unable to read input file 'movie.avi'" + reason, "read input file failed"};
        case Site::CreateTemp:
        case Site::HoldTemp:
            return {"Error opening output file 'movie.avi.$$$'" + reason,
                    "failed to create output file"};
        case Site::SetAccessOfTemp:
            return {"Unable to give temporary file 'movie.avi.$$$' the permissions of 'movie.avi'" +
                        reason,
                    "write to temporary file failed"};
        case Site::WriteTemp:
        case Site::SyncTemp:
            return {"Unable to write temporary file 'movie.avi.$$$'" + reason,
                    "write to temporary file failed"};
        case Site::DeleteOldBackup:
            return {"Unable to delete old backup file 'movie.avi.bak'" + reason,
                    "delete old backup file failed"};
        case Site::LinkInputToBackup:
            return {"Unable to create backup file 'movie.avi.bak'" + reason,
                    "rename to backup file failed"};
        case Site::RenameInputToBackup:
            return {"Unable to rename 'movie.avi' to 'movie.avi.bak'" + reason,
                    "rename to backup file failed"};
        case Site::RenameTempToInput:
            return {"Unable to rename 'movie.avi.$$$' to 'movie.avi'" + reason,
                    "rename of temporary file failed"};
        case Site::SyncDirectory:
            return {"Unable to write the directory of 'movie.avi'" + reason,
                    "write of directory failed"};
        case Site::DeleteTemp:
            return {"Unable to delete temporary file 'movie.avi.$$$'" + reason,
                    "delete temporary file failed"};
        default:
            return {"?", "?"};
    }
}

void CheckFailure(const Scenario& scenario, Site site, int error, const PassResult& result,
                  const PassResult& clean) {
    const Bytes original = ScenarioBytes(scenario);
    EXPECT_TRUE(result.fileerror);
    ASSERT_EQ(result.files.count("movie.avi"), 1u) << "the input's name is gone";
    EXPECT_EQ(result.files.at("movie.avi"), original) << "the input is not intact";

    std::map<std::string, Bytes> others = result.files;
    others.erase("movie.avi");
    if (site == Site::DeleteTemp) {
        EXPECT_EQ(others.count("movie.avi.$$$"), 1u) << "the warning names a file not there";
        others.erase("movie.avi.$$$");
    }
    std::map<std::string, Bytes> expectedOthers;
    if (scenario.oldBackup && !AfterOldBackupDeleted(site)) {
        expectedOthers["movie.avi.bak"] = kOldBackup;
    }
    EXPECT_EQ(others, expectedOthers) << "files other than the input left behind";

    const Report report = ExpectedReport(site, error);
    EXPECT_EQ(result.warnings, Texts{report.warning});
    // A failure before the wrapper's end is looked for comes before its notice.
    EXPECT_TRUE(result.notices.empty() || result.notices == clean.notices);
    ASSERT_FALSE(result.lines.empty());
    if (site == Site::DeleteTemp && scenario.ending != Ending::Unchanged) {
        EXPECT_EQ(result.lines[0], clean.lines[0]) << "an abort keeps its own line";
    } else {
        EXPECT_EQ(result.lines[0], "movie.avi - " + report.what);
    }
}

struct MatrixFigures {
    std::map<Site, int> positions;  // over all scenarios
    std::map<Site, int> runs;
    int total = 0;
};

void RunScenario(const Scenario& scenario, MatrixFigures& figures) {
    SCOPED_TRACE(scenario.name);
    FaultPlan counts;
    const PassResult clean = RunPass(scenario, counts);
    ASSERT_FALSE(counts.Fired());
    for (const auto& [site, errors] : ErrorsBySite()) {
        figures.positions[site] += counts.Calls(site);
        for (int nth = 1; nth <= counts.Calls(site); ++nth) {
            std::vector<int> tried = errors;
            if (scenario.large) {
                tried = {errors[static_cast<std::size_t>(nth) % errors.size()]};
            }
            for (const int error : tried) {
                SCOPED_TRACE(std::string(SiteName(site)) + " #" + std::to_string(nth) +
                             " fails with " + std::strerror(error));
                FaultPlan plan;
                plan.FailAt(site, nth, error);
                const PassResult result = RunPass(scenario, plan);
                ASSERT_TRUE(plan.Fired());
                if (Tolerated(site, error)) {
                    EXPECT_EQ(result.files, clean.files);
                    EXPECT_EQ(result.lines, clean.lines);
                    EXPECT_EQ(result.warnings, clean.warnings);
                    EXPECT_EQ(result.fileerror, clean.fileerror);
                } else {
                    CheckFailure(scenario, site, error, result, clean);
                }
                ++figures.runs[site];
                ++figures.total;
            }
        }
    }
}

TEST(FaultSites, EveryPlaceFailingAtEveryTimeWithEveryErrorKeepsTheInput) {
    MatrixFigures figures;
    for (const Scenario& scenario : kScenarios) {
        RunScenario(scenario, figures);
    }
    std::printf(
        "Fault matrix over %zu scenarios (positions: calls in the fault-free passes; every\n"
        "error at each, one in turn at the places of the large file):\n",
        std::size(kScenarios));
    for (const auto& [site, errors] : ErrorsBySite()) {
        std::printf("  %-24s %3d positions  %4d passes  (%zu errors)\n", SiteName(site),
                    figures.positions[site], figures.runs[site], errors.size());
        EXPECT_GT(figures.positions[site], 0) << SiteName(site) << " never reached";
    }
    std::printf("  total: %d failing passes, %s\n", figures.total,
                HasFailure() ? "SOME FAILED (see above)" : "input lost in none");
    RecordProperty("FailingPasses", figures.total);
}

TEST(FaultSites, CleanScenariosEndAsTheyShould) {
    for (const Scenario& scenario : kScenarios) {
        SCOPED_TRACE(scenario.name);
        FaultPlan plan;
        const PassResult result = RunPass(scenario, plan);
        const Bytes original = ScenarioBytes(scenario);
        std::map<std::string, Bytes> expected;
        switch (scenario.ending) {
            case Ending::Repaired:
                expected = {{"movie.avi", Repaired(original)}, {"movie.avi.bak", original}};
                if (!scenario.large) {
                    EXPECT_EQ(result.lines.back(),
                              "  4 bytes removed, 35,000 bytes read, 34,996 bytes written.");
                }
                break;
            case Ending::Unchanged:
                expected = {{"movie.avi", original}};
                if (scenario.oldBackup) {
                    expected["movie.avi.bak"] = kOldBackup;
                }
                break;
            case Ending::Stopped:
                expected = {{"movie.avi", original}};
                EXPECT_EQ(result.lines[0], "Aborted movie.avi");
                break;
            case Ending::BadWrapper:
                expected = {{"movie.avi", original}};
                EXPECT_EQ(result.lines[0], "Aborted-bad Mime Wrapper movie.avi");
                break;
        }
        EXPECT_EQ(result.files, expected);
        EXPECT_EQ(result.fileerror,
                  scenario.ending == Ending::Stopped || scenario.ending == Ending::BadWrapper);
        EXPECT_TRUE(result.warnings.empty());
    }
}

// Two failures in a row where the pass tries to undo the first: the input keeps its name,
// or, when even that cannot be, the warning says where the original now is.
TEST(FaultSites, WhenPuttingTheInputBackFailsTooTheWarningSaysWhereItIs) {
    const Bytes original = ScenarioBytes(kScenarios[0]);
    TempDir dir;
    FakeHost host;
    RunState run;
    KorbscanLibrary library;
    PosixFileSystem realFs;
    FaultPlan plan;
    plan.SetWithoutHardLinks(true);
    plan.FailAt(Site::RenameTempToInput, 1, EIO);
    FaultyFileSystem faulty(realFs, plan);
    // The undo goes through a second plan so that it can fail as well.
    FaultPlan undoPlan;
    undoPlan.FailAt(Site::RestoreInput, 1, EACCES);
    FaultyFileSystem fs(faulty, undoPlan);
    FaultyRecordIo io(library, plan);
    RepairEngine engine(host, run, io, fs);
    const std::string path = dir.File("movie.avi");
    WriteBytes(path, original);
    run.listindex = host.status.AppendLine("Processing " + path);
    engine.ProcessFile(path);

    ASSERT_TRUE(plan.Fired());
    ASSERT_TRUE(undoPlan.Fired());
    EXPECT_TRUE(run.fileerror);
    EXPECT_EQ(ListDirectory(dir.Path()), Texts{"movie.avi.bak"});
    EXPECT_EQ(ReadBytes(path + ".bak"), original);
    EXPECT_EQ(host.boxes.Texts(ScriptedBoxes::Kind::Warning),
              Texts{"Unable to rename '" + path + ".$$$' to '" + path +
                    "'\r\nThe original file is now '" + path + ".bak'\r\nInput/output error"});
    EXPECT_EQ(host.status.lines.at(0), path + " - rename of temporary file failed");
}

TEST(FaultSites, WhenTheDirectoryCannotBeFlushedAndTheUndoFailsTheOriginalIsTheBackup) {
    const Bytes original = ScenarioBytes(kScenarios[0]);
    TempDir dir;
    FakeHost host;
    RunState run;
    KorbscanLibrary library;
    PosixFileSystem realFs;
    FaultPlan plan;
    plan.FailAt(Site::SyncDirectory, 1, EIO);
    FaultyFileSystem faulty(realFs, plan);
    FaultPlan undoPlan;
    undoPlan.FailAt(Site::RestoreInput, 1, EBUSY);
    FaultyFileSystem fs(faulty, undoPlan);
    FaultyRecordIo io(library, plan);
    RepairEngine engine(host, run, io, fs);
    const std::string path = dir.File("movie.avi");
    WriteBytes(path, original);
    run.listindex = host.status.AppendLine("Processing " + path);
    engine.ProcessFile(path);

    EXPECT_TRUE(run.fileerror);
    EXPECT_EQ(ReadBytes(path + ".bak"), original);
    EXPECT_EQ(ReadBytes(path), Repaired(original));
    EXPECT_FALSE(Exists(path + ".$$$"));
    EXPECT_EQ(host.boxes.Texts(ScriptedBoxes::Kind::Warning),
              Texts{"Unable to write the directory of '" + path +
                    "'\r\nThe original file is now '" + path + ".bak'\r\nInput/output error"});
}

// A failure in one file of a directory: the run asks, and on Yes goes on with the next.
class FailureInARun : public ::testing::TestWithParam<Site> {
  protected:
    // a.avi, b.avi and c.avi, all alike, with the fault at b.avi's first call at the site.
    void Run(bool goOn) {
        const Bytes data = Damaged(35000, 7);
        for (const char* name : {"a.avi", "b.avi", "c.avi"}) {
            WriteBytes(dir.File(name), data);
        }
        // Each file reaches each place as often as the fault-free pass of one file does.
        FaultPlan counts;
        RunPass(kScenarios[0], counts);
        plan.FailAt(GetParam(), counts.Calls(GetParam()) + 1,
                    GetParam() == Site::CreateTemp ? ENOSPC : EIO);
        commands.AddInputFile(dir.Path());
        host.boxes.Answer(goOn);  // "Process remaining files?"
        batch.cmdProcessAuto_Click();
        ASSERT_TRUE(plan.Fired());
        EXPECT_EQ(host.boxes.Texts(ScriptedBoxes::Kind::Question),
                  Texts{"Process remaining files?"});
        EXPECT_EQ(ReadBytes(dir.File("a.avi")), Repaired(data));
        EXPECT_EQ(ReadBytes(dir.File("b.avi")), data);
        EXPECT_FALSE(Exists(dir.File("b.avi.bak")));
        EXPECT_FALSE(Exists(dir.File("b.avi.$$$")));
        EXPECT_EQ(ReadBytes(dir.File("c.avi")), goOn ? Repaired(data) : data);
        EXPECT_EQ(batch.Failures(), 1);
    }

    TempDir dir;
    FakeHost host;
    RunState run;
    KorbscanLibrary library;
    PosixFileSystem realFs;
    FaultPlan plan;
    FaultyFileSystem fs{realFs, plan};
    FaultyRecordIo io{library, plan};
    RepairEngine engine{host, run, io, fs};
    InputList list;
    InputListCommands commands{list, fs, host.status, host.boxes};
    RecordingControls controls;
    BatchRun batch{host, run, engine, list, controls, fs};
};

TEST_P(FailureInARun, YesGoesOnWithTheNextFile) {
    Run(true);
}

TEST_P(FailureInARun, NoEndsTheRun) {
    Run(false);
}

INSTANTIATE_TEST_SUITE_P(Sites, FailureInARun,
                         ::testing::Values(Site::OpenInput, Site::ReadInput, Site::CreateTemp,
                                           Site::WriteTemp, Site::SyncTemp, Site::LinkInputToBackup,
                                           Site::RenameTempToInput, Site::SyncDirectory),
                         [](const auto& info) {
                             std::string name = SiteName(info.param);
                             for (auto& c : name) {
                                 c = c == ' ' ? '_' : c;
                             }
                             return name;
                         });

}  // namespace
}  // namespace korbelt::test
