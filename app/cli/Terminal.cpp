#include "Terminal.h"

#include <unistd.h>

#include "FileSystem.h"
#include "Interrupts.h"

namespace korbelt {
namespace {

// Message texts break lines with CR LF; a terminal wants a plain newline.
std::string TerminalText(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        out += text[i];
    }
    return out;
}

bool IsRemovalQuestion(const std::string& text) {
    const auto endsWith = [&](const std::string& tail) {
        return text.size() >= tail.size() &&
               text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
    };
    return endsWith("Shall I remove the repeated byte?") || endsWith("Shall I remove the Wrapper?");
}

}  // namespace

int TerminalStatus::AppendLine(const std::string& text) {
    static const std::string processing = "Processing ";
    if (text.compare(0, processing.size(), processing) == 0) {
        currentFile_ = BaseName(text.substr(processing.size()));
    }
    lines_.push_back(text);
    if (echo_) {
        std::fprintf(out_, "%s\n", text.c_str());
        std::fflush(out_);
        printed_ = lines_.size();
    }
    return static_cast<int>(lines_.size()) - 1;
}

void TerminalStatus::SetLine(int index, const std::string& text) {
    if (index >= 0 && index < LineCount()) {
        lines_[static_cast<std::size_t>(index)] = text;
    }
}

void TerminalStatus::RemoveLine(int index) {
    if (index >= 0 && index < LineCount()) {
        lines_.erase(lines_.begin() + index);
    }
}

std::string TerminalStatus::Line(int index) const {
    return index >= 0 && index < LineCount() ? lines_[static_cast<std::size_t>(index)] : "";
}

void TerminalStatus::Clear() {
    lines_.clear();
    printed_ = 0;
}

void TerminalStatus::PrintFinished() {
    for (; printed_ < lines_.size(); ++printed_) {
        std::fprintf(out_, "%s\n", lines_[printed_].c_str());
    }
    std::fflush(out_);
}

TerminalHost::TerminalHost(TerminalStatus& status, OptionsDisplay& options, RunState& run,
                           std::FILE* in, std::FILE* err, bool yesToAll)
    : status_(status),
      options_(options),
      run_(run),
      in_(in),
      err_(err),
      yesToAll_(yesToAll),
      showProgress_(isatty(fileno(err)) != 0) {}

void TerminalHost::SetProgress(int percent) {
    if (!showProgress_) {
        return;
    }
    std::fprintf(err_, "\r\033[K%s %d%%", status_.CurrentFile().c_str(), percent);
    std::fflush(err_);
    progressShown_ = true;
}

void TerminalHost::ClearProgress() {
    if (progressShown_) {
        std::fprintf(err_, "\r\033[K");
        std::fflush(err_);
        progressShown_ = false;
    }
}

void TerminalHost::YieldToUi() {
    // Ctrl-C is the Stop button: the pass asks after the current record.
    if (Interrupts::Count() > handledInterrupts_) {
        handledInterrupts_ = Interrupts::Count();
        run_.stopflag = true;
    }
}

void TerminalHost::FileFinished() {
    ClearProgress();
    status_.PrintFinished();
    // Each file starts with no Ctrl-C counted against it.
    Interrupts::Reset();
    handledInterrupts_ = 0;
}

void TerminalHost::Warning(const std::string& text) {
    ClearProgress();
    std::fprintf(err_, "korbelt-cli: %s\n", TerminalText(text).c_str());
    std::fflush(err_);
}

void TerminalHost::Notice(const std::string& text) {
    Warning(text);
}

bool TerminalHost::Question(const std::string& text) {
    if (text == "Abort Processing?") {
        return AbortProcessing();
    }
    if (yesToAll_ && !IsRemovalQuestion(text)) {
        return true;
    }
    ClearProgress();
    std::fprintf(err_, "%s [y/N] ", TerminalText(text).c_str());
    std::fflush(err_);
    return ReadAnswer();
}

bool TerminalHost::AbortProcessing() {
    // The second Ctrl-C on the same file aborts it, asked or not.
    if (yesToAll_ || Interrupts::Count() >= 2) {
        return true;
    }
    ClearProgress();
    std::fprintf(err_, "Abort Processing? [y/N] ");
    std::fflush(err_);
    const bool yes = ReadAnswer();
    return yes || Interrupts::Count() >= 2;
}

bool TerminalHost::ReadAnswer() {
    std::string line;
    for (;;) {
        const int c = std::fgetc(in_);
        if (c == EOF) {
            // End of input, or a Ctrl-C that interrupted the read: no answer is a No.
            std::clearerr(in_);
            std::fprintf(err_, "\n");
            break;
        }
        if (c == '\n') {
            break;
        }
        line += static_cast<char>(c);
    }
    for (auto& c : line) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return line == "y" || line == "yes";
}

}  // namespace korbelt
