#include "FakeHost.h"

#ifdef KORBELT_FAKE_HOST_FAILS_TESTS
#include <gtest/gtest.h>
#endif

namespace korbelt::test {

int FakeStatusList::AppendLine(const std::string& text) {
    Log("append " + text);
    lines.push_back(text);
    return static_cast<int>(lines.size()) - 1;
}

void FakeStatusList::SetLine(int index, const std::string& text) {
    Log("set " + std::to_string(index) + " " + text);
    if (Inside(index, "SetLine")) {
        lines[static_cast<std::size_t>(index)] = text;
    }
}

void FakeStatusList::RemoveLine(int index) {
    Log("remove " + std::to_string(index));
    if (Inside(index, "RemoveLine")) {
        lines.erase(lines.begin() + index);
    }
}

std::string FakeStatusList::Line(int index) const {
    return index >= 0 && index < LineCount() ? lines[static_cast<std::size_t>(index)] : "";
}

void FakeStatusList::SelectLine(int index) {
    Log("select " + std::to_string(index));
    if (Inside(index, "SelectLine")) {
        selected = index;
    }
}

void FakeStatusList::SetTopLine(int index) {
    Log("top " + std::to_string(index));
    if (Inside(index, "SetTopLine")) {
        topline = index;
    }
}

void FakeStatusList::Settle(int index) {
    if (Inside(index, "Settle")) {
        settled.push_back(index);
    }
}

bool FakeStatusList::Inside(int index, const char* what) {
    if (index >= 0 && index < LineCount()) {
        return true;
    }
    if (onMisuse) {
        onMisuse(std::string(what) + "(" + std::to_string(index) + ") outside the list");
    }
    return false;
}

void FakeStatusList::Log(const std::string& event) {
    if (log != nullptr) {
        log->push_back(event);
    }
}

void ScriptedBoxes::Warning(const std::string& text) {
    if (log != nullptr) {
        log->push_back("warning " + text);
    }
    shown.push_back({Kind::Warning, text});
}

void ScriptedBoxes::Notice(const std::string& text) {
    if (log != nullptr) {
        log->push_back("notice " + text);
    }
    shown.push_back({Kind::Notice, text});
}

bool ScriptedBoxes::Question(QuestionKind kind, const std::string& text) {
    bool yes = false;
    if (!answers.empty()) {
        yes = answers.front();
        answers.pop_front();
    } else if (answer) {
        yes = answer(kind, text);
    } else if (onMisuse) {
        onMisuse("unexpected question: " + text);
    }
    if (log != nullptr) {
        log->push_back("question " + text + (yes ? " -> yes" : " -> no"));
    }
    shown.push_back({Kind::Question, text, kind, yes});
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

std::vector<ScriptedBoxes::Box> ScriptedBoxes::Questions() const {
    std::vector<Box> questions;
    for (const auto& box : shown) {
        if (box.kind == Kind::Question) {
            questions.push_back(box);
        }
    }
    return questions;
}

FakeHost::FakeHost() {
    const auto misuse = [this](const std::string& what) { Misuse(what); };
    status.onMisuse = misuse;
    boxes.onMisuse = misuse;
}

void FakeHost::SetProgress(int percent) {
    Log("progress " + std::to_string(percent));
    if (percent < 0 || percent > 100) {
        Misuse("progress " + std::to_string(percent));
    }
    progress.push_back(percent);
}

void FakeHost::SetTitle(const std::string& title) {
    Log("title " + title);
    titles.push_back(title);
}

void FakeHost::YieldToUi() {
    Log("yield");
    ++yields;
    if (onYield) {
        onYield(yields);
    }
}

void FakeHost::LogEvents() {
    logging_ = true;
    status.log = &events;
    boxes.log = &events;
}

void FakeHost::ClearRecords() {
    status.lines.clear();
    status.selected = status.topline = -1;
    boxes.shown.clear();
    progress.clear();
    titles.clear();
    events.clear();
    misuse.clear();
    yields = 0;
}

void FakeHost::Misuse(const std::string& what) {
    misuse.push_back(what);
#ifdef KORBELT_FAKE_HOST_FAILS_TESTS
    ADD_FAILURE() << what;
#endif
}

void FakeHost::Log(const std::string& event) {
    if (logging_) {
        events.push_back(event);
    }
}

}  // namespace korbelt::test
