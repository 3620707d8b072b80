// The batch run over real files: which entries are processed, in which order, with which
// questions, and the running and idle states of the controls.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "FakeHost.h"
#include "RecordingControls.h"
#include "TempDir.h"
#include "engine/system/KorbscanLibrary.h"
#include "engine/system/PosixFileSystem.h"
#include "input/InputListCommands.h"
#include "run/BatchRun.h"

namespace korbelt::test {
namespace {

using Texts = std::vector<std::string>;

// Remembers which entry became current, in order.
class CurrentLog : public InputListObserver {
  public:
    void CurrentChanged(int index) override { currents.push_back(index); }
    void ScrollRequested(int index) override { scrolls.push_back(index); }
    std::vector<int> currents;
    std::vector<int> scrolls;
};

class BatchRunTest : public ::testing::Test {
  protected:
    BatchRunTest() { list.SetObserver(&log); }

    // A file that the pass repairs (one repeated byte) or, with clean = true, leaves alone.
    std::string MakeFile(const std::string& name, bool clean = false) {
        Bytes data(300, 'x');
        for (std::size_t i = 0; i < data.size(); ++i) {
            data[i] = static_cast<std::uint8_t>('a' + i % 20);
        }
        if (!clean) {
            data[100] = 13, data[101] = 10, data[102] = '-';
            data[141] = data[142] = 'R';
        }
        const std::string path = dir.File(name);
        WriteBytes(path, data);
        return path;
    }
    std::string MakeDir(const std::string& name) {
        const std::string path = dir.File(name);
        mkdir(path.c_str(), 0755);
        return path;
    }
    void Add(const std::string& path) { commands.AddInputFile(path); }
    // The "Processing " lines and outcome lines, without report and summary lines.
    Texts OutcomeLines() const {
        Texts out;
        for (const auto& line : host.status.lines) {
            if (line.rfind("  ", 0) != 0) {
                out.push_back(line);
            }
        }
        return out;
    }

    TempDir dir;
    FakeHost host;
    RunState run;
    KorbscanLibrary library;
    PosixFileSystem fs;
    RepairEngine engine{host, run, library, fs};
    InputList list;
    CurrentLog log;
    InputListCommands commands{list, fs, host.status, host.boxes};
    RecordingControls controls;
    BatchRun batch{host, run, engine, list, controls, fs};
};

const Texts kRunningThenIdle = {
    "ProcessAuto disabled", "ProcessAuto hidden",  "ProcessInter disabled", "ProcessInter hidden",
    "Stop enabled",         "Stop shown",          "ProgressBar shown",     "Stop disabled",
    "Stop hidden",          "ProcessAuto enabled", "ProcessAuto shown",     "ProcessInter enabled",
    "ProcessInter shown",   "ProgressBar hidden"};

TEST_F(BatchRunTest, NothingSelectedOnlyEmptiesTheStatusList) {
    Add(MakeFile("a.avi"));
    list.SetSelected(0, false);
    host.status.AppendLine("old line");
    batch.cmdProcessAuto_Click();
    EXPECT_TRUE(host.status.lines.empty());
    EXPECT_TRUE(controls.calls.empty());
    EXPECT_TRUE(host.titles.empty());
    EXPECT_FALSE(run.interactive);
    batch.cmdProcessInter_Click();
    EXPECT_TRUE(run.interactive);  // the mode is set even when nothing runs
}

TEST_F(BatchRunTest, ControlsSwitchToRunningAndBackInOrder) {
    Add(MakeFile("a.avi"));
    batch.cmdProcessAuto_Click();
    EXPECT_EQ(controls.calls, kRunningThenIdle);
    EXPECT_EQ(host.titles.back(), "Korbelt v1.3.2 from Prendle");
    EXPECT_FALSE(batch.Running());
}

TEST_F(BatchRunTest, RepairedFileEntryIsDeselectedAndNotProcessedAgain) {
    const std::string a = MakeFile("a.avi");
    Add(a);
    batch.cmdProcessAuto_Click();
    EXPECT_FALSE(list.Selected(0));
    EXPECT_EQ(OutcomeLines(), (Texts{a}));
    EXPECT_EQ(batch.Failures(), 0);
    batch.cmdProcessAuto_Click();
    EXPECT_TRUE(host.status.lines.empty());
}

TEST_F(BatchRunTest, SingleFailingEntryIsNotAskedAboutAndStaysSelected) {
    const std::string a = MakeFile("a.avi");
    Add(a);
    unlink(a.c_str());
    batch.cmdProcessAuto_Click();
    EXPECT_TRUE(host.boxes.Texts(ScriptedBoxes::Kind::Question).empty());
    EXPECT_TRUE(list.Selected(0));
    EXPECT_EQ(OutcomeLines(), (Texts{"Processing " + a}));
    EXPECT_EQ(batch.Failures(), 1);
}

TEST_F(BatchRunTest, FailureWithMoreSelectedAsksAndNoStopsTheWalk) {
    const std::string a = MakeFile("a.avi");
    const std::string b = MakeFile("b.avi");
    Add(a);
    Add(b);
    unlink(a.c_str());
    host.boxes.Answer(false);
    batch.cmdProcessAuto_Click();
    EXPECT_EQ(host.boxes.Texts(ScriptedBoxes::Kind::Question), (Texts{"Process remaining files?"}));
    EXPECT_TRUE(list.Selected(0));
    EXPECT_TRUE(list.Selected(1));
    EXPECT_EQ(OutcomeLines(), (Texts{"Processing " + a}));
    EXPECT_FALSE(Exists(b + ".bak"));
    EXPECT_EQ(controls.calls, kRunningThenIdle);
}

TEST_F(BatchRunTest, FailureWithMoreSelectedAndYesGoesOn) {
    const std::string a = MakeFile("a.avi");
    const std::string b = MakeFile("b.avi");
    Add(a);
    Add(b);
    unlink(a.c_str());
    host.boxes.Answer(true);
    batch.cmdProcessAuto_Click();
    EXPECT_EQ(OutcomeLines(), (Texts{"Processing " + a, b}));
    EXPECT_TRUE(list.Selected(0));
    EXPECT_FALSE(list.Selected(1));
}

TEST_F(BatchRunTest, DirectoryFilesAreProcessedInNameOrderIgnoringCase) {
    const std::string d = MakeDir("dl");
    MakeFile("dl/b.avi");
    MakeFile("dl/A.avi");
    MakeFile("dl/c.avi", true);
    MakeFile("dl/a.avi");  // ties with A.avi: plain byte order puts "A" first
    MakeFile("dl/.hidden");
    mkfifo(dir.File("dl/pipe").c_str(), 0644);
    MakeDir("dl/sub");
    Add(d);
    batch.cmdProcessAuto_Click();
    EXPECT_EQ(OutcomeLines(), (Texts{d + "/A.avi", d + "/a.avi", d + "/b.avi", d + "/c.avi"}));
    EXPECT_TRUE(list.Selected(0));  // directory entries stay selected
    EXPECT_EQ(controls.filesFinished, 4);
}

// The original a run kept beside its repair is no download to repair again: a second run over
// the folder passes over it, and it keeps the original bytes. A NAME.bak that came with the
// download, and one named on its own, are processed as any file.
TEST_F(BatchRunTest, SecondRunOverADirectoryPassesOverItsOwnBackups) {
    const std::string d = MakeDir("dl");
    const Bytes original = ReadBytes(MakeFile("dl/a.avi"));
    MakeFile("dl/notes.bak");
    Add(d);
    batch.cmdProcessAuto_Click();
    ASSERT_EQ(ReadBytes(d + "/a.avi.bak"), original);
    ASSERT_EQ(ReadBytes(d + "/notes.bak.bak"), original);
    host.boxes.Answer(true);  // a.avi.bak exists now: delete it?
    host.boxes.Answer(true);  // and notes.bak.bak
    batch.cmdProcessAuto_Click();
    EXPECT_EQ(OutcomeLines(), (Texts{d + "/a.avi", d + "/notes.bak"}));
    EXPECT_EQ(ReadBytes(d + "/a.avi.bak"), original);
    EXPECT_FALSE(Exists(d + "/a.avi.bak.bak"));

    list.Clear();
    Add(d + "/a.avi.bak");
    batch.cmdProcessAuto_Click();
    EXPECT_EQ(OutcomeLines(), (Texts{d + "/a.avi.bak"}));
    EXPECT_EQ(ReadBytes(d + "/a.avi.bak.bak"), original);
}

TEST_F(BatchRunTest, EmptyDirectoryAddsNoLine) {
    Add(MakeDir("empty"));
    batch.cmdProcessAuto_Click();
    EXPECT_TRUE(host.status.lines.empty());
    EXPECT_EQ(controls.calls, kRunningThenIdle);
}

TEST_F(BatchRunTest, FailureInsideADirectoryAlwaysAsks) {
    const std::string d = MakeDir("dl");
    MakeFile("dl/a.avi");
    MakeFile("dl/b.avi");
    WriteBytes(dir.File("dl/a.avi.bak"), {'o'});
    host.boxes.Answer(false);  // the backup question: No, so a.avi is not repaired
    host.boxes.Answer(false);  // Process remaining files? No
    Add(d);
    batch.cmdProcessAuto_Click();
    EXPECT_EQ(host.boxes.Texts(ScriptedBoxes::Kind::Question).back(), "Process remaining files?");
    EXPECT_EQ(OutcomeLines(), (Texts{"Processing " + d + "/a.avi"}));
    EXPECT_FALSE(Exists(dir.File("dl/b.avi.bak")));
}

TEST_F(BatchRunTest, StopRequestFromAnEarlierRunHasNoEffect) {
    Add(MakeFile("a.avi"));
    run.stopflag = true;
    batch.cmdProcessAuto_Click();
    EXPECT_TRUE(host.boxes.shown.empty());
    EXPECT_FALSE(list.Selected(0));
}

TEST_F(BatchRunTest, EveryEntryBecomesCurrentInTurnSelectedOrNot) {
    Add(MakeFile("a.avi"));
    Add(MakeFile("b.avi"));
    Add(MakeFile("c.avi"));
    list.SetSelected(1, false);
    log.currents.clear();
    batch.cmdProcessAuto_Click();
    EXPECT_EQ(log.currents, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(log.scrolls, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(list.Current(), 2);
    EXPECT_FALSE(Exists(dir.File("b.avi.bak")));
}

TEST_F(BatchRunTest, DirectoryThatVanishedIsReportedAndTheRunGoesOn) {
    const std::string d = MakeDir("gone");
    const std::string a = MakeFile("a.avi");
    Add(d);
    Add(a);
    rmdir(d.c_str());
    batch.cmdProcessAuto_Click();
    EXPECT_EQ(OutcomeLines(), (Texts{"Unable to list directory '" + d + "'", a}));
    EXPECT_EQ(batch.Failures(), 1);
    EXPECT_TRUE(host.boxes.shown.empty());
}

// Each selected entry the walk comes to is started afresh and reported by its position after
// each of its files; a directory without files once, one that cannot be listed as failed.
TEST_F(BatchRunTest, EntriesAreReportedByPositionAfterEachOfTheirFiles) {
    Add(MakeDir("empty"));
    const std::string gone = MakeDir("gone");
    Add(gone);
    rmdir(gone.c_str());
    Add(MakeFile("a.avi"));
    list.SetSelected(2, false);
    Add(MakeDir("dl"));
    MakeFile("dl/b.avi");
    MakeFile("dl/c.avi", true);
    batch.cmdProcessAuto_Click();
    EXPECT_EQ(controls.entries, (Texts{"started 0", "0 clean: No files", "started 1",
                                       "1 failed: Failed: unable to list directory", "started 3",
                                       "3 repaired: 1 file: 1 repaired",
                                       "3 repaired: 2 files: 1 repaired, 1 clean"}));
}

TEST_F(BatchRunTest, NoSecondRunStartsInsideARunningOne) {
    Add(MakeFile("a.avi"));
    Add(MakeFile("b.avi"));
    int nested = 0;
    host.onYield = [&](int) {
        ++nested;
        batch.cmdProcessInter_Click();  // a click on the run menu while the pass yields
    };
    batch.cmdProcessAuto_Click();
    EXPECT_GT(nested, 0);
    EXPECT_FALSE(run.interactive);
    EXPECT_EQ(controls.calls, kRunningThenIdle);
    EXPECT_EQ(OutcomeLines(), (Texts{dir.File("a.avi"), dir.File("b.avi")}));
}

TEST(SortNames, CaseIsIgnoredAndTiesFallBackToBytes) {
    std::vector<std::string> names = {"b", "B", "a.avi", "A.AVI", "_x", "Z", "a"};
    BatchRun::SortNames(names);
    EXPECT_EQ(names, (std::vector<std::string>{"_x", "a", "A.AVI", "a.avi", "B", "b", "Z"}));
}

// Bytes compare unsigned, on every processor: names beyond ASCII come after "z".
TEST(SortNames, BytesAbove127SortAfterAsciiLetters) {
    std::vector<std::string> names = {"\xc3\xa9t\xc3\xa9.avi", "z.avi", "A.avi", "\x80"};
    BatchRun::SortNames(names);
    EXPECT_EQ(names, (std::vector<std::string>{"A.avi", "z.avi", "\x80", "\xc3\xa9t\xc3\xa9.avi"}));
}

}  // namespace
}  // namespace korbelt::test
