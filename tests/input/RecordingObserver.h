#pragma once

#include <string>
#include <vector>

#include "input/InputList.h"

namespace korbelt::test {

// Writes down every notice of the input list as one short line, in order.
class RecordingObserver : public InputListObserver {
  public:
    void EntryAdded(int index, const std::string& text) override {
        Note("added " + std::to_string(index) + " " + text);
    }
    void EntryRemoved(int index) override { Note("removed " + std::to_string(index)); }
    void SelectionChanged(int index, bool selected) override {
        Note((selected ? "selected " : "deselected ") + std::to_string(index));
    }
    void CurrentChanged(int index) override { Note("current " + std::to_string(index)); }
    void Cleared() override { Note("cleared"); }
    void ScrollRequested(int index) override { Note("scroll " + std::to_string(index)); }

    std::vector<std::string> notes;

  private:
    void Note(const std::string& note) { notes.push_back(note); }
};

}  // namespace korbelt::test
