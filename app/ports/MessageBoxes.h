#pragma once

#include <string>

namespace korbelt {

// What a question asks. Callers and answerers decide by the kind; the text is only what the
// user reads, and may be reworded without changing what any answer does.
enum class QuestionKind {
    AbortProcessing,        // stop the current file?
    ProcessRemainingFiles,  // go on after a file that was not repaired?
    ReplaceBackup,          // delete the old NAME.bak once the file is repaired?
    RemoveRepeatedByte,     // remove this find?
    RemoveWrapper,          // cut out this MIME wrapper?
    RemoveSlippedByte,      // remove a byte that a slice checksum found?
    RemoveDeselected,       // tidy the input list?
    ClearList,              // empty the input list?
};

// A removal of bytes from a file: never answered on the user's behalf.
inline bool IsRemoval(QuestionKind kind) {
    return kind == QuestionKind::RemoveRepeatedByte || kind == QuestionKind::RemoveWrapper ||
           kind == QuestionKind::RemoveSlippedByte;
}

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
    virtual bool Question(QuestionKind kind, const std::string& text) = 0;
};

}  // namespace korbelt
