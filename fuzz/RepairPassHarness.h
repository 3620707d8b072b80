#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "MemoryFileSystem.h"
#include "ports/RecordIo.h"

namespace korbelt::fuzz {

// One pass over one file, decoded from arbitrary bytes. The first kHeaderSize bytes choose
// the options, the answers and a fault; the rest is the file. Missing header bytes read as 0,
// so every byte string is a valid case and short ones mean "defaults".
//
//   0      flags: 1 interactive, 2 truncate, 4 ignore HJSplit, 8 dry run, 16 an old backup
//          exists, 32 a stale NAME.$$$ exists, 64 and 128 the name: a.avi, piece.007,
//          .hidden, or the empty name
//   1-2    range start, 3-4 range end: signed 16-bit, little-endian, not checked at all
//   5      bits 0-6: fault site (see FaultSite; larger values: none); bit 7: the stale NAME.$$$
//          came with the download (no mark of Korbelt's), 6 the call that fails (0: none),
//   7      its errno, from a table of realistic ones
//   8-9    length of an inert lead-in before the data, so that short data can sit at any
//          record boundary (taken modulo 24,576)
//   10     bits 0-1: the data is repeated 1 to 4 times; bit 2: no hard links; bit 3: the
//          record I/O has a wide write (the pass then gathers what it writes); bit 4: a
//          PAR 2.0 index beside the file describes it as the plain repair leaves it, with
//          slices of 64, 1,024, 4,096 or 16,384 bytes (bits 5-6), and verifying is on;
//          bit 7: a file whose markers show no damage pattern is left alone
//   11     the yield at which Stop is pressed (0: never)
//   12-19  answers to the questions, one bit each, lowest bit first, used round
//   20-    the data
struct PassCase {
    static constexpr std::size_t kHeaderSize = 20;
    static constexpr int kMaxLead = 24576;

    enum class Name { Plain, HJSplitPiece, Hidden, Empty };

    bool interactive = false;
    bool truncate = false;
    bool ignoreHJSplit = false;
    bool dryRun = false;
    bool oldBackup = false;
    bool staleTemp = false;
    bool postedTemp = false;  // the NAME.$$$ there is no copy of Korbelt's
    bool withoutHardLinks = false;
    bool wideWrites = false;
    bool slices = false;
    int sliceSizeIndex = 0;
    bool leaveUnpatterned = false;
    Name name = Name::Plain;
    std::int16_t rangestart = -1;
    std::int16_t rangeend = -1;
    int faultSite = static_cast<int>(FaultSite::Count);
    int faultNth = 0;
    int faultErrorIndex = 0;
    int lead = 0;
    int copies = 1;
    int stopAtYield = 0;
    std::uint64_t answers = 0;
    Bytes data;

    static PassCase Decode(const std::uint8_t* bytes, std::size_t size);
    Bytes Encode() const;

    // The input file: lead-in, then the data as often as asked.
    Bytes FileBytes() const;
    int FaultError() const;
    std::int64_t SliceSize() const {
        constexpr std::int64_t kSizes[] = {64, 1024, 4096, 16384};
        return kSizes[sliceSizeIndex & 3];
    }
    // One line naming every choice, for a report.
    std::string Describe() const;
};

// What one pass did, and each promise it broke (none when all is well).
struct PassOutcome {
    std::vector<std::string> broken;
    std::vector<std::string> lines;
    std::vector<std::string> boxes;
    bool fileerror = false;
    bool faultFired = false;
};

// Runs the repair pass over cases in a memory directory and checks what it promises: the
// input's bytes never lost, a repair that only ever removes bytes and says how many, no
// NAME.$$$ left unless a warning names it, every file handle closed, no other file touched.
// The scan goes through the scanner given (the real korbscan library).
//
// Passes run one after another on the same engine, as in the window and the command line:
// the engine, its buffers and its state live from pass to pass; the directory, the options
// and the answers are laid out afresh for each case.
class PassRunner {
  public:
    explicit PassRunner(RecordIo& scanner);
    ~PassRunner();
    PassRunner(const PassRunner&) = delete;
    PassRunner& operator=(const PassRunner&) = delete;

    PassOutcome Run(const PassCase& pass);

  private:
    struct Rig;
    std::unique_ptr<Rig> rig_;
};

// One case on an engine of its own.
PassOutcome RunPass(const PassCase& pass, RecordIo& scanner);

}  // namespace korbelt::fuzz
