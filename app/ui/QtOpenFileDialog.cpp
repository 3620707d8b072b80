#include "ui/QtOpenFileDialog.h"

#include <QFileInfo>

#include "ui/QtStatusList.h"

namespace korbelt {

ChooserDialog::ChooserDialog(QWidget* parent, const OpenDialogSettings& settings)
    : QFileDialog(parent) {
    setObjectName("CommonDialog1");
    setWindowTitle(tr("Choose Input File(s)"));
    setAcceptMode(QFileDialog::AcceptOpen);
    setFileMode(QFileDialog::ExistingFiles);
    // Qt's own dialog everywhere: the same behaviour on every desktop, and a typed name that
    // does not exist can come back to be reported.
    setOption(QFileDialog::DontUseNativeDialog, true);
    setOption(QFileDialog::HideNameFilterDetails, true);
    QStringList filters;
    for (const FileFilter& filter : settings.filters) {
        filters << ToQt(DialogNameFilter(filter));
    }
    setNameFilters(filters);
    if (settings.filterindex >= 1 && settings.filterindex <= filters.size()) {
        selectNameFilter(filters.at(settings.filterindex - 1));
    }
    // "DIR/*.*" means: open in DIR with every file in view.
    const QString name = ToQt(settings.filename);
    if (name.endsWith("/*.*")) {
        setDirectory(name.left(name.size() - 4));
    } else if (!name.isEmpty()) {
        const QFileInfo info(name);
        setDirectory(info.absolutePath());
        selectFile(info.fileName());
    }
}

int ChooserDialog::FilterIndex() const {
    // With the filter details hidden, the dialog reports the shown text: the description.
    const QString shown = selectedNameFilter();
    const QStringList filters = nameFilters();
    for (int i = 0; i < filters.size(); ++i) {
        if (filters.at(i) == shown || filters.at(i).startsWith(shown + " (")) {
            return i + 1;
        }
    }
    return 0;
}

void ChooserDialog::accept() {
    // Qt refuses names that do not exist; hand them on instead, so that they can be reported.
    const QStringList files = selectedFiles();
    for (const QString& file : files) {
        if (!QFileInfo::exists(file)) {
            QDialog::accept();
            return;
        }
    }
    QFileDialog::accept();
}

std::optional<OpenDialogChoice> QtOpenFileDialog::Run(const OpenDialogSettings& settings) {
    ChooserDialog dialog(parent_, settings);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    OpenDialogChoice choice;
    for (const QString& file : dialog.selectedFiles()) {
        choice.paths.push_back(FromQt(file));
    }
    choice.filterindex = dialog.FilterIndex();
    return choice;
}

}  // namespace korbelt
