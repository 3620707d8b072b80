#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "FakeHost.h"
#include "ModalDriver.h"
#include "ui/QtMessageBoxes.h"
#include "ui/frmDBRangeOpt.h"

namespace korbelt {
namespace {

using test::Child;
using test::FitsItsLabel;
using test::ScriptedBoxes;
using test::WhenModalShows;
using Kind = ScriptedBoxes::Kind;

const QColor kPureBlue(0, 0, 255);

QString Range(int start, int end) {
    return QStringLiteral("Current search range for Duplicate Bytes is %1 to %2")
        .arg(start)
        .arg(end);
}

class RangeDialogTest : public ::testing::Test {
  protected:
    void Open() {
        dialog = std::make_unique<frmDBRangeOpt>(globals, boxes);
        dialog->show();
    }
    void InForce(std::int16_t start, std::int16_t end) {
        globals.rangestart = start;
        globals.rangeend = end;
    }
    QComboBox* StartList() const { return Child<QComboBox>(dialog.get(), "cmbRangeStart"); }
    QComboBox* EndList() const { return Child<QComboBox>(dialog.get(), "cmbRangeEnd"); }
    QString Shown() const { return Child<QLabel>(dialog.get(), "labCurrentRange")->text(); }
    // The way a user picks: the entry is chosen in the list itself.
    void Pick(const char* start, const char* end) {
        StartList()->setCurrentIndex(StartList()->findText(QString::fromLatin1(start)));
        EndList()->setCurrentIndex(EndList()->findText(QString::fromLatin1(end)));
    }
    void Click(const char* button) {
        QTest::mouseClick(Child<QPushButton>(dialog.get(), button), Qt::LeftButton);
    }

    ModGlobals globals;
    ScriptedBoxes boxes;
    std::unique_ptr<frmDBRangeOpt> dialog;
};

TEST_F(RangeDialogTest, OpensOnTheDefaultRange) {
    Open();
    EXPECT_EQ(StartList()->currentText(), QStringLiteral("39"));
    EXPECT_EQ(EndList()->currentText(), QStringLiteral("45"));
    EXPECT_EQ(Shown(), QStringLiteral("Current search range for Duplicate Bytes is 39 to 45"));
}

TEST_F(RangeDialogTest, EqualEndsWarnAndTheDialogStaysOpen) {
    Open();
    Pick("43", "43");
    Click("cmdOK");
    Click("cmdApply");
    EXPECT_EQ(boxes.Texts(Kind::Warning),
              (std::vector<std::string>{"The range must be at least 2 bytes long",
                                        "The range must be at least 2 bytes long"}));
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(StartList()->currentText(), QStringLiteral("43"));
    EXPECT_EQ(EndList()->currentText(), QStringLiteral("43"));
    EXPECT_EQ(globals.rangestart, -1);
    EXPECT_EQ(globals.rangeend, -1);
    EXPECT_EQ(Shown(), Range(39, 45));
}

TEST_F(RangeDialogTest, AnEndBelowTheStartWarnsAndTheDialogStaysOpen) {
    InForce(40, 46);
    Open();
    Pick("43", "39");
    Click("cmdOK");
    EXPECT_EQ(boxes.Texts(Kind::Warning),
              std::vector<std::string>{"Range End must be larger than Range Start"});
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(StartList()->currentText(), QStringLiteral("43"));
    EXPECT_EQ(EndList()->currentText(), QStringLiteral("39"));
    EXPECT_EQ(globals.rangestart, 40);
    EXPECT_EQ(globals.rangeend, 46);
}

TEST_F(RangeDialogTest, TwoPositionsAreARange) {
    Open();
    Pick("39", "40");
    Click("cmdOK");
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(globals.rangestart, 39);
    EXPECT_EQ(globals.rangeend, 40);
}

TEST_F(RangeDialogTest, OKOnTheDefaultPairUnsetsTheRange) {
    InForce(40, 46);
    Open();
    Pick("39", "45");
    Click("cmdOK");
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(globals.rangestart, -1);
    EXPECT_EQ(globals.rangeend, -1);
}

TEST_F(RangeDialogTest, ApplyThenCancelKeepsTheAppliedRange) {
    Open();
    Pick("35", "49");
    Click("cmdApply");
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(Shown(), Range(35, 49));
    EXPECT_EQ(globals.GetDBRangeStart(), 35);
    EXPECT_EQ(globals.GetDBRangeEnd(), 49);
    Click("cmdCancel");
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(globals.GetDBRangeStart(), 35);
    EXPECT_EQ(globals.GetDBRangeEnd(), 49);
}

TEST_F(RangeDialogTest, DefaultsChangesTheListsOnlyAndCancelKeepsTheRange) {
    InForce(40, 45);
    Open();
    EXPECT_EQ(StartList()->currentText(), QStringLiteral("40"));
    Click("cmdDefaults");
    EXPECT_EQ(StartList()->currentText(), QStringLiteral("39"));
    EXPECT_EQ(EndList()->currentText(), QStringLiteral("45"));
    EXPECT_EQ(Shown(), Range(40, 45));
    EXPECT_EQ(globals.rangestart, 40);
    Click("cmdCancel");
    EXPECT_EQ(globals.rangestart, 40);
    EXPECT_EQ(globals.rangeend, 45);
}

TEST_F(RangeDialogTest, DefaultsThenApplyPutsTheDefaultsInForce) {
    InForce(36, 41);
    Open();
    Click("cmdDefaults");
    Click("cmdApply");
    EXPECT_EQ(globals.rangestart, -1);
    EXPECT_EQ(globals.rangeend, -1);
    EXPECT_EQ(Shown(), Range(39, 45));
    EXPECT_TRUE(dialog->isVisible());
}

TEST_F(RangeDialogTest, AnEndMissingFromTheListOpensOnItsDefaultEntry) {
    InForce(40, 50);
    Open();
    EXPECT_EQ(StartList()->currentText(), QStringLiteral("40"));
    EXPECT_EQ(EndList()->currentText(), QStringLiteral("45"));
    EXPECT_EQ(Shown(), Range(40, 50));
    Click("cmdOK");
    EXPECT_EQ(globals.rangestart, 40);
    EXPECT_EQ(globals.rangeend, 45);
}

TEST_F(RangeDialogTest, EscapeAndTheCloseBoxActAsCancel) {
    Open();
    Pick("36", "48");
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(globals.rangestart, -1);

    Open();
    Pick("36", "48");
    EXPECT_TRUE(dialog->close());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(globals.rangestart, -1);
    EXPECT_EQ(globals.rangeend, -1);
}

TEST_F(RangeDialogTest, EnterPressesNoButton) {
    Open();
    Pick("36", "48");
    for (const char* name : {"cmdOK", "cmdCancel", "cmdApply", "cmdDefaults"}) {
        const auto* button = Child<QPushButton>(dialog.get(), name);
        EXPECT_FALSE(button->isDefault()) << name;
        EXPECT_FALSE(button->autoDefault()) << name;
    }
    QTest::keyClick(dialog.get(), Qt::Key_Return);
    QTest::keyClick(Child<QPushButton>(dialog.get(), "cmdOK"), Qt::Key_Return);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(globals.rangestart, -1);
}

TEST_F(RangeDialogTest, TheKeyboardPicksFromTheLists) {
    Open();
    QTest::keyClick(StartList(), Qt::Key_Down);
    QTest::keyClick(EndList(), Qt::Key_Up);
    EXPECT_EQ(StartList()->currentText(), QStringLiteral("40"));
    EXPECT_EQ(EndList()->currentText(), QStringLiteral("44"));
    Click("cmdApply");
    EXPECT_EQ(globals.rangestart, 40);
    EXPECT_EQ(globals.rangeend, 44);
    EXPECT_EQ(Shown(), Range(40, 44));
}

TEST_F(RangeDialogTest, EachOpeningLoadsTheRangeInForce) {
    Open();
    Pick("37", "47");
    Click("cmdApply");
    Click("cmdCancel");
    Open();
    EXPECT_EQ(StartList()->currentText(), QStringLiteral("37"));
    EXPECT_EQ(EndList()->currentText(), QStringLiteral("47"));
    EXPECT_EQ(Shown(), Range(37, 47));
}

TEST_F(RangeDialogTest, TabOrderStartsAtOKWhichHasTheFocus) {
    Open();
    auto* ok = Child<QPushButton>(dialog.get(), "cmdOK");
    EXPECT_EQ(dialog->focusWidget(), ok);
    QStringList order;
    QWidget* widget = ok;
    do {
        if (widget->focusPolicy() & Qt::TabFocus) {
            order << widget->objectName();
        }
        widget = widget->nextInFocusChain();
    } while (widget != ok);
    EXPECT_EQ(order, (QStringList{"cmdOK", "cmdCancel", "cmdApply", "cmdDefaults", "cmbRangeStart",
                                  "cmbRangeEnd"}));
}

TEST_F(RangeDialogTest, ListsHoldTheirFixedEntriesAndTakeNoTyping) {
    Open();
    QStringList starts;
    for (int i = 0; i < StartList()->count(); ++i) {
        starts << StartList()->itemText(i);
    }
    QStringList ends;
    for (int i = 0; i < EndList()->count(); ++i) {
        ends << EndList()->itemText(i);
    }
    EXPECT_EQ(starts, (QStringList{"35", "36", "37", "38", "39", "40", "41", "42", "43"}));
    EXPECT_EQ(ends,
              (QStringList{"39", "40", "41", "42", "43", "44", "45", "46", "47", "48", "49"}));
    EXPECT_FALSE(StartList()->isEditable());
    EXPECT_FALSE(EndList()->isEditable());
}

TEST_F(RangeDialogTest, CaptionAndTextsAreExact) {
    Open();
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Set Duplicate Bytes Range"));
    auto text = [this](const char* name) { return Child<QLabel>(dialog.get(), name)->text(); };
    EXPECT_EQ(text("labIntro"),
              QStringLiteral("Duplicate bytes are normally found 39 to 45 bytes after the "
                             "character\ncombination CR LF - (0Dh, 0Ah, 2Dh) in a file."));
    EXPECT_EQ(text("Label1"),
              QStringLiteral("You may change the range used for finding duplicate bytes by "
                             "entering the values you require below. "));
    EXPECT_EQ(text("Label2"),
              QStringLiteral("Please Note: by changing the range you may cause the program to "
                             "identify bytes as duplicate which are valid. This could result in "
                             "a corrupt file. Please use this option with care."));
    EXPECT_EQ(text("labRangeStart"), QStringLiteral("Start of Duplicate Bytes Range"));
    EXPECT_EQ(text("labRangeEnd"), QStringLiteral("End of Duplicate Bytes Range"));
    auto button = [this](const char* name) {
        return Child<QPushButton>(dialog.get(), name)->text();
    };
    EXPECT_EQ(button("cmdDefaults"), QStringLiteral("&Defaults"));
    EXPECT_EQ(button("cmdOK"), QStringLiteral("OK"));
    EXPECT_EQ(button("cmdCancel"), QStringLiteral("Cancel"));
    EXPECT_EQ(button("cmdApply"), QStringLiteral("Apply"));
}

TEST_F(RangeDialogTest, TheCareNoteIsBoldPureBlue) {
    Open();
    const auto* note = Child<QLabel>(dialog.get(), "Label2");
    EXPECT_TRUE(note->font().bold());
    EXPECT_EQ(note->palette().color(QPalette::WindowText), kPureBlue);
    const auto* intro = Child<QLabel>(dialog.get(), "labIntro");
    EXPECT_FALSE(intro->font().bold());
    EXPECT_NE(intro->palette().color(QPalette::WindowText), kPureBlue);
}

TEST_F(RangeDialogTest, EveryLabelFitsItsSpace) {
    InForce(35, 49);
    Open();
    for (const char* name :
         {"labIntro", "Label1", "Label2", "labRangeStart", "labRangeEnd", "labCurrentRange"}) {
        EXPECT_TRUE(FitsItsLabel(Child<QLabel>(dialog.get(), name))) << name;
    }
}

TEST_F(RangeDialogTest, FixedSizeAndControlsWhereTheyWereDrawn) {
    Open();
    EXPECT_EQ(dialog->size(), QSize(410, 328));
    EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize());
    EXPECT_FALSE(dialog->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(dialog->windowFlags() & Qt::WindowMaximizeButtonHint);
    auto where = [this](const char* name) {
        return Child<QWidget>(dialog.get(), name)->geometry();
    };
    EXPECT_EQ(where("labIntro"), QRect(16, 24, 369, 33));
    EXPECT_EQ(where("Label1"), QRect(16, 56, 369, 33));
    EXPECT_EQ(where("Label2"), QRect(16, 104, 377, 41));
    EXPECT_EQ(where("labRangeStart"), QRect(40, 168, 161, 17));
    EXPECT_EQ(where("cmbRangeStart"), QRect(224, 168, 65, 21));
    EXPECT_EQ(where("labRangeEnd"), QRect(40, 200, 161, 17));
    EXPECT_EQ(where("cmbRangeEnd"), QRect(224, 200, 65, 21));
    EXPECT_EQ(where("labCurrentRange"), QRect(32, 248, 345, 17));
    EXPECT_EQ(where("cmdDefaults"), QRect(16, 296, 73, 25));
    EXPECT_EQ(where("cmdOK"), QRect(168, 296, 73, 25));
    EXPECT_EQ(where("cmdCancel"), QRect(248, 297, 73, 25));
    EXPECT_EQ(where("cmdApply"), QRect(328, 297, 73, 25));
}

TEST_F(RangeDialogTest, TheRuleRunsAcrossAtItsPlace) {
    Open();
    const QImage image = dialog->grab().toImage();
    EXPECT_EQ(image.pixelColor(8, 96), QColor(0x80, 0x80, 0x80));
    EXPECT_EQ(image.pixelColor(392, 96), QColor(0x80, 0x80, 0x80));
    EXPECT_EQ(image.pixelColor(200, 97), QColor(Qt::white));
    EXPECT_NE(image.pixelColor(7, 96), QColor(0x80, 0x80, 0x80));
    EXPECT_NE(image.pixelColor(393, 96), QColor(0x80, 0x80, 0x80));
}

TEST_F(RangeDialogTest, OpensCentredOnTheScreen) {
    Open();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QRect frame = dialog->frameGeometry();
    EXPECT_EQ(frame.left(), screen.left() + (screen.width() - frame.width()) / 2);
    EXPECT_EQ(frame.top(), screen.top() + (screen.height() - frame.height()) / 2);
}

bool IsRangeDialog(QWidget* widget) {
    return qobject_cast<frmDBRangeOpt*>(widget) != nullptr;
}

TEST(RangeDialogModal, ClosingByAnyButtonReturnsToTheCaller) {
    ModGlobals globals;
    ScriptedBoxes boxes;
    WhenModalShows(IsRangeDialog, [](QWidget* dialog) {
        auto* start = Child<QComboBox>(dialog, "cmbRangeStart");
        start->setCurrentIndex(start->findText(QStringLiteral("41")));
        QTest::mouseClick(Child<QPushButton>(dialog, "cmdOK"), Qt::LeftButton);
    });
    EXPECT_EQ(frmDBRangeOpt::ShowModal(globals, boxes, nullptr), QDialog::Accepted);
    EXPECT_EQ(globals.rangestart, 41);
    EXPECT_EQ(globals.rangeend, 45);

    WhenModalShows(IsRangeDialog, [](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
    EXPECT_EQ(frmDBRangeOpt::ShowModal(globals, boxes, nullptr), QDialog::Rejected);
    EXPECT_EQ(globals.rangestart, 41);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(RangeDialogModal, AWarningIsARealExclamationBoxOverTheDialog) {
    ModGlobals globals;
    QtMessageBoxes boxes;
    bool overthedialog = false;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString text;
    bool openafterwarning = false;
    WhenModalShows(IsRangeDialog, [&](QWidget* dialog) {
        auto* end = Child<QComboBox>(dialog, "cmbRangeEnd");
        end->setCurrentIndex(end->findText(QStringLiteral("39")));
        WhenModalShows(
            [](QWidget* widget) { return qobject_cast<QMessageBox*>(widget) != nullptr; },
            [&](QWidget* widget) {
                auto* box = qobject_cast<QMessageBox*>(widget);
                overthedialog = box->parentWidget() == dialog;
                icon = box->icon();
                text = box->text();
                QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
            });
        QTest::mouseClick(Child<QPushButton>(dialog, "cmdOK"), Qt::LeftButton);
        openafterwarning = dialog->isVisible();
        QTest::mouseClick(Child<QPushButton>(dialog, "cmdCancel"), Qt::LeftButton);
    });
    EXPECT_EQ(frmDBRangeOpt::ShowModal(globals, boxes, nullptr), QDialog::Rejected);
    EXPECT_TRUE(openafterwarning);
    EXPECT_TRUE(overthedialog);
    EXPECT_EQ(icon, QMessageBox::Warning);
    EXPECT_EQ(text, QStringLiteral("The range must be at least 2 bytes long"));
    EXPECT_EQ(globals.rangestart, -1);
}

}  // namespace
}  // namespace korbelt
