// How the window keeps up with a fast repair: repaints held back to one per interval (none of
// them lost), and yields that let the window catch up at most every few milliseconds, the
// first one at once.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <thread>

#include "FakeHost.h"
#include "settings/OptionsDisplay.h"
#include "ui/PaintThrottle.h"
#include "ui/WindowAdapters.h"

namespace korbelt {
namespace {

class PaintCounter : public QWidget {
  public:
    using QWidget::QWidget;
    int paints = 0;

  protected:
    void paintEvent(QPaintEvent*) override { ++paints; }
};

class PaintThrottleTest : public ::testing::Test {
  protected:
    PaintThrottleTest() : counter(new PaintCounter(&window)) {
        window.resize(200, 100);
        counter->setGeometry(10, 10, 100, 50);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        QApplication::processEvents();
    }
    int PaintsAfter(const std::function<void()>& action) {
        const int before = counter->paints;
        action();
        return counter->paints - before;
    }

    QWidget window;
    PaintCounter* counter;
};

TEST_F(PaintThrottleTest, UnarmedEveryRepaintPaints) {
    PaintThrottle throttle(&window);
    EXPECT_EQ(PaintsAfter([&] {
                  for (int i = 0; i < 5; ++i) {
                      counter->repaint();
                  }
              }),
              5);
}

TEST_F(PaintThrottleTest, ArmedOneRepaintPerIntervalAndTheHeldBackOneAfterDisarming) {
    PaintThrottle throttle(&window, 60'000);
    throttle.Arm();
    EXPECT_EQ(PaintsAfter([&] { counter->repaint(); }), 1);
    EXPECT_EQ(PaintsAfter([&] {
                  for (int i = 0; i < 20; ++i) {
                      counter->repaint();
                      counter->update();
                      QApplication::processEvents();
                  }
              }),
              0);
    // What was held back is painted once, not lost.
    EXPECT_EQ(PaintsAfter([&] {
                  throttle.Disarm();
                  QApplication::processEvents();
              }),
              1);
    EXPECT_FALSE(throttle.Armed());
    EXPECT_EQ(PaintsAfter([&] { counter->repaint(); }), 1);
}

TEST_F(PaintThrottleTest, HeldBackRepaintArrivesOnceTheIntervalIsOverWhileStillArmed) {
    PaintThrottle throttle(&window, 30);
    throttle.Arm();
    counter->repaint();
    const int before = counter->paints;
    counter->update();
    QApplication::processEvents();
    EXPECT_TRUE(QTest::qWaitFor([&] { return counter->paints > before; }, 5000));
    EXPECT_TRUE(throttle.Armed());
}

TEST_F(PaintThrottleTest, DisarmingWithNothingHeldBackPaintsNothing) {
    PaintThrottle throttle(&window, 60'000);
    throttle.Arm();
    EXPECT_EQ(PaintsAfter([&] {
                  throttle.Disarm();
                  QApplication::processEvents();
              }),
              0);
}

// The window's side of the engine's yield.
class WindowYield : public ::testing::Test {
  protected:
    WindowYield()
        : host({&window, new QPushButton(&window), new QPushButton(&window),
                new QPushButton(&window), new QProgressBar(&window), nullptr},
               status, boxes, globals, marks) {}

    // Something the window has to handle: it runs when pending events are processed.
    void Post() {
        QMetaObject::invokeMethod(
            &window, [this] { ++handled; }, Qt::QueuedConnection);
    }

    QMainWindow window;
    test::FakeStatusList status;
    test::ScriptedBoxes boxes;
    ModGlobals globals;
    OptionMarks marks;
    WindowHost host;
    int handled = 0;
};

TEST_F(WindowYield, FirstYieldHandlesWhatIsPending) {
    Post();
    host.YieldToUi();
    EXPECT_EQ(handled, 1);
}

TEST_F(WindowYield, YieldsInQuickSuccessionCatchUpOnceTheIntervalIsOver) {
    QElapsedTimer clock;
    clock.start();
    host.YieldToUi();
    Post();
    host.YieldToUi();
    const int handledAtOnce = handled;
    const bool quick = clock.elapsed() < 5;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    host.YieldToUi();
    EXPECT_EQ(handled, 1);
    if (!quick) {
        GTEST_SKIP() << "the machine stalled between two yields; the hold-back was not tested";
    }
    EXPECT_EQ(handledAtOnce, 0);
}

}  // namespace
}  // namespace korbelt
