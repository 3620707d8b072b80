#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "ports/EngineHost.h"

namespace korbelt::test {

// The one recording engine host of the tests and the fuzz harness: the status list and the
// message boxes in memory, progress, titles and yields counted, questions answered from a
// queue or a function. What only a faulty engine does (a line index outside the list, a
// progress outside 0 to 100, a question nobody prepared an answer for) is noted as misuse;
// in the test suite it also fails the test. With a log, every call is also written there as
// a text, in the order the engine made it.
class FakeStatusList : public StatusList {
  public:
    int AppendLine(const std::string& text) override;
    void SetLine(int index, const std::string& text) override;
    void RemoveLine(int index) override;
    int LineCount() const override { return static_cast<int>(lines.size()); }
    std::string Line(int index) const override;
    void SelectLine(int index) override;
    void SetTopLine(int index) override;
    void Clear() override { lines.clear(); }
    void Settle(int index) override;

    std::vector<std::string> lines;
    std::vector<int> settled;  // the lines settled, in the order they were
    int selected = -1;
    int topline = -1;
    std::vector<std::string>* log = nullptr;
    std::function<void(const std::string&)> onMisuse;

  private:
    bool Inside(int index, const char* what);
    void Log(const std::string& event);
};

class ScriptedBoxes : public MessageBoxes {
  public:
    enum class Kind { Warning, Notice, Question };
    struct Box {
        Kind kind;
        std::string text;
        QuestionKind question = QuestionKind::AbortProcessing;  // for a question
        bool yes = false;                                       // the answer given
    };

    void Answer(bool yes) { answers.push_back(yes); }
    void Warning(const std::string& text) override;
    void Notice(const std::string& text) override;
    bool Question(QuestionKind kind, const std::string& text) override;

    std::vector<std::string> Texts(Kind kind) const;
    std::vector<Box> Questions() const;

    std::vector<Box> shown;
    std::deque<bool> answers;  // prepared answers, first asked first
    // Answers a question when no prepared answer is left.
    std::function<bool(QuestionKind, const std::string&)> answer;
    std::vector<std::string>* log = nullptr;
    std::function<void(const std::string&)> onMisuse;
};

class FakeHost : public EngineHost {
  public:
    FakeHost();
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;

    StatusList& Status() override { return status; }
    MessageBoxes& Boxes() override { return boxes; }
    void SetProgress(int percent) override;
    void SetTitle(const std::string& title) override;
    void YieldToUi() override;

    // Writes every call of the engine to events from now on.
    void LogEvents();
    // Forgets everything recorded; answers, options and hooks stay.
    void ClearRecords();

    FakeStatusList status;
    ScriptedBoxes boxes;
    std::vector<int> progress;
    std::vector<std::string> titles;
    std::vector<std::string> events;
    std::vector<std::string> misuse;
    int yields = 0;
    std::function<void(int)> onYield;  // called with the 1-based number of the yield

  private:
    void Misuse(const std::string& what);
    void Log(const std::string& event);

    bool logging_ = false;
};

}  // namespace korbelt::test
