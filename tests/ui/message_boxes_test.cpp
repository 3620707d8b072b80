#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "ModalDriver.h"
#include "ui/QtMessageBoxes.h"

namespace korbelt {
namespace {

using test::WhenModalShows;

const QString kTitle = QStringLiteral("Korbelt Tamsel Extra Byte Utility");

bool IsMessageBox(QWidget* widget) {
    return qobject_cast<QMessageBox*>(widget) != nullptr;
}

TEST(QtMessageBoxes, WarningHasTheExclamationIconAndOK) {
    QtMessageBoxes boxes;
    boxes.SetNextAnswer(QMessageBox::Ok);
    boxes.Warning("Range End must be larger than Range Start");
    ASSERT_EQ(boxes.Shown().size(), 1u);
    const auto& box = boxes.Shown()[0];
    EXPECT_EQ(box.title, kTitle);
    EXPECT_EQ(box.icon, QMessageBox::Warning);
    EXPECT_EQ(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(box.defaultbutton, QMessageBox::Ok);
    EXPECT_EQ(box.text, QStringLiteral("Range End must be larger than Range Start"));
    EXPECT_EQ(boxes.PendingAnswers(), 0);
}

TEST(QtMessageBoxes, NoticeHasNoIconAndOK) {
    QtMessageBoxes boxes;
    boxes.SetNextAnswer(QMessageBox::Ok);
    boxes.Notice("All done");
    ASSERT_EQ(boxes.Shown().size(), 1u);
    const auto& box = boxes.Shown()[0];
    EXPECT_EQ(box.title, kTitle);
    EXPECT_EQ(box.icon, QMessageBox::NoIcon);
    EXPECT_EQ(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(box.text, QStringLiteral("All done"));
}

TEST(QtMessageBoxes, QuestionHasNoIconAndYesNoWithYesTheDefault) {
    QtMessageBoxes boxes;
    boxes.SetNextAnswer(QMessageBox::Yes);
    boxes.SetNextAnswer(QMessageBox::No);
    EXPECT_TRUE(boxes.Question(QuestionKind::AbortProcessing, "Abort Processing?"));
    EXPECT_FALSE(boxes.Question(QuestionKind::ProcessRemainingFiles, "Process remaining files?"));
    ASSERT_EQ(boxes.Shown().size(), 2u);
    for (const auto& box : boxes.Shown()) {
        EXPECT_EQ(box.title, kTitle);
        EXPECT_EQ(box.icon, QMessageBox::NoIcon);
        EXPECT_EQ(box.buttons, QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(box.defaultbutton, QMessageBox::Yes);
    }
    EXPECT_EQ(boxes.Shown()[0].text, QStringLiteral("Abort Processing?"));
    EXPECT_EQ(boxes.Shown()[1].text, QStringLiteral("Process remaining files?"));
}

// A short question's box is as wide as its title needs, so that no title bar cuts it.
TEST(QtMessageBoxes, AShortQuestionsBoxIsWideEnoughForItsTitle) {
    QtMessageBoxes boxes;
    int width = 0;
    WhenModalShows(IsMessageBox, [&](QWidget* box) {
        width = box->width();
        static_cast<QMessageBox*>(box)->button(QMessageBox::No)->click();
    });
    EXPECT_FALSE(boxes.Question(QuestionKind::AbortProcessing, "Abort Processing?"));
    EXPECT_GE(width, QtMessageBoxes::TitleWidth(kTitle));
    EXPECT_GT(QtMessageBoxes::TitleWidth(kTitle), QtMessageBoxes::TitleWidth("Korbelt"));
}

TEST(QtMessageBoxes, AnswersAreUsedInTheOrderQueued) {
    QtMessageBoxes boxes;
    boxes.SetNextAnswer(QMessageBox::No);
    boxes.SetNextAnswer(QMessageBox::Ok);
    boxes.SetNextAnswer(QMessageBox::Yes);
    EXPECT_FALSE(boxes.Question(QuestionKind::RemoveRepeatedByte, "first"));
    boxes.Warning("second");
    EXPECT_TRUE(boxes.Question(QuestionKind::RemoveRepeatedByte, "third"));
    EXPECT_EQ(boxes.PendingAnswers(), 0);
    EXPECT_EQ(boxes.Shown().size(), 3u);
}

TEST(QtMessageBoxes, CarriageReturnLineFeedBecomesALineBreak) {
    EXPECT_EQ(QtMessageBoxes::BoxText("one\r\ntwo"), QStringLiteral("one\ntwo"));
    EXPECT_EQ(QtMessageBoxes::BoxText("a\r\n\r\nb"), QStringLiteral("a\n\nb"));
    EXPECT_EQ(QtMessageBoxes::BoxText("lone\rcr"), QStringLiteral("lone\ncr"));
    EXPECT_EQ(QtMessageBoxes::BoxText("plain"), QStringLiteral("plain"));
    EXPECT_EQ(QtMessageBoxes::BoxText(""), QString());

    QtMessageBoxes boxes;
    boxes.SetNextAnswer(QMessageBox::Yes);
    boxes.Question(QuestionKind::RemoveRepeatedByte, "Duplicate byte found\r\nRemove it?");
    EXPECT_EQ(boxes.Shown()[0].text, QStringLiteral("Duplicate byte found\nRemove it?"));
}

TEST(QtMessageBoxes, TextsAreUtf8) {
    EXPECT_EQ(QtMessageBoxes::BoxText("caf\xc3\xa9.avi"), QString::fromUtf8("caf\xc3\xa9.avi"));
}

TEST(QtMessageBoxesReal, AQuestionOpensAndIsAnsweredByItsButton) {
    QtMessageBoxes boxes;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::Critical;
    Qt::TextFormat format = Qt::RichText;
    WhenModalShows(IsMessageBox, [&](QWidget* widget) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        format = box->textFormat();
        EXPECT_EQ(box->standardButton(box->defaultButton()), QMessageBox::Yes);
        QTest::mouseClick(box->button(QMessageBox::No), Qt::LeftButton);
    });
    EXPECT_FALSE(
        boxes.Question(QuestionKind::RemoveRepeatedByte, "Remove <b> & keep?\r\nSecond line"));
    EXPECT_EQ(title, kTitle);
    EXPECT_EQ(text, QStringLiteral("Remove <b> & keep?\nSecond line"));
    EXPECT_EQ(icon, QMessageBox::NoIcon);
    EXPECT_EQ(format, Qt::PlainText);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(QtMessageBoxesReal, EnterAnswersAQuestionYes) {
    QtMessageBoxes boxes;
    WhenModalShows(IsMessageBox, [](QWidget* box) { QTest::keyClick(box, Qt::Key_Return); });
    EXPECT_TRUE(boxes.Question(QuestionKind::ProcessRemainingFiles, "Process remaining files?"));
}

TEST(QtMessageBoxesReal, EscapeAnswersAQuestionNo) {
    QtMessageBoxes boxes;
    WhenModalShows(IsMessageBox, [](QWidget* box) { QTest::keyClick(box, Qt::Key_Escape); });
    EXPECT_FALSE(boxes.Question(QuestionKind::AbortProcessing, "Abort Processing?"));
}

TEST(QtMessageBoxesReal, AWarningShowsItsIconAndClosesWithOK) {
    QtMessageBoxes boxes;
    QMessageBox::StandardButtons buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    WhenModalShows(IsMessageBox, [&](QWidget* widget) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        buttons = box->standardButtons();
        icon = box->icon();
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    boxes.Warning("The range must be at least 2 bytes long");
    EXPECT_EQ(icon, QMessageBox::Warning);
    EXPECT_EQ(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].icon, QMessageBox::Warning);
}

TEST(QtMessageBoxesReal, ABoxOpensOverTheModalDialogInFront) {
    QWidget window;
    QtMessageBoxes boxes(&window);
    QDialog dialog(&window);
    QWidget* boxparent = nullptr;
    WhenModalShows([&](QWidget* widget) { return widget == &dialog; },
                   [&](QWidget*) {
                       WhenModalShows(IsMessageBox, [&](QWidget* box) {
                           boxparent = box->parentWidget();
                           QTest::keyClick(box, Qt::Key_Return);
                       });
                       boxes.Notice("over the dialog");
                       dialog.reject();
                   });
    dialog.exec();
    EXPECT_EQ(boxparent, &dialog);
}

TEST(QtMessageBoxesReal, WithoutAModalDialogABoxOpensOverItsWindow) {
    QWidget window;
    QtMessageBoxes boxes(&window);
    QWidget* boxparent = nullptr;
    WhenModalShows(IsMessageBox, [&](QWidget* box) {
        boxparent = box->parentWidget();
        QTest::keyClick(box, Qt::Key_Return);
    });
    boxes.Notice("over the window");
    EXPECT_EQ(boxparent, &window);
}

}  // namespace
}  // namespace korbelt
