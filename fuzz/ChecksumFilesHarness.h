#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korbelt::fuzz {

// Reads arbitrary bytes as a checksum file: the first byte chooses PAR 2.0, SFV or a digest
// list (and its kind), the rest is the file. Then the rest, cut at each "KRBF", as several
// checksum files beside two downloads and one kept elsewhere, through the catalog, and the
// downloads checked against what it finds. Returns each promise broken: an entry whose
// slices do not fit its length, a digest of the wrong size, a name with a NUL, an entry for
// another file, more entries than are checked.
// Crashes, hangs and reads outside the input are the sanitizers' and libFuzzer's to find.
std::vector<std::string> CheckChecksumFile(const std::uint8_t* data, std::size_t size);

}  // namespace korbelt::fuzz
