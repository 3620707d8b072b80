#pragma once

#include <QAbstractItemView>

#include "ui/StatusListModel.h"

namespace korbelt {

// The status list List1, a view of its own StatusListModel. A line too long for the list
// shows whole in a tooltip while the pointer rests on it.
//
// Every line is one line of the status font, as high as any other, so a line's place is its
// row times that height: the view keeps nothing for each line and lays nothing out. An
// appended or rewritten line costs the drawing of the lines in sight, however many lines
// the list holds. (Qt's own list view keeps two positions for each line and works them all
// out again as the list grows: with the millions of lines of a file full of finds, that was
// most of the window's memory and of its time.) The list scrolls by whole lines down and by
// pixels across, as wide as its widest line.
class StatusListWidget : public QAbstractItemView {
    Q_OBJECT
  public:
    explicit StatusListWidget(QWidget* parent = nullptr);

    StatusListModel& Lines() { return *lines_; }
    int count() const { return lines_->rowCount(); }

    QRect visualRect(const QModelIndex& index) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    QModelIndex indexAt(const QPoint& point) const override;

  protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    int horizontalOffset() const override;
    int verticalOffset() const override;
    bool isIndexHidden(const QModelIndex& index) const override;
    void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection& selection) const override;
    void updateGeometries() override;
    void scrollContentsBy(int dx, int dy) override;
    void paintEvent(QPaintEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void reset() override;
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles) override;

  private:
    int LineHeight() const;
    int LinesInSight() const;
    int TopRow() const;
    int RowAt(int y) const;
    int Widest() const;
    void UpdateScrollBars() const;
    bool IsCut(const QModelIndex& line) const;

    StatusListModel* lines_;  // a child of the view
    mutable int lineHeight_ = 0;  // 0 until a line is measured
    // The widest line measured so far, in pixels, and how many characters it has: a line is
    // measured only when it has more characters than that, which in the status font's fixed
    // pitch is the only way to be wider.
    mutable int widestPixels_ = 0;
    mutable int widestMeasured_ = 0;
};

}  // namespace korbelt
