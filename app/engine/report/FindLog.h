#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "engine/report/FileReport.h"
#include "engine/report/ReportSink.h"
#include "ports/StatusList.h"

namespace korbelt {

// The finds of the file being repaired, from the moment each is told until the report is
// done with it. Up to kHeld of them are held in the report with their status lines, so that
// what the end of the pass decides (a copy not kept, the pass made again at the damage's
// distance) can still change them. Past that, once the pass lets them go, each find goes on
// to the report's sink as soon as only the file's fate can change it, its line is settled,
// and nothing of it is kept: however many finds a file has, the memory stays the same.
class FindLog {
  public:
    static constexpr std::size_t kHeld = 10000;

    explicit FindLog(FileReport& report) : report_(report) {}

    // The finds of a new file (or of the same one from its start again) go to status and,
    // once they are passed on, to sink (nothing, where there is none).
    void Start(StatusList& status, ReportSink* sink);
    // A find told on status line line; a wrapper whose length is still to come is open until
    // WrapperEnded.
    void Add(const Decision& decision, int line, bool open);
    // More finds are held than kHeld and none has gone on: the pass lets them go (PassOn),
    // or starts again.
    bool OverHeld() const { return !passing_ && report_.finds.size() > kHeld; }
    // From now on each find goes on as soon as only the file's fate can change it.
    void PassOn();
    // The wrapper told last while its length is still to come, else nullptr.
    Find* OpenWrapper();
    void WrapperEnded();
    // The status lines of the finds, last first, for the pass to remove; the log is empty
    // afterwards. Only while none has gone on.
    std::vector<int> Withdraw();
    // What was decided for removal was not removed: the copy was not kept. Each find held
    // says so, and goes to rewrite with its line where rewrite is given; the report says it
    // of those passed on at once. How many of those passed on had been decided for removal.
    std::int64_t Undo(const std::function<void(int, const Decision&)>& rewrite);

    // The repeated bytes decided for removal; the distances from their markers' CR they lie
    // at (bit k: one at k).
    std::int64_t RemovedRepeats() const;
    std::uint64_t RemovedRepeatDistances() const;

  private:
    // The finds held that only the file's fate can change go on, in file order.
    void Release();

    FileReport& report_;
    StatusList* status_ = nullptr;
    ReportSink* sink_ = nullptr;
    std::vector<int> lines_;  // of the finds the report holds
    bool passing_ = false;
    bool wrapperOpen_ = false;
    std::int64_t passedRemovals_ = 0;  // finds passed on that were decided for removal
    // The repeated bytes decided for removal, by their distance from the marker's CR.
    std::array<std::int64_t, 64> removedAt_{};
};

}  // namespace korbelt
