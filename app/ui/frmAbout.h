#pragma once

#include <QDialog>

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
