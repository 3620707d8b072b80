#include "ui/frmKorbelt.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>

#include <algorithm>

#include "engine/RepairEngine.h"
#include "input/FileChooser.h"
#include "input/InputListCommands.h"
#include "run/BatchRun.h"
#include "settings/Options.h"
#include "settings/SettingsStore.h"
#include "settings/Version.h"
#include "ui/AppIcon.h"
#include "ui/DrawnForm.h"
#include "ui/FormLayout.h"
#include "ui/InputListWidget.h"
#include "ui/PaintThrottle.h"
#include "ui/QtOpenFileDialog.h"
#include "ui/QtStatusList.h"
#include "ui/StatusListWidget.h"
#include "ui/frmAbout.h"
#include "ui/frmDBRangeOpt.h"
#include "verify/ChecksumCatalog.h"

namespace korbelt {
namespace {

QPushButton* Button(QWidget* parent, const char* name, const QString& caption, QRect where) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setGeometry(where);
    button->setAutoDefault(false);
    return button;
}

QLabel* Label(QWidget* parent, const char* name, const QString& text, QRect where) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setGeometry(where);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

// Whether every character the status list shows has one advance width, so that the
// columns of found bytes line up. Qt's fixedPitch() is no guide: it says no for fonts such
// as Noto Sans Mono, whose characters all have one width.
bool HasEqualAdvances(const QFont& font) {
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(QLatin1Char('0'));
    const QString sample = QStringLiteral(" @,.-0123456789ilmMW_'");
    return width > 0 && std::all_of(sample.begin(), sample.end(),
                                    [&](QChar c) { return metrics.horizontalAdvance(c) == width; });
}

// Courier New where it is installed, else the system's fixed-pitch font, else any installed
// font whose characters have one width; 8.25 point.
QFont StatusFont() {
    QList<QFont> candidates;
    if (QFontDatabase::families().contains("Courier New")) {
        candidates << QFont("Courier New");
    }
    candidates << QFontDatabase::systemFont(QFontDatabase::FixedFont);
    for (const QString& family : QFontDatabase::families()) {
        if (QFontDatabase::isFixedPitch(family)) {
            candidates << QFont(family);
        }
    }
    for (QFont& font : candidates) {
        font.setPointSizeF(8.25);
        if (HasEqualAdvances(font)) {
            return font;
        }
    }
    return candidates.front();
}

QAction* MenuEntry(QMenu* menu, const char* name, const QString& caption) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(name);
    return action;
}

}  // namespace

frmKorbelt::frmKorbelt(SettingsStore& store, QWidget* parent)
    : QMainWindow(parent), store_(store), boxes_(this), leavingBoxes_(boxes_), quit_([] {
          QCoreApplication::exit(0);
      }) {
    setObjectName("frmKorbelt");
    setWindowTitle("Tamsel Extra Byte Removal Utility");
    setWindowIcon(AppIcon());
    BuildControls();
    BuildMenus();
    BuildLogic();
    BuildShortcuts();
    SetTabOrder();
    Form_Load();
}

frmKorbelt::~frmKorbelt() = default;

// How each control shares in a window larger than drawn: the lists and the frame widen,
// the buttons beside the input list keep to its right edge, the input list takes a third of
// the extra height and the status list the rest, the progress bar stays at the bottom.
namespace {
namespace shares {
constexpr double kInputList = 1.0 / 3;
constexpr DrawnForm::Share kFixed{};
constexpr DrawnForm::Share kWiden{0, 0, 1, 0};
constexpr DrawnForm::Share kBesideInputList{1, 0, 0, 0};
constexpr DrawnForm::Share kInputListShare{0, 0, 1, kInputList};
constexpr DrawnForm::Share kRunLeft{0, kInputList, 0, 0};
constexpr DrawnForm::Share kRunMiddle{0.5, kInputList, 0, 0};
constexpr DrawnForm::Share kRunRight{1, kInputList, 0, 0};
constexpr DrawnForm::Share kStatusList{0, kInputList, 1, 1 - kInputList};
constexpr DrawnForm::Share kProgress{0, 1, 1, 0};
}  // namespace shares
}  // namespace

void frmKorbelt::BuildControls() {
    form_ = new DrawnForm(QSize(kClientWidth, kClientHeight), this);
    QWidget* client = form_;
    client->setObjectName("client");
    client->setFont(StandardDialogFont());
    setCentralWidget(client);

    cmdClear = Button(client, "cmdClear", tr("&Clear"), {456, 192, 73, 25});
    cmdTidy = Button(client, "cmdTidy", tr("&Tidy"), {456, 160, 73, 25});
    // The input list needs its commands; it is placed once they exist (BuildLogic).
    Frame1 = new QGroupBox(tr("Current Options"), client);
    Frame1->setObjectName("Frame1");
    labOptions = Label(Frame1, "labOptions", QString(), {24, 40, 457, 33});
    labSearchRange = Label(Frame1, "labSearchRange", tr("search range"), {24, 24, 457, 17});
    cmdStop = Button(client, "cmdStop", tr("Stop Processing File"), {200, 232, 137, 25});
    cmdStop->setEnabled(false);
    cmdStop->setVisible(false);
    cmdProcessInter = Button(client, "cmdProcessInter", tr("Process File(s) &Interactively"),
                             {344, 232, 169, 25});
    ProgressBar1 = new QProgressBar(client);
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setVisible(false);
    List1 = new StatusListWidget(client);
    List1->setObjectName("List1");
    List1->setFont(StatusFont());
    cmdProcessAuto =
        Button(client, "cmdProcessAuto", tr("Process File(s) &Automatically"), {24, 232, 169, 25});
    cmdInputFile = Button(client, "cmdInputFile", tr("Bro&wse"), {456, 128, 73, 25});
    Label1 = Label(client, "Label1", tr("I&nput File(s)"), {16, 112, 65, 17});

    using namespace shares;
    form_->Place(cmdClear, cmdClear->geometry(), kBesideInputList);
    form_->Place(cmdTidy, cmdTidy->geometry(), kBesideInputList);
    form_->Place(Frame1, {16, 8, 513, 89}, kWiden);
    form_->Place(labOptions, labOptions->geometry(), kWiden);
    form_->Place(labSearchRange, labSearchRange->geometry(), kWiden);
    form_->Place(cmdStop, cmdStop->geometry(), kRunMiddle);
    form_->Place(cmdProcessInter, cmdProcessInter->geometry(), kRunRight);
    form_->Place(ProgressBar1, {24, 448, 497, 25}, kProgress);
    form_->Place(List1, {16, 264, 505, 172}, kStatusList);
    form_->Place(cmdProcessAuto, cmdProcessAuto->geometry(), kRunLeft);
    form_->Place(cmdInputFile, cmdInputFile->geometry(), kBesideInputList);
    form_->Place(Label1, Label1->geometry(), kFixed);

    connect(cmdClear, &QPushButton::clicked, this, &frmKorbelt::cmdClear_Click);
    connect(cmdTidy, &QPushButton::clicked, this, &frmKorbelt::cmdTidy_Click);
    connect(cmdStop, &QPushButton::clicked, this, &frmKorbelt::cmdStop_Click);
    connect(cmdProcessInter, &QPushButton::clicked, this, &frmKorbelt::cmdProcessInter_Click);
    connect(cmdProcessAuto, &QPushButton::clicked, this, &frmKorbelt::cmdProcessAuto_Click);
    connect(cmdInputFile, &QPushButton::clicked, this, &frmKorbelt::cmdInputFile_Click);
}

// The desktop's usual keys, besides the menus' access keys. They belong to the window, not
// to the menu entries, which keep no shortcut of their own.
void frmKorbelt::BuildShortcuts() {
    keyOpen_ = new QShortcut(QKeySequence::Open, this);
    keyOpen_->setObjectName("keyOpen");
    connect(keyOpen_, &QShortcut::activated, this, &frmKorbelt::cmdInputFile_Click);
    // Where the desktop's key scheme has no Quit key, it is Ctrl+Q.
    const QKeySequence quit(QKeySequence::Quit);
    keyQuit_ = new QShortcut(quit.isEmpty() ? QKeySequence(Qt::CTRL | Qt::Key_Q) : quit, this);
    keyQuit_->setObjectName("keyQuit");
    connect(keyQuit_, &QShortcut::activated, this, &frmKorbelt::mnuFileExit_Click);
    // Stop's key, only while Stop is there to press.
    keyStop_ = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    keyStop_->setObjectName("keyStop");
    keyStop_->setEnabled(false);
    connect(keyStop_, &QShortcut::activated, this, &frmKorbelt::cmdStop_Click);
}

void frmKorbelt::BuildMenus() {
    QMenu* mnuFile = menuBar()->addMenu(tr("&File"));
    mnuFile->setObjectName("mnuFile");
    mnuFileInput = MenuEntry(mnuFile, "mnuFileInput", tr("Choose &Input File(s)"));
    mnuFile->addSeparator()->setObjectName("mnuFileSep1");
    mnuFileExit = MenuEntry(mnuFile, "mnuFileExit", tr("E&xit"));

    QMenu* mnuRun = menuBar()->addMenu(tr("&Run"));
    mnuRun->setObjectName("mnuRun");
    mnuRunAuto = MenuEntry(mnuRun, "mnuRunAuto", tr("Process File(s) &Automatically"));
    mnuRunInter = MenuEntry(mnuRun, "mnuRunInter", tr("Process File(s) &Interactively"));

    QMenu* mnuOptions = menuBar()->addMenu(tr("&Options"));
    mnuOptions->setObjectName("mnuOptions");
    mnuOptionsDBRange = MenuEntry(mnuOptions, "mnuOptionsDBRange", tr("&Duplicate Bytes Range"));
    mnuOptionsTruncate =
        MenuEntry(mnuOptions, "mnuOptionsTruncate", tr("&Truncate file if Mime Wrapper near EOF"));
    mnuOptionsIgnoreHJS = MenuEntry(mnuOptions, "mnuOptionsIgnoreHJS",
                                    tr("&Ignore HJSplit files if a whole no of Kb in size"));
    mnuOptionsVerify = MenuEntry(mnuOptions, "mnuOptionsVerify", tr("&Verify with Checksum Files"));
    mnuOptionsLeaveUnpatterned = MenuEntry(mnuOptions, "mnuOptionsLeaveUnpatterned",
                                           tr("&Leave Files with No Damage Pattern"));
    mnuOptionsTruncate->setCheckable(true);
    mnuOptionsIgnoreHJS->setCheckable(true);
    mnuOptionsVerify->setCheckable(true);
    mnuOptionsVerify->setChecked(true);
    mnuOptionsLeaveUnpatterned->setCheckable(true);

    QMenu* mnuHelp = menuBar()->addMenu(tr("&Help"));
    mnuHelp->setObjectName("mnuHelp");
    mnuHelpAbout = MenuEntry(mnuHelp, "mnuHelpAbout", tr("&About"));

    connect(mnuFileInput, &QAction::triggered, this, &frmKorbelt::mnuFileInput_Click);
    connect(mnuFileExit, &QAction::triggered, this, &frmKorbelt::mnuFileExit_Click);
    connect(mnuRunAuto, &QAction::triggered, this, &frmKorbelt::mnuRunAuto_Click);
    connect(mnuRunInter, &QAction::triggered, this, &frmKorbelt::mnuRunInter_Click);
    connect(mnuOptionsDBRange, &QAction::triggered, this, &frmKorbelt::mnuOptionsDBRange_Click);
    connect(mnuOptionsTruncate, &QAction::triggered, this, &frmKorbelt::mnuOptionsTruncate_Click);
    connect(mnuOptionsIgnoreHJS, &QAction::triggered, this, &frmKorbelt::mnuOptionsIgnoreHJS_Click);
    connect(mnuOptionsVerify, &QAction::triggered, this, &frmKorbelt::mnuOptionsVerify_Click);
    connect(mnuOptionsLeaveUnpatterned, &QAction::triggered, this,
            &frmKorbelt::mnuOptionsLeaveUnpatterned_Click);
    connect(mnuHelpAbout, &QAction::triggered, this, &frmKorbelt::mnuHelpAbout_Click);
}

void frmKorbelt::BuildLogic() {
    status_ = std::make_unique<QtStatusList>(List1);
    optionsDisplay_ = std::make_unique<MenuOptionsDisplay>(mnuOptionsTruncate, mnuOptionsIgnoreHJS,
                                                           mnuOptionsVerify,
                                                           mnuOptionsLeaveUnpatterned, labOptions);
    options_ = std::make_unique<Options>(globals_, *optionsDisplay_);
    commands_ = std::make_unique<InputListCommands>(inputs_, fs_, *status_, leavingBoxes_,
                                                    [] { QCoreApplication::processEvents(); });
    lstInputFiles = new InputListWidget(inputs_, *commands_, centralWidget());
    lstInputFiles->setObjectName("lstInputFiles");
    form_->Place(lstInputFiles, {48, 128, 401, 94}, shares::kInputListShare);
    Label1->setBuddy(lstInputFiles);
    host_ = std::make_unique<WindowHost>(WindowHost::Widgets{this, cmdProcessAuto, cmdProcessInter,
                                                             cmdStop, ProgressBar1, lstInputFiles},
                                         *status_, leavingBoxes_, globals_, *optionsDisplay_);
    engine_ = std::make_unique<RepairEngine>(
        *host_, run_, library_, fs_, NumberFormat(NumberFormat::LocaleThousandsSeparator()));
    checksums_ = std::make_unique<ChecksumCatalog>(fs_);
    engine_->SetChecksums(checksums_.get());
    chooser_ = std::make_unique<FileChooser>(*commands_);
    batch_ = std::make_unique<BatchRun>(*host_, run_, *engine_, inputs_, *host_, fs_);
    paintThrottle_ = new PaintThrottle(this);
    qtDialog_ = std::make_unique<QtOpenFileDialog>(this);
    dialog_ = qtDialog_.get();
}

void frmKorbelt::SetTabOrder() {
    QWidget* order[] = {lstInputFiles, cmdInputFile, cmdProcessAuto, cmdProcessInter,
                        cmdStop,       List1,        cmdTidy,        cmdClear};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) {
        setTabOrder(order[i], order[i + 1]);
    }
}

void frmKorbelt::Form_Load() {
    resize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
    CentreOnScreen();
    chooser_->firstbrowse = true;
    chooser_->browsename.clear();
    setWindowTitle(ToQt(Version::IdleTitle()));
    options_->RestoreMySettings(store_);
    options_->CheckRangeAtStartup();
    labSearchRange->setText(ToQt(options_->SearchRangeText()));
    NarrowLabelsToFit(centralWidget());
}

void frmKorbelt::CentreOnScreen() {
    const QScreen* screen = this->screen();
    if (screen == nullptr) {
        return;
    }
    const QRect available = screen->geometry();
    const QSize outer = frameGeometry().size();
    move(available.x() + (available.width() - outer.width()) / 2,
         available.y() + (available.height() - outer.height()) / 2);
}

void frmKorbelt::cmdProcessAuto_Click() {
    RunBatch(false);
}

void frmKorbelt::cmdProcessInter_Click() {
    RunBatch(true);
}

void frmKorbelt::RunBatch(bool interactive) {
    if (batch_->Running()) {
        return;
    }
    // Nothing that starts a second run or changes the list under the walk may be used
    // while the run yields to the window.
    SetInputCommandsEnabled(false);
    paintThrottle_->Arm();
    if (interactive) {
        batch_->cmdProcessInter_Click();
    } else {
        batch_->cmdProcessAuto_Click();
    }
    paintThrottle_->Disarm();
    SetInputCommandsEnabled(true);
    if (leaveAfterRun_) {
        EndProgram(saveOnLeave_);
    }
}

void frmKorbelt::SetInputCommandsEnabled(bool enabled) {
    for (QAction* action : {mnuRunAuto, mnuRunInter, mnuFileInput}) {
        action->setEnabled(enabled);
    }
    keyOpen_->setEnabled(enabled);
    keyStop_->setEnabled(!enabled);
    for (QWidget* widget : {static_cast<QWidget*>(cmdInputFile), static_cast<QWidget*>(cmdTidy),
                            static_cast<QWidget*>(cmdClear)}) {
        widget->setEnabled(enabled);
    }
    lstInputFiles->SetDropsAccepted(enabled);
}

void frmKorbelt::cmdStop_Click() {
    batch_->cmdStop_Click();
}

void frmKorbelt::cmdInputFile_Click() {
    if (!batch_->Running() && dialog_ != nullptr) {
        chooser_->cmdInputFile_Click(*dialog_);
    }
}

void frmKorbelt::cmdTidy_Click() {
    if (!batch_->Running()) {
        commands_->cmdTidy_Click();
    }
}

void frmKorbelt::cmdClear_Click() {
    if (!batch_->Running()) {
        commands_->cmdClear_Click();
    }
}

void frmKorbelt::mnuOptionsDBRange_Click() {
    frmDBRangeOpt::ShowModal(globals_, boxes_, this);
    labSearchRange->setText(ToQt(options_->SearchRangeText()));
}

void frmKorbelt::mnuOptionsTruncate_Click() {
    // The action has flipped its own check mark already; the switch is the one that flips.
    mnuOptionsTruncate->setChecked(!mnuOptionsTruncate->isChecked());
    options_->mnuOptionsTruncate_Click();
}

void frmKorbelt::mnuOptionsIgnoreHJS_Click() {
    mnuOptionsIgnoreHJS->setChecked(!mnuOptionsIgnoreHJS->isChecked());
    options_->mnuOptionsIgnoreHJS_Click();
}

void frmKorbelt::mnuOptionsVerify_Click() {
    mnuOptionsVerify->setChecked(!mnuOptionsVerify->isChecked());
    options_->mnuOptionsVerify_Click();
}

void frmKorbelt::mnuOptionsLeaveUnpatterned_Click() {
    mnuOptionsLeaveUnpatterned->setChecked(!mnuOptionsLeaveUnpatterned->isChecked());
    options_->mnuOptionsLeaveUnpatterned_Click();
}

void frmKorbelt::mnuHelpAbout_Click() {
    frmAbout::ShowModal(this);
}

void frmKorbelt::mnuFileExit_Click() {
    if (batch_->Running()) {
        AgreeToLeaveRun(true);
        return;
    }
    EndProgram(true);
}

void frmKorbelt::closeEvent(QCloseEvent* event) {
    if (ended_) {
        event->accept();
        return;
    }
    if (batch_->Running()) {
        event->ignore();
        AgreeToLeaveRun(false);
        return;
    }
    event->accept();
    EndProgram(false);
}

bool frmKorbelt::AgreeToLeaveRun(bool saveSettings) {
    if (leaveAfterRun_ || !boxes_.Question(QuestionKind::AbortProcessing, "Abort Processing?")) {
        return false;
    }
    LeaveRun(saveSettings);
    return true;
}

void frmKorbelt::LeaveRun(bool saveSettings) {
    leaveAfterRun_ = true;
    saveOnLeave_ = saveOnLeave_ || saveSettings;
    leavingBoxes_.SetLeaving(true);
    host_->RequestEnd();
    run_.stopflag = true;
}

void frmKorbelt::EndSession() {
    if (batch_->Running()) {
        // A question of the run may be open right now: it is answered as leaving answers.
        leavingBoxes_.SetLeaving(true);
        boxes_.CloseOpenBox();
        LeaveRun(false);
        return;
    }
    EndProgram(false);
}

void frmKorbelt::EndProgram(bool saveSettings) {
    if (ended_) {
        return;
    }
    if (saveSettings) {
        options_->SaveMySettings(store_);
    }
    ended_ = true;
    emit programEnded();
    close();
    quit_();
}

}  // namespace korbelt
