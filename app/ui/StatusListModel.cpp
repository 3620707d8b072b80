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

namespace {

// Characters of UTF-8 text: every byte but those that continue a character.
int Characters(const std::string& text) {
    int count = 0;
    for (const char c : text) {
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    }
    return count;
}

}  // namespace

void StatusListModel::Measure(int row, const std::string& text) {
    // No line has more characters than bytes: most are never counted.
    if (static_cast<int>(text.size()) <= longestLength_) {
        return;
    }
    if (const int length = Characters(text); length > longestLength_) {
        longestLength_ = length;
        longestRow_ = row;
    }
}

int StatusListModel::Append(const std::string& text) {
    const int row = lines_.Size();
    Measure(row, text);
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
    Measure(row, text);
    const QModelIndex at = index(row);
    emit dataChanged(at, at, {Qt::DisplayRole});
}

void StatusListModel::Remove(int row) {
    if (row < 0 || row >= lines_.Size()) {
        return;
    }
    // The list stays as wide as it was: it is wide enough.
    longestRow_ = row == longestRow_ ? -1 : longestRow_ - (row < longestRow_ ? 1 : 0);
    beginRemoveRows(QModelIndex(), row, row);
    lines_.Remove(row);
    endRemoveRows();
}

void StatusListModel::Clear() {
    beginResetModel();
    lines_.Clear();
    longestRow_ = -1;
    longestLength_ = 0;
    endResetModel();
}

}  // namespace korbelt
