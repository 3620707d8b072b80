#pragma once

#include <array>
#include <optional>
#include <string>

#include "engine/report/FileReport.h"

namespace korbelt {

// What the input list shows of an entry once its files are done, from the least to the most
// in need of the user's attention. A directory entry shows the last of its files' marks.
enum class OutcomeMark {
    Clean,       // nothing to remove: left as it is
    Verified,    // its checksums match: proven intact, or a repair they prove
    Repaired,    // bytes removed, the original kept as NAME.bak
    Skipped,     // left alone by an option, another Korbelt or an earlier name in the run
    DamageLeft,  // damage found and not repaired
    Failed,      // not repaired: an error, a refusal or an abort
};

inline constexpr int kOutcomeMarks = static_cast<int>(OutcomeMark::Failed) + 1;

struct Judged {
    OutcomeMark mark;
    std::string note;  // one line for a person: the mark's word and why
};

Judged JudgeOf(const FileReport& report);

// What came of one input list entry in a run: of its file, or of every file a directory
// entry stood for.
class EntryOutcome {
  public:
    enum class Kind { File, Directory };

    explicit EntryOutcome(Kind kind) : kind_(kind) {}

    void Add(const FileReport& report);
    int Files() const;
    // A directory without files has nothing in it that wants attention: clean.
    OutcomeMark Mark() const;
    // A file's note, or a directory's count of its files by mark, the worst first.
    std::string Note() const;

  private:
    Kind kind_;
    std::array<int, kOutcomeMarks> counts_{};
    std::optional<FileReport> last_;
};

}  // namespace korbelt
