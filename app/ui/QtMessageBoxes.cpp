#include "ui/QtMessageBoxes.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QPushButton>
#include <QSpacerItem>

#include "settings/Version.h"

namespace korbelt {

QtMessageBoxes::QtMessageBoxes(QWidget* parent) : owner(parent) {}

int QtMessageBoxes::TitleWidth(const QString& title) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::TitleFont);
    font.setBold(true);
    return QFontMetrics(font).horizontalAdvance(title) + kTitleBarControls;
}

// A box as narrow as a short question would have its title cut by the window manager.
void QtMessageBoxes::MakeRoomForTitle(QMessageBox& box) {
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (grid == nullptr) {
        return;
    }
    grid->addItem(
        new QSpacerItem(TitleWidth(box.windowTitle()), 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
        grid->rowCount(), 0, 1, grid->columnCount());
}

QString QtMessageBoxes::BoxText(const std::string& text) {
    QString result = QString::fromStdString(text);
    result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    result.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return result;
}

void QtMessageBoxes::Warning(const std::string& text) {
    Show(QMessageBox::Warning, QMessageBox::Ok, QMessageBox::Ok, text);
}

void QtMessageBoxes::Notice(const std::string& text) {
    Show(QMessageBox::NoIcon, QMessageBox::Ok, QMessageBox::Ok, text);
}

bool QtMessageBoxes::Question(QuestionKind, const std::string& text) {
    return Show(QMessageBox::NoIcon, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes, text) ==
           QMessageBox::Yes;
}

QMessageBox::StandardButton QtMessageBoxes::Show(QMessageBox::Icon icon,
                                                 QMessageBox::StandardButtons buttons,
                                                 QMessageBox::StandardButton defaultbutton,
                                                 const std::string& text) {
    // A warning raised from inside a modal dialog belongs over that dialog.
    QWidget* modal = QApplication::activeModalWidget();
    QMessageBox box(icon, QString::fromLatin1(Version::kAppTitle), BoxText(text), buttons,
                    modal ? modal : owner.data());
    // File names may hold '<' or '&'; they must show as written.
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(defaultbutton);
    MakeRoomForTitle(box);
    shown.push_back({box.windowTitle(), box.icon(), box.standardButtons(),
                     box.standardButton(box.defaultButton()), box.text()});
    return Answer(box);
}

QMessageBox::StandardButton QtMessageBoxes::Answer(QMessageBox& box) {
    if (!answers.empty()) {
        const QMessageBox::StandardButton answer = answers.front();
        answers.pop_front();
        return answer;
    }
    open_ = &box;
    box.exec();
    open_ = nullptr;
    return box.standardButton(box.clickedButton());
}

void QtMessageBoxes::CloseOpenBox() {
    if (open_ != nullptr) {
        open_->reject();
    }
}

}  // namespace korbelt
