#include "input/InputListCommands.h"

#include <exception>
#include <utility>

#include "input/InputEntry.h"

namespace korbelt {
namespace {

constexpr const char* kCrLf = "\r\n";

}  // namespace

InputListCommands::InputListCommands(InputList& list, FileSystem& fs, StatusList& status,
                                     MessageBoxes& boxes, std::function<void()> yieldToUi)
    : list_(list), fs_(fs), status_(status), boxes_(boxes), yieldToUi_(std::move(yieldToUi)) {}

void InputListCommands::InformUser(const std::string& text) {
    status_.AppendLine(text);
}

InputListCommands::Added InputListCommands::AddInputFile(const std::string& filename) {
    std::string entry;
    // The file test comes first: a name is a directory entry only when no file answers.
    if (fs_.IsOrdinaryFile(filename)) {
        entry = FileEntry(filename);
    } else if (fs_.IsOrdinaryDirectory(filename)) {
        entry = DirectoryEntry(filename);
    } else {
        InformUser("Invalid File '" + filename + "'");
        return Added::Invalid;
    }
    if (!list_.Append(entry)) {
        InformUser("Input list is full");
        return Added::ListFull;
    }
    return Added::Entry;
}

InputListCommands::DropEffect InputListCommands::lstInputFiles_OLEDragOver(bool offersfilelist,
                                                                           bool offerscopy) {
    return offersfilelist && offerscopy ? DropEffect::Copy : DropEffect::None;
}

void InputListCommands::lstInputFiles_OLEDragDrop(const std::vector<std::string>& filenames) {
    for (const std::string& filename : filenames) {
        // An exception must not reach the toolkit's event loop. A name that cannot even be
        // examined is as unusable as one that names nothing, and the rest of the drop may
        // still be good.
        try {
            AddInputFile(filename);
        } catch (const std::exception&) {
            InformUser("Invalid File '" + filename + "'");
        }
    }
}

void InputListCommands::lstInputFiles_DblClick() {
    if (list_.Current() == InputList::kNoEntry) {
        return;
    }
    // The first click of the double click has flipped the mark already; flipping it back
    // leaves the selection as it was before.
    list_.Toggle(list_.Current());
    if (yieldToUi_) {
        yieldToUi_();
    }
    // The events that just ran may have emptied the list.
    const int current = list_.Current();
    if (current == InputList::kNoEntry) {
        return;
    }
    const std::string& text = list_.Text(current);
    const std::string kind = IsFileEntry(text) ? "Current File is " : "Current Directory is ";
    boxes_.Notice(kind + kCrLf + EntryPath(text));
}

void InputListCommands::cmdTidy_Click() {
    if (!boxes_.Question(QuestionKind::RemoveDeselected,
                         "Remove deselected files and directories from the input list?")) {
        return;
    }
    for (int index = list_.Count() - 1; index >= 0; --index) {
        if (!list_.Selected(index)) {
            list_.Remove(index);
        }
    }
}

void InputListCommands::cmdClear_Click() {
    if (boxes_.Question(QuestionKind::ClearList, "Clear the input files and directories list?")) {
        list_.Clear();
    }
}

}  // namespace korbelt
