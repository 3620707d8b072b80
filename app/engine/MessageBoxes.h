#pragma once

#include <string>

namespace korbelt {

// The one way any part of Korbelt asks the user something or warns them. The window shows
// real message boxes, the command line prints to the terminal, tests script the answers.
// Texts may hold CR LF line breaks; every box carries the application title.
class MessageBoxes {
  public:
    virtual ~MessageBoxes() = default;

    // Exclamation icon, OK button.
    virtual void Warning(const std::string& text) = 0;
    // No icon, OK button.
    virtual void Notice(const std::string& text) = 0;
    // No icon, Yes and No buttons, Yes the default. Returns true for Yes.
    virtual bool Question(const std::string& text) = 0;
};

}  // namespace korbelt
