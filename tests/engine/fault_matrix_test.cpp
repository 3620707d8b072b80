// Every file operation of a pass made to fail, one at a time, at every place it occurs:
// the input survives under its own name, nothing is left behind, and the user is told.
#include <cerrno>
#include <cstring>

#include <gtest/gtest.h>

#include "PassFixture.h"
#include "engine/system/PosixFileSystem.h"

namespace korbelt::test {
namespace {

enum class Scenario { Changed, ChangedWithOldBackup, Unchanged };

class FaultMatrix : public ::testing::TestWithParam<Scenario> {};

Bytes ScenarioBytes(Scenario scenario) {
    Bytes data = CleanBytes(35000, 30);
    if (scenario != Scenario::Unchanged) {
        PutRepeat(data, 100, 41);
        PutRepeat(data, 20000, 42);
    }
    return data;
}

const std::vector<int> kErrors = {ENOSPC, EIO, EACCES, EXDEV};

// Runs one pass over a fresh directory with the plan given and checks the promises.
void RunWithFault(Scenario scenario, Site site, int nth, int error, FaultPlan* counts) {
    TempDir dir;
    FakeHost host;
    RunState run;
    KorbscanLibrary library;
    PosixFileSystem realFs;
    FaultPlan plan;
    if (counts == nullptr) {
        plan.FailAt(site, nth, error);
    }
    FaultyFileSystem fs(realFs, plan);
    FaultyRecordIo io(library, plan, FaultyRecordIo::Writes::RecordByRecord);
    RepairEngine engine(host, run, io, fs);

    const Bytes data = ScenarioBytes(scenario);
    const std::string path = dir.File("movie.avi");
    WriteBytes(path, data);
    const Bytes oldBackup = {'o', 'l', 'd'};
    if (scenario == Scenario::ChangedWithOldBackup) {
        WriteBytes(path + ".bak", oldBackup);
        host.boxes.Answer(true);
    }
    run.listindex = host.status.AppendLine("Processing " + path);
    engine.ProcessFile(path);

    if (counts != nullptr) {
        *counts = plan;
        ASSERT_FALSE(run.fileerror);
        return;
    }
    SCOPED_TRACE(std::string(SiteName(site)) + " #" + std::to_string(nth) + " fails with " +
                 std::strerror(error));
    ASSERT_TRUE(plan.Fired());
    EXPECT_TRUE(run.fileerror);
    EXPECT_EQ(ReadBytes(path), data) << "the input is not intact under its own name";

    const auto warnings = host.boxes.Texts(ScriptedBoxes::Kind::Warning);
    ASSERT_EQ(warnings.size(), 1u);
    if (site == Site::CreateTemp) {
        EXPECT_EQ(warnings[0],
                  "Error opening output file '" + path + ".$$$'\r\n" + std::strerror(error));
    } else {
        EXPECT_NE(warnings[0].find(std::strerror(error)), std::string::npos) << warnings[0];
    }
    const std::string& line = host.status.lines.at(0);
    EXPECT_EQ(line.rfind(path + " - ", 0), 0u) << line;
    EXPECT_TRUE(line.find("failed") != std::string::npos ||
                line.find("changed during processing") != std::string::npos)
        << line;

    const bool tempDeleteFailed = site == Site::DeleteTemp && Exists(path + ".$$$");
    if (tempDeleteFailed) {
        EXPECT_NE(warnings[0].find(path + ".$$$"), std::string::npos) << warnings[0];
    }
    EXPECT_FALSE(Exists(path + ".$$$") && !tempDeleteFailed) << "temporary file left behind";
    if (scenario == Scenario::ChangedWithOldBackup && Exists(path + ".bak")) {
        const Bytes bak = ReadBytes(path + ".bak");
        EXPECT_TRUE(bak == oldBackup || bak == data);
    }
}

TEST_P(FaultMatrix, EveryOperationFailingAtEveryPlaceKeepsTheInput) {
    const Scenario scenario = GetParam();
    FaultPlan counts;
    RunWithFault(scenario, Site::OpenInput, 0, 0, &counts);
    int tried = 0;
    // Every site but the close, whose failure the pass rides out by design.
    for (const Site site : AllSites()) {
        for (int nth = 1; site != Site::CloseTemp && nth <= counts.Calls(site); ++nth) {
            RunWithFault(scenario, site, nth,
                         kErrors[static_cast<std::size_t>(tried) % kErrors.size()], nullptr);
            ++tried;
        }
    }
    // Every scenario opens, reads, writes and either swaps or deletes.
    EXPECT_GE(tried, 8);
    RecordProperty("FailuresTried", tried);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, FaultMatrix,
                         ::testing::Values(Scenario::Changed, Scenario::ChangedWithOldBackup,
                                           Scenario::Unchanged));

class FailureMessages : public PassFixture {};

TEST_F(FailureMessages, WriteFailingPartWaySaysWhatAndWhy) {
    const Bytes data = ScenarioBytes(Scenario::Changed);
    const std::string path = Input("a.avi", data);
    faults.FailAt(Site::WriteTemp, 2, ENOSPC);
    Process(path);
    EXPECT_EQ(Warnings(), (std::vector<std::string>{"Unable to write temporary file '" + path +
                                                    ".$$$'\r\nNo space left on device"}));
    EXPECT_EQ(Lines().at(0), path + " - write to temporary file failed");
    // The first find's report line stays, and the last says nothing was changed.
    EXPECT_EQ(Lines().size(), 3u);
    EXPECT_EQ(Lines().back(), "  the file was left as it was");
    EXPECT_FALSE(engine.Report().finds.at(0).removed);
    EXPECT_FALSE(Exists(path + ".$$$"));
}

TEST_F(FailureMessages, UnreadableInput) {
    const std::string path = Input("a.avi", ScenarioBytes(Scenario::Changed));
    faults.FailAt(Site::ReadInput, 1, EIO);
    Process(path);
    EXPECT_EQ(Warnings(), (std::vector<std::string>{"Unable to read input file '" + path +
                                                    "'\r\nInput/output error"}));
    EXPECT_EQ(Lines(), (std::vector<std::string>{path + " - read input file failed", "  the file was left as it was"}));
}

TEST_F(FailureMessages, InputThatCannotBeOpened) {
    const std::string path = Input("a.avi", ScenarioBytes(Scenario::Changed));
    faults.FailAt(Site::OpenInput, 1, EACCES);
    Process(path);
    EXPECT_EQ(Warnings(), (std::vector<std::string>{"Unable to open input file '" + path +
                                                    "'\r\nPermission denied"}));
    EXPECT_EQ(Lines(), (std::vector<std::string>{path + " - open input file failed"}));
}

TEST_F(FailureMessages, FailingRenameUndoesTheBackup) {
    const Bytes data = ScenarioBytes(Scenario::Changed);
    const std::string path = Input("a.avi", data);
    faults.FailAt(Site::RenameTempToInput, 1, EACCES);
    Process(path);
    EXPECT_EQ(Warnings(), (std::vector<std::string>{"Unable to rename '" + path + ".$$$' to '" +
                                                    path + "'\r\nPermission denied"}));
    EXPECT_EQ(Lines().at(0), path + " - rename of temporary file failed");
    EXPECT_EQ(ReadBytes(path), data);
    EXPECT_FALSE(Exists(path + ".bak"));
    EXPECT_FALSE(Exists(path + ".$$$"));
}

TEST_F(FailureMessages, WithoutHardLinksTwoRenamesDoTheSwap) {
    const Bytes data = ScenarioBytes(Scenario::Changed);
    const std::string path = Input("a.avi", data);
    faults.FailAt(Site::LinkInputToBackup, 1, EPERM);
    Process(path);
    EXPECT_TRUE(Warnings().empty());
    EXPECT_FALSE(run.fileerror);
    EXPECT_EQ(ReadBytes(path + ".bak"), data);
    EXPECT_EQ(ReadBytes(path).size(), data.size() - 2);
    EXPECT_EQ(faults.Calls(Site::RenameInputToBackup) + faults.Calls(Site::RenameTempToInput), 2);
}

// A file system that has no hard links, like a FAT-formatted drive.
class NoHardLinks : public FaultyFileSystem {
  public:
    using FaultyFileSystem::FaultyFileSystem;
    std::error_code Link(const std::string&, const std::string&) override {
        return std::make_error_code(std::errc::operation_not_permitted);
    }
};

TEST_F(FailureMessages, FailedSecondRenameWithoutHardLinksPutsTheInputBack) {
    const Bytes data = ScenarioBytes(Scenario::Changed);
    const std::string path = Input("a.avi", data);
    faults.FailAt(Site::RenameTempToInput, 1, EXDEV);
    NoHardLinks noLinks(realFs, faults);
    RepairEngine withoutLinks(host, run, io, noLinks);
    run.listindex = host.status.AppendLine("Processing " + path);
    withoutLinks.ProcessFile(path);
    EXPECT_TRUE(run.fileerror);
    EXPECT_EQ(Warnings(), (std::vector<std::string>{"Unable to rename '" + path + ".$$$' to '" +
                                                    path + "'\r\nInvalid cross-device link"}));
    EXPECT_EQ(ReadBytes(path), data);
    EXPECT_FALSE(Exists(path + ".bak"));
    EXPECT_FALSE(Exists(path + ".$$$"));
}

}  // namespace
}  // namespace korbelt::test
