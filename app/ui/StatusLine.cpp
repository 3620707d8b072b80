#include "ui/StatusLine.h"

#include <QFile>
#include <algorithm>
#include <limits>

namespace korbelt {
namespace {

bool IsText(int role) {
    return role == Qt::DisplayRole || role == Qt::EditRole;
}

}  // namespace

StatusLine::StatusLine(const std::string& text)
    : length_(static_cast<std::uint32_t>(
          std::min<std::size_t>(text.size(), std::numeric_limits<std::uint32_t>::max()))) {
    bytes_ = std::make_unique<char[]>(length_);
    std::copy_n(text.data(), length_, bytes_.get());
}

QVariant StatusLine::data(int role) const {
    if (IsText(role) && bytes_ != nullptr) {
        // Decoded as the list's other lines are (ToQt), each time it is shown or read.
        return QFile::decodeName(
            QByteArray::fromRawData(bytes_.get(), static_cast<qsizetype>(length_)));
    }
    return QListWidgetItem::data(role);
}

void StatusLine::setData(int role, const QVariant& value) {
    if (IsText(role)) {
        bytes_.reset();
        length_ = 0;
    }
    QListWidgetItem::setData(role, value);
}

}  // namespace korbelt
