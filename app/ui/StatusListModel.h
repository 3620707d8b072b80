#pragma once

#include <QAbstractListModel>
#include <string>

#include "ui/StatusLineStore.h"

namespace korbelt {

// The status list's lines for the view that shows them: read-only to the user, kept in a
// StatusLineStore and decoded to text (in the locale's encoding) only when shown or read.
class StatusListModel : public QAbstractListModel {
    Q_OBJECT
  public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    int Append(const std::string& text);
    void Set(int row, const std::string& text);
    void Remove(int row);
    void Clear();
    std::string Line(int row) const { return lines_.Text(row); }
    // The line with the most characters, appended or rewritten since the list was cleared,
    // and their number: in a fixed-pitch font the widest line (-1: none, or it was removed).
    int LongestRow() const { return longestRow_; }
    int LongestLength() const { return longestLength_; }

  private:
    void Measure(int row, const std::string& text);

    StatusLineStore lines_;
    int longestRow_ = -1;
    int longestLength_ = 0;
};

}  // namespace korbelt
