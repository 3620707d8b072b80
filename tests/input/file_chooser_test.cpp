#include <gtest/gtest.h>
#include <sys/stat.h>

#include <deque>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "FakeHost.h"
#include "ListContents.h"
#include "TempDir.h"
#include "engine/system/PosixFileSystem.h"
#include "input/FileChooser.h"

namespace korbelt {
namespace {

using Texts = std::vector<std::string>;

// An open dialog that answers from a script and remembers how it was asked.
class ScriptedDialog : public OpenFileDialog {
  public:
    void Pick(Texts paths, int filterindex = 1) {
        answers.push_back(OpenDialogChoice{std::move(paths), filterindex});
    }
    void Cancel() { answers.push_back(std::nullopt); }

    std::optional<OpenDialogChoice> Run(const OpenDialogSettings& settings) override {
        openings.push_back(settings);
        if (answers.empty()) {
            ADD_FAILURE() << "dialog opened without a prepared answer";
            return std::nullopt;
        }
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::deque<std::optional<OpenDialogChoice>> answers;
    std::vector<OpenDialogSettings> openings;
};

class ThrowingDialog : public OpenFileDialog {
  public:
    std::optional<OpenDialogChoice> Run(const OpenDialogSettings&) override {
        throw std::runtime_error("no display");
    }
};

// The real file system, except that examining one chosen name fails outright.
class FailingFileSystem : public PosixFileSystem {
  public:
    std::optional<std::string> poison;
    bool IsOrdinaryFile(const std::string& path) override {
        if (poison == path) {
            throw std::runtime_error("device not ready");
        }
        return PosixFileSystem::IsOrdinaryFile(path);
    }
};

class FileChooserTest : public ::testing::Test {
  protected:
    FileChooserTest() {
        EXPECT_EQ(mkdir(Dl().c_str(), 0755), 0);
        test::WriteBytes(dir.File("dl/a.avi"), {1});
        test::WriteBytes(dir.File("dl/b.avi"), {2});
        test::WriteBytes(dir.File("dl/c.zip"), {3});
    }

    std::string Dl() const { return dir.File("dl"); }
    std::string InDl(const std::string& name) const { return Dl() + "/" + name; }

    Texts Entries() const { return test::Entries(list); }

    test::TempDir dir;
    FailingFileSystem fs;
    InputList list;
    test::FakeStatusList status;
    test::ScriptedBoxes boxes;
    InputListCommands commands{list, fs, status, boxes};
    FileChooser chooser{commands};
    ScriptedDialog dialog;
};

TEST_F(FileChooserTest, StartsUnopenedWithAnEmptyName) {
    EXPECT_TRUE(chooser.firstbrowse);
    EXPECT_EQ(chooser.browsename, "");
}

TEST_F(FileChooserTest, FirstOpeningHasNoNameAndTheAllFilesFilter) {
    chooser.filterindex = 4;
    dialog.Cancel();
    chooser.cmdInputFile_Click(dialog);
    ASSERT_EQ(dialog.openings.size(), 1u);
    const OpenDialogSettings& settings = dialog.openings[0];
    EXPECT_EQ(settings.filename, "");
    EXPECT_EQ(settings.filterindex, 1);
    ASSERT_EQ(settings.filters.size(), 6u);
    EXPECT_EQ(settings.filters[0].description, "All Files (*.*)");
    EXPECT_EQ(settings.filters[5].description, "Zip files (*.zip)");
    EXPECT_FALSE(chooser.firstbrowse);
}

TEST_F(FileChooserTest, OneFileIsAddedAndOpensTheNextDialog) {
    dialog.Pick({InDl("a.avi")});
    dialog.Cancel();
    chooser.cmdInputFile_Click(dialog);
    chooser.cmdInputFile_Click(dialog);
    EXPECT_EQ(Entries(), Texts{"file " + InDl("a.avi")});
    EXPECT_TRUE(list.Selected(0));
    EXPECT_EQ(chooser.browsename, InDl("a.avi"));
    EXPECT_EQ(dialog.openings[1].filename, InDl("a.avi"));
}

TEST_F(FileChooserTest, SeveralFilesAreAddedInTheDialogsOrder) {
    dialog.Pick({InDl("b.avi"), InDl("a.avi")});
    dialog.Cancel();
    chooser.cmdInputFile_Click(dialog);
    chooser.cmdInputFile_Click(dialog);
    EXPECT_EQ(Entries(), (Texts{"file " + InDl("b.avi"), "file " + InDl("a.avi")}));
    EXPECT_EQ(chooser.browsename, Dl() + "/*.*");
    EXPECT_EQ(dialog.openings[1].filename, Dl() + "/*.*");
}

TEST_F(FileChooserTest, SeveralFilesAtTheRootNameTheRoot) {
    dialog.Pick({"/a.avi", "/b.avi"});
    chooser.cmdInputFile_Click(dialog);
    EXPECT_EQ(chooser.browsename, "/*.*");
}

TEST_F(FileChooserTest, ConfirmedFilterIsOfferedAgain) {
    dialog.Pick({InDl("c.zip")}, 6);
    dialog.Cancel();
    dialog.Cancel();
    chooser.cmdInputFile_Click(dialog);
    chooser.cmdInputFile_Click(dialog);
    chooser.cmdInputFile_Click(dialog);
    EXPECT_EQ(dialog.openings[0].filterindex, 1);
    EXPECT_EQ(dialog.openings[1].filterindex, 6);
    EXPECT_EQ(dialog.openings[2].filterindex, 6);
    EXPECT_EQ(chooser.filterindex, 6);
}

TEST_F(FileChooserTest, FilterIndexOutsideTheFiltersIsIgnored) {
    dialog.Pick({InDl("a.avi")}, 2);
    dialog.Pick({InDl("b.avi")}, 7);
    dialog.Pick({InDl("b.avi")}, 0);
    chooser.cmdInputFile_Click(dialog);
    chooser.cmdInputFile_Click(dialog);
    chooser.cmdInputFile_Click(dialog);
    EXPECT_EQ(chooser.filterindex, 2);
    EXPECT_EQ(list.Count(), 3);
}

TEST_F(FileChooserTest, CancelChangesNothing) {
    dialog.Pick({InDl("a.avi")}, 3);
    dialog.Cancel();
    dialog.Cancel();
    chooser.cmdInputFile_Click(dialog);
    chooser.cmdInputFile_Click(dialog);
    chooser.cmdInputFile_Click(dialog);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(chooser.browsename, InDl("a.avi"));
    EXPECT_EQ(dialog.openings[2].filename, InDl("a.avi"));
    EXPECT_EQ(dialog.openings[2].filterindex, 3);
    EXPECT_TRUE(status.lines.empty());
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(FileChooserTest, ConfirmingNothingIsLikeACancel) {
    dialog.Pick({}, 5);
    chooser.cmdInputFile_Click(dialog);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(chooser.browsename, "");
    EXPECT_EQ(chooser.filterindex, 1);
}

TEST_F(FileChooserTest, TypedNameThatDoesNotExistIsReportedAndRemembered) {
    const std::string typed = InDl("typo.avi");
    dialog.Pick({typed});
    dialog.Cancel();
    chooser.cmdInputFile_Click(dialog);
    chooser.cmdInputFile_Click(dialog);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(status.lines, Texts{"Invalid File '" + typed + "'"});
    EXPECT_EQ(dialog.openings[1].filename, typed);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(FileChooserTest, InvalidNameAmongSeveralDoesNotStopTheOthers) {
    test::WriteBytes(InDl(".hidden.avi"), {4});
    dialog.Pick({InDl("a.avi"), InDl(".hidden.avi"), InDl("b.avi")});
    chooser.cmdInputFile_Click(dialog);
    EXPECT_EQ(Entries(), (Texts{"file " + InDl("a.avi"), "file " + InDl("b.avi")}));
    EXPECT_EQ(status.lines, Texts{"Invalid File '" + InDl(".hidden.avi") + "'"});
}

TEST_F(FileChooserTest, PickedDirectoryBecomesADirectoryEntry) {
    dialog.Pick({Dl()});
    chooser.cmdInputFile_Click(dialog);
    EXPECT_EQ(Entries(), Texts{"directory " + Dl()});
}

TEST_F(FileChooserTest, FailureWhileAddingOneFileEndsSilentlyKeepingTheOldName) {
    dialog.Pick({InDl("a.avi")});
    chooser.cmdInputFile_Click(dialog);
    fs.poison = InDl("b.avi");
    dialog.Pick({InDl("b.avi")}, 2);
    chooser.cmdInputFile_Click(dialog);
    EXPECT_EQ(Entries(), Texts{"file " + InDl("a.avi")});
    EXPECT_EQ(chooser.browsename, InDl("a.avi"));
    EXPECT_EQ(chooser.filterindex, 2);
    EXPECT_TRUE(status.lines.empty());
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(FileChooserTest, FailureAmongSeveralKeepsEarlierEntriesAndSkipsLaterOnes) {
    fs.poison = InDl("b.avi");
    dialog.Pick({InDl("a.avi"), InDl("b.avi"), InDl("c.zip")});
    chooser.cmdInputFile_Click(dialog);
    EXPECT_EQ(Entries(), Texts{"file " + InDl("a.avi")});
    EXPECT_EQ(chooser.browsename, Dl() + "/*.*");
    EXPECT_TRUE(status.lines.empty());
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(FileChooserTest, DialogThatCannotOpenEndsSilently) {
    ThrowingDialog broken;
    chooser.cmdInputFile_Click(broken);
    EXPECT_FALSE(chooser.firstbrowse);
    EXPECT_EQ(chooser.browsename, "");
    EXPECT_EQ(list.Count(), 0);
    EXPECT_TRUE(status.lines.empty());
    EXPECT_TRUE(boxes.shown.empty());
}

TEST(PickedDirectory, EverythingBeforeTheLastSlash) {
    EXPECT_EQ(PickedDirectory("/home/u/dl/a.avi"), "/home/u/dl");
    EXPECT_EQ(PickedDirectory("/a.avi"), "");
    EXPECT_EQ(PickedDirectory("a.avi"), "");
}

}  // namespace
}  // namespace korbelt
