#include "ui/frmAbout.h"

#include <QLabel>
#include <QPushButton>

#include "settings/Version.h"
#include "ui/AppIcon.h"
#include "ui/EtchedRule.h"
#include "ui/FormLayout.h"

namespace korbelt {

namespace {

const char* const kTitleText = "Korbelt - Extra Byte Removal Utility";
const char* const kInstruction1 =
    "1. Select input file(s) from the file->choose input file menu or by pressing the \"...\" "
    "button next to the filename to browse or drag one or more files and directories to the "
    "Input File field.";
const char* const kInstruction2 =
    "2. Press the Process Automatically or Process Interactively button to process the "
    "file(s). Interactive asks before replacing a duplicate byte, Automatic replaces all "
    "relevant duplicate bytes.";
const char* const kTemporaryFileNote =
    "During processing a temporary file is created with the same name as the input file but "
    "with \".$$$\" added as a new file extension. After processing the input file is renamed "
    "with \".bak\" added to the filename, the temporary file used is renamed to the input "
    "filename.";

// The name stands alone on the first line, the thanks and the licence go below it.
const char* const kCreditLine =
    "Provided by Prendle\n"
    "Thanks to all for their input and ideas.\n"
    "Korbelt is free software under the MIT licence.";

// The first instruction names a "..." button the window calls Browse.
const char* const kBrowseNote = "The \"...\" button is Browse.";

QString Caption() {
    return QStringLiteral("About ") + QString::fromLatin1(Version::kAppTitle);
}

QString VersionLine() {
    return QStringLiteral("Version ") + QString::fromStdString(Version::Text());
}

}  // namespace

frmAbout::frmAbout(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmAbout"));
    MakeFixedDialog(this, 391, 334);
    BuildControls();
    Form_Load();
    NarrowLabelsToFit(this);
}

void frmAbout::ShowModal(QWidget* parent) {
    frmAbout box(parent);
    box.exec();
}

void frmAbout::BuildControls() {
    // cmdOK comes first so that it leads the tab order.
    cmdOK = PlaceButton(this, "cmdOK", QStringLiteral("OK"), QRect(288, 280, 84, 23));
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);

    auto* picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setGeometry(16, 16, 36, 36);
    picIcon->setAlignment(Qt::AlignCenter);
    picIcon->setPixmap(AppIcon().pixmap(32, 32));

    MakeBlue(PlaceLabel(this, "lblTitle", QString::fromLatin1(kTitleText), QRect(70, 16, 259, 32)));
    lblVersion = PlaceLabel(this, "lblVersion", QString(), QRect(70, 52, 259, 15));
    MakeBlue(lblVersion);
    MakeBold(PlaceLabel(this, "Label1", QStringLiteral("Instructions"), QRect(16, 80, 315, 15)));
    PlaceLabel(this, "Label2", QString::fromLatin1(kInstruction1), QRect(16, 104, 355, 39));
    PlaceLabel(this, "Label3", QString::fromLatin1(kInstruction2), QRect(16, 152, 355, 39));
    PlaceLabel(this, "Label4", QString::fromLatin1(kTemporaryFileNote), QRect(16, 200, 355, 55));
    new EtchedRule(this, 264, {6, 377}, {8, 378});
    MakeBlue(PlaceLabel(this, "lblDisclaimer", QString::fromLatin1(kCreditLine),
                        QRect(24, 280, 241, 47)));
    PlaceLabel(this, "lblBrowseNote", QString::fromLatin1(kBrowseNote), QRect(288, 307, 97, 26));

    cmdOK->setFocus();
}

void frmAbout::Form_Load() {
    setWindowTitle(Caption());
    lblVersion->setText(VersionLine());
}

void frmAbout::cmdOK_Click() {
    accept();
}

void frmAbout::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    CentreOverParent();
}

void frmAbout::CentreOverParent() {
    const QWidget* over = parentWidget() ? parentWidget()->window() : nullptr;
    if (over == nullptr) {
        return;
    }
    // move() places the outer frame, so centre the frame rather than the client area.
    const QSize frame = frameGeometry().size();
    move(over->frameGeometry().center() - QPoint(frame.width() / 2, frame.height() / 2));
}

}  // namespace korbelt
