#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/policy/DamagePattern.h"
#include "engine/policy/FindPolicy.h"
#include "engine/report/FileReport.h"
#include "engine/report/FindLog.h"
#include "engine/report/NumberFormat.h"
#include "engine/report/ReportSink.h"
#include "engine/scan/RecordBuffer.h"
#include "engine/write/DiscardingRecordIo.h"
#include "ports/EngineHost.h"
#include "ports/Failure.h"
#include "ports/FileSystem.h"
#include "ports/RecordIo.h"
#include "ports/RunOptions.h"
#include "ports/RunState.h"
#include "structure/Walkers.h"
#include "verify/BackgroundCheck.h"
#include "verify/ChecksumCatalog.h"
#include "verify/GuidedPlan.h"

namespace korbelt {

// Repairs one file at a time: copies it through the record buffer into NAME.$$$, leaving
// out repeated bytes after CR LF '-' and MIME wrappers after CR CR LF, then swaps the copy
// in and keeps the original as NAME.bak. Not re-entrant: one pass at a time.
class RepairEngine {
  public:
    static constexpr int kRecordSize = 10240;
    static constexpr int kLookAhead = 51;
    static constexpr int kBufferSize = kRecordSize + kLookAhead;
    static constexpr std::uint8_t kCR = 13;
    static constexpr std::uint8_t kLF = 10;
    static constexpr std::uint8_t kDash = 45;
    static constexpr const char* kCrLf = "\r\n";
    static constexpr const char* kSupportAddress = "korbelt.support@prendle.org";
    // A wrapper starts with CR CR LF and this many dashes.
    static constexpr int kWrapperDashes = 29;
    // Bytes a record write skips after the one it leaves out while a wrapper is cut: with
    // it, the CR LF, the dashes and the byte after them.
    static constexpr int kWrapperSkip = 31;
    // The progress line is rewritten, and the window yielded to, once per this many records.
    static constexpr int kRecordsPerProgressLine = 8;
    // The copy's name is the file's with this added; where that is not free, the file's
    // with ".1" to ".99" and this.
    static constexpr const char* kCopySuffix = ".$$$";
    static constexpr int kCopyNames = 100;
    // With the truncate option, this many bytes or fewer after a wrapper's end are dropped.
    static constexpr std::int64_t kTruncateWithin = 10;

    RepairEngine(EngineHost& host, RunState& run, RecordIo& io, FileSystem& fs,
                 NumberFormat format = NumberFormat());
    ~RepairEngine();
    RepairEngine(const RepairEngine&) = delete;
    RepairEngine& operator=(const RepairEngine&) = delete;

    // How a pass moves bytes; the plan changes nothing that it reads, writes or reports.
    // The input is read readAhead bytes at a time and served to the records from memory
    // (0: one read call per record; other sizes are kept between the record buffer's size
    // and kMaxReadAhead). With gatherWrites, and a record I/O with a wide write, the kept
    // bytes are written straight from that memory, one call for each run of them between
    // two left-out bytes or window moves; otherwise one write call per record.
    static constexpr std::int64_t kCountAhead = std::int64_t{16} << 20;
    struct IoPlan {
        // Large enough that read calls cost little, small enough to stay in the cache
        // between the read and the write of the same bytes.
        std::size_t readAhead = std::size_t{256} << 10;
        bool gatherWrites = true;
        // In a run that asks nothing, the markers of the file's first part (this many bytes,
        // or a sixty-fourth of a larger file) are judged before the copy, which looks for
        // damage where they say; the bytes are held in memory up to this many, so that the
        // copy reads none of them again. 0: the scan alone counts the markers, and where the
        // verdict of the whole file then moves a find, the copy is made again.
        std::int64_t countAhead = kCountAhead;
    };
    static constexpr std::size_t kMaxReadAhead = std::size_t{1} << 30;
    // How much of a changed copy is written between two requests to the disk to write it.
    static constexpr std::int64_t kWritebackStep = std::int64_t{8} << 20;
    void SetIoPlan(IoPlan plan);
    IoPlan Plan() const { return plan_; }

    // Checksum files decide where they know a file (nullptr: nobody checks). The catalog
    // must outlive the engine's use of it.
    void SetChecksums(ChecksumCatalog* checksums);
    // Where the finds of a file with more of them than are held go as they come (nullptr:
    // nowhere but the status lines). The sink must outlive the engine's use of it.
    void SetReportSink(ReportSink* sink) { sink_ = sink; }

    // A new run with its options: every file may be repaired once more, every folder's
    // checksums read anew. In a dry run every check, question and status line is as in a
    // real run, but nothing on disk is created, written, deleted or renamed. Until a run
    // starts, the options are the defaults.
    void StartRun(const RunOptions& options = RunOptions());
    const RunOptions& Options() const { return options_; }
    // Repairs one file; the outcome is also left in the run state's fileerror.
    FileOutcome ProcessFile(const std::string& filename);
    // What came of the last file ProcessFile was given.
    const FileReport& Report() const { return report_; }
    void InformUser(const std::string& text);

    // The steps of a pass, public so that each can be checked on its own. WriteRec writes
    // record by record to the handle given, outside any pass.
    int Check4RptByte(std::int64_t filepos, int currpos);
    int Check4Wrapper(std::int64_t filepos, int currpos);
    std::int64_t FindEndofWrapper(std::int64_t filepos);
    std::int64_t WriteRec(std::int32_t fileno, std::int64_t ifpos, int byte2remove,
                          std::int64_t iflength);

  private:
    friend class RepairEngineTestPeer;
    struct Pass;
    enum class Ending { Normal, UserAbort, BadWrapper, OutputRefused, TooManyHeld };

    FileOutcome ProcessSteps(const std::string& filename);
    FileOutcome Refuse(const std::string& filename, const std::string& why, FileOutcome outcome);
    FileOutcome BackupKept(const Pass& pass);
    FileOutcome AbortedBeforePass(const std::string& filename);
    bool StopWhileReading();
    struct CopyFate;
    struct Guide;
    class FindRoute;
    class DecidedRoute;
    class GuidedRoute;
    void UseGuide(std::unique_ptr<Guide> guide);
    std::optional<FileOutcome> ProveIntact(Pass& pass);
    bool StartGuide(Pass& pass);
    bool StartStructureGuide(Pass& pass);
    bool PieceRegions(Pass& pass, InputFile& input, std::vector<EvidenceRegion>& regions,
                      WalkEnd& end, EvidenceNames& names);
    void WriteAheadOfFinds(Pass& pass);
    void ReportStructure();
    static void Count(SliceReport& tally, const SlicePlan& plan);
    bool AdvanceGuide(Pass& pass, bool atEnd);
    bool GoOnAfterStop();
    std::pair<int, int> SearchRange() const;
    void StartCensus();
    Ending CopyJudgingMarkers(Pass& pass);
    bool CountMarkersAhead(Pass& pass, bool wholeFile);
    bool CountHeldBytes(Pass& pass, std::int64_t held, std::int64_t& counted);
    bool CountReadBytes(Pass& pass, std::int64_t ahead, std::int64_t& counted);
    std::size_t ReadAhead(Pass& pass, InputFile& file, std::int64_t offset, std::uint8_t* into,
                          std::int64_t count);
    bool YieldWhileCounting(bool everyPiece);
    void JudgeMarkers();
    bool VerdictMovesAFind() const;
    bool StartAgainAtDamage(Pass& pass);
    Ending StartAgainCountingFirst(Pass& pass);
    void DropPassSoFar(Pass& pass);
    std::int64_t RemovedRepeats() const;
    void ApplySlicePlan(Pass& pass, const SlicePlan& plan);
    void ForgetPlannedFinds();
    Find FindAt(std::int64_t offset) const;
    Find PairFound(Pass& pass, std::int64_t offset);
    bool TellGuided(const Find& find, bool keep, Reason reason);
    void WriteKept(Pass& pass, std::int64_t end, const std::vector<Removal>& removed,
                   std::int64_t slice = -1);
    const std::uint8_t* WriteInput(Pass& pass, std::int64_t offset, std::int64_t count);
    void AppendInput(Pass& pass, std::int64_t offset, std::int64_t count,
                     std::vector<std::uint8_t>& bytes);
    bool CopyChanged() const;
    Decision Decide(const Find& find);
    bool Tell(const Decision& decision, bool lengthToCome = false);
    std::optional<FileOutcome> LeaveChecksumFile(const std::string& filename);
    using ByteSink = std::function<void(const std::uint8_t*, std::size_t)>;
    bool HashInput(InputFile& input, std::int64_t length, const ByteSink& add, bool stoppable,
                   const std::function<bool()>& hopeless = {});
    static std::vector<std::string> Disagreeing(const Evidence& evidence,
                                                const std::vector<const Expectation*>& matching);
    std::string AgainstEntries(ChecksumReport::Verdict verdict, const Evidence& evidence,
                               const std::vector<const Expectation*>& matching);
    ChecksumReport& ChecksumsOfReport();
    void ForgetChecksumVerdict();
    void TellUncheckedEvidence(const Evidence& evidence);
    void WarnOfUnreadChecksumFiles();
    CopyFate JudgeCopy(Pass& pass, bool changed);
    std::int64_t SlicesMatching(InputFile& file, const Expectation& expected);
    void Observe(Pass& pass, const std::uint8_t* bytes, std::int64_t count);
    void MarkRemovalsUndone();
    void TellCopyAbandoned(bool leftAsItWas);
    bool AgreeToReplaceBackup(Pass& pass);
    void RunPass(Pass& pass);
    void OpenInput(Pass& pass);
    bool OpenAndLockInput(Pass& pass);
    bool SkipHJSplitPiece(Pass& pass);
    bool OpenOutput(Pass& pass);
    std::string ClaimCopyName(Pass& pass);
    std::string WhyNotAStaleCopy(const std::string& name, const FileIdentity& there);
    void HoldCopy(Pass& pass);
    void RefuseOutput(Pass& pass, const std::string& reason);
    void CheckInputUnchanged(Pass& pass);
    void DropProvenBackup(const Pass& pass);
    void GiveCopyTheInputsAccess(Pass& pass);
    void MakeWayForBackup(Pass& pass);
    Ending CopyRecords(Pass& pass);
    void ReadRecord(Pass& pass);
    void NoteWrapperEnd(std::int64_t resume);
    int ScanRecord();
    void StartWritebackOfChangedCopy(Pass& pass);
    void ShowPercentage(Pass& pass);
    void FinishFile(Pass& pass);
    void PutRepairedCopyInPlace(Pass& pass);
    void AbortFile(Pass& pass, const std::string& line, const std::string& why);
    void FailFile(Pass& pass, const Failure& failure);
    void CloseOutput(Pass& pass);
    void CloseOutputQuietly(Pass& pass);
    std::error_code DiscardTemporaryFile(Pass& pass);
    void WriteRun(Pass& pass);
    // Where the copy goes: nowhere in a dry run, so that no NAME.$$$ can exist then.
    RecordIo& Io() { return options_.dryRun ? static_cast<RecordIo&>(discarding_) : io_; }
    std::int64_t WriteRec(Pass& pass, std::int64_t ifpos, int byte2remove, std::int64_t iflength);
    void WriteOutput(Pass& pass, std::int64_t offset, std::int64_t count);
    void CheckWritten(const Pass& pass, std::int32_t written, std::int64_t count, int cause);

    // Engine state; it lives as long as the engine and carries over from file to file.
    RecordBuffer<kBufferSize> buff;
    std::int64_t readpos = 0;
    std::int64_t writepos = 0;
    int heldcr = 0;

    EngineHost& host_;
    RunState& run_;
    RecordIo& io_;
    DiscardingRecordIo discarding_;  // the record I/O of a dry run
    FileSystem& fs_;
    NumberFormat format_;
    RunOptions options_;
    IoPlan plan_;
    std::vector<std::uint8_t> readWindow_;  // allocated at the first file, then reused
    bool busy_ = false;
    ChecksumCatalog* checksums_ = nullptr;
    // How often reading checksum files yields to the window and looks at Stop.
    static constexpr std::chrono::milliseconds kLookEvery{20};
    std::chrono::steady_clock::time_point lastLook_;
    // Set while a pass is guided by slice checksums: the scan then only gathers the finds.
    std::unique_ptr<Guide> guide_;
    // Where the scan's finds go: decided as they come, or gathered for the guide's evidence.
    std::unique_ptr<DecidedRoute> decided_;
    std::unique_ptr<GuidedRoute> guided_;
    FindRoute* route_ = nullptr;
    // Without checksums, the structure of a file whose format is known guides the pass.
    Walkers walkers_;
    // Length of the file being repaired; bytes of buff beyond it read as 0 and never pair.
    std::int64_t iflength_ = INT64_MAX;
    FileReport report_;
    // The markers of the file: those of its first part read first (of all of it where the
    // verdict must be known before the first question), the rest counted by the scan as it
    // meets them, from countFrom_ on. Where the markers read first show damage, the
    // repeated-byte check looks at its distances only (bit k: the pair k after the CR), and
    // notes the distances of the pairs it passes by.
    MarkerCensus census_;
    bool counting_ = true;
    std::int64_t countFrom_ = 0;
    std::uint64_t pairsAt_ = 0;
    std::uint64_t passedBy_ = 0;
    // The file's first bytes as the markers were read first, for the copy to take them from.
    std::unique_ptr<std::uint8_t[]> heldAhead_;
    std::int64_t heldSize_ = 0;
    // The markers' verdict, judged once the pass is done, may still move its finds: none of
    // them may go on until then, and a pass that finds more than are held starts again with
    // the markers counted first.
    bool verdictMayMove_ = false;
    bool startAgain_ = false;
    FindLog finds_{report_};
    ReportSink* sink_ = nullptr;
};

}  // namespace korbelt
