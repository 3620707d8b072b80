#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;

namespace korbelt {

// The About box: title, version and the user instructions. Built afresh for every showing.
class frmAbout : public QDialog {
    Q_OBJECT
  public:
    explicit frmAbout(QWidget* parent = nullptr);

    // Builds the box over parent, shows it modally and discards it when it closes.
    static void ShowModal(QWidget* parent);

    static QString Caption();      // "About " + the application title
    static QString VersionLine();  // "Version 1.3.2"
    static QString CreditLine();

    static const char* const kTitleText;
    static const char* const kInstruction1;
    static const char* const kInstruction2;
    static const char* const kTemporaryFileNote;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void BuildControls();
    void Form_Load();
    void cmdOK_Click();
    void CentreOverParent();

    QLabel* lblVersion = nullptr;
    QPushButton* cmdOK = nullptr;
};

}  // namespace korbelt
