#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <deque>
#include <string>
#include <vector>

#include "ports/MessageBoxes.h"

namespace korbelt {

// The window's message boxes: real, modal QMessageBoxes under the application title.
//
// Tests can answer boxes in advance with SetNextAnswer: a box with an answer waiting is
// built exactly as it would be shown but is not opened. Every box, answered in advance or
// by the user, is recorded as it was built.
class QtMessageBoxes : public MessageBoxes {
  public:
    struct ShownBox {
        QString title;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultbutton;
        QString text;
    };

    // Boxes open over the modal dialog in front, else over parent.
    explicit QtMessageBoxes(QWidget* parent = nullptr);

    void SetParent(QWidget* parent) { owner = parent; }

    void Warning(const std::string& text) override;
    void Notice(const std::string& text) override;
    bool Question(QuestionKind kind, const std::string& text) override;

    // Closes the box that is open, if one is, as if No (or OK) had been pressed.
    void CloseOpenBox();

    void SetNextAnswer(QMessageBox::StandardButton answer) { answers.push_back(answer); }
    int PendingAnswers() const { return static_cast<int>(answers.size()); }
    const std::vector<ShownBox>& Shown() const { return shown; }

    // CR LF (and a lone CR or LF) becomes the one line break a QLabel knows.
    static QString BoxText(const std::string& text);

    // What a title bar needs for the title in the desktop's bold title font, with its icon
    // and buttons; a box is never narrower.
    static int TitleWidth(const QString& title);
    static constexpr int kTitleBarControls = 120;

  private:
    QMessageBox::StandardButton Show(QMessageBox::Icon icon, QMessageBox::StandardButtons buttons,
                                     QMessageBox::StandardButton defaultbutton,
                                     const std::string& text);
    QMessageBox::StandardButton Answer(QMessageBox& box);
    static void MakeRoomForTitle(QMessageBox& box);

    QPointer<QWidget> owner;
    QPointer<QMessageBox> open_;
    std::deque<QMessageBox::StandardButton> answers;
    std::vector<ShownBox> shown;
};

}  // namespace korbelt
