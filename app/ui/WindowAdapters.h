#pragma once

#include <QElapsedTimer>
#include <QPointer>

#include "ports/EngineHost.h"
#include "run/RunControls.h"
#include "settings/Options.h"
#include "settings/OptionsDisplay.h"
#include "ui/QtStatusList.h"

class QAction;
class QLabel;
class QMainWindow;
class QProgressBar;
class QPushButton;
class QWidget;

namespace korbelt {

class InputListWidget;

// The two option check marks of the Options menu and the label that sums them up.
class MenuOptionsDisplay : public OptionsDisplay {
  public:
    MenuOptionsDisplay(QAction* truncate, QAction* ignoreHJSplit, QAction* verify,
                       QAction* leaveUnpatterned, QLabel* label)
        : truncate_(truncate),
          ignoreHJSplit_(ignoreHJSplit),
          verify_(verify),
          leaveUnpatterned_(leaveUnpatterned),
          label_(label) {}

    bool TruncateChecked() const override;
    void SetTruncateChecked(bool checked) override;
    bool IgnoreHJSplitChecked() const override;
    void SetIgnoreHJSplitChecked(bool checked) override;
    bool VerifyChecked() const override;
    void SetVerifyChecked(bool checked) override;
    bool LeaveUnpatternedChecked() const override;
    void SetLeaveUnpatternedChecked(bool checked) override;
    std::string OptionsText() const override;
    void SetOptionsText(const std::string& text) override;

  private:
    QAction* truncate_;
    QAction* ignoreHJSplit_;
    QAction* verify_;
    QAction* leaveUnpatterned_;
    QLabel* label_;
};

// While the program is being left in the middle of a run, the abort is already agreed and
// no further file is wanted: those two questions answer themselves.
class LeavingBoxes : public MessageBoxes {
  public:
    explicit LeavingBoxes(MessageBoxes& boxes) : boxes_(boxes) {}

    void SetLeaving(bool leaving) { leaving_ = leaving; }
    bool Leaving() const { return leaving_; }

    void Warning(const std::string& text) override { boxes_.Warning(text); }
    void Notice(const std::string& text) override { boxes_.Notice(text); }
    bool Question(QuestionKind kind, const std::string& text) override;

  private:
    MessageBoxes& boxes_;
    bool leaving_ = false;
};

// The engine's and the batch run's way to the main window's widgets.
class WindowHost : public EngineHost, public RunControls {
  public:
    struct Widgets {
        QMainWindow* window;
        QPushButton* cmdProcessAuto;
        QPushButton* cmdProcessInter;
        QPushButton* cmdStop;
        QProgressBar* ProgressBar1;
        InputListWidget* lstInputFiles;  // where each entry's outcome shows, if anywhere
    };

    WindowHost(const Widgets& widgets, StatusList& status, MessageBoxes& boxes,
               const ModGlobals& globals, OptionsDisplay& options);

    StatusList& Status() override { return status_; }
    MessageBoxes& Boxes() override { return boxes_; }
    void SetProgress(int percent) override;
    void SetTitle(const std::string& title) override;
    void YieldToUi() override;
    // The range and the marks of the Options menu as they stand when a run starts.
    RunOptions OptionsForRun() override { return Options::InForce(globals_, options_); }

    void SetEnabled(Control control, bool enabled) override;
    void SetVisible(Control control, bool visible) override;
    void EntryStarted(int position) override;
    void EntryReported(int position, const EntryOutcome& outcome) override;
    bool EndRunRequested() override { return endRequested_; }
    // The program is being left: the run starts no further file.
    void RequestEnd() { endRequested_ = true; }

  private:
    QWidget* WidgetOf(Control control) const;

    static constexpr int kYieldIntervalMs = 10;

    Widgets widgets_;
    StatusList& status_;
    MessageBoxes& boxes_;
    const ModGlobals& globals_;
    OptionsDisplay& options_;
    QElapsedTimer sinceYield_;
    bool endRequested_ = false;
};

}  // namespace korbelt
