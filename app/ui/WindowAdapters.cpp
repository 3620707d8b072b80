#include "ui/WindowAdapters.h"

#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>

#include "ui/InputListWidget.h"

namespace korbelt {
namespace {

// The options text joins its two sentences with CR LF; a label breaks lines at LF.
QString LabelText(const std::string& text) {
    QString shown = ToQt(text);
    shown.replace("\r\n", "\n");
    return shown;
}

}  // namespace

bool MenuOptionsDisplay::TruncateChecked() const {
    return truncate_->isChecked();
}

void MenuOptionsDisplay::SetTruncateChecked(bool checked) {
    truncate_->setChecked(checked);
}

bool MenuOptionsDisplay::IgnoreHJSplitChecked() const {
    return ignoreHJSplit_->isChecked();
}

void MenuOptionsDisplay::SetIgnoreHJSplitChecked(bool checked) {
    ignoreHJSplit_->setChecked(checked);
}

bool MenuOptionsDisplay::VerifyChecked() const {
    return verify_->isChecked();
}

void MenuOptionsDisplay::SetVerifyChecked(bool checked) {
    verify_->setChecked(checked);
}

bool MenuOptionsDisplay::LeaveUnpatternedChecked() const {
    return leaveUnpatterned_->isChecked();
}

void MenuOptionsDisplay::SetLeaveUnpatternedChecked(bool checked) {
    leaveUnpatterned_->setChecked(checked);
}

std::string MenuOptionsDisplay::OptionsText() const {
    QString text = label_->text();
    text.replace("\n", "\r\n");
    return FromQt(text);
}

void MenuOptionsDisplay::SetOptionsText(const std::string& text) {
    label_->setText(LabelText(text));
}

bool LeavingBoxes::Question(QuestionKind kind, const std::string& text) {
    if (leaving_ && kind == QuestionKind::AbortProcessing) {
        return true;
    }
    if (leaving_ && kind == QuestionKind::ProcessRemainingFiles) {
        return false;
    }
    return boxes_.Question(kind, text);
}

WindowHost::WindowHost(const Widgets& widgets, StatusList& status, MessageBoxes& boxes,
                       const ModGlobals& globals, OptionsDisplay& options)
    : widgets_(widgets), status_(status), boxes_(boxes), globals_(globals), options_(options) {}

void WindowHost::SetProgress(int percent) {
    widgets_.ProgressBar1->setValue(percent);
}

void WindowHost::SetTitle(const std::string& title) {
    widgets_.window->setWindowTitle(ToQt(title));
}

// A repair yields every few records: thousands of times a second on a fast disk, where the
// window's catching up (the event loop's round, the status list's relayout after its line
// changed) would cost more than the repair between two yields. Catching up at most every
// few milliseconds keeps Stop, the menus and the progress as prompt as a person can tell.
void WindowHost::YieldToUi() {
    if (sinceYield_.isValid() && !sinceYield_.hasExpired(kYieldIntervalMs)) {
        return;
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    sinceYield_.start();
}

QWidget* WindowHost::WidgetOf(Control control) const {
    switch (control) {
        case Control::ProcessAuto:
            return widgets_.cmdProcessAuto;
        case Control::ProcessInter:
            return widgets_.cmdProcessInter;
        case Control::Stop:
            return widgets_.cmdStop;
        case Control::ProgressBar:
            return widgets_.ProgressBar1;
    }
    return nullptr;
}

void WindowHost::SetEnabled(Control control, bool enabled) {
    WidgetOf(control)->setEnabled(enabled);
}

void WindowHost::SetVisible(Control control, bool visible) {
    WidgetOf(control)->setVisible(visible);
}

void WindowHost::EntryStarted(int position) {
    if (widgets_.lstInputFiles != nullptr) {
        widgets_.lstInputFiles->ClearOutcome(position);
    }
}

void WindowHost::EntryReported(int position, const EntryOutcome& outcome) {
    if (widgets_.lstInputFiles != nullptr) {
        widgets_.lstInputFiles->ShowOutcome(position, outcome.Mark(), ToQt(outcome.Note()));
    }
}

}  // namespace korbelt
