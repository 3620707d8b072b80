#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korbelt::fuzz {

// Reads arbitrary bytes as a checksum file: the first byte chooses PAR 2.0, SFV or a digest
// list (and its kind), the rest is the file. Returns each promise the readers broke: an
// entry whose slices do not fit its length, a digest of the wrong size, a name with a NUL.
// Crashes, hangs and reads outside the input are the sanitizers' and libFuzzer's to find.
std::vector<std::string> CheckChecksumFile(const std::uint8_t* data, std::size_t size);

}  // namespace korbelt::fuzz
