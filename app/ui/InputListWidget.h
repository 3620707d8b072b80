#pragma once

#include <QListWidget>

#include "input/InputList.h"
#include "input/InputListCommands.h"
#include "run/EntryOutcome.h"

namespace korbelt {

// lstInputFiles: shows the input list model, marks as highlighted rows. A click toggles the
// clicked entry's mark and makes it current; the current entry moves without touching any
// mark. Files and folders dropped from a file manager are added, as copies only.
class InputListWidget : public QListWidget, private InputListObserver {
    Q_OBJECT
  public:
    InputListWidget(InputList& model, InputListCommands& commands, QWidget* parent = nullptr);
    ~InputListWidget() override;

    // The item data role that holds an entry's OutcomeMark, as an int, once it is done.
    static constexpr int kOutcomeRole = Qt::UserRole + 1;

    // While a run walks the list, nothing may be dropped on it.
    void SetDropsAccepted(bool accepted) { dropsAccepted_ = accepted; }

    // What came of the entry in the last run that processed it: an icon and a tooltip beside
    // its text, which stays as it is.
    void ShowOutcome(int index, OutcomeMark mark, const QString& note);
    void ClearOutcome(int index);

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void EntryAdded(int index, const std::string& text) override;
    void EntryRemoved(int index) override;
    void SelectionChanged(int index, bool selected) override;
    void CurrentChanged(int index) override;
    void Cleared() override;
    void ScrollRequested(int index) override;

    bool AcceptsDrag(QDropEvent* event) const;
    void ShowMark(int index, bool selected);

    InputList& model_;
    InputListCommands& commands_;
    bool dropsAccepted_ = true;
    int pressedRow_ = -1;
};

}  // namespace korbelt
