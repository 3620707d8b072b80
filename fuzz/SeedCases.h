#pragma once

#include <string>
#include <utility>
#include <vector>

#include "RepairPassHarness.h"

namespace korbelt::fuzz {

// The hand-made edge cases the fuzzer starts from: record boundaries, wrappers, ranges at
// and beyond their limits, every question answered both ways, a fault at every site.
// Each comes with a file name for the seed corpus.
std::vector<std::pair<std::string, PassCase>> SeedCases();

}  // namespace korbelt::fuzz
