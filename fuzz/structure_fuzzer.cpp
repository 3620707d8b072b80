// libFuzzer target: arbitrary bytes walked as a file of one of the formats whose structure
// Korbelt reads, and its regions planned (see StructureHarness.h). Any broken promise aborts
// with what it was.
//
// KORBELT_FUZZ_WALKER names one walker ("Matroska", "RAR 5" ...): every input is then walked
// as its format, so that a short run spends all of its time on that walker.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "StructureHarness.h"
#include "structure/Walkers.h"

namespace {

// The first byte that chooses the walker named, or -1 for none named.
int FixedWalker() {
    static const int chosen = [] {
        const char* name = std::getenv("KORBELT_FUZZ_WALKER");
        if (name == nullptr) {
            return -1;
        }
        const korbelt::Walkers walkers;
        for (std::size_t i = 0; i < walkers.All().size(); ++i) {
            if (std::string(walkers.All()[i]->Format()) == name) {
                return static_cast<int>(i);
            }
        }
        std::fprintf(stderr, "KORBELT_FUZZ_WALKER: no walker is named '%s'\n", name);
        std::exit(2);
    }();
    return chosen;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> fixed;
    if (FixedWalker() >= 0 && size > 0) {
        fixed.assign(data, data + size);
        fixed[0] = static_cast<std::uint8_t>(FixedWalker());
        data = fixed.data();
    }
    const auto broken = korbelt::fuzz::CheckStructure(data, size);
    for (const auto& what : broken) {
        std::fprintf(stderr, "broken: %s\n", what.c_str());
    }
    if (!broken.empty()) {
        std::abort();
    }
    return 0;
}
