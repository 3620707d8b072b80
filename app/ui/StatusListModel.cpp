#include "ui/StatusListModel.h"

#include "ui/QtStatusList.h"

namespace korbelt {

int StatusListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : lines_.Size();
}

QVariant StatusListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole)) {
        return {};
    }
    return ToQt(lines_.Text(index.row()));
}

int StatusListModel::Append(const std::string& text) {
    const int row = lines_.Size();
    beginInsertRows(QModelIndex(), row, row);
    lines_.Append(text);
    endInsertRows();
    return row;
}

void StatusListModel::Set(int row, const std::string& text) {
    if (row < 0 || row >= lines_.Size()) {
        return;
    }
    lines_.Set(row, text);
    const QModelIndex at = index(row);
    emit dataChanged(at, at, {Qt::DisplayRole});
}

void StatusListModel::Remove(int row) {
    if (row < 0 || row >= lines_.Size()) {
        return;
    }
    beginRemoveRows(QModelIndex(), row, row);
    lines_.Remove(row);
    endRemoveRows();
}

void StatusListModel::Clear() {
    beginResetModel();
    lines_.Clear();
    endResetModel();
}

}  // namespace korbelt
