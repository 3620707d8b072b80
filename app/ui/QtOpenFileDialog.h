#pragma once

#include <QFileDialog>

#include "input/OpenFileDialog.h"

namespace korbelt {

// Qt's open-file dialog for the file chooser: several files at once, the chooser's file
// types, and a typed name that names nothing is handed back rather than refused.
class ChooserDialog : public QFileDialog {
    Q_OBJECT
  public:
    ChooserDialog(QWidget* parent, const OpenDialogSettings& settings);

    // 1-based index of the file type shown.
    int FilterIndex() const;

  public slots:
    void accept() override;
};

class QtOpenFileDialog : public OpenFileDialog {
  public:
    explicit QtOpenFileDialog(QWidget* parent) : parent_(parent) {}

    std::optional<OpenDialogChoice> Run(const OpenDialogSettings& settings) override;

  private:
    QWidget* parent_;
};

}  // namespace korbelt
