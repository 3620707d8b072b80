#pragma once

#include <QListWidgetItem>
#include <cstdint>
#include <memory>
#include <string>

namespace korbelt {

// A line of the status list that keeps its text as the bytes it was given: some fifty bytes
// for a find's line, where the item's own text (a QString in a QVariant in a list) takes
// four times as much, so that the millions of lines of a file with millions of finds stay
// lines of the list. A text set later, as when a line is rewritten, is kept as any item
// keeps it.
class StatusLine : public QListWidgetItem {
  public:
    explicit StatusLine(const std::string& text);

    QVariant data(int role) const override;
    void setData(int role, const QVariant& value) override;

  private:
    std::unique_ptr<char[]> bytes_;  // nullptr once a text is set
    std::uint32_t length_ = 0;
};

}  // namespace korbelt
