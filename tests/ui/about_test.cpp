#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "ModalDriver.h"
#include "ui/frmAbout.h"

namespace korbelt {
namespace {

using test::Child;
using test::FitsItsLabel;
using test::WhenModalShows;
using test::WrappedLines;

const QColor kPureBlue(0, 0, 255);

QString LabelText(const QWidget* box, const char* name) {
    const auto* label = Child<QLabel>(box, name);
    return label ? label->text() : QString();
}

bool IsAboutBox(QWidget* widget) {
    return qobject_cast<frmAbout*>(widget) != nullptr;
}

TEST(AboutBox, CaptionAndVersionLineOnEveryOpening) {
    for (int opening = 0; opening < 3; ++opening) {
        QString caption;
        QString version;
        WhenModalShows(IsAboutBox, [&](QWidget* box) {
            caption = box->windowTitle();
            version = LabelText(box, "lblVersion");
            QTest::mouseClick(Child<QPushButton>(box, "cmdOK"), Qt::LeftButton);
        });
        frmAbout::ShowModal(nullptr);
        EXPECT_EQ(caption, QStringLiteral("About Korbelt Tamsel Extra Byte Utility")) << opening;
        EXPECT_EQ(version, QStringLiteral("Version 1.3.2")) << opening;
    }
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(AboutBox, EnterClosesTheBoxLikeOK) {
    frmAbout box;
    box.show();
    QTest::keyClick(&box, Qt::Key_Return);
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(box.result(), QDialog::Accepted);
}

TEST(AboutBox, TheCloseBoxClosesTheBox) {
    frmAbout box;
    box.show();
    EXPECT_TRUE(box.close());
    EXPECT_FALSE(box.isVisible());
}

TEST(AboutBox, EnterAndEscapeEndAModalShowing) {
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        bool shown = false;
        WhenModalShows(IsAboutBox, [&](QWidget* box) {
            shown = true;
            QTest::keyClick(box, key);
        });
        frmAbout::ShowModal(nullptr);
        EXPECT_TRUE(shown) << key;
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << key;
    }
}

TEST(AboutBox, OKIsTheDefaultButtonFirstInTabOrderAndHasTheFocus) {
    frmAbout box;
    auto* ok = Child<QPushButton>(&box, "cmdOK");
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), QStringLiteral("OK"));
    EXPECT_TRUE(ok->isDefault());
    EXPECT_EQ(box.focusWidget(), ok);
    // Nothing else in the box takes the keyboard, so Tab always comes back to OK.
    QWidget* next = ok->nextInFocusChain();
    while (next != ok) {
        EXPECT_FALSE(next->focusPolicy() & Qt::TabFocus) << qPrintable(next->objectName());
        next = next->nextInFocusChain();
    }
}

TEST(AboutBox, CreditLineShowsProvidedByPrendleAloneOnItsFirstLine) {
    frmAbout box;
    const auto* credit = Child<QLabel>(&box, "lblDisclaimer");
    ASSERT_NE(credit, nullptr);
    EXPECT_TRUE(credit->text().startsWith(QStringLiteral("Provided by Prendle\n")));
    const QStringList lines = WrappedLines(credit->text(), credit->font(), credit->width());
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines[0], QStringLiteral("Provided by Prendle"));
    EXPECT_TRUE(credit->text().contains(QStringLiteral("thanks"), Qt::CaseInsensitive));
    EXPECT_TRUE(credit->text().contains(QStringLiteral("input and ideas")));
    EXPECT_TRUE(credit->text().endsWith(
        QStringLiteral("\nKorbelt is free software under the MIT licence.")));
}

TEST(AboutBox, LabelTextsAreExact) {
    frmAbout box;
    EXPECT_EQ(LabelText(&box, "lblTitle"), QStringLiteral("Korbelt - Extra Byte Removal Utility"));
    EXPECT_EQ(LabelText(&box, "Label1"), QStringLiteral("Instructions"));
    EXPECT_EQ(LabelText(&box, "Label2"),
              QStringLiteral("1. Select input file(s) from the file->choose input file menu or by "
                             "pressing the \"...\" button next to the filename to browse or drag "
                             "one or more files and directories to the Input File field."));
    EXPECT_EQ(LabelText(&box, "Label3"),
              QStringLiteral("2. Press the Process Automatically or Process Interactively button "
                             "to process the file(s). Interactive asks before replacing a "
                             "duplicate byte, Automatic replaces all relevant duplicate bytes."));
    EXPECT_EQ(LabelText(&box, "Label4"),
              QStringLiteral("During processing a temporary file is created with the same name "
                             "as the input file but with \".$$$\" added as a new file extension. "
                             "After processing the input file is renamed with \".bak\" added to "
                             "the filename, the temporary file used is renamed to the input "
                             "filename."));
    EXPECT_EQ(LabelText(&box, "lblBrowseNote"), QStringLiteral("The \"...\" button is Browse."));
}

TEST(AboutBox, EveryLabelFitsItsSpace) {
    frmAbout box;
    for (const char* name : {"lblTitle", "lblVersion", "Label1", "Label2", "Label3", "Label4",
                             "lblDisclaimer", "lblBrowseNote"}) {
        EXPECT_TRUE(FitsItsLabel(Child<QLabel>(&box, name))) << name;
    }
}

TEST(AboutBox, ThreeLabelsArePureBlueAndInstructionsIsBold) {
    frmAbout box;
    for (const char* name : {"lblTitle", "lblVersion", "lblDisclaimer"}) {
        EXPECT_EQ(Child<QLabel>(&box, name)->palette().color(QPalette::WindowText), kPureBlue)
            << name;
    }
    EXPECT_NE(Child<QLabel>(&box, "Label2")->palette().color(QPalette::WindowText), kPureBlue);
    EXPECT_TRUE(Child<QLabel>(&box, "Label1")->font().bold());
    EXPECT_FALSE(Child<QLabel>(&box, "Label2")->font().bold());
}

// A dark theme's blue for links: the blue labels take it rather than a blue it cannot show.
TEST(AboutBox, InADarkPaletteTheBlueLabelsTakeItsLinkColour) {
    const QPalette standard = QApplication::palette();
    QPalette dark = standard;
    dark.setColor(QPalette::Window, QColor(0x20, 0x20, 0x20));
    dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::Link, QColor(0x4d, 0xa6, 0xff));
    QApplication::setPalette(dark);
    {
        frmAbout box;
        for (const char* name : {"lblTitle", "lblVersion", "lblDisclaimer"}) {
            EXPECT_EQ(Child<QLabel>(&box, name)->palette().color(QPalette::WindowText),
                      QColor(0x4d, 0xa6, 0xff))
                << name;
        }
        EXPECT_EQ(Child<QLabel>(&box, "Label2")->palette().color(QPalette::WindowText),
                  QColor(0xee, 0xee, 0xee));
    }
    QApplication::setPalette(standard);
}

TEST(AboutBox, FixedClientAreaWithoutMinimiseOrMaximise) {
    frmAbout box;
    EXPECT_EQ(box.size(), QSize(391, 334));
    EXPECT_EQ(box.minimumSize(), QSize(391, 334));
    EXPECT_EQ(box.maximumSize(), QSize(391, 334));
    EXPECT_FALSE(box.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(box.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(box.windowFlags() & Qt::WindowCloseButtonHint);
}

TEST(AboutBox, ControlsSitWhereTheyWereDrawn) {
    frmAbout box;
    EXPECT_EQ(Child<QWidget>(&box, "picIcon")->geometry(), QRect(16, 16, 36, 36));
    EXPECT_EQ(Child<QWidget>(&box, "lblTitle")->geometry(), QRect(70, 16, 259, 32));
    EXPECT_EQ(Child<QWidget>(&box, "lblVersion")->geometry(), QRect(70, 52, 259, 15));
    EXPECT_EQ(Child<QWidget>(&box, "Label1")->geometry(), QRect(16, 80, 315, 15));
    EXPECT_EQ(Child<QWidget>(&box, "Label2")->geometry(), QRect(16, 104, 355, 39));
    EXPECT_EQ(Child<QWidget>(&box, "Label3")->geometry(), QRect(16, 152, 355, 39));
    EXPECT_EQ(Child<QWidget>(&box, "Label4")->geometry(), QRect(16, 200, 355, 55));
    EXPECT_EQ(Child<QWidget>(&box, "lblDisclaimer")->geometry(), QRect(24, 280, 241, 47));
    EXPECT_EQ(Child<QWidget>(&box, "cmdOK")->geometry(), QRect(288, 280, 84, 23));
}

TEST(AboutBox, TheIconShowsAThirtyTwoPixelImage) {
    frmAbout box;
    const auto* icon = Child<QLabel>(&box, "picIcon");
    ASSERT_NE(icon, nullptr);
    const QPixmap pixmap = icon->pixmap();
    EXPECT_FALSE(pixmap.isNull());
    EXPECT_EQ(pixmap.size(), QSize(32, 32));
}

TEST(AboutBox, TheRuleIsAGreyLineOverAWhiteOne) {
    frmAbout box;
    const QImage image = box.grab().toImage();
    EXPECT_EQ(image.pixelColor(6, 264), QColor(0x80, 0x80, 0x80));
    EXPECT_EQ(image.pixelColor(200, 264), QColor(0x80, 0x80, 0x80));
    EXPECT_EQ(image.pixelColor(377, 264), QColor(0x80, 0x80, 0x80));
    EXPECT_EQ(image.pixelColor(200, 265), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(200, 266), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(378, 265), QColor(Qt::white));
    EXPECT_NE(image.pixelColor(5, 264), QColor(0x80, 0x80, 0x80));
    EXPECT_NE(image.pixelColor(378, 264), QColor(0x80, 0x80, 0x80));
    EXPECT_NE(image.pixelColor(200, 263), QColor(0x80, 0x80, 0x80));
}

TEST(AboutBox, OpensCentredOverItsWindow) {
    QWidget window;
    window.setGeometry(100, 80, 600, 500);
    window.show();
    QPoint boxcentre;
    WhenModalShows(IsAboutBox, [&](QWidget* box) {
        boxcentre = box->frameGeometry().center();
        QTest::keyClick(box, Qt::Key_Escape);
    });
    frmAbout::ShowModal(&window);
    const QPoint windowcentre = window.frameGeometry().center();
    EXPECT_LE(std::abs(boxcentre.x() - windowcentre.x()), 1);
    EXPECT_LE(std::abs(boxcentre.y() - windowcentre.y()), 1);
}

}  // namespace
}  // namespace korbelt
