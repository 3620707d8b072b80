#pragma once

#include <string>
#include <vector>

namespace korbelt {

// What a view of the input list is told, so that it can mirror the model without owning
// any of its logic. Every notice comes after the model has changed. Marks and the current
// entry are separate: a view must not let the one move the other.
class InputListObserver {
  public:
    virtual ~InputListObserver() = default;

    // A new entry at the end of the list, already selected.
    virtual void EntryAdded(int /*index*/, const std::string& /*text*/) {}
    virtual void EntryRemoved(int /*index*/) {}
    virtual void SelectionChanged(int /*index*/, bool /*selected*/) {}
    // -1: no current entry.
    virtual void CurrentChanged(int /*index*/) {}
    // Every entry is gone, and with them the current entry.
    virtual void Cleared() {}
    // The view should scroll so that this entry is the first one visible.
    virtual void ScrollRequested(int /*index*/) {}
};

// The input files and directories of the next run, in the order they were added. Each
// entry carries its own selected flag; the current (focus) entry is kept apart from them.
// Indexes are 0-based; an index outside the list throws std::out_of_range.
class InputList {
  public:
    // Indexes are 16-bit signed, so no more entries than this.
    static constexpr int kMaxEntries = 32767;
    static constexpr int kNoEntry = -1;

    void SetObserver(InputListObserver* observer) { observer_ = observer; }

    int Count() const { return static_cast<int>(entries_.size()); }
    bool IsFull() const { return Count() >= kMaxEntries; }
    const std::string& Text(int index) const;

    bool Selected(int index) const;
    void SetSelected(int index, bool selected);
    void Toggle(int index);
    int SelectedCount() const;

    // kNoEntry while there is none.
    int Current() const { return current_; }
    // kNoEntry clears it. The selection is left alone.
    void SetCurrent(int index);
    // A user's click: the entry becomes current and its mark flips.
    void Click(int index);
    void ScrollToTop(int index);

    // Appends a selected entry; false, with the list unchanged, when it is full.
    bool Append(const std::string& text);
    void Remove(int index);
    void Clear();

  private:
    struct Entry {
        std::string text;
        bool selected;
    };

    const Entry& At(int index) const;
    Entry& At(int index);

    std::vector<Entry> entries_;
    int current_ = kNoEntry;
    InputListObserver* observer_ = nullptr;
};

}  // namespace korbelt
