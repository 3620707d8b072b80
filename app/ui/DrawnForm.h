#pragma once

#include <QPointer>
#include <QRect>
#include <QWidget>
#include <vector>

namespace korbelt {

// A form whose controls sit where they were drawn while it has its drawn size, and which
// shares out any size it is given beyond that: each control moves and grows by fixed
// fractions of the extra width and height. It never gets smaller than drawn.
class DrawnForm : public QWidget {
    Q_OBJECT
  public:
    // Fractions of the extra width (x) and height (y).
    struct Share {
        double moveX = 0;
        double moveY = 0;
        double growX = 0;
        double growY = 0;
    };

    DrawnForm(QSize drawn, QWidget* parent = nullptr);

    // The control's rectangle is relative to its own parent, which may be a frame inside the
    // form.
    void Place(QWidget* control, QRect drawn, Share share);

    QSize sizeHint() const override { return drawn_; }
    QSize minimumSizeHint() const override { return drawn_; }

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    struct Placed {
        QPointer<QWidget> control;
        QRect drawn;
        Share share;
    };

    void Apply(const Placed& placed) const;

    QSize drawn_;
    std::vector<Placed> placed_;
};

}  // namespace korbelt
