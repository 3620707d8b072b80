#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "ports/EngineHost.h"

namespace korbelt::test {

// A status list that keeps its lines in memory.
class FakeStatusList : public StatusList {
  public:
    int AppendLine(const std::string& text) override;
    void SetLine(int index, const std::string& text) override;
    void RemoveLine(int index) override;
    int LineCount() const override { return static_cast<int>(lines.size()); }
    std::string Line(int index) const override;
    void SelectLine(int index) override { selected = index; }
    void SetTopLine(int index) override { topline = index; }
    void Clear() override { lines.clear(); }

    std::vector<std::string> lines;
    int selected = -1;
    int topline = -1;
};

// Message boxes with answers given in advance. Every box shown is recorded; a question
// without a prepared answer fails the test and is answered No.
class ScriptedBoxes : public MessageBoxes {
  public:
    enum class Kind { Warning, Notice, Question };
    struct Box {
        Kind kind;
        std::string text;
        QuestionKind question = QuestionKind::AbortProcessing;  // for a question
    };

    void Answer(bool yes) { answers.push_back(yes); }
    void Warning(const std::string& text) override;
    void Notice(const std::string& text) override;
    bool Question(QuestionKind kind, const std::string& text) override;

    std::vector<std::string> Texts(Kind kind) const;

    std::vector<Box> shown;
    std::deque<bool> answers;
};

// The engine's host for tests: records progress and titles, counts yields, and can run a
// scripted action at a given yield (a click on Stop, say).
class FakeHost : public EngineHost {
  public:
    StatusList& Status() override { return status; }
    MessageBoxes& Boxes() override { return boxes; }
    void SetProgress(int percent) override { progress.push_back(percent); }
    void SetTitle(const std::string& title) override { titles.push_back(title); }
    void YieldToUi() override;
    bool TruncateChecked() override { return truncate; }
    bool IgnoreHJSplitChecked() override { return ignoreHJSplit; }

    FakeStatusList status;
    ScriptedBoxes boxes;
    std::vector<int> progress;
    std::vector<std::string> titles;
    int yields = 0;
    bool truncate = false;
    bool ignoreHJSplit = false;
    std::function<void(int)> onYield;  // called with the 1-based number of the yield
};

}  // namespace korbelt::test
