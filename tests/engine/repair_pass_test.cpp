// Whole passes over files built byte by byte: status lines, questions, and the bytes left
// on disk under NAME, NAME.bak and NAME.$$$.
#include <unistd.h>

#include <gtest/gtest.h>

#include "PassFixture.h"

namespace korbelt::test {
namespace {

using Lines_ = std::vector<std::string>;

std::string ByteList(const Bytes& data, std::size_t from, std::size_t to) {
    std::string list;
    for (std::size_t i = from; i <= to; ++i) {
        list += NumberFormat::ThreeDigits(data[i]) + " ";
    }
    return list;
}

class RepairPass : public PassFixture {
  protected:
    void ExpectUntouched(const std::string& path, const Bytes& original) {
        EXPECT_EQ(ReadBytes(path), original);
        EXPECT_FALSE(Exists(path + ".$$$"));
        EXPECT_FALSE(Exists(path + ".bak"));
    }
};

Bytes WorkedExample() {
    Bytes data = CleanBytes(300, 1);
    Put(data, 100, {13, 10, '-'});
    Put(data, 139, {93, 78, 65, 65, 57, 96, 84});
    return data;
}

TEST_F(RepairPass, WorkedExampleDropsOneByteAndSwapsTheCopyIn) {
    const Bytes data = WorkedExample();
    const std::string path = Input("a.avi", data);
    run.fileerror = true;
    Process(path);

    EXPECT_EQ(Lines(), (Lines_{path, "  @101 found 093 078 065 065 057 096 084  removed",
                               "  1 bytes removed, 300 bytes read, 299 bytes written."}));
    EXPECT_EQ(ReadBytes(path), Without(data, 141));
    EXPECT_EQ(ReadBytes(path + ".bak"), data);
    EXPECT_FALSE(Exists(path + ".$$$"));
    EXPECT_FALSE(run.fileerror);
    EXPECT_EQ(io.writes, (std::vector<int>{141, 158}));
    EXPECT_EQ(peer.readpos(), 301);
    EXPECT_EQ(peer.writepos(), 300);
}

TEST_F(RepairPass, ProgressBarTitleAndListPositionsFollowThePass) {
    const std::string path = Input("a.avi", WorkedExample());
    Process(path);
    // 143 of 300 is 47.67%, then past the end is lowered to 100.
    EXPECT_EQ(host.progress, (std::vector<int>{0, 48, 100, 0}));
    EXPECT_EQ(host.titles, (Lines_{"48% Completed. Korbelt from Prendle",
                                   "100% Completed. Korbelt from Prendle"}));
    EXPECT_EQ(host.status.selected, 1);  // the "- opening files" line when it was added
    EXPECT_EQ(host.status.topline, 2);   // the last line at the end
    EXPECT_EQ(host.yields, 2);           // before the first record, after the report line
}

TEST_F(RepairPass, PercentageHalfRoundsDownToAnEvenNeighbour) {
    // After the first record readpos is 10241, exactly 12.5% of 81928.
    const std::string path = Input("half", CleanBytes(81928, 3));
    Process(path);
    ASSERT_GE(host.progress.size(), 4u);
    EXPECT_EQ(host.progress[1], 12);
    EXPECT_EQ(host.titles[0], "12% Completed. Korbelt from Prendle");
    EXPECT_EQ(host.progress[2], 25);  // 20481 / 81928 = 24.9988
    EXPECT_EQ(host.progress[3], 37);  // 30721 / 81928 = 37.4975
}

TEST_F(RepairPass, PercentageHalfRoundsUpToAnEvenNeighbour) {
    // A removal at index 25 makes the next record start at position 27: 13.5% of 200.
    Bytes data = CleanBytes(200, 4);
    Put(data, 0, {13, 10, '-'});
    data[25] = 'R';
    data[26] = 'R';
    options.rangeStart = 24;
    options.rangeEnd = 26;
    const std::string path = Input("odd", data);
    Process(path);
    ASSERT_GE(host.progress.size(), 2u);
    EXPECT_EQ(host.progress[1], 14);
    EXPECT_EQ(ReadBytes(path), Without(data, 25));
}

TEST_F(RepairPass, EmptyInputLeavesEverythingAndPrintsEmptyNumbers) {
    const std::string path = Input("empty", {});
    Process(path);
    EXPECT_EQ(Lines(), (Lines_{path, "  0 bytes removed,  bytes read,  bytes written."}));
    EXPECT_EQ(peer.readpos(), 1);
    EXPECT_EQ(peer.writepos(), 1);
    ExpectUntouched(path, {});
    EXPECT_TRUE(io.writes.empty());
    EXPECT_EQ(host.progress, (std::vector<int>{0, 0}));
}

TEST_F(RepairPass, FileWithoutFindsIsLeftAloneAndAnOldBackupSurvives) {
    const Bytes data = CleanBytes(30000, 5);
    const std::string path = Input("clean.mpg", data);
    WriteBytes(path + ".bak", {'o', 'l', 'd'});
    host.boxes.Answer(true);
    Process(path);
    EXPECT_EQ(Questions(), (Lines_{"Backup file '" + path +
                                   ".bak' already exists\r\n"
                                   "I will have to delete it. Is this OK"}));
    EXPECT_EQ(Lines(),
              (Lines_{path, "  0 bytes removed, 30,000 bytes read, 30,000 bytes written."}));
    EXPECT_EQ(ReadBytes(path), data);
    EXPECT_EQ(ReadBytes(path + ".bak"), (Bytes{'o', 'l', 'd'}));
    EXPECT_FALSE(Exists(path + ".$$$"));
    EXPECT_EQ(io.writes, (std::vector<int>{10240, 10240, 9520}));
}

TEST_F(RepairPass, OldBackupIsReplacedWhenTheFileChanges) {
    const Bytes data = WorkedExample();
    const std::string path = Input("a.avi", data);
    WriteBytes(path + ".bak", {'o', 'l', 'd'});
    host.boxes.Answer(true);
    Process(path);
    EXPECT_EQ(ReadBytes(path + ".bak"), data);
    EXPECT_EQ(ReadBytes(path), Without(data, 141));
}

TEST_F(RepairPass, RefusingToDeleteTheBackupTouchesNothing) {
    const Bytes data = WorkedExample();
    const std::string path = Input("a.avi", data);
    WriteBytes(path + ".bak", {'o', 'l', 'd'});
    host.boxes.Answer(false);
    Process(path);
    EXPECT_EQ(Lines(), (Lines_{"Processing " + path}));
    EXPECT_EQ(ReadBytes(path), data);
    EXPECT_EQ(ReadBytes(path + ".bak"), (Bytes{'o', 'l', 'd'}));
    EXPECT_TRUE(run.fileerror);
    EXPECT_TRUE(host.progress.empty());
}

TEST_F(RepairPass, EmptyNameAndMissingFileWarnAndCountAsFailures) {
    Process("");
    EXPECT_EQ(Warnings(), (Lines_{"Please choose a file first"}));
    EXPECT_TRUE(run.fileerror);

    run.fileerror = false;
    const std::string missing = dir.File("gone.avi");
    Process(missing);
    EXPECT_EQ(Warnings()[1], missing + "\r\ndoes not exist");
    EXPECT_TRUE(run.fileerror);
    EXPECT_EQ(Lines(), (Lines_{"Processing ", "Processing " + missing}));

    const std::string hidden = Input(".hidden", {1, 2, 3});
    Process(hidden);
    EXPECT_EQ(Warnings()[2], hidden + "\r\ndoes not exist");
}

TEST_F(RepairPass, HJSplitPiecesOfWholeKilobytesAreSkippedWhenTheOptionIsOn) {
    options.ignoreHJSplit = true;
    run.fileerror = true;
    const std::string piece = Input("movie.avi.001", Bytes(2048, 'x'));
    Process(piece);
    EXPECT_EQ(Lines(), (Lines_{piece + " - HJSplit file ignored"}));
    EXPECT_FALSE(run.fileerror);
    EXPECT_TRUE(io.writes.empty());
    EXPECT_FALSE(Exists(piece + ".$$$"));
    EXPECT_EQ(host.progress, (std::vector<int>{0}));

    const std::string empty = Input("movie.avi.002", {});
    Process(empty);
    EXPECT_EQ(Lines().back(), empty + " - HJSplit file ignored");
}

TEST_F(RepairPass, HJSplitPieceOfOddSizeOrWithTheOptionOffIsProcessed) {
    options.ignoreHJSplit = true;
    const std::string odd = Input("movie.avi.003", CleanBytes(1025, 2));
    Process(odd);
    EXPECT_EQ(Lines(), (Lines_{odd, "  0 bytes removed, 1,025 bytes read, 1,025 bytes written."}));

    options.ignoreHJSplit = false;
    host.status.lines.clear();
    const std::string whole = Input("movie.avi.004", CleanBytes(2048, 2));
    Process(whole);
    EXPECT_EQ(Lines(),
              (Lines_{whole, "  0 bytes removed, 2,048 bytes read, 2,048 bytes written."}));
}

TEST_F(RepairPass, ProgressLineEveryEighthRecordInKilobytes) {
    const std::string path = Input("big", CleanBytes(200000, 8));
    std::vector<std::string> progressLines;
    host.onYield = [&](int) { progressLines.push_back(host.status.Line(1)); };
    Process(path);
    EXPECT_EQ(progressLines,
              (Lines_{"- opening files", "- processed 80 Kbytes", "- processed 160 Kbytes"}));
}

TEST_F(RepairPass, ProgressLineShowsNoNumberBeforeTheFirstKilobyte) {
    // Eight short records, each ending just after a removal, all within the first 1024 bytes.
    Bytes data = CleanBytes(1000, 9);
    for (std::size_t base = 0; base + 43 <= 420; base += 42) {
        Put(data, base + 1, {13, 10, '-'});
        data[base + 41] = 'R';
        data[base + 42] = 'R';
    }
    const std::string path = Input("short-records", data);
    std::string atEighth;
    host.onYield = [&](int) {
        if (host.status.Line(1).rfind("- processed", 0) == 0 && atEighth.empty()) {
            atEighth = host.status.Line(1);
        }
    };
    Process(path);
    EXPECT_EQ(atEighth, "- processed  Kbytes");
    EXPECT_EQ(io.writes.front(), 41);
}

TEST_F(RepairPass, TripleBeforeTheRestartPointIsNotExamined) {
    Bytes data = CleanBytes(400, 10);
    PutRepeat(data, 100, 41);
    Put(data, 120, {13, 10, '-'});
    data[161] = data[162] = 'R';
    const std::string path = Input("close", data);
    Process(path);
    EXPECT_EQ(Lines(), (Lines_{path, "  @101 found " + ByteList(data, 139, 145) + " removed",
                               "  1 bytes removed, 400 bytes read, 399 bytes written."}));
    EXPECT_EQ(ReadBytes(path), Without(data, 141));
}

TEST_F(RepairPass, TripleAtTheLastRecordIndexUsesTheLookAheadAndIsSeenOnce) {
    Bytes data = CleanBytes(25000, 11);
    PutRepeat(data, 10239, 41);
    const std::string path = Input("edge", data);
    Process(path);
    EXPECT_EQ(Lines(), (Lines_{path, "  @10,240 found " + ByteList(data, 10278, 10284) + " removed",
                               "  1 bytes removed, 25,000 bytes read, 24,999 bytes written."}));
    EXPECT_EQ(io.writes.front(), 10280);
    EXPECT_EQ(ReadBytes(path), Without(data, 10280));
}

TEST_F(RepairPass, RemovalInTheLookAheadMakesALongRecord) {
    Bytes data = CleanBytes(25000, 12);
    PutRepeat(data, 10230, 41);
    const std::string path = Input("long", data);
    Process(path);
    EXPECT_EQ(io.writes.front(), 10271);
    EXPECT_EQ(io.writes.at(1), 10240);
    EXPECT_EQ(ReadBytes(path), Without(data, 10271));
}

TEST_F(RepairPass, TripleInTheLookAheadIsFoundInTheNextRecord) {
    Bytes data = CleanBytes(25000, 13);
    PutRepeat(data, 10240, 41);
    const std::string path = Input("next", data);
    Process(path);
    EXPECT_EQ(Lines()[1], "  @10,241 found " + ByteList(data, 10279, 10285) + " removed");
    EXPECT_EQ(io.writes.front(), 10240);
    EXPECT_EQ(io.writes.at(1), 41);
    EXPECT_EQ(ReadBytes(path), Without(data, 10281));
}

TEST_F(RepairPass, StopAnsweredNoGoesOnWhereItWas) {
    const Bytes data = CleanBytes(30000, 14);
    const std::string path = Input("stop", data);
    host.onYield = [&](int n) {
        if (n == 1) {
            run.stopflag = true;
        }
    };
    host.boxes.Answer(false);
    Process(path);
    EXPECT_EQ(Questions(), (Lines_{"Abort Processing?"}));
    EXPECT_FALSE(run.stopflag);
    EXPECT_EQ(Lines(),
              (Lines_{path, "  0 bytes removed, 30,000 bytes read, 30,000 bytes written."}));
    EXPECT_FALSE(run.fileerror);
}

TEST_F(RepairPass, StopAnsweredYesLeavesTheInputAndNoTemporaryFile) {
    const Bytes data = WorkedExample();
    const std::string path = Input("stop", data);
    host.onYield = [&](int n) {
        if (n == 1) {
            run.stopflag = true;
        }
    };
    host.boxes.Answer(true);
    Process(path);
    EXPECT_EQ(Lines(),
              (Lines_{"Aborted " + path, "  @101 found 093 078 065 065 057 096 084  removed",
                       "  the file was left as it was"}));
    ExpectUntouched(path, data);
    EXPECT_TRUE(run.fileerror);
    EXPECT_EQ(host.progress.back(), 0);
}

TEST_F(RepairPass, WrapperIsCutOutUpToTheSecondLineEnd) {
    Bytes data = CleanBytes(1000, 15);
    PutWrapperStart(data, 100);
    Put(data, 140, {13, 10});
    Put(data, 160, {13, 10});
    const std::string path = Input("wrapped.zip", data);
    Process(path);
    EXPECT_EQ(Lines(), (Lines_{path, "  @101 found Mime Wrapper removed",
                               "  63 bytes removed, 1,000 bytes read, 937 bytes written."}));
    Bytes expected(data.begin(), data.begin() + 101);
    expected.insert(expected.end(), data.begin() + 164, data.end());
    EXPECT_EQ(ReadBytes(path), expected);
    EXPECT_EQ(ReadBytes(path + ".bak"), data);
    EXPECT_EQ(peer.heldcr(), 0);
}

TEST_F(RepairPass, LineFeedAfterTheWrapperEndIsDroppedToo) {
    Bytes data = CleanBytes(1000, 16);
    PutWrapperStart(data, 100);
    Put(data, 140, {13, 10});
    Put(data, 160, {13, 10, 'x', 10});
    const std::string path = Input("wrapped.zip", data);
    Process(path);
    Bytes expected(data.begin(), data.begin() + 101);
    expected.insert(expected.end(), data.begin() + 165, data.end());
    EXPECT_EQ(ReadBytes(path), expected);
}

TEST_F(RepairPass, WrapperNearTheEndIsTruncatedOnlyWithTheOption) {
    for (const bool truncate : {false, true}) {
        for (const std::size_t remaining : {10u, 11u}) {
            host.ClearRecords();
            options.truncate = truncate;
            Bytes data = CleanBytes(200 + remaining, 17);
            PutWrapperStart(data, 100);
            Put(data, 140, {13, 10});
            Put(data, 160, {13, 10});
            // Data resumes at index 164; make exactly `remaining` bytes follow it.
            data.resize(164 + remaining);
            const std::string path =
                Input("t" + std::to_string(truncate) + std::to_string(remaining), data);
            Process(path);
            Bytes expected(data.begin(), data.begin() + 101);
            if (!(truncate && remaining <= 10)) {
                expected.insert(expected.end(), data.begin() + 164, data.end());
            }
            EXPECT_EQ(ReadBytes(path), expected) << truncate << " " << remaining;
        }
    }
}

TEST_F(RepairPass, FileEndingInsideTheSkippedWrapperStartEndsNormally) {
    Bytes data = CleanBytes(232, 18);
    PutWrapperStart(data, 200);
    const std::string path = Input("cut", data);
    Process(path);
    EXPECT_EQ(Lines(), (Lines_{path, "  @201 found Mime Wrapper removed",
                               "  31 bytes removed, 232 bytes read, 201 bytes written."}));
    EXPECT_EQ(ReadBytes(path), Bytes(data.begin(), data.begin() + 201));
    EXPECT_FALSE(run.fileerror);
}

TEST_F(RepairPass, WrapperEndingInTheLastBytesNeverReadsPastTheEnd) {
    Bytes data = CleanBytes(180, 19);
    PutWrapperStart(data, 100);
    Put(data, 140, {13, 10});
    Put(data, 178, {13, 10});  // resumes two bytes past the end
    const std::string path = Input("tail", data);
    Process(path);
    EXPECT_EQ(Lines().back(), "  79 bytes removed, 180 bytes read, 101 bytes written.");
    EXPECT_EQ(ReadBytes(path), Bytes(data.begin(), data.begin() + 101));
}

TEST_F(RepairPass, WrapperWithoutAnEndAbandonsTheFile) {
    Bytes data = CleanBytes(30000, 20);
    PutWrapperStart(data, 100);
    Put(data, 138, {13, 10});
    Put(data, 10373, {13, 10});  // second pair at record index 10240: out of reach
    const std::string path = Input("bad.avi", data);
    Process(path);
    EXPECT_EQ(host.boxes.Texts(ScriptedBoxes::Kind::Notice).size(), 1u);
    EXPECT_EQ(Lines(),
              (Lines_{"Aborted-bad Mime Wrapper " + path, "  @101 found Mime Wrapper removed",
                       "  the file was left as it was"}));
    ExpectUntouched(path, data);
    EXPECT_TRUE(run.fileerror);

    // The next file starts afresh.
    const Bytes good = WorkedExample();
    const std::string next = Input("good.avi", good);
    Process(next);
    EXPECT_EQ(ReadBytes(next), Without(good, 141));
}

TEST_F(RepairPass, SecondLineEndAtTheLastRecordIndexIsReached) {
    Bytes data = CleanBytes(30000, 21);
    PutWrapperStart(data, 100);
    Put(data, 138, {13, 10});
    Put(data, 10372, {13, 10});  // record index 10239
    const std::string path = Input("far.avi", data);
    Process(path);
    Bytes expected(data.begin(), data.begin() + 101);
    expected.insert(expected.end(), data.begin() + 10376, data.end());
    EXPECT_EQ(ReadBytes(path), expected);
}

TEST_F(RepairPass, WrapperRefusedHandsTheDashTripleToTheRepeatCheck) {
    Bytes data = CleanBytes(400, 22);
    PutWrapperStart(data, 100);
    data[142] = data[143] = 'R';
    const std::string path = Input("ask.avi", data);
    run.interactive = true;
    host.boxes.Answer(false);
    host.boxes.Answer(true);
    Process(path);
    const std::string repeat = "  @102 found " + ByteList(data, 140, 146);
    EXPECT_EQ(Questions(), (Lines_{"  @101 found Mime Wrapper\r\nShall I remove the Wrapper?",
                                   repeat + "\r\nShall I remove the repeated byte?"}));
    EXPECT_EQ(Lines(), (Lines_{path, "  @101 found Mime Wrapper ignored", repeat + " removed",
                               "  1 bytes removed, 400 bytes read, 399 bytes written."}));
    EXPECT_EQ(ReadBytes(path), Without(data, 142));
}

TEST_F(RepairPass, TwentyEightDashesAreNotAWrapper) {
    Bytes data = CleanBytes(400, 23);
    PutWrapperStart(data, 100);
    data[131] = 'x';
    const std::string path = Input("28", data);
    Process(path);
    EXPECT_EQ(Lines(), (Lines_{path, "  0 bytes removed, 400 bytes read, 400 bytes written."}));
}

TEST_F(RepairPass, MissingLibraryIsReportedAndTheInputIsUntouched) {
    KorbscanLibrary missing({dir.File("nowhere/libkorbscan.so")});
    RepairEngine broken(host, run, missing, fs);
    const Bytes data = WorkedExample();
    const std::string path = Input("a.avi", data);
    run.listindex = host.status.AppendLine("Processing " + path);
    broken.ProcessFile(path);
    ASSERT_EQ(Warnings().size(), 1u);
    EXPECT_EQ(Warnings()[0].rfind("Unable to load the korbscan library: ", 0), 0u);
    EXPECT_NE(Warnings()[0].find("nowhere/libkorbscan.so"), std::string::npos);
    EXPECT_EQ(Lines(), (Lines_{path + " - korbscan library not found"}));
    EXPECT_TRUE(run.fileerror);
    ExpectUntouched(path, data);
}

TEST_F(RepairPass, SymbolicLinkPlantedAtTheTemporaryNameIsRefused) {
    const Bytes data = WorkedExample();
    const std::string path = Input("a.avi", data);
    const std::string target = Input("precious", {'p'});
    ASSERT_EQ(symlink(target.c_str(), (path + ".$$$").c_str()), 0);
    Process(path);
    EXPECT_EQ(Warnings(), (Lines_{"Error opening output file '" + path +
                                  ".$$$'\r\nThe name is taken by something that is not a file"}));
    EXPECT_EQ(Lines(), (Lines_{path + " - failed to create output file"}));
    EXPECT_EQ(ReadBytes(target), (Bytes{'p'}));
    EXPECT_EQ(ReadBytes(path), data);
    EXPECT_TRUE(run.fileerror);
}

// Each question of a pass says what it asks, so that answerers never go by its wording.
TEST_F(RepairPass, EveryQuestionSaysWhatItAsks) {
    Bytes data = CleanBytes(30000, 9);
    PutRepeat(data, 100, 41);
    PutWrapperStart(data, 20000);
    Put(data, 20100, {13, 10});
    Put(data, 20200, {13, 10});
    const std::string path = Input("a.avi", data);
    WriteBytes(path + ".bak", {'o'});
    run.interactive = true;
    host.onYield = [&](int n) { run.stopflag = run.stopflag || n == 2; };
    host.boxes.answers = {true, true, false, false};  // backup, repeat, Stop: go on, wrapper
    Process(path);
    std::vector<QuestionKind> kinds;
    for (const auto& box : host.boxes.shown) {
        kinds.push_back(box.question);
    }
    EXPECT_EQ(kinds, (std::vector<QuestionKind>{
                         QuestionKind::ReplaceBackup, QuestionKind::RemoveRepeatedByte,
                         QuestionKind::AbortProcessing, QuestionKind::RemoveWrapper}));
    EXPECT_EQ(ReadBytes(path), Without(data, 141));
}

}  // namespace
}  // namespace korbelt::test
