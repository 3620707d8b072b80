#pragma once

#include <QWidget>

namespace korbelt {

// A sunken horizontal rule: a grey line with a white line two pixels wide just below it.
// Coordinates are in the parent's client area; the widget covers both lines and nothing
// else, and takes no input.
class EtchedRule : public QWidget {
    Q_OBJECT
  public:
    struct Span {
        int left;
        int right;  // inclusive
    };

    EtchedRule(QWidget* parent, int top, Span grey, Span white);

    static QColor Grey() { return QColor(0x80, 0x80, 0x80); }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    Span grey;
    Span white;
};

}  // namespace korbelt
