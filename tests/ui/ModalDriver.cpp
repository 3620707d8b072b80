#include "ModalDriver.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QLabel>
#include <QTextLayout>
#include <QTimer>
#include <memory>

namespace korbelt::test {

namespace {

constexpr int kPollMs = 10;
constexpr int kGiveUpMs = 5000;

void CloseEveryModal() {
    // Bounded, so a window that refuses to go cannot hang the test either.
    for (int tries = 0; tries < 10 && QApplication::activeModalWidget() != nullptr; ++tries) {
        QApplication::activeModalWidget()->hide();
    }
}

}  // namespace

void WhenModalShows(std::function<bool(QWidget*)> matches, std::function<void(QWidget*)> act) {
    auto* timer = new QTimer(qApp);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        QWidget* modal = QApplication::activeModalWidget();
        const bool found = modal != nullptr && modal->isVisible() && matches(modal);
        if (!found && clock->elapsed() <= kGiveUpMs) {
            return;
        }
        timer->stop();
        timer->deleteLater();
        if (found) {
            act(modal);
            return;
        }
        ADD_FAILURE() << "the expected modal window never showed";
        CloseEveryModal();
    });
    timer->start(kPollMs);
}

QStringList WrappedLines(const QString& text, const QFont& font, int width) {
    QStringList lines;
    for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
        QTextLayout layout(paragraph, font);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            lines << paragraph.mid(line.textStart(), line.textLength()).trimmed();
        }
        layout.endLayout();
    }
    return lines;
}

bool FitsItsLabel(const QWidget* widget) {
    const auto* label = qobject_cast<const QLabel*>(widget);
    if (label == nullptr) {
        return false;
    }
    const QRect needed = label->fontMetrics().boundingRect(
        label->contentsRect(), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, label->text());
    return needed.width() <= label->contentsRect().width() &&
           needed.height() <= label->contentsRect().height();
}

}  // namespace korbelt::test
