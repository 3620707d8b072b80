#pragma once

#include <QMainWindow>
#include <functional>
#include <memory>

#include "engine/system/KorbscanLibrary.h"
#include "engine/system/PosixFileSystem.h"
#include "input/InputList.h"
#include "ports/RunState.h"
#include "settings/ModGlobals.h"
#include "ui/QtMessageBoxes.h"
#include "ui/WindowAdapters.h"

class QAction;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QShortcut;

namespace korbelt {

class BatchRun;
class ChecksumCatalog;
class DrawnForm;
class FileChooser;
class InputListCommands;
class InputListWidget;
class MenuOptionsDisplay;
class OpenFileDialog;
class Options;
class PaintThrottle;
class QtStatusList;
class StatusListWidget;
class RepairEngine;
class SettingsStore;
class WindowHost;

// The main window: the input list, the run buttons, the status list, the progress bar, the
// options in force and the menus that reach every command.
class frmKorbelt : public QMainWindow {
    Q_OBJECT
  public:
    static constexpr int kClientWidth = 542;
    static constexpr int kClientHeight = 495;

    explicit frmKorbelt(SettingsStore& store, QWidget* parent = nullptr);
    ~frmKorbelt() override;

    // The dialog the file chooser shows; by default Qt's open-file dialog.
    void SetOpenFileDialog(OpenFileDialog* dialog) { dialog_ = dialog; }
    // What ending the program does once the window is closed; by default it leaves the
    // application's event loop.
    void SetQuit(std::function<void()> quit) { quit_ = std::move(quit); }

    QtMessageBoxes& Boxes() { return boxes_; }
    RunState& Run() { return run_; }
    ModGlobals& Globals() { return globals_; }
    InputList& Inputs() { return inputs_; }
    InputListCommands& Commands() { return *commands_; }
    FileChooser& Chooser() { return *chooser_; }
    BatchRun& Batch() { return *batch_; }
    // True once the program has been ended by File, Exit or the close box.
    bool Ended() const { return ended_; }

    void Form_Load();
    void cmdProcessAuto_Click();
    void cmdProcessInter_Click();
    void cmdStop_Click();
    void cmdInputFile_Click();
    void cmdTidy_Click();
    void cmdClear_Click();
    void mnuFileInput_Click() { cmdInputFile_Click(); }
    void mnuFileExit_Click();
    void mnuRunAuto_Click() { cmdProcessAuto_Click(); }
    void mnuRunInter_Click() { cmdProcessInter_Click(); }
    void mnuOptionsDBRange_Click();
    void mnuOptionsTruncate_Click();
    void mnuOptionsIgnoreHJS_Click();
    void mnuOptionsVerify_Click();
    void mnuOptionsLeaveUnpatterned_Click();
    void mnuHelpAbout_Click();
    // The session ends or the program was told to end (SIGTERM, SIGHUP): a run is ended as
    // an abort the user has confirmed, then the program ends without saving the settings.
    void EndSession();

  signals:
    void programEnded();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildControls();
    void BuildLogic();
    void BuildMenus();
    void BuildShortcuts();
    void SetTabOrder();
    void CentreOnScreen();
    void RunBatch(bool interactive);
    void SetInputCommandsEnabled(bool enabled);
    // Leaving during a run: agreed to abort, the program ends once the run is over.
    bool AgreeToLeaveRun(bool saveSettings);
    void LeaveRun(bool saveSettings);
    void EndProgram(bool saveSettings);

    SettingsStore& store_;
    ModGlobals globals_;
    RunState run_;
    QtMessageBoxes boxes_;
    LeavingBoxes leavingBoxes_;

    DrawnForm* form_ = nullptr;
    QPushButton* cmdClear = nullptr;
    QPushButton* cmdTidy = nullptr;
    InputListWidget* lstInputFiles = nullptr;
    QGroupBox* Frame1 = nullptr;
    QLabel* labOptions = nullptr;
    QLabel* labSearchRange = nullptr;
    QPushButton* cmdStop = nullptr;
    QPushButton* cmdProcessInter = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    StatusListWidget* List1 = nullptr;
    QPushButton* cmdProcessAuto = nullptr;
    QPushButton* cmdInputFile = nullptr;
    QLabel* Label1 = nullptr;

    QAction* mnuFileInput = nullptr;
    QAction* mnuFileExit = nullptr;
    QAction* mnuRunAuto = nullptr;
    QAction* mnuRunInter = nullptr;
    QAction* mnuOptionsDBRange = nullptr;
    QAction* mnuOptionsTruncate = nullptr;
    QAction* mnuOptionsIgnoreHJS = nullptr;
    QAction* mnuOptionsVerify = nullptr;
    QAction* mnuOptionsLeaveUnpatterned = nullptr;
    QAction* mnuHelpAbout = nullptr;
    QShortcut* keyOpen_ = nullptr;
    QShortcut* keyQuit_ = nullptr;
    QShortcut* keyStop_ = nullptr;

    std::unique_ptr<QtStatusList> status_;
    std::unique_ptr<MenuOptionsDisplay> optionsDisplay_;
    std::unique_ptr<Options> options_;
    std::unique_ptr<WindowHost> host_;
    KorbscanLibrary library_;
    PosixFileSystem fs_;
    std::unique_ptr<ChecksumCatalog> checksums_;
    std::unique_ptr<RepairEngine> engine_;
    InputList inputs_;
    std::unique_ptr<InputListCommands> commands_;
    std::unique_ptr<FileChooser> chooser_;
    std::unique_ptr<BatchRun> batch_;
    std::unique_ptr<OpenFileDialog> qtDialog_;
    OpenFileDialog* dialog_ = nullptr;
    PaintThrottle* paintThrottle_ = nullptr;

    std::function<void()> quit_;
    bool leaveAfterRun_ = false;
    bool saveOnLeave_ = false;
    bool ended_ = false;
};

}  // namespace korbelt
