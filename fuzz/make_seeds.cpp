// Writes the hand-made seed cases into a directory, one file each, for the fuzzer to start
// from: korbelt-fuzz-seeds DIRECTORY
#include <cstdio>
#include <fstream>

#include "SeedCases.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: korbelt-fuzz-seeds DIRECTORY\n");
        return 2;
    }
    for (const auto& [name, pass] : korbelt::fuzz::SeedCases()) {
        const auto bytes = pass.Encode();
        std::ofstream out(std::string(argv[1]) + "/seed-" + name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            std::fprintf(stderr, "korbelt-fuzz-seeds: cannot write %s\n", name.c_str());
            return 1;
        }
    }
    return 0;
}
