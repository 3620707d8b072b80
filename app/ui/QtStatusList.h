#pragma once

#include <QString>

#include "ports/StatusList.h"

class QListWidget;

namespace korbelt {

class StatusListWidget;

// The status list List1, shown by a QListWidget whose lines stay in the order they came.
class QtStatusList : public StatusList {
  public:
    explicit QtStatusList(QListWidget* list);

    int AppendLine(const std::string& text) override;
    void SetLine(int index, const std::string& text) override;
    void RemoveLine(int index) override;
    int LineCount() const override;
    std::string Line(int index) const override;
    void SelectLine(int index) override;
    void SetTopLine(int index) override;
    void Clear() override;

  private:
    void CatchUp();

    QListWidget* list_;
    StatusListWidget* laidOutLater_;  // list_, where it lays out long lists later
};

// Paths and status lines are bytes on Linux; the widgets show them in the locale's encoding.
QString ToQt(const std::string& text);
std::string FromQt(const QString& text);

}  // namespace korbelt
