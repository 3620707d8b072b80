#pragma once

#include <QString>
#include <QWidget>
#include <functional>

#include <gtest/gtest.h>

namespace korbelt::test {

// Acts on the next modal window that matches, once it is on screen: the way a test answers
// a box or dialog that a call under test opens with exec(). Gives up after a few seconds,
// failing the test and closing every modal window so the test cannot hang.
void WhenModalShows(std::function<bool(QWidget*)> matches, std::function<void(QWidget*)> act);

// The named child, failing the test when there is none.
template <class T>
T* Child(const QWidget* parent, const char* name) {
    T* child = parent->findChild<T*>(QString::fromLatin1(name));
    if (child == nullptr) {
        ADD_FAILURE() << "no control named " << name;
    }
    return child;
}

// Whether the text, wrapped at the label's width in the label's font, fits its height.
bool FitsItsLabel(const QWidget* label);

// The lines the text breaks into at the given width and font.
QStringList WrappedLines(const QString& text, const QFont& font, int width);

}  // namespace korbelt::test
