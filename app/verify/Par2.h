#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ports/FileSystem.h"
#include "verify/Expectation.h"

namespace korbelt {

// What a PAR 2.0 file holds about its set's files: for each file that has both a File
// Description and an Input File Slice Checksum packet of the same set, an expectation with
// its length, MD5 and where its slice checksums are. Every packet used has its own MD5
// checked; a damaged packet is passed over and the next one looked for; recovery slices are
// skipped by their length, never read.
using Par2SetId = std::array<std::uint8_t, 16>;

struct Par2Contents {
    std::vector<Expectation> files;
    std::optional<Par2SetId> mainSet;  // the set whose Main packet the file holds
    int packets = 0;                   // sound packets
    int damagedPackets = 0;            // packets whose header, length or MD5 was wrong
    bool IsPar2() const { return packets + damagedPackets > 0; }
    bool AllPacketsSound() const { return packets > 0 && damagedPackets == 0; }
};

// Which of the files a set describes are wanted, by the name its File Description gives;
// the others cost no memory, however many the file describes.
using Par2NameFilter = std::function<bool(const std::string& name)>;

// Reads the whole file, each byte a bounded number of times whatever it holds. Without a
// filter every description is kept. The slice checksums are only located (slicesAt): a set
// may describe thousands of files, and only those being repaired need theirs.
Par2Contents ReadPar2(InputFile& file, const std::string& source,
                      const Par2NameFilter& wanted = {});

// Fills in the slice checksums of an expectation read by ReadPar2 from the same file; false,
// and none filled in, when that packet no longer checks.
bool LoadSlices(InputFile& file, Expectation& expected);

// The recovery set of the file's first packet, from its header alone (one small read); none
// when the file does not start with a packet header.
std::optional<Par2SetId> FirstPacketSet(InputFile& file);

}  // namespace korbelt
