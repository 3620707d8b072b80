#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "ports/EngineHost.h"
#include "ports/RunState.h"
#include "run/RunControls.h"
#include "settings/OptionsDisplay.h"

namespace korbelt {

// The length of the well-formed UTF-8 sequence of two to four bytes at text[i], or 0.
std::size_t Utf8SequenceAt(const std::string& text, std::size_t i);
// Whether all of a text is well-formed UTF-8.
bool IsUtf8(const std::string& text);

// A text as korbelt-cli prints it: control characters (bytes 1 to 31, 127, and 128 to 159
// alone or as UTF-8) that a file name may hold become \n, \t, \r or \xHH, and a backslash
// becomes \\, so that no name can break a line or drive the terminal.
std::string EscapeForTerminal(const std::string& text);

// The status list of the command line. Lines are printed to stdout once they are final:
// before a run as they come ("Invalid File" lines), during a run file by file.
class TerminalStatus : public StatusList {
  public:
    explicit TerminalStatus(std::FILE* out) : out_(out) {}

    int AppendLine(const std::string& text) override;
    void SetLine(int index, const std::string& text) override;
    void RemoveLine(int index) override;
    int LineCount() const override { return static_cast<int>(lines_.size()); }
    std::string Line(int index) const override;
    void SelectLine(int) override {}
    void SetTopLine(int) override {}
    void Clear() override;

    // Prints the lines that are final now.
    void PrintFinished();
    // Passes over them without printing them.
    void DropFinished() { printed_ = lines_.size(); }

  private:
    std::FILE* out_;
    std::vector<std::string> lines_;
    std::size_t printed_ = 0;
};

class RunReporter;

// The answers the command line gives without asking.
struct AutomaticAnswers {
    bool yesToAll = false;     // --yes: Yes to every question but a removal
    bool keepBackups = false;  // --keep-backups: No to replacing an old backup, said aloud
};

// The engine's host for the command line. Questions go to stderr and are answered from
// stdin, warnings go to stderr, progress too but only on a terminal. Ctrl-C is the Stop
// button; a second Ctrl-C aborts the current file without waiting for an answer. Each
// file's status lines are printed once it is done, where the reporter wants them.
class TerminalHost : public EngineHost, public MessageBoxes, public RunControls {
  public:
    TerminalHost(TerminalStatus& status, const RunOptions& options, RunState& run, std::FILE* in,
                 std::FILE* err, AutomaticAnswers answers);

    StatusList& Status() override { return status_; }
    MessageBoxes& Boxes() override { return *this; }
    void SetProgress(int percent) override;
    void SetTitle(const std::string&) override {}
    void YieldToUi() override;

    void Warning(const std::string& text) override;
    void Notice(const std::string& text) override;
    bool Question(QuestionKind kind, const std::string& text) override;

    RunOptions OptionsForRun() override { return options_; }
    void SetEnabled(Control, bool) override {}
    void SetVisible(Control, bool) override {}
    void FileStarted(const std::string& name) override;
    void FileFinished() override;
    void FileReported(const FileReport& report) override;
    void FolderUnlisted(const std::string& folder) override;
    // Each file's report, and each folder that cannot be listed, goes to the reporter, which
    // also says whether a file's lines are printed and whether progress is shown.
    void ReportTo(RunReporter& reporter);
    bool EndRunRequested() override;

    // Wipes the progress line, if one is showing.
    void ClearProgress();

  private:
    bool AbortProcessing();
    bool KeepBackup(const std::string& text);
    bool ReadAnswer();

    TerminalStatus& status_;
    RunOptions options_;
    RunState& run_;
    std::FILE* in_;
    std::FILE* err_;
    AutomaticAnswers answers_;
    RunReporter* reporter_ = nullptr;
    bool showProgress_;
    bool progressShown_ = false;
    int handledInterrupts_ = 0;
    // What the progress line shows of the current file, and when this part of its pass
    // began: the checks before the copy read it from the start too.
    std::string currentFile_;
    std::int64_t currentSize_ = 0;
    int lastPercent_ = -1;
    std::chrono::steady_clock::time_point partStart_;
};

}  // namespace korbelt
