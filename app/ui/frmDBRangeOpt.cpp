#include "ui/frmDBRangeOpt.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "ui/EtchedRule.h"
#include "ui/FormLayout.h"

namespace korbelt {

namespace {

// The form was drawn in twips; 15 of them make a pixel at 96 dots per inch.
constexpr int Px(int twips) {
    return twips / 15;
}

QRect Twips(int left, int top, int width, int height) {
    return QRect(Px(left), Px(top), Px(width), Px(height));
}

QComboBox* PlaceList(QWidget* form, const char* name, const std::vector<std::string>& entries,
                     const QRect& where) {
    auto* list = new QComboBox(form);
    list->setObjectName(QString::fromLatin1(name));
    list->setEditable(false);
    for (const auto& entry : entries) {
        list->addItem(QString::fromStdString(entry));
    }
    list->setGeometry(where);
    return list;
}

const char* const kIntro =
    "Duplicate bytes are normally found 39 to 45 bytes after the character\n"
    "combination CR LF - (0Dh, 0Ah, 2Dh) in a file.";
const char* const kChangeHint =
    "You may change the range used for finding duplicate bytes by entering the values you "
    "require below. ";
const char* const kCareNote =
    "Please Note: by changing the range you may cause the program to identify bytes as "
    "duplicate which are valid. This could result in a corrupt file. Please use this option "
    "with care.";

}  // namespace

frmDBRangeOpt::frmDBRangeOpt(ModGlobals& globals, MessageBoxes& boxes, QWidget* parent)
    : QDialog(parent), form(globals, boxes) {
    setObjectName(QStringLiteral("frmDBRangeOpt"));
    setWindowTitle(QStringLiteral("Set Duplicate Bytes Range"));
    MakeFixedDialog(this, Px(6150), Px(4920));
    BuildControls();
    Form_Load();
    NarrowLabelsToFit(this);
}

int frmDBRangeOpt::ShowModal(ModGlobals& globals, MessageBoxes& boxes, QWidget* parent) {
    frmDBRangeOpt dialog(globals, boxes, parent);
    return dialog.exec();
}

void frmDBRangeOpt::BuildControls() {
    BuildTexts();
    BuildLists();
    BuildButtons();
    SetTabOrder();
    cmdOK->setFocus();
}

void frmDBRangeOpt::BuildTexts() {
    PlaceLabel(this, "labIntro", QString::fromLatin1(kIntro), Twips(240, 360, 5535, 495));
    PlaceLabel(this, "Label1", QString::fromLatin1(kChangeHint), Twips(240, 840, 5535, 495));
    new EtchedRule(this, Px(1440), {Px(120), Px(5880)}, {Px(120), Px(5880)});
    QLabel* note =
        PlaceLabel(this, "Label2", QString::fromLatin1(kCareNote), Twips(240, 1560, 5655, 615));
    MakeBold(note);
    MakeBlue(note);
    PlaceLabel(this, "labRangeStart", QStringLiteral("Start of Duplicate Bytes Range"),
               Twips(600, 2520, 2415, 255));
    PlaceLabel(this, "labRangeEnd", QStringLiteral("End of Duplicate Bytes Range"),
               Twips(600, 3000, 2415, 255));
    labCurrentRange = PlaceLabel(this, "labCurrentRange", QString(), Twips(480, 3720, 5175, 255));
}

void frmDBRangeOpt::BuildLists() {
    cmbRangeStart =
        PlaceList(this, "cmbRangeStart", DBRangeForm::StartEntries(), Twips(3360, 2520, 975, 315));
    cmbRangeEnd =
        PlaceList(this, "cmbRangeEnd", DBRangeForm::EndEntries(), Twips(3360, 3000, 975, 315));
    connect(cmbRangeStart, &QComboBox::currentIndexChanged, this,
            [this](int index) { form.SelectStart(index); });
    connect(cmbRangeEnd, &QComboBox::currentIndexChanged, this,
            [this](int index) { form.SelectEnd(index); });
}

void frmDBRangeOpt::BuildButtons() {
    cmdDefaults =
        PlaceButton(this, "cmdDefaults", QStringLiteral("&Defaults"), Twips(240, 4440, 1095, 375));
    cmdOK = PlaceButton(this, "cmdOK", QStringLiteral("OK"), Twips(2520, 4440, 1095, 375));
    cmdCancel =
        PlaceButton(this, "cmdCancel", QStringLiteral("Cancel"), Twips(3720, 4455, 1095, 375));
    cmdApply = PlaceButton(this, "cmdApply", QStringLiteral("Apply"), Twips(4920, 4455, 1095, 375));
    connect(cmdOK, &QPushButton::clicked, this, &frmDBRangeOpt::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmDBRangeOpt::cmdCancel_Click);
    connect(cmdApply, &QPushButton::clicked, this, &frmDBRangeOpt::cmdApply_Click);
    connect(cmdDefaults, &QPushButton::clicked, this, &frmDBRangeOpt::cmdDefaults_Click);
}

void frmDBRangeOpt::SetTabOrder() {
    QWidget::setTabOrder(cmdOK, cmdCancel);
    QWidget::setTabOrder(cmdCancel, cmdApply);
    QWidget::setTabOrder(cmdApply, cmdDefaults);
    QWidget::setTabOrder(cmdDefaults, cmbRangeStart);
    QWidget::setTabOrder(cmbRangeStart, cmbRangeEnd);
}

void frmDBRangeOpt::Form_Load() {
    CentreOnScreen();
    form.Form_Load();
    ShowForm();
}

void frmDBRangeOpt::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The window frame is known only once the window is on screen; centre it again with it.
    CentreOnScreen();
}

void frmDBRangeOpt::CentreOnScreen() {
    const QWidget* over = parentWidget();
    QScreen* screen = over ? over->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    const QRect area = screen->geometry();
    const QSize outer = frameGeometry().size();
    move(area.left() + (area.width() - outer.width()) / 2,
         area.top() + (area.height() - outer.height()) / 2);
}

void frmDBRangeOpt::ShowForm() {
    // Setting an index the user did not pick must not be taken for a pick.
    const QSignalBlocker blockstart(cmbRangeStart);
    const QSignalBlocker blockend(cmbRangeEnd);
    cmbRangeStart->setCurrentIndex(form.StartIndex());
    cmbRangeEnd->setCurrentIndex(form.EndIndex());
    labCurrentRange->setText(QString::fromStdString(form.CurrentRange()));
}

void frmDBRangeOpt::cmdOK_Click() {
    if (form.cmdOK_Click()) {
        accept();
    }
}

void frmDBRangeOpt::cmdCancel_Click() {
    reject();
}

void frmDBRangeOpt::cmdApply_Click() {
    form.cmdApply_Click();
    ShowForm();
}

void frmDBRangeOpt::cmdDefaults_Click() {
    form.cmdDefaults_Click();
    ShowForm();
}

}  // namespace korbelt
