#include "ui/QtStatusList.h"

#include <QFile>

#include "ui/StatusListWidget.h"

namespace korbelt {

QString ToQt(const std::string& text) {
    return QFile::decodeName(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
}

std::string FromQt(const QString& text) {
    const QByteArray bytes = QFile::encodeName(text);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QtStatusList::QtStatusList(StatusListWidget* list) : list_(list) {}

int QtStatusList::AppendLine(const std::string& text) {
    return list_->Lines().Append(text);
}

void QtStatusList::SetLine(int index, const std::string& text) {
    list_->Lines().Set(index, text);
}

void QtStatusList::RemoveLine(int index) {
    list_->Lines().Remove(index);
}

int QtStatusList::LineCount() const {
    return list_->count();
}

std::string QtStatusList::Line(int index) const {
    return list_->Lines().Line(index);
}

void QtStatusList::SelectLine(int index) {
    list_->setCurrentIndex(list_->Lines().index(index));
}

void QtStatusList::SetTopLine(int index) {
    const QModelIndex line = list_->Lines().index(index);
    if (line.isValid()) {
        list_->scrollTo(line, QAbstractItemView::PositionAtTop);
    }
}

void QtStatusList::Clear() {
    list_->Lines().Clear();
}

}  // namespace korbelt
