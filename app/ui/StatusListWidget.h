#pragma once

#include <QListWidget>

namespace korbelt {

// The status list List1. A line too long for the list shows whole in a tooltip while the
// pointer rests on it.
class StatusListWidget : public QListWidget {
    Q_OBJECT
  public:
    explicit StatusListWidget(QWidget* parent = nullptr) : QListWidget(parent) {}

  protected:
    bool viewportEvent(QEvent* event) override;

  private:
    bool IsCut(const QListWidgetItem* line) const;
};

}  // namespace korbelt
