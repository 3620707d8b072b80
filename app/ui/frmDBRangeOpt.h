#pragma once

#include <QDialog>

#include "ui/DBRangeForm.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace korbelt {

// The dialog that picks the duplicate-bytes range. A thin window over DBRangeForm, which
// holds the rules; this class only mirrors the form's state in the controls.
class frmDBRangeOpt : public QDialog {
    Q_OBJECT
  public:
    frmDBRangeOpt(ModGlobals& globals, MessageBoxes& boxes, QWidget* parent = nullptr);

    // Builds and loads the dialog, shows it modally and discards it when it closes, however
    // it was closed. The caller then rebuilds whatever shows the range in force.
    static int ShowModal(ModGlobals& globals, MessageBoxes& boxes, QWidget* parent);

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void BuildControls();
    void BuildTexts();
    void BuildLists();
    void BuildButtons();
    void SetTabOrder();
    void Form_Load();
    void CentreOnScreen();
    void ShowForm();

    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdApply_Click();
    void cmdDefaults_Click();

    DBRangeForm form;
    QComboBox* cmbRangeStart = nullptr;
    QComboBox* cmbRangeEnd = nullptr;
    QLabel* labCurrentRange = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;
    QPushButton* cmdApply = nullptr;
    QPushButton* cmdDefaults = nullptr;
};

}  // namespace korbelt
