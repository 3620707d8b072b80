// libFuzzer target: arbitrary bytes read as a PAR 2.0 file, an SFV or a digest list (see
// ChecksumFilesHarness.h). Any broken promise aborts with what it was.
#include <cstdio>
#include <cstdlib>

#include "ChecksumFilesHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto broken = korbelt::fuzz::CheckChecksumFile(data, size);
    for (const auto& what : broken) {
        std::fprintf(stderr, "broken: %s\n", what.c_str());
    }
    if (!broken.empty()) {
        std::abort();
    }
    return 0;
}
