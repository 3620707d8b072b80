// The main window driven as a person would: start-up, menus, the input list, runs, Stop,
// the dialogs it opens, and leaving the program.
#include <sys/stat.h>
#include <unistd.h>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QAbstractItemView>
#include <QListWidget>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QUrl>
#include <csignal>
#include <fstream>
#include <memory>

#include <gtest/gtest.h>

#include "ModalDriver.h"
#include "TempDir.h"
#include "input/FileChooser.h"
#include "input/InputListCommands.h"
#include "settings/QSettingsStore.h"
#include "ui/InputListWidget.h"
#include "ui/QtOpenFileDialog.h"
#include "ui/StatusListWidget.h"
#include "ui/TerminationSignals.h"
#include "ui/frmKorbelt.h"
#include "verify/Digest.h"

namespace korbelt::test {
namespace {

using Texts = std::vector<std::string>;

// An open dialog that records how it was opened and answers with what the test prepared.
class FakeOpenDialog : public OpenFileDialog {
  public:
    std::optional<OpenDialogChoice> Run(const OpenDialogSettings& settings) override {
        openings.push_back(settings);
        if (choices.empty()) {
            return std::nullopt;
        }
        auto choice = choices.front();
        choices.erase(choices.begin());
        return choice;
    }
    std::vector<OpenDialogSettings> openings;
    std::vector<std::optional<OpenDialogChoice>> choices;
};

// size bytes that never repeat a neighbour, with one repeated byte 41 after CR LF '-' at 100.
Bytes Damaged(std::size_t size = 300) {
    Bytes data(size);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>('a' + i % 20);
    }
    data[100] = 13, data[101] = 10, data[102] = '-';
    data[141] = data[142] = 'R';
    return data;
}

// Eight markers, each followed 46 characters on by a slipped-in byte: damage the markers
// show plainly, outside the default search range. Each line begins its own way: lines that
// begin alike are one template to the verdict.
Bytes DamagedOutsideTheRange() {
    Bytes data = Damaged(2600);
    data[100] = data[101] = data[102] = 'x';
    for (std::size_t m = 8; m-- > 0;) {
        const std::size_t at = 200 + m * 300;
        data[at] = 13, data[at + 1] = 10, data[at + 2] = '-';
        data[at + 3] = static_cast<std::uint8_t>('A' + m);
        data.insert(data.begin() + static_cast<long>(at + 46), data[at + 46]);
    }
    return data;
}

Bytes Clean() {
    Bytes data = Damaged();
    data[142] = 'S';
    return data;
}

class Window : public ::testing::Test {
  protected:
    Window() : store(dir.File("Korbelt.conf")) {}
    ~Window() override {
        if (window) {
            window->Boxes().SetNextAnswer(QMessageBox::Yes);
        }
    }

    void Open() {
        window = std::make_unique<frmKorbelt>(store);
        window->SetOpenFileDialog(&dialog);
        // Leaving the test's event loop would end every later modal dialog at once.
        window->SetQuit([] {});
        window->show();
        QApplication::processEvents();
    }
    void StoreSettings(const std::string& ini) { std::ofstream(dir.File("Korbelt.conf")) << ini; }
    std::string StoredText() const {
        const Bytes bytes =
            Exists(dir.File("Korbelt.conf")) ? ReadBytes(dir.File("Korbelt.conf")) : Bytes();
        return std::string(bytes.begin(), bytes.end());
    }
    template <class T>
    T* Get(const char* name) const {
        return Child<T>(window.get(), name);
    }
    QAction* Action(const char* name) const { return Get<QAction>(name); }
    std::string File(const std::string& name, const Bytes& bytes = Damaged()) {
        WriteBytes(dir.File(name), bytes);
        return dir.File(name);
    }
    Texts StatusLines() const {
        Texts lines;
        const auto* list = Get<QAbstractItemView>("List1");
        for (int i = 0; i < list->model()->rowCount(); ++i) {
            lines.push_back(list->model()->index(i, 0).data().toString().toStdString());
        }
        return lines;
    }
    std::vector<QString> BoxTexts() const {
        std::vector<QString> texts;
        for (const auto& box : window->Boxes().Shown()) {
            texts.push_back(box.text);
        }
        return texts;
    }
    // Runs the action once the window yields inside the next run.
    static void DuringTheRun(std::function<void()> action) { QTimer::singleShot(0, action); }

    TempDir dir;
    QSettingsStore store;
    FakeOpenDialog dialog;
    std::unique_ptr<frmKorbelt> window;
};

TEST_F(Window, FirstStartShowsTheDefaultsAndTheIdleState) {
    Open();
    EXPECT_EQ(window->windowTitle(), "Korbelt v1.3.2 from Prendle");
    EXPECT_EQ(Get<QLabel>("labSearchRange")->text(),
              "Searching for Duplicate Bytes in chars 39-45 relative to the first char in "
              "0Dh,0Ah,2Dh");
    EXPECT_EQ(Get<QLabel>("labOptions")->text(), "");
    EXPECT_FALSE(Action("mnuOptionsTruncate")->isChecked());
    EXPECT_FALSE(Action("mnuOptionsIgnoreHJS")->isChecked());
    EXPECT_TRUE(Get<QPushButton>("cmdProcessAuto")->isVisible());
    EXPECT_TRUE(Get<QPushButton>("cmdProcessInter")->isEnabled());
    EXPECT_FALSE(Get<QPushButton>("cmdStop")->isVisible());
    EXPECT_FALSE(Get<QPushButton>("cmdStop")->isEnabled());
    EXPECT_FALSE(Get<QProgressBar>("ProgressBar1")->isVisible());
    EXPECT_EQ(Get<QListWidget>("lstInputFiles")->count(), 0);
    EXPECT_EQ(window->centralWidget()->size(), QSize(542, 495));
    EXPECT_TRUE(window->Chooser().firstbrowse);
    EXPECT_EQ(window->Chooser().browsename, "");
}

TEST_F(Window, WindowIsCentredOnTheScreen) {
    Open();
    const QRect screen = window->screen()->geometry();
    const QRect frame = window->frameGeometry();
    EXPECT_LE(std::abs(frame.center().x() - screen.center().x()), 2);
    EXPECT_LE(std::abs(frame.center().y() - screen.center().y()), 2);
}

TEST_F(Window, StartUpRestoresOptionsAndRange) {
    StoreSettings(
        "[Options]\nDBRangeStart=40\nDBRangeEnd=44\nTruncateMime=YES\n"
        "IgnoreHJSplit=yes\nLastVersionRun=131\n");
    Open();
    EXPECT_TRUE(Action("mnuOptionsTruncate")->isChecked());
    EXPECT_TRUE(Action("mnuOptionsIgnoreHJS")->isChecked());
    EXPECT_EQ(Get<QLabel>("labOptions")->text(),
              "Truncating file if a Mime Wrapper is found within 10 bytes of the End of File.\n"
              "Ignoring HJSplit files which are an exact multiple of 1K in size.");
    EXPECT_EQ(Get<QLabel>("labSearchRange")->text(),
              "Searching for Duplicate Bytes in chars 40-44 relative to the first char in "
              "0Dh,0Ah,2Dh");
}

TEST_F(Window, StoredRangeWithoutAnEndAboveItsStartComesUpAsTheDefault) {
    StoreSettings("[Options]\nDBRangeStart=45\nDBRangeEnd=40\n");
    Open();
    EXPECT_EQ(window->Globals().rangestart, -1);
    EXPECT_NE(Get<QLabel>("labSearchRange")->text().indexOf("39-45"), -1);
}

TEST_F(Window, MenusHaveTheirCaptionsAccessKeysAndNoShortcuts) {
    Open();
    QStringList menus;
    for (QAction* menu : window->menuBar()->actions()) {
        menus << menu->text();
    }
    EXPECT_EQ(menus, (QStringList{"&File", "&Run", "&Options", "&Help"}));
    const std::vector<std::pair<const char*, QString>> entries = {
        {"mnuFileInput", "Choose &Input File(s)"},
        {"mnuFileExit", "E&xit"},
        {"mnuRunAuto", "Process File(s) &Automatically"},
        {"mnuRunInter", "Process File(s) &Interactively"},
        {"mnuOptionsDBRange", "&Duplicate Bytes Range"},
        {"mnuOptionsTruncate", "&Truncate file if Mime Wrapper near EOF"},
        {"mnuOptionsIgnoreHJS", "&Ignore HJSplit files if a whole no of Kb in size"},
        {"mnuOptionsVerify", "&Verify with Checksum Files"},
        {"mnuOptionsLeaveUnpatterned", "&Leave Files with No Damage Pattern"},
        {"mnuHelpAbout", "&About"}};
    for (const auto& [name, caption] : entries) {
        QAction* action = Action(name);
        ASSERT_NE(action, nullptr) << name;
        EXPECT_EQ(action->text(), caption) << name;
        EXPECT_TRUE(action->shortcut().isEmpty()) << name;
        const bool option = std::string(name) == "mnuOptionsTruncate" ||
                            std::string(name) == "mnuOptionsIgnoreHJS" ||
                            std::string(name) == "mnuOptionsVerify" ||
                            std::string(name) == "mnuOptionsLeaveUnpatterned";
        EXPECT_EQ(action->isCheckable(), option) << name;
    }
    const QList<QAction*> file = window->menuBar()->actions().at(0)->menu()->actions();
    ASSERT_EQ(file.size(), 3);
    EXPECT_TRUE(file.at(1)->isSeparator());
    EXPECT_FALSE(Action("mnuOptionsLeaveUnpatterned")->isChecked());
    Action("mnuOptionsLeaveUnpatterned")->trigger();
    EXPECT_TRUE(Action("mnuOptionsLeaveUnpatterned")->isChecked());
    EXPECT_EQ(Get<QLabel>("labOptions")->text(),
              "Leaving files with no damage pattern as they are.");
}

TEST_F(Window, ControlsHaveTheirCaptionsPlacesAndKeyboardOrder) {
    Open();
    const std::vector<std::tuple<const char*, QString, QRect>> buttons = {
        {"cmdClear", "&Clear", {456, 192, 73, 25}},
        {"cmdTidy", "&Tidy", {456, 160, 73, 25}},
        {"cmdStop", "Stop Processing File", {200, 232, 137, 25}},
        {"cmdProcessInter", "Process File(s) &Interactively", {344, 232, 169, 25}},
        {"cmdProcessAuto", "Process File(s) &Automatically", {24, 232, 169, 25}},
        {"cmdInputFile", "Bro&wse", {456, 128, 73, 25}}};
    for (const auto& [name, caption, where] : buttons) {
        EXPECT_EQ(Get<QPushButton>(name)->text(), caption) << name;
        EXPECT_EQ(Get<QPushButton>(name)->geometry(), where) << name;
    }
    EXPECT_EQ(Get<QWidget>("lstInputFiles")->geometry(), QRect(48, 128, 401, 94));
    EXPECT_EQ(Get<QGroupBox>("Frame1")->title(), "Current Options");
    EXPECT_EQ(Get<QGroupBox>("Frame1")->geometry(), QRect(16, 8, 513, 89));
    EXPECT_EQ(Get<QLabel>("labOptions")->geometry(), QRect(24, 40, 457, 33));
    EXPECT_EQ(Get<QLabel>("labSearchRange")->geometry(), QRect(24, 24, 457, 17));
    EXPECT_EQ(Get<QWidget>("ProgressBar1")->geometry(), QRect(24, 448, 497, 25));
    EXPECT_EQ(Get<QWidget>("List1")->geometry(), QRect(16, 264, 505, 172));
    EXPECT_EQ(Get<QLabel>("Label1")->text(), "I&nput File(s)");
    EXPECT_EQ(Get<QLabel>("Label1")->buddy(), Get<QWidget>("lstInputFiles"));
    // The columns of found bytes line up: every character of the status lines has one width,
    // whatever font the machine's fontconfig gives for a fixed-pitch one.
    const QFontMetrics metrics(Get<QWidget>("List1")->font());
    for (const QChar c : QStringLiteral(" @,.-'0123456789abcdefghijklmnopqrstuvwxyzMW_")) {
        EXPECT_EQ(metrics.horizontalAdvance(c), metrics.horizontalAdvance(QLatin1Char('0')))
            << c.toLatin1();
    }

    const auto nextTabStop = [](QWidget* widget) {
        do {
            widget = widget->nextInFocusChain();
        } while ((widget->focusPolicy() & Qt::TabFocus) == 0);
        return widget;
    };
    const char* order[] = {"lstInputFiles", "cmdInputFile", "cmdProcessAuto", "cmdProcessInter",
                           "cmdStop",       "List1",        "cmdTidy",        "cmdClear"};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
        EXPECT_EQ(nextTabStop(Get<QWidget>(order[i])), Get<QWidget>(order[i + 1])) << order[i];
    }
}

// Larger than drawn, the lists take the room: the input list a third of the extra height,
// the status list the rest, with the buttons beside and below them following. It never
// gets smaller than drawn.
TEST_F(Window, GrowsFromItsDrawnLayoutAndNeverShrinksBelowIt) {
    Open();
    EXPECT_EQ(window->centralWidget()->minimumSize(), QSize(542, 495));
    window->centralWidget()->resize(542 + 100, 495 + 90);
    EXPECT_EQ(Get<QWidget>("lstInputFiles")->geometry(), QRect(48, 128, 501, 94 + 30));
    EXPECT_EQ(Get<QWidget>("cmdInputFile")->geometry(), QRect(556, 128, 73, 25));
    EXPECT_EQ(Get<QWidget>("cmdClear")->geometry(), QRect(556, 192, 73, 25));
    EXPECT_EQ(Get<QWidget>("cmdProcessAuto")->geometry(), QRect(24, 262, 169, 25));
    EXPECT_EQ(Get<QWidget>("cmdStop")->geometry(), QRect(250, 262, 137, 25));
    EXPECT_EQ(Get<QWidget>("cmdProcessInter")->geometry(), QRect(444, 262, 169, 25));
    EXPECT_EQ(Get<QWidget>("List1")->geometry(), QRect(16, 294, 605, 172 + 60));
    EXPECT_EQ(Get<QWidget>("ProgressBar1")->geometry(), QRect(24, 538, 597, 25));
    EXPECT_EQ(Get<QWidget>("Frame1")->geometry(), QRect(16, 8, 613, 89));
    EXPECT_EQ(Get<QWidget>("labOptions")->geometry(), QRect(24, 40, 557, 33));
    EXPECT_EQ(Get<QWidget>("Label1")->geometry(), QRect(16, 112, 65, 17));
    window->centralWidget()->resize(542, 495);
    EXPECT_EQ(Get<QWidget>("List1")->geometry(), QRect(16, 264, 505, 172));
    EXPECT_EQ(Get<QWidget>("cmdProcessInter")->geometry(), QRect(344, 232, 169, 25));
}

// The keys move the current line as in any list, the list scrolling to keep it in sight; the
// list is as wide as its longest line until it is cleared.
TEST(StatusList, KeysMoveTheCurrentLineAndTheWidthFollowsTheLines) {
    StatusListWidget list;
    list.resize(300, 120);
    list.show();
    for (int i = 0; i < 100; ++i) {
        list.Lines().Append("line " + std::to_string(i));
    }
    list.setFocus();
    list.setCurrentIndex(list.Lines().index(0));
    const auto current = [&list] { return list.currentIndex().row(); };
    const auto inSight = [&list](int row) {
        return list.visualRect(list.Lines().index(row)).intersects(list.viewport()->rect());
    };
    QTest::keyClick(&list, Qt::Key_Up);
    EXPECT_EQ(current(), 0);
    QTest::keyClick(&list, Qt::Key_Down);
    EXPECT_EQ(current(), 1);
    QTest::keyClick(&list, Qt::Key_PageDown);
    EXPECT_GT(current(), 2);
    EXPECT_TRUE(inSight(current()));
    QTest::keyClick(&list, Qt::Key_End);
    EXPECT_EQ(current(), 99);
    EXPECT_TRUE(inSight(99));
    EXPECT_FALSE(inSight(0));
    QTest::keyClick(&list, Qt::Key_Home);
    EXPECT_EQ(current(), 0);
    EXPECT_TRUE(inSight(0));

    list.Lines().Append(std::string(200, 'w'));
    QApplication::processEvents();
    EXPECT_GT(list.horizontalScrollBar()->maximum(), 0);
    list.Lines().Clear();
    list.Lines().Append("short");
    QApplication::processEvents();
    EXPECT_EQ(list.horizontalScrollBar()->maximum(), 0);
    EXPECT_EQ(list.count(), 1);
}

// The pointer resting on a status line too long for the list shows it whole; on one that
// fits, nothing. The list scrolls across as far as its longest line, and a click on a line
// makes it the current one.
TEST_F(Window, AStatusLineTooLongForTheListShowsWholeOnHover) {
    Open();
    const std::string longName = dir.File(std::string(120, 'n') + ".avi");
    window->Commands().AddInputFile(longName);
    window->Commands().AddInputFile("short.avi");
    auto* list = Get<QAbstractItemView>("List1");
    const auto Hover = [&](int line) {
        const QPoint at = list->visualRect(list->model()->index(line, 0)).center();
        QHelpEvent help(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
        QApplication::sendEvent(list->viewport(), &help);
        return QToolTip::isVisible() ? QToolTip::text().toStdString() : std::string();
    };
    EXPECT_EQ(Hover(1), "");
    EXPECT_EQ(Hover(0), "Invalid File '" + longName + "'");

    QApplication::processEvents();
    QScrollBar* across = list->horizontalScrollBar();
    const int needed = list->fontMetrics().horizontalAdvance(
        QString::fromStdString("Invalid File '" + longName + "'"));
    EXPECT_GE(across->maximum() + list->viewport()->width(), needed);
    EXPECT_LT(across->maximum() + list->viewport()->width(), needed + 40);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(list->model()->index(1, 0)).center());
    EXPECT_EQ(list->currentIndex().row(), 1);
}

TEST_F(Window, OptionSwitchesFlipTheirMarkAndTheText) {
    Open();
    Action("mnuOptionsTruncate")->trigger();
    EXPECT_TRUE(Action("mnuOptionsTruncate")->isChecked());
    EXPECT_EQ(Get<QLabel>("labOptions")->text(),
              "Truncating file if a Mime Wrapper is found within 10 bytes of the End of File.");
    Action("mnuOptionsIgnoreHJS")->trigger();
    Action("mnuOptionsTruncate")->trigger();
    EXPECT_FALSE(Action("mnuOptionsTruncate")->isChecked());
    EXPECT_EQ(Get<QLabel>("labOptions")->text(),
              "Ignoring HJSplit files which are an exact multiple of 1K in size.");
}

TEST_F(Window, FileExitWritesTheStoreAndTheCloseBoxDoesNot) {
    Open();
    Action("mnuOptionsTruncate")->trigger();
    window->close();
    EXPECT_TRUE(window->Ended());
    EXPECT_EQ(StoredText(), "");

    Open();
    EXPECT_FALSE(Action("mnuOptionsTruncate")->isChecked());  // lost with the close box
    Action("mnuOptionsTruncate")->trigger();
    Action("mnuFileExit")->trigger();
    EXPECT_TRUE(window->Ended());
    const std::string text = StoredText();
    EXPECT_NE(text.find("[Options]"), std::string::npos);
    EXPECT_NE(text.find("TruncateMime=Yes"), std::string::npos);
    EXPECT_NE(text.find("IgnoreHJSplit=No"), std::string::npos);
    EXPECT_NE(text.find("DBRangeStart=-1"), std::string::npos);
    EXPECT_NE(text.find("DBRangeEnd=-1"), std::string::npos);
    EXPECT_NE(text.find("LastVersionRun=131"), std::string::npos);

    Open();
    EXPECT_TRUE(Action("mnuOptionsTruncate")->isChecked());
}

// The usual keys beside the access keys: Open chooses input files, Esc stops a run, and the
// menu entries themselves keep no shortcut.
TEST_F(Window, OpenAndEscapeDoWhatBrowseAndStopDo) {
    Open();
    QTest::keySequence(window.get(), QKeySequence::Open);
    EXPECT_EQ(dialog.openings.size(), 1u);
    QTest::keyClick(window.get(), Qt::Key_Escape);  // no run: nothing to stop
    EXPECT_TRUE(BoxTexts().empty());

    const std::string big = File("big.avi", Damaged(400000));
    window->Commands().AddInputFile(big);
    window->Boxes().SetNextAnswer(QMessageBox::Yes);
    std::size_t openingsDuringTheRun = 0;
    DuringTheRun([&] {
        QTest::keySequence(window.get(), QKeySequence::Open);
        openingsDuringTheRun = dialog.openings.size() - 1;
        QTest::keyClick(window.get(), Qt::Key_Escape);
    });
    window->cmdProcessAuto_Click();
    EXPECT_EQ(openingsDuringTheRun, 0u);
    EXPECT_EQ(BoxTexts(), (std::vector<QString>{"Abort Processing?"}));
    EXPECT_EQ(StatusLines().at(0), "Aborted " + big);
}

TEST_F(Window, RunButtonsGiveWayToStopWhileARunIsGoing) {
    Open();
    window->Commands().AddInputFile(File("big.avi", Damaged(400000)));
    std::map<std::string, bool> seen;
    DuringTheRun([&] {
        seen["auto visible"] = Get<QPushButton>("cmdProcessAuto")->isVisible();
        seen["inter visible"] = Get<QPushButton>("cmdProcessInter")->isVisible();
        seen["stop visible"] = Get<QPushButton>("cmdStop")->isVisible();
        seen["stop enabled"] = Get<QPushButton>("cmdStop")->isEnabled();
        seen["progress visible"] = Get<QProgressBar>("ProgressBar1")->isVisible();
        seen["browse enabled"] = Get<QPushButton>("cmdInputFile")->isEnabled();
        seen["tidy enabled"] = Get<QPushButton>("cmdTidy")->isEnabled();
        seen["clear enabled"] = Get<QPushButton>("cmdClear")->isEnabled();
        seen["run menu enabled"] = Action("mnuRunAuto")->isEnabled();
        seen["choose enabled"] = Action("mnuFileInput")->isEnabled();
        seen["options enabled"] = Action("mnuOptionsTruncate")->isEnabled();
    });
    QTest::mouseClick(Get<QPushButton>("cmdProcessAuto"), Qt::LeftButton);
    EXPECT_EQ(seen, (std::map<std::string, bool>{{"auto visible", false},
                                                 {"inter visible", false},
                                                 {"stop visible", true},
                                                 {"stop enabled", true},
                                                 {"progress visible", true},
                                                 {"browse enabled", false},
                                                 {"tidy enabled", false},
                                                 {"clear enabled", false},
                                                 {"run menu enabled", false},
                                                 {"choose enabled", false},
                                                 {"options enabled", true}}));
    EXPECT_TRUE(Get<QPushButton>("cmdProcessAuto")->isVisible());
    EXPECT_FALSE(Get<QPushButton>("cmdStop")->isVisible());
    EXPECT_FALSE(Get<QProgressBar>("ProgressBar1")->isVisible());
    EXPECT_TRUE(Get<QPushButton>("cmdInputFile")->isEnabled());
    EXPECT_TRUE(Action("mnuRunAuto")->isEnabled());
    EXPECT_EQ(window->windowTitle(), "Korbelt v1.3.2 from Prendle");
}

TEST_F(Window, StopAnsweredNoLetsTheFileFinish) {
    Open();
    const std::string big = File("big.avi", Damaged(400000));
    window->Commands().AddInputFile(big);
    window->Boxes().SetNextAnswer(QMessageBox::No);
    DuringTheRun([&] { QTest::mouseClick(Get<QPushButton>("cmdStop"), Qt::LeftButton); });
    window->mnuRunAuto_Click();
    ASSERT_EQ(BoxTexts(), (std::vector<QString>{"Abort Processing?"}));
    EXPECT_EQ(StatusLines().at(0), big);
    EXPECT_TRUE(Exists(big + ".bak"));
}

TEST_F(Window, StopAnsweredYesAbortsTheFileAndLeavesItAsItWas) {
    Open();
    const std::string big = File("big.avi", Damaged(400000));
    window->Commands().AddInputFile(big);
    window->Boxes().SetNextAnswer(QMessageBox::Yes);  // remove the repeated byte
    window->Boxes().SetNextAnswer(QMessageBox::Yes);  // abort
    DuringTheRun([&] { QTest::mouseClick(Get<QPushButton>("cmdStop"), Qt::LeftButton); });
    window->mnuRunInter_Click();
    EXPECT_EQ(StatusLines().at(0), "Aborted " + big);
    EXPECT_EQ(ReadBytes(big), Damaged(400000));
    EXPECT_FALSE(Exists(big + ".$$$"));
    EXPECT_TRUE(window->Inputs().Selected(0));
}

TEST_F(Window, RunRepairsSelectedEntriesAndDeselectsThem) {
    Open();
    const std::string a = File("a.avi");
    const std::string b = File("b.avi");
    window->Commands().AddInputFile(a);
    window->Commands().AddInputFile(b);
    QTest::mouseClick(Get<QPushButton>("cmdProcessAuto"), Qt::LeftButton);
    EXPECT_EQ(StatusLines(), (Texts{a, "  @101 found 116 097 082 082 100 101 102  removed",
                                    "  1 bytes removed, 300 bytes read, 299 bytes written.", b,
                                    "  @101 found 116 097 082 082 100 101 102  removed",
                                    "  1 bytes removed, 300 bytes read, 299 bytes written."}));
    auto* list = Get<QListWidget>("lstInputFiles");
    EXPECT_FALSE(list->item(0)->isSelected());
    EXPECT_FALSE(list->item(1)->isSelected());
    EXPECT_EQ(list->currentRow(), 1);
}

// Tens of thousands of lines: every line is in the list with its text, the list is scrolled
// to the last of them when the file is done, and a line appended afterwards can be scrolled
// to at once.
TEST_F(Window, AFileWithTensOfThousandsOfFindsShowsEveryLine) {
    constexpr int kFinds = 12000;
    Bytes bytes;
    for (int m = 0; m < kFinds; ++m) {
        Bytes unit = {13, 10, '-'};
        for (int k = 0; k < 41; ++k) {
            unit.push_back(static_cast<std::uint8_t>('a' + (k + 3 * m) * 7 % 26));
        }
        unit.insert(unit.begin() + 41, unit[41]);
        bytes.insert(bytes.end(), unit.begin(), unit.end());
    }
    Open();
    const std::string path = File("many.avi", bytes);
    window->Commands().AddInputFile(path);
    QTest::mouseClick(Get<QPushButton>("cmdProcessAuto"), Qt::LeftButton);
    auto* list = Get<QAbstractItemView>("List1");
    const int count = list->model()->rowCount();
    const Texts lines = StatusLines();
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kFinds + 3));
    EXPECT_EQ(lines[0], path);
    EXPECT_EQ(lines[1].substr(0, 9), "  @1 foun");
    EXPECT_EQ(lines[kFinds].substr(0, 17), "  @539,956 found ");
    EXPECT_EQ(lines[kFinds].substr(lines[kFinds].size() - 9), "  removed");
    EXPECT_EQ(lines.back().substr(0, 20), "  12000 bytes remove");
    const auto shown = [list](int row) {
        return list->visualRect(list->model()->index(row, 0)).intersects(list->viewport()->rect());
    };
    EXPECT_TRUE(shown(count - 1));
    EXPECT_FALSE(shown(0));

    window->Commands().AddInputFile(dir.File("missing.avi"));
    list->scrollToBottom();
    EXPECT_EQ(StatusLines().back(), "Invalid File '" + dir.File("missing.avi") + "'");
    EXPECT_TRUE(shown(list->model()->rowCount() - 1));
}

// What an entry shows of its outcome; an entry with a mark shows it with an icon.
struct Shown {
    std::optional<OutcomeMark> mark;
    std::string note;
    bool operator==(const Shown&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Shown& shown) {
    return out << (shown.mark ? static_cast<int>(*shown.mark) : -1) << " '" << shown.note << "'";
}

Shown EntryShows(const QListWidget* list, int index) {
    const QListWidgetItem* entry = list->item(index);
    const QVariant mark = entry->data(InputListWidget::kOutcomeRole);
    EXPECT_TRUE(!mark.isValid() || !entry->icon().isNull()) << index;
    return {mark.isValid() ? std::optional(static_cast<OutcomeMark>(mark.toInt())) : std::nullopt,
            entry->toolTip().toStdString()};
}

// Each entry shows what came of it with an icon and a tooltip beside its unchanged text: a
// directory the worst of its files and their count. The next run takes the mark off each
// entry it comes to before it processes it again.
TEST_F(Window, EachEntryShowsWhatCameOfItsFilesAfterAMixedRun) {
    Open();
    mkdir(dir.File("sums").c_str(), 0755);
    const std::string verified = File("sums/v.avi");
    Bytes repaired = Damaged();
    repaired.erase(repaired.begin() + 141);
    const std::string md5 = ToHex(DigestOf(DigestKind::Md5, repaired.data(), repaired.size()));
    const std::string sums = md5 + "  v.avi\n";
    File("sums/v.md5", Bytes(sums.begin(), sums.end()));
    const std::string failed = dir.File("link.avi");
    symlink(File("target.avi").c_str(), failed.c_str());
    mkdir(dir.File("d").c_str(), 0755);
    File("d/a.avi");
    File("d/b.avi", Clean());
    symlink(dir.File("target.avi").c_str(), dir.File("d/c.avi").c_str());
    const std::vector<std::string> paths = {File("r.avi"),
                                            verified,
                                            File("c.avi", Clean()),
                                            File("l.avi", DamagedOutsideTheRange()),
                                            failed,
                                            dir.File("d")};
    for (const std::string& path : paths) {
        window->Commands().AddInputFile(path);
    }
    window->Commands().AddInputFile(dir.File("target.avi"));
    window->Inputs().SetSelected(6, false);
    auto* list = Get<QListWidget>("lstInputFiles");
    EXPECT_EQ(EntryShows(list, 0), (Shown{std::nullopt, ""}));
    window->Boxes().SetNextAnswer(QMessageBox::Yes);  // process the remaining files
    window->Boxes().SetNextAnswer(QMessageBox::Yes);  // after the link in the directory
    window->cmdProcessAuto_Click();
    EXPECT_EQ(window->Boxes().PendingAnswers(), 0);

    const std::vector<Shown> expected = {
        {OutcomeMark::Repaired, "Repaired: 1 byte removed; the original is kept as r.avi.bak"},
        {OutcomeMark::Verified,
         "Repaired and verified: 1 byte removed, the repair matches 'v.md5'; the original is "
         "kept as v.avi.bak"},
        {OutcomeMark::Clean, "Clean: nothing to remove; left as it is"},
        {OutcomeMark::DamageLeft,
         "Left with damage: damage at 46 characters, outside the search range 39-45; the range "
         "46-47 would repair it"},
        {OutcomeMark::Failed, "Failed: symbolic link, not followed"},
        {OutcomeMark::Failed, "3 files: 1 failed, 1 repaired, 1 clean"},
        {std::nullopt, ""}};
    for (int i = 0; i < list->count(); ++i) {
        EXPECT_EQ(EntryShows(list, i), expected[static_cast<std::size_t>(i)]) << i;
        EXPECT_EQ(list->item(i)->text().toStdString(),
                  (i == 5 ? "directory " : "file ") + (i < 6 ? paths[i] : dir.File("target.avi")));
    }

    // Again, the failed link now a damaged file of its own: while the run is at that entry it
    // shows nothing, and the entries the run does not come to keep their marks.
    std::remove(failed.c_str());
    File("link.avi", Damaged(400000));
    window->Inputs().SetSelected(5, false);
    Shown during;
    DuringTheRun([&] { during = EntryShows(list, 4); });
    window->cmdProcessAuto_Click();
    EXPECT_EQ(during, (Shown{std::nullopt, ""}));
    EXPECT_EQ(EntryShows(list, 4).mark, OutcomeMark::Repaired);
    EXPECT_EQ(EntryShows(list, 5), expected[5]);
    EXPECT_EQ(EntryShows(list, 0), expected[0]);
}

// A checksum list beside the file says it is intact: the window leaves it alone while
// verifying is on, repairs it as the pattern says once it is switched off, and the frame
// says so.
TEST_F(Window, ChecksumFilesDecideUntilVerifyingIsSwitchedOff) {
    Open();
    const Bytes data = Damaged();
    const std::string a = File("a.avi", data);
    const std::string line =
        ToHex(DigestOf(DigestKind::Md5, data.data(), data.size())) + "  a.avi\n";
    const std::string list = File("a.md5", Bytes(line.begin(), line.end()));
    EXPECT_TRUE(Action("mnuOptionsVerify")->isChecked());
    window->Commands().AddInputFile(a);
    window->cmdProcessAuto_Click();
    EXPECT_EQ(StatusLines(), (Texts{a, "  intact: matches '" + list + "'"}));
    EXPECT_EQ(ReadBytes(a), data);

    Action("mnuOptionsVerify")->trigger();
    EXPECT_EQ(Get<QLabel>("labOptions")->text(), "Not verifying repairs with checksum files.");
    window->Inputs().SetSelected(0, true);
    window->cmdProcessAuto_Click();
    EXPECT_EQ(StatusLines().back(), "  1 bytes removed, 300 bytes read, 299 bytes written.");
    EXPECT_EQ(ReadBytes(a + ".bak"), data);
}

TEST_F(Window, ClosingDuringARunAsksAndAbortsWithoutSaving) {
    Open();
    Action("mnuOptionsTruncate")->trigger();
    const std::string big = File("big.avi", Damaged(400000));
    const std::string next = File("next.avi");
    window->Commands().AddInputFile(big);
    window->Commands().AddInputFile(next);
    window->Boxes().SetNextAnswer(QMessageBox::Yes);
    DuringTheRun([&] { window->close(); });
    window->cmdProcessAuto_Click();
    EXPECT_EQ(BoxTexts(), (std::vector<QString>{"Abort Processing?"}));
    EXPECT_TRUE(window->Ended());
    EXPECT_EQ(StatusLines().at(0), "Aborted " + big);
    EXPECT_EQ(ReadBytes(big), Damaged(400000));
    EXPECT_FALSE(Exists(big + ".$$$"));
    EXPECT_FALSE(Exists(next + ".bak"));  // the run ended with the aborted file
    EXPECT_EQ(StoredText(), "");
}

TEST_F(Window, FileExitDuringARunSavesAfterTheAbort) {
    Open();
    const std::string big = File("big.avi", Damaged(400000));
    window->Commands().AddInputFile(big);
    window->Boxes().SetNextAnswer(QMessageBox::Yes);
    DuringTheRun([&] { Action("mnuFileExit")->trigger(); });
    window->cmdProcessAuto_Click();
    EXPECT_TRUE(window->Ended());
    EXPECT_EQ(ReadBytes(big), Damaged(400000));
    EXPECT_NE(StoredText().find("LastVersionRun=131"), std::string::npos);
}

// The session ends, or a service manager sends SIGTERM: the run ends as a confirmed abort,
// with no question, and the settings are not saved.
TEST_F(Window, SigtermDuringARunAbortsWithoutAskingOrSaving) {
    Open();
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::terminationRequested, window.get(),
                     &frmKorbelt::EndSession);
    Action("mnuOptionsTruncate")->trigger();
    const std::string big = File("big.avi", Damaged(400000));
    const std::string next = File("next.avi");
    window->Commands().AddInputFile(big);
    window->Commands().AddInputFile(next);
    DuringTheRun([] {
        raise(SIGTERM);
        QCoreApplication::processEvents();  // the signal's wake-up reaches the window
    });
    window->cmdProcessAuto_Click();
    EXPECT_TRUE(BoxTexts().empty());
    EXPECT_TRUE(window->Ended());
    EXPECT_EQ(TerminationSignals::Received(), SIGTERM);
    EXPECT_EQ(StatusLines().at(0), "Aborted " + big);
    EXPECT_EQ(ReadBytes(big), Damaged(400000));
    EXPECT_FALSE(Exists(big + ".$$$"));
    EXPECT_FALSE(Exists(next + ".bak"));
    EXPECT_EQ(StoredText(), "");
}

TEST_F(Window, LeavingDuringARunAnsweredNoGoesOn) {
    Open();
    const std::string big = File("big.avi", Damaged(400000));
    window->Commands().AddInputFile(big);
    window->Boxes().SetNextAnswer(QMessageBox::No);
    DuringTheRun([&] { window->close(); });
    window->cmdProcessAuto_Click();
    EXPECT_FALSE(window->Ended());
    EXPECT_EQ(StatusLines().at(0), big);
    EXPECT_TRUE(Exists(big + ".bak"));
}

// Sends a drag over the input list and drops it, as a file manager would.
bool DropOn(QWidget* list, QMimeData* data, Qt::DropActions actions = Qt::CopyAction) {
    QWidget* target = static_cast<QAbstractItemView*>(list)->viewport();
    const QPoint where = target->rect().center();
    QDragEnterEvent enter(where, actions, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    const bool accepted = enter.isAccepted() && enter.dropAction() == Qt::CopyAction;
    QDropEvent drop(QPointF(where), actions, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return accepted;
}

TEST_F(Window, DroppedFilesAndFoldersBecomeEntriesHiddenOnesAreReported) {
    Open();
    const std::string a = File("a.avi");
    const std::string hidden = File(".secret.avi");
    mkdir(dir.File("folder").c_str(), 0755);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(a)),
                  QUrl::fromLocalFile(QString::fromStdString(hidden)),
                  QUrl::fromLocalFile(QString::fromStdString(dir.File("folder"))),
                  QUrl::fromLocalFile(QString::fromStdString(a))});
    EXPECT_TRUE(DropOn(Get<QWidget>("lstInputFiles"), &data));
    auto* list = Get<QListWidget>("lstInputFiles");
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->item(0)->text().toStdString(), "file " + a);
    EXPECT_EQ(list->item(1)->text().toStdString(), "directory " + dir.File("folder"));
    EXPECT_EQ(list->item(2)->text().toStdString(), "file " + a);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(list->item(i)->isSelected());
    }
    EXPECT_EQ(StatusLines(), (Texts{"Invalid File '" + hidden + "'"}));
}

// The URL's escapes are the name's bytes, whether they are UTF-8 or not.
TEST_F(Window, ADroppedNameThatIsNoUtf8IsAddedByItsBytes) {
    Open();
    const std::string latin1 = File("caf\xe9 \xff.avi");
    QMimeData data;
    data.setUrls(
        {QUrl::fromEncoded("file://" + QByteArray::fromStdString(latin1).toPercentEncoding("/"))});
    EXPECT_TRUE(DropOn(Get<QWidget>("lstInputFiles"), &data));
    ASSERT_EQ(window->Inputs().Count(), 1);
    EXPECT_EQ(window->Inputs().Text(0), "file " + latin1);
    EXPECT_TRUE(StatusLines().empty());
}

TEST_F(Window, PlainTextAndMovesAreRefused) {
    Open();
    QMimeData text;
    text.setText("/etc/hostname");
    EXPECT_FALSE(DropOn(Get<QWidget>("lstInputFiles"), &text));
    QMimeData moved;
    moved.setUrls({QUrl::fromLocalFile(QString::fromStdString(File("a.avi")))});
    EXPECT_FALSE(DropOn(Get<QWidget>("lstInputFiles"), &moved, Qt::MoveAction));
    QMimeData web;
    web.setUrls({QUrl("https://example.org/a.avi")});
    EXPECT_FALSE(DropOn(Get<QWidget>("lstInputFiles"), &web));
    EXPECT_EQ(Get<QListWidget>("lstInputFiles")->count(), 0);
}

// A person's double-click: the first click, then the double-click, then the release.
void DoubleClick(QWidget* viewport, QPoint where) {
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, where);
    QTest::mouseDClick(viewport, Qt::LeftButton, Qt::NoModifier, where);
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, where);
}

TEST_F(Window, AClickTogglesOneEntryAndADoubleClickShowsItWithoutToggling) {
    Open();
    const std::string a = File("a.avi");
    window->Commands().AddInputFile(a);
    window->Commands().AddInputFile(dir.Path());
    auto* list = Get<QListWidget>("lstInputFiles");
    const QPoint first = list->visualItemRect(list->item(0)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, first);
    EXPECT_FALSE(window->Inputs().Selected(0));
    EXPECT_TRUE(window->Inputs().Selected(1));
    EXPECT_FALSE(list->item(0)->isSelected());
    EXPECT_EQ(list->currentRow(), 0);

    window->Boxes().SetNextAnswer(QMessageBox::Ok);
    DoubleClick(list->viewport(), first);
    EXPECT_FALSE(window->Inputs().Selected(0));  // as it was before the double-click
    ASSERT_EQ(window->Boxes().Shown().size(), 1u);
    EXPECT_EQ(window->Boxes().Shown()[0].text, QString::fromStdString("Current File is \n" + a));

    const QPoint second = list->visualItemRect(list->item(1)).center();
    window->Boxes().SetNextAnswer(QMessageBox::Ok);
    DoubleClick(list->viewport(), second);
    EXPECT_TRUE(window->Inputs().Selected(1));
    EXPECT_EQ(list->currentRow(), 1);
    EXPECT_EQ(window->Boxes().Shown()[1].text,
              QString::fromStdString("Current Directory is \n" + dir.Path()));
}

TEST_F(Window, TidyAndClearAskFirst) {
    Open();
    window->Commands().AddInputFile(File("a.avi"));
    window->Commands().AddInputFile(File("b.avi"));
    window->Inputs().SetSelected(0, false);
    window->Boxes().SetNextAnswer(QMessageBox::Yes);
    QTest::mouseClick(Get<QPushButton>("cmdTidy"), Qt::LeftButton);
    EXPECT_EQ(Get<QListWidget>("lstInputFiles")->count(), 1);
    EXPECT_EQ(BoxTexts().back(), "Remove deselected files and directories from the input list?");
    // A real box this time, answered with its No button.
    WhenModalShows([](QWidget* modal) { return qobject_cast<QMessageBox*>(modal) != nullptr; },
                   [](QWidget* modal) {
                       auto* box = static_cast<QMessageBox*>(modal);
                       EXPECT_EQ(box->windowTitle(), "Korbelt Tamsel Extra Byte Utility");
                       EXPECT_EQ(box->text(), "Clear the input files and directories list?");
                       box->button(QMessageBox::No)->click();
                   });
    QTest::mouseClick(Get<QPushButton>("cmdClear"), Qt::LeftButton);
    EXPECT_EQ(Get<QListWidget>("lstInputFiles")->count(), 1);
}

TEST_F(Window, FileChooserOpensOnAllFilesThenOnTheLastFilterAndName) {
    Open();
    const std::string a = File("a.avi");
    const std::string b = File("b.avi");
    dialog.choices.push_back(OpenDialogChoice{{a}, 6});
    dialog.choices.push_back(OpenDialogChoice{{a, b}, 2});
    dialog.choices.push_back(std::nullopt);
    dialog.choices.push_back(OpenDialogChoice{{dir.File("typed.avi")}, 2});
    QTest::mouseClick(Get<QPushButton>("cmdInputFile"), Qt::LeftButton);
    Action("mnuFileInput")->trigger();
    QTest::mouseClick(Get<QPushButton>("cmdInputFile"), Qt::LeftButton);
    Action("mnuFileInput")->trigger();
    ASSERT_EQ(dialog.openings.size(), 4u);
    EXPECT_EQ(dialog.openings[0].filename, "");
    EXPECT_EQ(dialog.openings[0].filterindex, 1);
    ASSERT_EQ(dialog.openings[0].filters.size(), 6u);
    EXPECT_EQ(dialog.openings[0].filters[0].description, "All Files (*.*)");
    EXPECT_EQ(dialog.openings[1].filename, a);
    EXPECT_EQ(dialog.openings[1].filterindex, 6);  // Zip files, as chosen
    EXPECT_EQ(dialog.openings[2].filename, dir.Path() + "/*.*");
    EXPECT_EQ(dialog.openings[3].filename, dir.Path() + "/*.*");  // the cancel changed nothing
    EXPECT_EQ(window->Inputs().Count(), 3);
    EXPECT_EQ(StatusLines(), (Texts{"Invalid File '" + dir.File("typed.avi") + "'"}));
    EXPECT_EQ(window->Chooser().browsename, dir.File("typed.avi"));
}

TEST_F(Window, RealChooserDialogOffersTheSixFiltersAndHandsBackTypedNames) {
    Open();
    OpenDialogSettings settings{dir.Path() + "/*.*", ChooserFilters(), 3};
    ChooserDialog chooser(window.get(), settings);
    chooser.show();
    EXPECT_EQ(chooser.nameFilters().size(), 6);
    EXPECT_EQ(chooser.nameFilters().at(0), "All Files (*.*) (*)");
    EXPECT_EQ(chooser.FilterIndex(), 3);
    EXPECT_EQ(chooser.directory().absolutePath().toStdString(), dir.Path());
    EXPECT_EQ(chooser.fileMode(), QFileDialog::ExistingFiles);
    auto* typed = chooser.findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(typed, nullptr);
    typed->setText("not-there.avi");
    chooser.accept();
    EXPECT_EQ(chooser.result(), QDialog::Accepted);
    ASSERT_EQ(chooser.selectedFiles().size(), 1);
    EXPECT_EQ(chooser.selectedFiles().at(0).toStdString(), dir.File("not-there.avi"));
}

TEST_F(Window, SearchRangeLabelIsRebuiltAfterEveryClosingOfTheRangeDialog) {
    Open();
    WhenModalShows([](QWidget* modal) { return modal->objectName() == "frmDBRangeOpt"; },
                   [](QWidget* modal) {
                       Child<QComboBox>(modal, "cmbRangeStart")->setCurrentText("35");
                       Child<QComboBox>(modal, "cmbRangeEnd")->setCurrentText("49");
                       QTest::mouseClick(Child<QPushButton>(modal, "cmdApply"), Qt::LeftButton);
                       QTest::mouseClick(Child<QPushButton>(modal, "cmdCancel"), Qt::LeftButton);
                   });
    Action("mnuOptionsDBRange")->trigger();
    EXPECT_EQ(Get<QLabel>("labSearchRange")->text(),
              "Searching for Duplicate Bytes in chars 35-49 relative to the first char in "
              "0Dh,0Ah,2Dh");
    Action("mnuFileExit")->trigger();
    EXPECT_NE(StoredText().find("DBRangeStart=35"), std::string::npos);
    EXPECT_NE(StoredText().find("DBRangeEnd=49"), std::string::npos);
}

// Every control the About box's texts name is one the window has, under its caption.
TEST_F(Window, AboutBoxOpensFromTheHelpMenuAndNamesOnlyTheWindowsControls) {
    Open();
    QString caption;
    QString texts;
    WhenModalShows([](QWidget* modal) { return modal->objectName() == "frmAbout"; },
                   [&](QWidget* modal) {
                       caption = modal->windowTitle();
                       for (const QLabel* label : modal->findChildren<QLabel*>()) {
                           texts += label->text() + "\n";
                       }
                       QTest::keyClick(modal, Qt::Key_Escape);
                   });
    Action("mnuHelpAbout")->trigger();
    EXPECT_EQ(caption, "About Korbelt Tamsel Extra Byte Utility");
    const auto Caption = [&](const char* name) {
        const QObject* control = window->findChild<QObject*>(name);
        return control == nullptr ? QString() : control->property("text").toString().remove('&');
    };
    const std::vector<std::tuple<QString, const char*, QString>> named = {
        {"the file->choose input file menu", "mnuFileInput", "Choose Input File(s)"},
        {"The \"...\" button is Browse.", "cmdInputFile", "Browse"},
        {"to the Input File field", "Label1", "Input File(s)"},
        {"Press the Process Automatically", "cmdProcessAuto", "Process File(s) Automatically"},
        {"or Process Interactively button", "cmdProcessInter", "Process File(s) Interactively"}};
    for (const auto& [phrase, name, shown] : named) {
        EXPECT_TRUE(texts.contains(phrase)) << phrase.toStdString();
        EXPECT_EQ(Caption(name), shown) << name;
    }
}

}  // namespace
}  // namespace korbelt::test
