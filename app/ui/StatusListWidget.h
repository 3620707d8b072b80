#pragma once

#include <QListView>
#include <QTimer>

#include "ui/StatusListModel.h"

namespace korbelt {

// The status list List1, a view of its own StatusListModel. A line too long for the list
// shows whole in a tooltip while the pointer rests on it.
//
// Qt lays out every line of a list again after any line is appended or rewritten, at its
// next round: while a file with millions of finds appends a line a few microseconds apart
// and rewrites its progress line every few records, that would be most of the run, more
// with every line. Past kLaidOutAtOnce lines the list is laid out again only once it has
// grown by half since the last time (lines appended meanwhile are in the list, only not yet
// shown), when appending pauses, and before it is scrolled; a rewritten line, as high as
// any other, is only drawn again.
class StatusListWidget : public QListView {
    Q_OBJECT
  public:
    static constexpr int kLaidOutAtOnce = 10000;
    static constexpr int kIdleMs = 100;

    explicit StatusListWidget(QWidget* parent = nullptr);

    StatusListModel& Lines() { return *lines_; }
    int count() const { return lines_->rowCount(); }

    // Lays out the lines appended since the last layout, if any, before the list is scrolled
    // or a line made current.
    void CatchUp();

  protected:
    bool viewportEvent(QEvent* event) override;
    void reset() override;
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles) override;

  private:
    bool IsCut(const QModelIndex& line) const;
    void CatchUpWhenIdle();

    void LayOutLater();

    StatusListModel* lines_;  // a child of the view
    int unlaid_ = 0;      // lines appended since the last layout
    bool rewritten_ = false;  // a line was rewritten since then: its width may have changed
    int lastTick_ = 0;    // unlaid_ when the idle timer last looked
    QTimer idle_;
};

}  // namespace korbelt
