// libFuzzer target: arbitrary bytes walked as a file of one of the formats whose structure
// Korbelt reads, and its regions planned (see StructureHarness.h). Any broken promise aborts
// with what it was.
#include <cstdio>
#include <cstdlib>

#include "StructureHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto broken = korbelt::fuzz::CheckStructure(data, size);
    for (const auto& what : broken) {
        std::fprintf(stderr, "broken: %s\n", what.c_str());
    }
    if (!broken.empty()) {
        std::abort();
    }
    return 0;
}
