// The structure fuzz target's corpus (real files of every format the walkers read, and what
// the fuzzer grew from them) replayed: every walk and plan keeps every promise.
#include <dirent.h>

#include <algorithm>

#include "StructureFixture.h"

namespace korbelt::test {
namespace {

TEST(StructureFuzzCorpus, EveryInputKeepsEveryPromise) {
    const std::string corpus = KORBELT_STRUCTURE_CORPUS;
    std::vector<std::string> files;
    if (DIR* directory = opendir(corpus.c_str())) {
        while (const dirent* entry = readdir(directory)) {
            if (entry->d_name[0] != '.') {
                files.push_back(corpus + "/" + entry->d_name);
            }
        }
        closedir(directory);
    }
    ASSERT_GE(files.size(), 20u) << "corpus not found in " << corpus;
    std::sort(files.begin(), files.end());
    for (const std::string& file : files) {
        const Bytes bytes = ReadBytes(file);
        EXPECT_EQ(fuzz::CheckStructure(bytes.data(), bytes.size()), std::vector<std::string>{})
            << file;
    }
}

}  // namespace
}  // namespace korbelt::test
