#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "FakeHost.h"
#include "ListContents.h"
#include "RecordingObserver.h"
#include "TempDir.h"
#include "engine/system/PosixFileSystem.h"
#include "input/InputListCommands.h"

namespace korbelt {
namespace {

using test::ScriptedBoxes;
using Kind = ScriptedBoxes::Kind;
using Texts = std::vector<std::string>;

constexpr const char* kTidyQuestion =
    "Remove deselected files and directories from the input list?";
constexpr const char* kClearQuestion = "Clear the input files and directories list?";

// The real file system, except that examining one chosen name fails outright.
class FailingFileSystem : public PosixFileSystem {
  public:
    explicit FailingFileSystem(std::string poison) : poison_(std::move(poison)) {}
    bool IsOrdinaryFile(const std::string& path) override {
        if (path == poison_) {
            throw std::runtime_error("device not ready");
        }
        return PosixFileSystem::IsOrdinaryFile(path);
    }

  private:
    std::string poison_;
};

class InputListCommandsTest : public ::testing::Test {
  protected:
    InputListCommandsTest() {
        test::WriteBytes(dir.File("a.avi"), {1, 2, 3});
        test::WriteBytes(dir.File("b.avi"), {});
        test::WriteBytes(dir.File(".hidden.avi"), {4});
        EXPECT_EQ(mkdir(dir.File("dl").c_str(), 0755), 0);
        test::WriteBytes(dir.File("dl/inside.avi"), {5});
    }

    std::string A() const { return dir.File("a.avi"); }
    std::string B() const { return dir.File("b.avi"); }
    std::string Hidden() const { return dir.File(".hidden.avi"); }
    std::string Dl() const { return dir.File("dl"); }

    Texts Entries() const { return test::Entries(list); }
    std::vector<bool> Marks() const { return test::Marks(list); }
    // Fills the list with entries that need no file on disk, marked as given.
    void Fill(const std::vector<bool>& marks) {
        for (std::size_t i = 0; i < marks.size(); ++i) {
            ASSERT_TRUE(list.Append("file /e" + std::to_string(i + 1)));
            list.SetSelected(static_cast<int>(i), marks[i]);
        }
    }

    test::TempDir dir;
    PosixFileSystem fs;
    InputList list;
    test::FakeStatusList status;
    ScriptedBoxes boxes;
    int yields = 0;
    InputListCommands commands{list, fs, status, boxes, [this] { ++yields; }};
};

// --- AddInputFile ---

TEST_F(InputListCommandsTest, OrdinaryFilesBecomeSelectedFileEntries) {
    // Read-only and empty files are as ordinary as any.
    ASSERT_EQ(chmod(A().c_str(), 0444), 0);
    commands.AddInputFile(A());
    commands.AddInputFile(B());
    EXPECT_EQ(Entries(), (Texts{"file " + A(), "file " + B()}));
    EXPECT_EQ(Marks(), (std::vector<bool>{true, true}));
    EXPECT_TRUE(status.lines.empty());
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(InputListCommandsTest, DirectoryBecomesOneDirectoryEntry) {
    commands.AddInputFile(Dl());
    EXPECT_EQ(Entries(), Texts{"directory " + Dl()});
    EXPECT_EQ(Marks(), std::vector<bool>{true});
    EXPECT_TRUE(status.lines.empty());
}

TEST_F(InputListCommandsTest, PathIsKeptExactlyAsGiven) {
    const std::string roundabout = Dl() + "/../a.avi";
    const std::string slashed = Dl() + "/";
    commands.AddInputFile(roundabout);
    commands.AddInputFile(slashed);
    EXPECT_EQ(Entries(), (Texts{"file " + roundabout, "directory " + slashed}));
}

TEST_F(InputListCommandsTest, SymbolicLinksCountAsWhatTheyNameUnderTheirOwnName) {
    ASSERT_EQ(symlink(A().c_str(), dir.File("link.avi").c_str()), 0);
    ASSERT_EQ(symlink(Dl().c_str(), dir.File("linkdir").c_str()), 0);
    commands.AddInputFile(dir.File("link.avi"));
    commands.AddInputFile(dir.File("linkdir"));
    EXPECT_EQ(Entries(),
              (Texts{"file " + dir.File("link.avi"), "directory " + dir.File("linkdir")}));
}

TEST_F(InputListCommandsTest, NamesThatAreNeitherFileNorDirectoryAreReported) {
    ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0644), 0);
    ASSERT_EQ(mkdir(dir.File(".cache").c_str(), 0755), 0);
    ASSERT_EQ(symlink(dir.File("gone").c_str(), dir.File("dangling").c_str()), 0);
    ASSERT_EQ(symlink(A().c_str(), dir.File(".hiddenlink").c_str()), 0);
    const Texts invalid = {Hidden(),
                           dir.File(".cache"),
                           dir.File("fifo"),
                           dir.File("missing.avi"),
                           dir.File("dangling"),
                           dir.File(".hiddenlink"),
                           A() + "/",
                           "/dev/null",
                           ""};
    for (const std::string& path : invalid) {
        commands.AddInputFile(path);
    }
    EXPECT_EQ(list.Count(), 0);
    Texts expected;
    for (const std::string& path : invalid) {
        expected.push_back("Invalid File '" + path + "'");
    }
    EXPECT_EQ(status.lines, expected);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(InputListCommandsTest, SocketIsNotAFile) {
    const std::string path = dir.File("sock");
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof(address.sun_path));
    path.copy(address.sun_path, path.size());
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    commands.AddInputFile(path);
    close(fd);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(status.lines, Texts{"Invalid File '" + path + "'"});
}

TEST_F(InputListCommandsTest, WildcardsAreNotExpanded) {
    commands.AddInputFile(dir.File("*.avi"));
    commands.AddInputFile(dir.File("?.avi"));
    EXPECT_EQ(list.Count(), 0);
    // A name that really is "*.avi" is an ordinary file like any other.
    test::WriteBytes(dir.File("*.avi"), {6});
    commands.AddInputFile(dir.File("*.avi"));
    EXPECT_EQ(Entries(), Texts{"file " + dir.File("*.avi")});
    EXPECT_EQ(status.lines, (Texts{"Invalid File '" + dir.File("*.avi") + "'",
                                   "Invalid File '" + dir.File("?.avi") + "'"}));
}

TEST_F(InputListCommandsTest, FullListRefusesAnotherEntryWithAStatusLine) {
    for (int i = 0; i < InputList::kMaxEntries; ++i) {
        ASSERT_TRUE(list.Append("file /f"));
    }
    commands.AddInputFile(A());
    commands.AddInputFile(Dl());
    commands.AddInputFile(dir.File("missing"));
    EXPECT_EQ(list.Count(), 32767);
    EXPECT_EQ(list.Text(32766), "file /f");
    EXPECT_EQ(status.lines, (Texts{"Input list is full", "Input list is full",
                                   "Invalid File '" + dir.File("missing") + "'"}));
}

// --- Drag and drop ---

TEST_F(InputListCommandsTest, OnlyAFileListOfferedForCopyIsWelcome) {
    using Effect = InputListCommands::DropEffect;
    EXPECT_EQ(InputListCommands::lstInputFiles_OLEDragOver(true, true), Effect::Copy);
    EXPECT_EQ(InputListCommands::lstInputFiles_OLEDragOver(true, false), Effect::None);
    EXPECT_EQ(InputListCommands::lstInputFiles_OLEDragOver(false, true), Effect::None);
    EXPECT_EQ(InputListCommands::lstInputFiles_OLEDragOver(false, false), Effect::None);
}

TEST_F(InputListCommandsTest, DroppingTheSameFileTwiceGivesTwoSelectedEntries) {
    commands.lstInputFiles_OLEDragDrop({A()});
    commands.lstInputFiles_OLEDragDrop({A()});
    EXPECT_EQ(Entries(), (Texts{"file " + A(), "file " + A()}));
    EXPECT_EQ(Marks(), (std::vector<bool>{true, true}));
}

TEST_F(InputListCommandsTest, DroppedDirectoryIsOneEntryWithoutItsFiles) {
    commands.lstInputFiles_OLEDragDrop({Dl()});
    EXPECT_EQ(Entries(), Texts{"directory " + Dl()});
}

TEST_F(InputListCommandsTest, DroppedHiddenFileInTheMiddleIsReportedTheRestAdded) {
    commands.lstInputFiles_OLEDragDrop({B(), Hidden(), A()});
    EXPECT_EQ(Entries(), (Texts{"file " + B(), "file " + A()}));
    EXPECT_EQ(Marks(), (std::vector<bool>{true, true}));
    EXPECT_EQ(status.lines, Texts{"Invalid File '" + Hidden() + "'"});
}

TEST_F(InputListCommandsTest, EmptyDropDoesNothing) {
    test::RecordingObserver observer;
    list.SetObserver(&observer);
    commands.lstInputFiles_OLEDragDrop({});
    EXPECT_EQ(list.Count(), 0);
    EXPECT_TRUE(status.lines.empty());
    EXPECT_TRUE(observer.notes.empty());
}

TEST(InputListDrop, NameThatCannotBeExaminedIsReportedAndTheDropGoesOn) {
    test::TempDir dir;
    test::WriteBytes(dir.File("a.avi"), {1});
    test::WriteBytes(dir.File("c.avi"), {3});
    FailingFileSystem fs(dir.File("b.avi"));
    InputList list;
    test::FakeStatusList status;
    ScriptedBoxes boxes;
    InputListCommands commands(list, fs, status, boxes);
    commands.lstInputFiles_OLEDragDrop({dir.File("a.avi"), dir.File("b.avi"), dir.File("c.avi")});
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Text(0), "file " + dir.File("a.avi"));
    EXPECT_EQ(list.Text(1), "file " + dir.File("c.avi"));
    EXPECT_EQ(status.lines, Texts{"Invalid File '" + dir.File("b.avi") + "'"});
}

// --- Double click ---

TEST_F(InputListCommandsTest, DoubleClickOnFileEntryShowsItsPath) {
    ASSERT_TRUE(list.Append("file D:\\dl\\a.avi"));
    list.Click(0);
    commands.lstInputFiles_DblClick();
    EXPECT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.Texts(Kind::Notice), Texts{"Current File is \r\nD:\\dl\\a.avi"});
    EXPECT_TRUE(list.Selected(0));
    EXPECT_EQ(yields, 1);
}

TEST_F(InputListCommandsTest, DoubleClickOnDirectoryEntryShowsItsPath) {
    ASSERT_TRUE(list.Append("directory D:\\dl"));
    list.Click(0);
    commands.lstInputFiles_DblClick();
    EXPECT_EQ(boxes.Texts(Kind::Notice), Texts{"Current Directory is \r\nD:\\dl"});
    EXPECT_TRUE(list.Selected(0));
}

TEST_F(InputListCommandsTest, DoubleClickOnAddedEntriesShowsTheirRealPaths) {
    commands.AddInputFile(A());
    commands.AddInputFile(Dl());
    list.Click(1);
    commands.lstInputFiles_DblClick();
    list.Click(0);
    commands.lstInputFiles_DblClick();
    EXPECT_EQ(boxes.Texts(Kind::Notice),
              (Texts{"Current Directory is \r\n" + Dl(), "Current File is \r\n" + A()}));
}

TEST_F(InputListCommandsTest, DoubleClickLeavesAnUnselectedEntryUnselected) {
    Fill({true, false, true});
    list.Click(1);
    commands.lstInputFiles_DblClick();
    EXPECT_EQ(Marks(), (std::vector<bool>{true, false, true}));
    EXPECT_EQ(boxes.Texts(Kind::Notice), Texts{"Current File is \r\n/e2"});
}

TEST_F(InputListCommandsTest, DoubleClickFlipsTheMarkBeforeYielding) {
    Fill({true});
    list.SetCurrent(0);
    bool markDuringYield = true;
    InputListCommands watching(list, fs, status, boxes,
                               [&] { markDuringYield = list.Selected(0); });
    watching.lstInputFiles_DblClick();
    EXPECT_FALSE(markDuringYield);
    EXPECT_FALSE(list.Selected(0));
}

TEST_F(InputListCommandsTest, DoubleClickOnEmptyListDoesNothing) {
    commands.lstInputFiles_DblClick();
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(yields, 0);
}

TEST_F(InputListCommandsTest, DoubleClickWithoutCurrentEntryDoesNothing) {
    Fill({true, false});
    commands.lstInputFiles_DblClick();
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(Marks(), (std::vector<bool>{true, false}));
    EXPECT_EQ(yields, 0);
}

TEST_F(InputListCommandsTest, DoubleClickShowsNothingWhenTheListWasClearedWhileYielding) {
    Fill({true});
    list.Click(0);
    InputListCommands clearing(list, fs, status, boxes, [&] { list.Clear(); });
    clearing.lstInputFiles_DblClick();
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(list.Count(), 0);
}

// --- Tidy ---

TEST_F(InputListCommandsTest, TidyWithEveryEntrySelectedRemovesNothing) {
    Fill({true, true, true});
    boxes.Answer(true);
    commands.cmdTidy_Click();
    EXPECT_EQ(Entries(), (Texts{"file /e1", "file /e2", "file /e3"}));
    EXPECT_EQ(boxes.Texts(Kind::Question), Texts{kTidyQuestion});
}

TEST_F(InputListCommandsTest, TidyWithNoEntrySelectedEmptiesTheList) {
    Fill({false, false, false});
    boxes.Answer(true);
    commands.cmdTidy_Click();
    EXPECT_EQ(list.Count(), 0);
}

TEST_F(InputListCommandsTest, TidyKeepsTheSelectedEntriesInOrder) {
    Fill({true, false, true, false});
    test::RecordingObserver observer;
    list.SetObserver(&observer);
    boxes.Answer(true);
    commands.cmdTidy_Click();
    EXPECT_EQ(Entries(), (Texts{"file /e1", "file /e3"}));
    EXPECT_EQ(Marks(), (std::vector<bool>{true, true}));
    // Removal runs from the bottom up, so no index shifts under the walk.
    EXPECT_EQ(observer.notes, (Texts{"removed 3", "removed 1"}));
}

TEST_F(InputListCommandsTest, TidyAnsweredNoRemovesNothing) {
    Fill({true, false});
    boxes.Answer(false);
    commands.cmdTidy_Click();
    EXPECT_EQ(Entries(), (Texts{"file /e1", "file /e2"}));
    EXPECT_EQ(Marks(), (std::vector<bool>{true, false}));
}

TEST_F(InputListCommandsTest, TidyAsksEveryTimeEvenOnAnEmptyList) {
    boxes.Answer(true);
    boxes.Answer(false);
    commands.cmdTidy_Click();
    commands.cmdTidy_Click();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(boxes.Texts(Kind::Question), (Texts{kTidyQuestion, kTidyQuestion}));
    EXPECT_EQ(boxes.shown.size(), 2u);
}

// --- Clear ---

TEST_F(InputListCommandsTest, ClearAnsweredYesRemovesEveryEntry) {
    Fill({true, false, true});
    list.SetCurrent(2);
    boxes.Answer(true);
    commands.cmdClear_Click();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Current(), InputList::kNoEntry);
    EXPECT_EQ(boxes.Texts(Kind::Question), Texts{kClearQuestion});
}

TEST_F(InputListCommandsTest, ClearAnsweredNoKeepsEverything) {
    Fill({true, false});
    boxes.Answer(false);
    commands.cmdClear_Click();
    EXPECT_EQ(Entries(), (Texts{"file /e1", "file /e2"}));
    EXPECT_EQ(Marks(), (std::vector<bool>{true, false}));
}

TEST_F(InputListCommandsTest, ClearAsksEveryTimeEvenOnAnEmptyList) {
    boxes.Answer(false);
    boxes.Answer(true);
    commands.cmdClear_Click();
    commands.cmdClear_Click();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(boxes.Texts(Kind::Question), (Texts{kClearQuestion, kClearQuestion}));
}

TEST_F(InputListCommandsTest, ClearLeavesTheStatusListAlone) {
    commands.AddInputFile(A());
    commands.AddInputFile(dir.File("missing"));
    status.AppendLine("Processing " + A());
    boxes.Answer(true);
    commands.cmdClear_Click();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(status.lines,
              (Texts{"Invalid File '" + dir.File("missing") + "'", "Processing " + A()}));
}

}  // namespace
}  // namespace korbelt
