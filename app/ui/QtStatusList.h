#pragma once

#include <QString>

#include "ports/StatusList.h"

namespace korbelt {

class StatusListWidget;

// The status list List1: its lines, in the order they came, are the view's model.
class QtStatusList : public StatusList {
  public:
    explicit QtStatusList(StatusListWidget* list);

    int AppendLine(const std::string& text) override;
    void SetLine(int index, const std::string& text) override;
    void RemoveLine(int index) override;
    int LineCount() const override;
    std::string Line(int index) const override;
    void SelectLine(int index) override;
    void SetTopLine(int index) override;
    void Clear() override;

  private:
    StatusListWidget* list_;
};

// Paths and status lines are bytes on Linux; the widgets show them in the locale's encoding.
QString ToQt(const std::string& text);
std::string FromQt(const QString& text);

}  // namespace korbelt
