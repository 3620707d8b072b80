// Files opened with Korbelt from the desktop reach the input list as if they had been dropped.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QListWidget>
#include <memory>
#include <stdexcept>

#include "ChildProcess.h"
#include "FakeHost.h"
#include "TempDir.h"
#include "engine/system/PosixFileSystem.h"
#include "input/InputList.h"
#include "input/InputListCommands.h"
#include "settings/QSettingsStore.h"
#include "ui/StartupPaths.h"
#include "ui/frmKorbelt.h"

namespace korbelt::test {
namespace {

using Texts = std::vector<std::string>;

Texts Lines(const QAbstractItemView* list) {
    Texts lines;
    for (int i = 0; i < list->model()->rowCount(); ++i) {
        lines.push_back(list->model()->index(i, 0).data().toString().toStdString());
    }
    return lines;
}

Texts Entries(const InputList& list) {
    Texts texts;
    for (int i = 0; i < list.Count(); ++i) {
        texts.push_back(list.Text(i));
    }
    return texts;
}

TEST(StartupPaths, NoArgumentsMeanNoPaths) {
    const char* argv[] = {"Korbelt"};
    EXPECT_TRUE(StartupPaths(1, argv).empty());
}

TEST(StartupPaths, EveryArgumentAfterTheProgramNameIsAPathInOrder) {
    const char* argv[] = {"/usr/bin/Korbelt", "/home/me/b.avi", "/home/me/a film.avi",
                          "/home/me/Downloads"};
    EXPECT_EQ(StartupPaths(4, argv),
              (Texts{"/home/me/b.avi", "/home/me/a film.avi", "/home/me/Downloads"}));
}

TEST(StartupPaths, OptionLookingArgumentsAndOddBytesStayPaths) {
    const char* argv[] = {"Korbelt", "-h", "--open", "-", "/tmp/caf\xe9.avi"};
    EXPECT_EQ(StartupPaths(5, argv), (Texts{"-h", "--open", "-", "/tmp/caf\xe9.avi"}));
    EXPECT_EQ(TerminalAnswer(5, argv), std::nullopt);
}

// The built window, asked for help or its version: the answer on standard output, status 0,
// and no window. A platform that does not exist would end any program that made one.
TEST(TerminalAnswer, HelpAndVersionAnswerOnTheTerminalWithoutAWindow) {
    const std::vector<std::string> headless = {"QT_QPA_PLATFORM=no-such-platform"};
    const std::string korbelt = ProgramDirectory() + "/Korbelt";
    const ProgramResult help = RunProgram(korbelt, {"--help"}, "", headless);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.rfind("Usage: Korbelt [PATH]...\n", 0), 0u) << help.out;
    for (const char* option : {"--help", "--version", "korbelt-cli"}) {
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    }
    EXPECT_EQ(help.err, "");
    const ProgramResult version =
        RunProgram(korbelt, {"/some/file.avi", "--version"}, "", headless);
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "Korbelt 1.3.2\nKorbelt is free software under the MIT licence.\n");
    EXPECT_EQ(version.err, "");
    const ProgramResult window = RunProgram(korbelt, {"-h"}, "", headless);
    EXPECT_NE(window.exitCode, 0) << "a path, so the window, which cannot start here";
    EXPECT_EQ(window.out, "");
}

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

TEST(AddStartupPaths, ANameThatCannotBeExaminedIsReportedAndTheRestStillArrive) {
    TempDir dir;
    WriteBytes(dir.File("good.avi"), {1, 2, 3});
    InputList list;
    FailingFileSystem fs(dir.File("bad.avi"));
    FakeStatusList status;
    ScriptedBoxes boxes;
    InputListCommands commands(list, fs, status, boxes);

    AddStartupPaths({dir.File("bad.avi"), dir.File("good.avi")}, commands);

    EXPECT_EQ(status.lines, Texts{"Invalid File '" + dir.File("bad.avi") + "'"});
    EXPECT_EQ(Entries(list), Texts{"file " + dir.File("good.avi")});
    EXPECT_TRUE(boxes.shown.empty());
}

class StartedWithPaths : public ::testing::Test {
  protected:
    StartedWithPaths() : store(dir.File("Korbelt.conf")) {
        WriteBytes(dir.File("b.avi"), {1, 2, 3});
        WriteBytes(dir.File("a.mpg"), {});
        WriteBytes(dir.File(".hidden.avi"), {4});
        EXPECT_EQ(mkdir(dir.File("Series").c_str(), 0755), 0);
        window = std::make_unique<frmKorbelt>(store);
        window->SetQuit([] {});
        window->show();
        QApplication::processEvents();
    }
    ~StartedWithPaths() override { window->Boxes().SetNextAnswer(QMessageBox::Yes); }

    const QAbstractItemView* Child(const char* name) const {
        return window->findChild<QAbstractItemView*>(name);
    }

    TempDir dir;
    QSettingsStore store;
    std::unique_ptr<frmKorbelt> window;
};

TEST_F(StartedWithPaths, FilesAndFoldersArriveSelectedInTheOrderGiven) {
    AddStartupPaths({dir.File("b.avi"), dir.File("Series"), dir.File("a.mpg")}, window->Commands());
    QApplication::processEvents();

    const Texts expected{"file " + dir.File("b.avi"), "directory " + dir.File("Series"),
                         "file " + dir.File("a.mpg")};
    EXPECT_EQ(Entries(window->Inputs()), expected);
    for (int i = 0; i < window->Inputs().Count(); ++i) {
        EXPECT_TRUE(window->Inputs().Selected(i)) << i;
    }
    EXPECT_EQ(Lines(Child("lstInputFiles")), expected);
    EXPECT_TRUE(Lines(Child("List1")).empty());
    EXPECT_TRUE(window->Boxes().Shown().empty());
}

TEST_F(StartedWithPaths, WhatADropWouldRefuseIsAStatusLineAndNothingElse) {
    AddStartupPaths(
        {dir.File("missing.avi"), "--verbose", dir.File(".hidden.avi"), dir.File("b.avi")},
        window->Commands());
    QApplication::processEvents();

    EXPECT_EQ(Entries(window->Inputs()), Texts{"file " + dir.File("b.avi")});
    EXPECT_EQ(Lines(Child("List1")),
              (Texts{"Invalid File '" + dir.File("missing.avi") + "'", "Invalid File '--verbose'",
                     "Invalid File '" + dir.File(".hidden.avi") + "'"}));
    EXPECT_TRUE(window->Boxes().Shown().empty());
}

TEST_F(StartedWithPaths, NoPathsLeaveTheWindowAsItStarted) {
    AddStartupPaths({}, window->Commands());
    EXPECT_EQ(window->Inputs().Count(), 0);
    EXPECT_TRUE(Lines(Child("List1")).empty());
}

}  // namespace
}  // namespace korbelt::test
