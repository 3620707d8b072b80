#pragma once

#include <string>
#include <vector>

#include "ports/FileSystem.h"
#include "verify/Expectation.h"

namespace korbelt {

// What a PAR 2.0 file holds about its set's files: for each file that has both a File
// Description and an Input File Slice Checksum packet of the same set, an expectation with
// its length, MD5 and slice checksums. Every packet used has its own MD5 checked; a damaged
// packet is passed over and the next one looked for; recovery slices are skipped by their
// length, never read.
struct Par2Contents {
    std::vector<Expectation> files;
    int packets = 0;         // sound packets
    int damagedPackets = 0;  // packets whose header, length or MD5 was wrong
    bool IsPar2() const { return packets + damagedPackets > 0; }
    bool AllPacketsSound() const { return packets > 0 && damagedPackets == 0; }
};

Par2Contents ReadPar2(InputFile& file, const std::string& source);

}  // namespace korbelt
