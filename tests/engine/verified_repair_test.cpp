// The checksums a download carries decide, with checksum files made by the real par2 and
// md5sum: a file that matches is left alone whatever the pattern finds, a repair that
// matches is proven, and one that does not is kept or dropped by its slices.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <thread>

#include "ChildProcess.h"
#include "Forwarding.h"
#include "PassFixture.h"
#include "verify/ChecksumCatalog.h"

namespace korbelt::test {
namespace {

using Texts = std::vector<std::string>;

constexpr std::size_t kSlice = 4096;

// 40 KiB, ten slices: a file as it was posted, with a CR LF '-' where it will be damaged,
// and chance finds: real pairs of equal bytes after a CR LF '-', part of the file.
Bytes Posted(std::size_t damageAt, const std::vector<std::size_t>& chanceFinds = {}) {
    Bytes data = CleanBytes(10 * kSlice, 21);
    Put(data, damageAt, {13, 10, '-'});
    for (const std::size_t at : chanceFinds) {
        PutRepeat(data, at, 41);
    }
    return data;
}

// The file as it arrived: the byte 41 after the CR LF '-' at the offset given, doubled.
Bytes Arrived(Bytes data, std::size_t at) {
    data.insert(data.begin() + static_cast<long>(at + 41), data[at + 41]);
    return data;
}

class VerifiedRepair : public PassFixture {
  protected:
    VerifiedRepair() { engine.SetChecksums(&catalog); }

    // A checksum file made by a real tool from the file as posted, then the file as arrived.
    std::string Download(const Bytes& posted, const Bytes& arrived, const std::string& tool) {
        const std::string path = Input("my movie.avi", posted);
        const ProgramResult made =
            RunProgram("/bin/sh", {"-c", "cd \"$1\" && " + tool, "sh", dir.Path()}, "", {});
        EXPECT_EQ(made.exitCode, 0) << made.err;
        WriteBytes(path, arrived);
        return path;
    }
    std::string WithPar(const Bytes& posted, const Bytes& arrived) {
        return Download(posted, arrived,
                        "par2 create -q -q -s4096 -n1 -r5 set.par2 'my movie.avi'");
    }

    ChecksumCatalog catalog{realFs};
};

TEST_F(VerifiedRepair, AnIntactFileIsLeftAloneWhateverThePatternFindsAndAsksNothing) {
    const Bytes posted = Posted(20000, {9000});
    const std::string path = WithPar(posted, posted);
    WriteBytes(path + ".bak", {'o'});
    run.interactive = true;
    Process(path);
    EXPECT_EQ(Lines(), (Texts{path, "  intact: matches '" + dir.File("set.par2") + "'"}));
    EXPECT_TRUE(host.boxes.shown.empty());
    EXPECT_FALSE(run.fileerror);
    EXPECT_EQ(ReadBytes(path), posted);
    EXPECT_EQ(ReadBytes(path + ".bak"), Bytes{'o'});
    EXPECT_FALSE(Exists(path + ".$$$"));
}

TEST_F(VerifiedRepair, ARepairThatMatchesIsProvenAndSwappedIn) {
    const Bytes posted = Posted(5000);
    const std::string path = WithPar(posted, Arrived(posted, 5000));
    Process(path);
    EXPECT_EQ(Lines().back(), "  verified: matches '" + dir.File("set.par2") + "'");
    EXPECT_FALSE(run.fileerror);
    EXPECT_EQ(ReadBytes(path), posted);
    EXPECT_EQ(ReadBytes(path + ".bak"), Arrived(posted, 5000));
}

// With slice checksums the repair is guided by them: the real find is removed, the chance
// find left where its slice verifies without it, a byte no pattern points at is found by
// its slice's CRC-32 and MD5, asked about as a find is, and the whole repair is proven.
TEST_F(VerifiedRepair, SliceChecksumsKeepRealFindsLeaveChanceOnesAndFindSlippedBytes) {
    const Bytes posted = Posted(5000, {30000});
    Bytes arrived = Arrived(posted, 5000);
    arrived.insert(arrived.begin() + 20001, 0x77);
    const std::string path = WithPar(posted, arrived);
    run.interactive = true;
    host.boxes.Answer(true);
    host.boxes.Answer(true);
    Process(path);
    EXPECT_EQ(Lines(),
              (Texts{path, Lines()[1], "  @20,002 found 119 slipped in, by its slice removed",
                     Lines()[3],
                     "  slices (PAR 2.0): 2 slices repaired, proven by the par2 set; 1 slice left "
                     "as found, proven by the par2 set",
                     "  2 bytes removed, 40,962 bytes read, 40,960 bytes written.",
                     "  verified: matches '" + dir.File("set.par2") + "'"}));
    EXPECT_TRUE(Lines()[1].starts_with("  @5,001 found ") && Lines()[1].ends_with(" removed"));
    EXPECT_TRUE(Lines()[3].starts_with("  @30,003 found ") &&
                Lines()[3].ends_with(" ignored: its slice verifies without it"));
    ASSERT_EQ(host.boxes.shown.size(), 2u);
    EXPECT_EQ(host.boxes.shown[0].question, QuestionKind::RemoveRepeatedByte);
    EXPECT_EQ(host.boxes.shown[1].question, QuestionKind::RemoveSlippedByte);
    EXPECT_FALSE(run.fileerror);
    EXPECT_EQ(ReadBytes(path), posted);
    EXPECT_EQ(ReadBytes(path + ".bak"), arrived);
}

// A dry run of a guided repair says what the repair says and changes nothing, not even for
// a moment; a Stop while the finds are gathered ends the file as a Stop during its pass does.
TEST_F(VerifiedRepair, AGuidedDryRunSaysWhatTheRepairWouldAndStopEndsTheGathering) {
    const Bytes posted = Posted(5000, {30000});
    Bytes arrived = Arrived(posted, 5000);
    arrived.insert(arrived.begin() + 20001, 0x77);
    const std::string path = WithPar(posted, arrived);
    options.dryRun = true;
    bool copySeen = false;
    host.onYield = [&](int) { copySeen = copySeen || Exists(path + ".$$$"); };
    Process(path);
    const Texts dry = Lines();
    EXPECT_FALSE(copySeen);
    EXPECT_EQ(ReadBytes(path), arrived);
    EXPECT_FALSE(Exists(path + ".bak"));
    options.dryRun = false;
    host.onYield = nullptr;
    engine.StartRun();
    host.ClearRecords();
    Process(path);
    // The same lines, the dry run's in words that say what would happen.
    Texts real = Lines();
    int removals = 0;
    for (std::string& line : real) {
        const std::string removed = " removed";
        if (line.size() > removed.size() &&
            line.compare(line.size() - removed.size(), removed.size(), removed) == 0) {
            line.insert(line.size() - removed.size(), " would be");
            ++removals;
        }
        for (const std::string done : {" bytes removed,", " bytes written."}) {
            if (const auto at = line.find(done); at != std::string::npos) {
                line.insert(at + 6, " would be");
            }
        }
    }
    EXPECT_GT(removals, 0);
    EXPECT_EQ(real, dry);
    EXPECT_EQ(ReadBytes(path), posted);

    WriteBytes(path, arrived);
    std::filesystem::remove(path + ".bak");
    engine.StartRun();
    host.ClearRecords();
    host.onYield = [&](int) { run.stopflag = true; };
    host.boxes.Answer(true);
    Process(path);
    EXPECT_EQ(Lines().front(), "Aborted " + path);
    EXPECT_EQ(Questions(), Texts{"Abort Processing?"});
    EXPECT_EQ(ReadBytes(path), arrived);
    EXPECT_FALSE(Exists(path + ".$$$"));
}

// A read that fails anywhere in a guided repair (gathering the finds, planning, the pass)
// leaves the file as it was, and says so.
TEST_F(VerifiedRepair, AFailedReadAnywhereInAGuidedRepairLeavesTheFileAsItWas) {
    const Bytes posted = Posted(5000, {30000});
    Bytes arrived = Arrived(posted, 5000);
    arrived.insert(arrived.begin() + 20001, 0x77);
    const std::string path = WithPar(posted, arrived);
    engine.SetIoPlan({0, false, 0});  // a read call for every record and slice, none held
    Process(path);
    ASSERT_EQ(ReadBytes(path), posted);
    const int reads = faults.Calls(Site::ReadInput);
    ASSERT_GT(reads, 3);
    for (int nth = 1; nth <= reads; ++nth) {
        SCOPED_TRACE(nth);
        WriteBytes(path, arrived);
        std::filesystem::remove(path + ".bak");
        faults = FaultPlan();
        faults.FailAt(Site::ReadInput, nth, EIO);
        engine.StartRun();
        host.ClearRecords();
        Process(path);
        if (!faults.Fired()) {
            continue;  // a read the fault-free pass made and this one, repaired at once, did not
        }
        EXPECT_EQ(ReadBytes(path), arrived);
        EXPECT_FALSE(Exists(path + ".bak"));
        EXPECT_FALSE(Exists(path + ".$$$"));
        ASSERT_EQ(Warnings().size(), 1u);
        EXPECT_TRUE(Warnings()[0].starts_with("Unable to read input file '" + path + "'"))
            << Warnings()[0];
    }
}

// Two bytes slipped into one slice are more than the search looks for: that slice keeps its
// bytes, the next is found again, the rest is repaired; the copy, with more slices right
// than the input, is kept, and the file counts as not repaired.
TEST_F(VerifiedRepair, ASliceThatCannotBeMendedKeepsItsBytesAndTheFileIsNotVerified) {
    const Bytes posted = Posted(30000);
    Bytes arrived = Arrived(posted, 30000);
    arrived.insert(arrived.begin() + 5000, 1);
    arrived.insert(arrived.begin() + 6000, 2);
    const std::string path = WithPar(posted, arrived);
    Process(path);
    EXPECT_EQ(Lines().back(), "  not verified against '" + dir.File("set.par2") +
                                  "': 9 of 10 slices match, was 1 of 10");
    EXPECT_TRUE(run.fileerror);
    EXPECT_EQ(ReadBytes(path + ".bak"), arrived);
    EXPECT_EQ(ReadBytes(path), Without(arrived, 30000 + 2 + 41));
}

// The markers show damage at 41; a slice that a changed byte keeps from being proven
// also holds a chance pair at 44 of the file as posted: its finds go as the verdict has
// them, the chance pair stays, where the plain rule would have removed it.
TEST_F(VerifiedRepair, ASliceNoPlanProvesFallsBackToTheVerdictNotToThePlainRule) {
    Bytes posted = CleanBytes(10 * kSlice, 21);
    std::vector<std::size_t> markers;
    for (std::size_t at = 300; at + 100 < posted.size(); at += 650) {
        Put(posted, at, {13, 10, '-'});
        markers.push_back(at);
    }
    PutRepeat(posted, 5800, 44);
    // Slice 1 arrives with a byte changed before the chance pair: no removal can mend it.
    Bytes want = posted;
    want[4100] = 1;
    Bytes arrived = want;
    for (auto at = markers.rbegin(); at != markers.rend(); ++at) {
        arrived.insert(arrived.begin() + static_cast<long>(*at + 41), arrived[*at + 41]);
    }
    const std::string path = WithPar(posted, arrived);
    Process(path);
    EXPECT_TRUE(ReadBytes(path) == want) << "only the repeats at 41 go";
    EXPECT_EQ(ReadBytes(path + ".bak"), arrived);
    EXPECT_EQ(Lines().back(), "  not verified against '" + dir.File("set.par2") +
                                  "': 9 of 10 slices match, was 0 of 10");
}

// A text file with many marked lines: six real repeated bytes in one slice, all removed and
// proven, as the plain repair would remove them.
TEST_F(VerifiedRepair, SixFindsInOneSliceAreRemovedAndProvenTogether) {
    Bytes posted = Posted(500);
    for (std::size_t at = 8200; at < 8200 + 6 * 600; at += 600) {
        Put(posted, at, {13, 10, '-'});
    }
    Bytes arrived = posted;
    for (std::size_t at = 8200 + 5 * 600 + 41; at > 8200; at -= 600) {
        arrived.insert(arrived.begin() + static_cast<long>(at), arrived[at]);
    }
    const std::string path = WithPar(posted, arrived);
    Process(path);
    // The markers' verdict is told; the checksums decide.
    EXPECT_EQ(Lines().size(), 1u + 6 + 4);
    EXPECT_EQ(Lines()[7], "  damage at 41 characters: 6 of 7 markers, chance would give 1");
    EXPECT_EQ(Lines()[8], "  slices (PAR 2.0): 1 slice repaired, proven by the par2 set");
    EXPECT_EQ(Lines().back(), "  verified: matches '" + dir.File("set.par2") + "'");
    EXPECT_FALSE(run.fileerror);
    EXPECT_EQ(ReadBytes(path), posted);
}

// With a whole-file digest alone nothing tells good slices from bad: the copy is kept as
// without any checksum, and the file counts as not repaired. Noise named like a checksum
// file is no checksum.
TEST_F(VerifiedRepair, AWholeFileDigestAloneKeepsTheCopyAndSaysItDoesNotMatch) {
    WriteBytes(dir.File("noise.sfv"), RandomBytes(100000, 4));
    const Bytes posted = Posted(5000, {30000});
    const std::string path = Download(posted, Arrived(posted, 5000), "md5sum * > list.md5");
    Process(path);
    EXPECT_EQ(Lines().back(), "  not verified: does not match '" + dir.File("list.md5") + "'");
    EXPECT_TRUE(run.fileerror);
    EXPECT_EQ(ReadBytes(path), Without(posted, 30000 + 41));
}

// Checksum lists that take their time to open, as on a slow share, counted.
class SlowLists : public ForwardingFileSystem {
  public:
    using ForwardingFileSystem::ForwardingFileSystem;
    std::unique_ptr<InputFile> OpenInput(const std::string& path, std::error_code& error) override {
        if (path.ends_with(".md5")) {
            ++opened;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return real_.OpenInput(path, error);
    }
    int opened = 0;
};

// A folder of many checksum lists takes a second to read: Stop is answered there, not after
// it, and the file is left as it was. What was read of the folder then is forgotten, so that
// the next file of the run has every list read.
TEST_F(PassFixture, StopIsAnsweredWhileTheChecksumFilesAreRead) {
    SlowLists slow{realFs};
    ChecksumCatalog catalog{slow};
    engine.SetChecksums(&catalog);
    Bytes posted = CleanBytes(20000, 5);
    Put(posted, 5000, {13, 10, '-'});
    Bytes arrived = posted;
    arrived.insert(arrived.begin() + 5041, posted[5041]);
    const std::string path = Input("movie.avi", arrived);
    constexpr int kLists = 200;
    for (int n = 0; n < kLists; ++n) {
        const std::string list = "d41d8cd98f00b204e9800998ecf8427e  other" + std::to_string(n) + "\n";
        Input("list" + std::to_string(n) + ".md5", Bytes(list.begin(), list.end()));
    }
    const auto started = std::chrono::steady_clock::now();
    host.onYield = [&](int) {
        run.stopflag = std::chrono::steady_clock::now() - started > std::chrono::milliseconds(50);
    };
    host.boxes.Answer(true);  // Abort Processing? Yes
    Process(path);
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(Lines(), (Texts{"Aborted " + path}));
    EXPECT_EQ(Questions(), (Texts{"Abort Processing?"}));
    EXPECT_EQ(engine.Report().outcome, FileOutcome::NotRepaired);
    EXPECT_LT(took, std::chrono::milliseconds(500));
    EXPECT_LT(slow.opened, kLists / 2);
    EXPECT_EQ(ReadBytes(path), arrived);
    EXPECT_EQ(ListDirectory(dir.Path()).size(), static_cast<std::size_t>(kLists + 1));

    host.onYield = nullptr;
    run.stopflag = false;
    slow.opened = 0;
    host.status.lines.clear();
    Process(path);
    EXPECT_EQ(slow.opened, kLists);
    EXPECT_EQ(ReadBytes(path), posted);
}

}  // namespace
}  // namespace korbelt::test
