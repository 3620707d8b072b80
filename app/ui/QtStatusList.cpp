#include "ui/QtStatusList.h"

#include <QFile>
#include <QListWidget>

#include "ui/StatusLine.h"
#include "ui/StatusListWidget.h"

namespace korbelt {

QString ToQt(const std::string& text) {
    return QFile::decodeName(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
}

std::string FromQt(const QString& text) {
    const QByteArray bytes = QFile::encodeName(text);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QtStatusList::QtStatusList(QListWidget* list)
    : list_(list), laidOutLater_(qobject_cast<StatusListWidget*>(list)) {}

int QtStatusList::AppendLine(const std::string& text) {
    list_->addItem(new StatusLine(text));
    return list_->count() - 1;
}

void QtStatusList::CatchUp() {
    if (laidOutLater_ != nullptr) {
        laidOutLater_->CatchUp();
    }
}

void QtStatusList::SetLine(int index, const std::string& text) {
    if (QListWidgetItem* item = list_->item(index)) {
        item->setText(ToQt(text));
    }
}

void QtStatusList::RemoveLine(int index) {
    delete list_->takeItem(index);
}

int QtStatusList::LineCount() const {
    return list_->count();
}

std::string QtStatusList::Line(int index) const {
    const QListWidgetItem* item = list_->item(index);
    return item != nullptr ? FromQt(item->text()) : std::string();
}

void QtStatusList::SelectLine(int index) {
    CatchUp();
    list_->setCurrentRow(index);
}

void QtStatusList::SetTopLine(int index) {
    CatchUp();
    if (QListWidgetItem* item = list_->item(index)) {
        list_->scrollToItem(item, QAbstractItemView::PositionAtTop);
    }
}

void QtStatusList::Clear() {
    list_->clear();
}

}  // namespace korbelt
