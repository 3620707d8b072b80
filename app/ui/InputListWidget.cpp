#include "ui/InputListWidget.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QStyle>
#include <QUrl>

#include "ui/OutcomeIcon.h"
#include "ui/QtStatusList.h"

namespace korbelt {
namespace {

// A drop carries a file list when every URL in it names a local file or folder.
bool OffersFileList(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls() || data->urls().isEmpty()) {
        return false;
    }
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile()) {
            return false;
        }
    }
    return true;
}

// The bytes of the local path that a file URL names. Its percent escapes are decoded here,
// not by QUrl::toLocalFile, which takes them for UTF-8 and would turn the bytes of a name
// that is no UTF-8 into replacement characters.
std::string LocalPathOf(const QUrl& url) {
    return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
}

}  // namespace

InputListWidget::InputListWidget(InputList& model, InputListCommands& commands, QWidget* parent)
    : QListWidget(parent), model_(model), commands_(commands) {
    // The model owns the marks; the view never selects on its own.
    setSelectionMode(QAbstractItemView::NoSelection);
    setAcceptDrops(true);
    setDropIndicatorShown(false);
    setDragDropMode(QAbstractItemView::DropOnly);
    const int icon = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
    setIconSize(QSize(icon, icon));
    model_.SetObserver(this);
    for (int i = 0; i < model_.Count(); ++i) {
        EntryAdded(i, model_.Text(i));
    }
}

InputListWidget::~InputListWidget() {
    model_.SetObserver(nullptr);
}

void InputListWidget::mousePressEvent(QMouseEvent* event) {
    pressedRow_ =
        event->button() == Qt::LeftButton ? indexAt(event->position().toPoint()).row() : -1;
    QListWidget::mousePressEvent(event);
}

void InputListWidget::mouseReleaseEvent(QMouseEvent* event) {
    const int row = indexAt(event->position().toPoint()).row();
    QListWidget::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && row >= 0 && row == pressedRow_) {
        model_.Click(row);
    }
    pressedRow_ = -1;
}

void InputListWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    // The first click of the pair has toggled the entry already; the double-click's own
    // toggle puts it back, so a double-click leaves the mark as it was.
    pressedRow_ = -1;
    if (event->button() == Qt::LeftButton) {
        commands_.lstInputFiles_DblClick();
        return;
    }
    QListWidget::mouseDoubleClickEvent(event);
}

void InputListWidget::keyPressEvent(QKeyEvent* event) {
    // The keyboard moves the current entry; Space toggles its mark like a click.
    if (event->key() == Qt::Key_Space && model_.Current() != InputList::kNoEntry) {
        model_.Toggle(model_.Current());
        return;
    }
    QListWidget::keyPressEvent(event);
    const int row = currentRow();
    if (row >= 0 && row != model_.Current()) {
        model_.SetCurrent(row);
    }
}

bool InputListWidget::AcceptsDrag(QDropEvent* event) const {
    const bool copyOffered = (event->possibleActions() & Qt::CopyAction) != 0;
    return dropsAccepted_ && InputListCommands::lstInputFiles_OLEDragOver(
                                 OffersFileList(event->mimeData()), copyOffered) ==
                                 InputListCommands::DropEffect::Copy;
}

void InputListWidget::dragEnterEvent(QDragEnterEvent* event) {
    if (AcceptsDrag(event)) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void InputListWidget::dragMoveEvent(QDragMoveEvent* event) {
    if (AcceptsDrag(event)) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void InputListWidget::dropEvent(QDropEvent* event) {
    if (!AcceptsDrag(event)) {
        event->ignore();
        return;
    }
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        paths.push_back(LocalPathOf(url));
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    commands_.lstInputFiles_OLEDragDrop(paths);
}

void InputListWidget::EntryAdded(int index, const std::string& text) {
    insertItem(index, ToQt(text));
    ClearOutcome(index);
    ShowMark(index, model_.Selected(index));
}

void InputListWidget::EntryRemoved(int index) {
    delete takeItem(index);
}

void InputListWidget::SelectionChanged(int index, bool selected) {
    ShowMark(index, selected);
}

void InputListWidget::CurrentChanged(int index) {
    if (index < 0) {
        setCurrentRow(-1, QItemSelectionModel::NoUpdate);
        return;
    }
    setCurrentRow(index, QItemSelectionModel::NoUpdate);
}

void InputListWidget::Cleared() {
    clear();
}

void InputListWidget::ScrollRequested(int index) {
    if (QListWidgetItem* entry = item(index)) {
        scrollToItem(entry, QAbstractItemView::PositionAtTop);
    }
}

void InputListWidget::ShowOutcome(int index, OutcomeMark mark, const QString& note) {
    if (QListWidgetItem* entry = item(index)) {
        entry->setIcon(OutcomeIcon(mark, *style()));
        entry->setToolTip(note);
        entry->setData(kOutcomeRole, static_cast<int>(mark));
    }
}

void InputListWidget::ClearOutcome(int index) {
    if (QListWidgetItem* entry = item(index)) {
        entry->setIcon(NoOutcomeIcon(iconSize()));
        entry->setToolTip(QString());
        entry->setData(kOutcomeRole, QVariant());
    }
}

void InputListWidget::ShowMark(int index, bool selected) {
    if (QListWidgetItem* entry = item(index)) {
        selectionModel()->select(indexFromItem(entry), selected ? QItemSelectionModel::Select
                                                                : QItemSelectionModel::Deselect);
    }
}

}  // namespace korbelt
