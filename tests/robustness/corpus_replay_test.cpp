// The fuzz target's harness in the normal suite: every hand-made seed and every input of the
// committed corpus replayed through the repair pass, with every promise checked.
#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "ChecksumFilesHarness.h"
#include "RepairPassHarness.h"
#include "SeedCases.h"
#include "engine/system/KorbscanLibrary.h"

namespace korbelt::test {
namespace {

using fuzz::PassCase;
using fuzz::PassOutcome;
using Texts = std::vector<std::string>;

std::string Report(const PassCase& pass, const PassOutcome& outcome) {
    std::string text = pass.Describe() + "\n";
    for (const auto& what : outcome.broken) {
        text += "broken: " + what + "\n";
    }
    for (const auto& line : outcome.lines) {
        text += "line: " + line + "\n";
    }
    for (const auto& box : outcome.boxes) {
        text += box + "\n";
    }
    return text;
}

std::vector<std::string> CorpusFiles(const std::string& corpus = KORBELT_FUZZ_CORPUS) {
    std::vector<std::string> files;
    if (DIR* dir = opendir(corpus.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            if (entry->d_name[0] != '.') {
                files.push_back(corpus + "/" + entry->d_name);
            }
        }
        closedir(dir);
    }
    std::sort(files.begin(), files.end());
    return files;
}

fuzz::Bytes FileContents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return fuzz::Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

PassOutcome Seed(const std::string& name, KorbscanLibrary& library) {
    for (const auto& [seedName, pass] : fuzz::SeedCases()) {
        if (seedName == name) {
            return fuzz::RunPass(pass, library);
        }
    }
    ADD_FAILURE() << "no seed " << name;
    return {};
}

class FuzzCorpus : public ::testing::Test {
  protected:
    KorbscanLibrary library;
};

TEST_F(FuzzCorpus, EverySeedKeepsEveryPromise) {
    const auto seeds = fuzz::SeedCases();
    EXPECT_GE(seeds.size(), 60u);
    fuzz::PassRunner runner(library);
    for (const auto& [name, pass] : seeds) {
        const PassOutcome outcome = runner.Run(pass);
        EXPECT_TRUE(outcome.broken.empty()) << name << ": " << Report(pass, outcome);
    }
}

TEST_F(FuzzCorpus, EveryCommittedInputKeepsEveryPromise) {
    const auto files = CorpusFiles();
    // The seeds alone are more than this; an empty or missing corpus must not pass.
    ASSERT_GE(files.size(), 60u) << "corpus not found in " << KORBELT_FUZZ_CORPUS;
    int repaired = 0;
    int failed = 0;
    int faults = 0;
    // One engine for all of them, as the fuzzer runs them.
    fuzz::PassRunner runner(library);
    for (const auto& file : files) {
        const fuzz::Bytes bytes = FileContents(file);
        const PassCase pass = PassCase::Decode(bytes.data(), bytes.size());
        const PassOutcome outcome = runner.Run(pass);
        EXPECT_TRUE(outcome.broken.empty()) << file << ": " << Report(pass, outcome);
        repaired += !outcome.fileerror && outcome.lines.size() > 2;
        failed += outcome.fileerror;
        faults += outcome.faultFired;
    }
    std::printf(
        "Replayed %zu corpus inputs: %d passes with finds, %d failed files, %d with a "
        "planted fault\n",
        files.size(), repaired, failed, faults);
    // A corpus worth its name reaches both endings and the faults.
    EXPECT_GT(repaired, 10);
    EXPECT_GT(failed, 10);
    EXPECT_GT(faults, 10);
}

TEST_F(FuzzCorpus, CasesSurviveEncodingAndDecoding) {
    for (const auto& [name, pass] : fuzz::SeedCases()) {
        const fuzz::Bytes bytes = pass.Encode();
        const PassCase back = PassCase::Decode(bytes.data(), bytes.size());
        EXPECT_EQ(back.Describe(), pass.Describe()) << name;
        EXPECT_EQ(back.FileBytes(), pass.FileBytes()) << name;
    }
}

TEST_F(FuzzCorpus, ShortInputsAreDefaultCases) {
    const PassCase none = PassCase::Decode(nullptr, 0);
    EXPECT_EQ(none.Describe(),
              "name /mem/a.avi automatic range 0..0 stop@0 answers 0 lead 0 "
              "data 0 x1");
    const std::uint8_t flags[] = {0xff, 0x00, 0x80};
    const PassCase some = PassCase::Decode(flags, sizeof(flags));
    EXPECT_EQ(some.Describe(),
              "name  interactive truncate ignore-hjsplit dry-run old-backup "
              "stale-temp range -32768..0 stop@0 answers 0 lead 0 data 0 x1");
}

// The harness runs the real pass: its outcomes are the engine's own, line for line.
TEST_F(FuzzCorpus, TheWorkedExampleIsRepairedAsTheEngineDoesIt) {
    const PassOutcome outcome = Seed("worked-example-300-bytes", library);
    EXPECT_TRUE(outcome.broken.empty());
    EXPECT_FALSE(outcome.fileerror);
    EXPECT_EQ(outcome.lines,
              (Texts{"/mem/a.avi", "  @101 found 068 069 122 122 072 073 074  removed",
                     "  1 bytes removed, 300 bytes read, 299 bytes written."}));
}

TEST_F(FuzzCorpus, APlantedFaultFailsTheFileAndKeepsTheInput) {
    const PassOutcome outcome = Seed("fault-rename-without-hard-links", library);
    EXPECT_TRUE(outcome.broken.empty());
    EXPECT_TRUE(outcome.faultFired);
    EXPECT_TRUE(outcome.fileerror);
    EXPECT_EQ(outcome.lines.at(0), "/mem/a.avi - rename to backup file failed");
}

TEST_F(FuzzCorpus, RangesFarOutsideTheBufferStayInside) {
    for (const char* name : {"range--32768-32767", "range-32767--32768", "range-0-51"}) {
        const PassOutcome outcome = Seed(name, library);
        EXPECT_TRUE(outcome.broken.empty()) << name;
        EXPECT_FALSE(outcome.fileerror) << name;
    }
}

// The checksum files' fuzz target: its corpus, real files made by par2, cksfv, md5sum and
// sha*sum and what the fuzzer grew from them, read without a broken promise.
TEST(ChecksumFuzzCorpus, EveryInputIsReadWithoutHarm) {
    const auto files = CorpusFiles(KORBELT_CHECKSUM_CORPUS);
    ASSERT_GE(files.size(), 6u);
    for (const std::string& file : files) {
        const fuzz::Bytes bytes = FileContents(file);
        EXPECT_EQ(fuzz::CheckChecksumFile(bytes.data(), bytes.size()), Texts{}) << file;
    }
}

}  // namespace
}  // namespace korbelt::test
