#include "cli/Terminal.h"

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/Interrupts.h"
#include "cli/PathErrors.h"
#include "cli/ReportLines.h"
#include "cli/RunReport.h"
#include "ports/FileSystem.h"

namespace korbelt {
namespace {

// Message texts break lines with CR LF; a terminal wants a plain newline. Anything else
// that could move the cursor or start an escape sequence (from a file name) is escaped.
std::string TerminalText(const std::string& text) {
    std::string out;
    std::size_t from = 0;
    for (std::size_t at; (at = text.find("\r\n", from)) != std::string::npos; from = at + 2) {
        out += EscapeForTerminal(text.substr(from, at - from)) + "\n";
    }
    return out + EscapeForTerminal(text.substr(from));
}

void AppendHex(std::string& out, unsigned char byte) {
    static const char digits[] = "0123456789abcdef";
    out += "\\x";
    out += digits[byte >> 4];
    out += digits[byte & 15];
}

}  // namespace

// The well-formed sequences of Unicode's table: no overlong form, no surrogate (ED A0 to
// ED BF), nothing above U+10FFFF (F4 90 on, F5 to FF), no truncated sequence.
std::size_t Utf8SequenceAt(const std::string& text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    const std::size_t length = lead >= 0xc2 && lead <= 0xdf   ? 2
                               : lead >= 0xe0 && lead <= 0xef ? 3
                               : lead >= 0xf0 && lead <= 0xf4 ? 4
                                                              : 0;
    if (length == 0 || i + length > text.size()) {
        return 0;
    }
    // The second byte's range depends on the lead; the others are plain continuations.
    const unsigned char second = byte(i + 1);
    const unsigned char low = lead == 0xe0 ? 0xa0 : lead == 0xf0 ? 0x90 : 0x80;
    const unsigned char high = lead == 0xed ? 0x9f : lead == 0xf4 ? 0x8f : 0xbf;
    if (second < low || second > high) {
        return 0;
    }
    for (std::size_t k = 2; k < length; ++k) {
        if ((byte(i + k) & 0xc0) != 0x80) {
            return 0;
        }
    }
    return length;
}

bool IsUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length =
            static_cast<unsigned char>(text[i]) < 0x80 ? 1 : Utf8SequenceAt(text, i);
        if (length == 0) {
            return false;
        }
        i += length;
    }
    return true;
}

std::string EscapeForTerminal(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t sequence = c >= 0x80 ? Utf8SequenceAt(text, i) : 0;
        if (sequence != 0) {
            // U+0080 to U+009F are control characters too (CSI among them).
            const bool control = c == 0xc2 && static_cast<unsigned char>(text[i + 1]) < 0xa0;
            for (std::size_t k = 0; k < sequence; ++k) {
                if (control) {
                    AppendHex(out, static_cast<unsigned char>(text[i + k]));
                } else {
                    out += text[i + k];
                }
            }
            i += sequence;
            continue;
        }
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c < 0x20 || c == 0x7f || (c >= 0x80 && c < 0xa0)) {
            // A lone byte of 0x80 to 0x9F is a control character to an 8-bit terminal.
            AppendHex(out, c);
        } else {
            out += text[i];
        }
        ++i;
    }
    return out;
}

int TerminalStatus::AppendLine(const std::string& text) {
    lines_.push_back(text);
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
        std::fprintf(out_, "%s\n", EscapeForTerminal(lines_[printed_]).c_str());
    }
    std::fflush(out_);
}

TerminalHost::TerminalHost(TerminalStatus& status, const RunOptions& options, RunState& run,
                           std::FILE* in, std::FILE* err, AutomaticAnswers answers)
    : status_(status),
      options_(options),
      run_(run),
      in_(in),
      err_(err),
      answers_(answers),
      showProgress_(isatty(fileno(err)) != 0) {}

void TerminalHost::ReportTo(RunReporter& reporter) {
    reporter_ = &reporter;
    showProgress_ = showProgress_ && reporter.ShowsProgress();
}

void TerminalHost::SetProgress(int percent) {
    const auto now = std::chrono::steady_clock::now();
    // A part of the pass that reads the file from the start again starts the clock again;
    // the 0 at the very end of a pass is no news worth a line.
    const bool again = percent < lastPercent_;
    if (again) {
        partStart_ = now;
    }
    lastPercent_ = percent;
    if (!showProgress_ || (again && percent == 0)) {
        return;
    }
    winsize size{};
    const int columns = ioctl(fileno(err_), TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
    const Progress progress{currentFile_, percent, currentSize_,
                            std::chrono::duration<double>(now - partStart_).count()};
    std::fprintf(err_, "\r\033[K%s", ProgressLine(progress, columns).c_str());
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
    if (Interrupts::Terminating() != 0 || Interrupts::Count() > handledInterrupts_) {
        handledInterrupts_ = Interrupts::Count();
        run_.stopflag = true;
    }
}

void TerminalHost::FileStarted(const std::string& name) {
    currentFile_ = BaseName(name);
    struct stat info {};
    currentSize_ = stat(name.c_str(), &info) == 0 ? info.st_size : 0;
    lastPercent_ = -1;
    partStart_ = std::chrono::steady_clock::now();
}

void TerminalHost::FileFinished() {
    ClearProgress();
    // Each file starts with no Ctrl-C counted against it.
    Interrupts::Reset();
    handledInterrupts_ = 0;
}

void TerminalHost::FileReported(const FileReport& report) {
    if (reporter_ == nullptr || reporter_->ShowsLines(report)) {
        status_.PrintFinished();
    } else {
        status_.DropFinished();
    }
    if (reporter_ != nullptr) {
        reporter_->File(report);
    }
}

// The line the window gets for such a folder is told here as an error of the command line.
void TerminalHost::FolderUnlisted(const std::string& folder) {
    ClearProgress();
    status_.DropFinished();
    if (reporter_ != nullptr) {
        reporter_->Error(UnlistedFolder(folder));
    }
}

void TerminalHost::Warning(const std::string& text) {
    ClearProgress();
    std::fprintf(err_, "korbelt-cli: %s\n", TerminalText(text).c_str());
    std::fflush(err_);
}

void TerminalHost::Notice(const std::string& text) {
    Warning(text);
}

bool TerminalHost::EndRunRequested() {
    return Interrupts::Terminating() != 0;
}

bool TerminalHost::Question(QuestionKind kind, const std::string& text) {
    if (kind == QuestionKind::AbortProcessing) {
        return AbortProcessing();
    }
    // Ending: nothing more is removed, replaced or started.
    if (Interrupts::Terminating() != 0) {
        return false;
    }
    if (answers_.keepBackups && kind == QuestionKind::ReplaceBackup) {
        return KeepBackup(text);
    }
    if (answers_.yesToAll && !IsRemoval(kind)) {
        return true;
    }
    ClearProgress();
    std::fprintf(err_, "%s [y/N] ", TerminalText(text).c_str());
    std::fflush(err_);
    return ReadAnswer();
}

bool TerminalHost::AbortProcessing() {
    // The second Ctrl-C on the same file aborts it, asked or not; so does a SIGTERM.
    if (answers_.yesToAll || Interrupts::Count() >= 2 || Interrupts::Terminating() != 0) {
        return true;
    }
    ClearProgress();
    std::fprintf(err_, "Abort Processing? [y/N] ");
    std::fflush(err_);
    const bool yes = ReadAnswer();
    return yes || Interrupts::Count() >= 2 || Interrupts::Terminating() != 0;
}

// The question and its automatic No go to the log of whoever ran the program (a download
// manager's script), so that it says why the file was left as it is.
bool TerminalHost::KeepBackup(const std::string& text) {
    ClearProgress();
    std::fprintf(err_, "%s [y/N] n (--keep-backups)\n", TerminalText(text).c_str());
    std::fflush(err_);
    return false;
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
