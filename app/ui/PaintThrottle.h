#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QWidget;

namespace korbelt {

// Limits how often a top-level window repaints while a repair runs.
//
// The repair yields to the window every few records, hundreds of times a second on a fast
// disk; redrawing the status list and the progress bar at every yield cost the window ten
// times what the repair itself costs. While armed, the throttle lets one repaint through per
// interval and holds back the rest: whatever they would have drawn stays marked for
// repainting, and one repaint is asked for once the interval is over, so the window always
// ends up showing its latest state. Input is never held back: a click on Stop is handled at
// the next yield as before.
class PaintThrottle : public QObject {
    Q_OBJECT

  public:
    static constexpr int kIntervalMs = 40;

    explicit PaintThrottle(QWidget* window, int intervalMs = kIntervalMs);

    void Arm();
    // Stops holding back and asks for the repaint that is still owed, if any.
    void Disarm();
    bool Armed() const { return armed_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void RequestRepaint();

    QPointer<QWidget> window_;
    int intervalMs_;
    bool armed_ = false;
    bool owed_ = false;
    QElapsedTimer sincePaint_;
    QTimer retry_;
};

}  // namespace korbelt
