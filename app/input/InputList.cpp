#include "input/InputList.h"

#include <algorithm>
#include <stdexcept>

namespace korbelt {

const InputList::Entry& InputList::At(int index) const {
    if (index < 0 || index >= Count()) {
        throw std::out_of_range("input list index " + std::to_string(index) + " outside 0.." +
                                std::to_string(Count() - 1));
    }
    return entries_[static_cast<std::size_t>(index)];
}

InputList::Entry& InputList::At(int index) {
    return const_cast<Entry&>(static_cast<const InputList&>(*this).At(index));
}

const std::string& InputList::Text(int index) const {
    return At(index).text;
}

bool InputList::Selected(int index) const {
    return At(index).selected;
}

void InputList::SetSelected(int index, bool selected) {
    Entry& entry = At(index);
    if (entry.selected == selected) {
        return;
    }
    entry.selected = selected;
    if (observer_ != nullptr) {
        observer_->SelectionChanged(index, selected);
    }
}

void InputList::Toggle(int index) {
    SetSelected(index, !Selected(index));
}

int InputList::SelectedCount() const {
    return static_cast<int>(std::count_if(entries_.begin(), entries_.end(),
                                          [](const Entry& entry) { return entry.selected; }));
}

void InputList::SetCurrent(int index) {
    if (index != kNoEntry) {
        At(index);
    }
    if (current_ == index) {
        return;
    }
    current_ = index;
    if (observer_ != nullptr) {
        observer_->CurrentChanged(index);
    }
}

void InputList::Click(int index) {
    SetCurrent(index);
    Toggle(index);
}

void InputList::ScrollToTop(int index) {
    At(index);
    if (observer_ != nullptr) {
        observer_->ScrollRequested(index);
    }
}

bool InputList::Append(const std::string& text) {
    if (IsFull()) {
        return false;
    }
    entries_.push_back({text, true});
    if (observer_ != nullptr) {
        observer_->EntryAdded(Count() - 1, text);
    }
    return true;
}

void InputList::Remove(int index) {
    At(index);
    entries_.erase(entries_.begin() + index);
    if (observer_ != nullptr) {
        observer_->EntryRemoved(index);
    }
    // The current entry stays on the same entry when one above it goes; when it goes
    // itself, there is no current entry until the next click.
    if (current_ == index) {
        SetCurrent(kNoEntry);
    } else if (current_ > index) {
        SetCurrent(current_ - 1);
    }
}

void InputList::Clear() {
    entries_.clear();
    current_ = kNoEntry;
    if (observer_ != nullptr) {
        observer_->Cleared();
    }
}

}  // namespace korbelt
