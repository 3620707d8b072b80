#include "FakeHost.h"

#include <gtest/gtest.h>

namespace korbelt::test {

int FakeStatusList::AppendLine(const std::string& text) {
    lines.push_back(text);
    return static_cast<int>(lines.size()) - 1;
}

void FakeStatusList::SetLine(int index, const std::string& text) {
    if (index < 0 || index >= LineCount()) {
        ADD_FAILURE() << "SetLine(" << index << ") outside the list";
        return;
    }
    lines[static_cast<std::size_t>(index)] = text;
}

void FakeStatusList::RemoveLine(int index) {
    if (index < 0 || index >= LineCount()) {
        ADD_FAILURE() << "RemoveLine(" << index << ") outside the list";
        return;
    }
    lines.erase(lines.begin() + index);
}

std::string FakeStatusList::Line(int index) const {
    return index >= 0 && index < LineCount() ? lines[static_cast<std::size_t>(index)] : "";
}

void ScriptedBoxes::Warning(const std::string& text) {
    shown.push_back({Kind::Warning, text});
}

void ScriptedBoxes::Notice(const std::string& text) {
    shown.push_back({Kind::Notice, text});
}

bool ScriptedBoxes::Question(QuestionKind kind, const std::string& text) {
    shown.push_back({Kind::Question, text, kind});
    if (answers.empty()) {
        ADD_FAILURE() << "unexpected question: " << text;
        return false;
    }
    const bool yes = answers.front();
    answers.pop_front();
    return yes;
}

std::vector<std::string> ScriptedBoxes::Texts(Kind kind) const {
    std::vector<std::string> texts;
    for (const auto& box : shown) {
        if (box.kind == kind) {
            texts.push_back(box.text);
        }
    }
    return texts;
}

void FakeHost::YieldToUi() {
    ++yields;
    if (onYield) {
        onYield(yields);
    }
}

}  // namespace korbelt::test
