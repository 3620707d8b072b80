// libFuzzer target: one repair pass per input, over arbitrary file bytes, range values,
// options, answers, a Stop press and a failing file operation (see RepairPassHarness.h).
// Any broken promise aborts with the case and what the pass showed.
#include <cstdio>
#include <cstdlib>

#include "RepairPassHarness.h"
#include "engine/system/KorbscanLibrary.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static korbelt::KorbscanLibrary library;
    static korbelt::fuzz::PassRunner runner(library);
    const auto pass = korbelt::fuzz::PassCase::Decode(data, size);
    const auto outcome = runner.Run(pass);
    if (outcome.broken.empty()) {
        return 0;
    }
    std::fprintf(stderr, "case: %s\n", pass.Describe().c_str());
    for (const auto& what : outcome.broken) {
        std::fprintf(stderr, "broken: %s\n", what.c_str());
    }
    for (const auto& line : outcome.lines) {
        std::fprintf(stderr, "line: %s\n", line.c_str());
    }
    for (const auto& box : outcome.boxes) {
        std::fprintf(stderr, "%s\n", box.c_str());
    }
    std::abort();
}
