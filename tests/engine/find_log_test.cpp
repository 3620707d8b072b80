// A file with more finds than the engine holds: each goes on to the report's sink once only
// the file's fate can change it, and nothing of it stays behind; what the end of the pass
// decides is told of them in one line and one field.
#include <set>

#include "PassFixture.h"
#include "engine/report/FindLog.h"
#include "engine/report/NumberFormat.h"
#include "engine/report/ReportText.h"

namespace korbelt::test {
namespace {

constexpr std::size_t kMany = FindLog::kHeld + 250;

// Every find the sink is given, and the most finds the report held at any of them.
class CountingSink : public ReportSink {
  public:
    void Find(const FileReport& report, const Decision& decision) override {
        finds.push_back(decision);
        mostHeld = std::max(mostHeld, report.finds.size());
        held.insert(report.finds.size() > 1 ? "many" : "few");
    }
    std::vector<Decision> finds;
    std::size_t mostHeld = 0;
    std::set<std::string> held;
};

struct Damaged {
    Bytes posted;
    Bytes arrived;
};

// A CR LF '-' every 44 bytes, its byte at 41 repeated in the copy that arrived; with chance,
// a pair at 44 after each marker, in both.
Damaged DenseMarkers(std::size_t markers, bool chance) {
    constexpr std::size_t kEvery = 44;
    const Bytes tail = CleanBytes(markers * kEvery, 11);
    Damaged file;
    for (std::size_t m = 0; m < markers; ++m) {
        Bytes unit = {13, 10, '-'};
        unit.insert(unit.end(), tail.begin() + static_cast<long>(m * kEvery),
                    tail.begin() + static_cast<long>(m * kEvery + kEvery - 3));
        if (chance) {
            unit[43] = unit[42] == 'Q' ? 'P' : 'Q';
            unit.push_back(unit[43]);
            unit.push_back(unit[43] == 'Z' ? 'Y' : 'Z');
        }
        file.posted.insert(file.posted.end(), unit.begin(), unit.end());
        unit.insert(unit.begin() + 41, unit[41]);
        file.arrived.insert(file.arrived.end(), unit.begin(), unit.end());
    }
    return file;
}

// Markers each followed by one pair at a distance chance picks, from 10 to 97: repeated
// bytes where the pair falls in the range, and no damage pattern behind them.
Bytes ChancePairs(std::size_t markers) {
    constexpr std::size_t kEvery = 100;
    Bytes bytes = CleanBytes(markers * kEvery, 5);
    const Bytes distances = RandomBytes(markers, 6);
    for (std::size_t m = 0; m < markers; ++m) {
        const std::size_t at = m * kEvery;
        Put(bytes, at, {13, 10, '-'});
        const std::size_t d = 10 + distances[m] % 88;
        bytes[at + d + 1] = bytes[at + d];
        if (bytes[at + d + 2] == bytes[at + d]) {
            bytes[at + d + 2] = bytes[at + d] == 'Q' ? 'P' : 'Q';
        }
    }
    return bytes;
}

class ManyFinds : public PassFixture {
  protected:
    void SetUp() override { engine.SetReportSink(&sink); }
    std::size_t FindLines() const {
        const std::vector<std::string>& lines = host.status.lines;
        return static_cast<std::size_t>(std::count_if(
            lines.begin(), lines.end(),
            [](const std::string& line) { return line.rfind("  @", 0) == 0; }));
    }
    CountingSink sink;
};

// Each find goes on once, in file order, with its line settled, and the report holds none
// of them afterwards; the lines and the repaired file are those of any repair.
TEST_F(ManyFinds, GoOnAsTheyComeAndAreHeldNoLonger) {
    const Damaged file = DenseMarkers(kMany, false);
    const std::string path = Input("a.avi", file.arrived);
    Process(path);
    EXPECT_EQ(ReadBytes(path), file.posted);
    const FileReport& report = engine.Report();
    ASSERT_EQ(sink.finds.size(), kMany);
    EXPECT_TRUE(report.finds.empty());
    EXPECT_EQ(report.findsPassedOn, static_cast<std::int64_t>(kMany));
    EXPECT_FALSE(report.passedOnUndone);
    // All the held ones go at once when the bound is passed; after that, one at a time.
    EXPECT_EQ(sink.mostHeld, FindLog::kHeld + 1);
    EXPECT_EQ(sink.held, (std::set<std::string>{"few", "many"}));
    EXPECT_EQ(host.status.settled.size(), kMany);
    ASSERT_EQ(FindLines(), kMany);
    for (std::size_t i = 0; i < kMany; ++i) {
        const Decision& decision = sink.finds[i];
        EXPECT_EQ(decision.find.position, static_cast<std::int64_t>(i * 45 + 1));
        ASSERT_EQ(host.status.lines[i + 1], FindLine(decision, NumberFormat())) << i;
    }
    EXPECT_EQ(host.status.lines.back(), BytesLine(static_cast<std::int64_t>(kMany),
                                        static_cast<std::int64_t>(file.arrived.size()),
                                        static_cast<std::int64_t>(file.posted.size()),
                                        NumberFormat()));
}

// A pair at 44 after every damaged marker: the plain rule would take it, the verdict takes
// the one at 41. Past the bound the markers are counted first, so that no find goes on that
// the verdict would move.
TEST_F(ManyFinds, TheMarkersAreCountedFirstWhereTheVerdictCouldMoveThem) {
    const Damaged file = DenseMarkers(kMany, true);
    const std::string path = Input("a.avi", file.arrived);
    Process(path);
    EXPECT_EQ(ReadBytes(path), file.posted);
    ASSERT_EQ(sink.finds.size(), kMany);
    for (const Decision& decision : sink.finds) {
        ASSERT_EQ(decision.find.offset - (decision.find.position - 1), 41);
    }
    EXPECT_EQ(FindLines(), kMany);
    ASSERT_TRUE(engine.Report().pattern);
    EXPECT_EQ(engine.Report().pattern->distance, 41);
}

// The copy is not kept: the lines already settled stay, one line after them says that none
// of their removals was made, and so does the report; a dry run says it would be so. A copy
// abandoned at the swap says it in the report.
TEST_F(ManyFinds, ACopyNotKeptIsToldOfThemAtOnce) {
    const Bytes chance = ChancePairs(160000);
    const std::string path = Input("a.avi", chance);
    options.leaveUnpatterned = true;
    for (const bool dryRun : {false, true}) {
        options.dryRun = dryRun;
        host.ClearRecords();
        sink.finds.clear();
        run.processed.Clear();
        Process(path);
        EXPECT_EQ(engine.Report().outcome, FileOutcome::Ignored);
        EXPECT_TRUE(engine.Report().passedOnUndone);
        const auto passed = static_cast<std::int64_t>(sink.finds.size());
        ASSERT_GT(passed, static_cast<std::int64_t>(FindLog::kHeld));
        const std::string count = " (" + NumberFormat().Grouped(passed) + " in all): ";
        const std::vector<std::string> lines = Lines();
        EXPECT_NE(std::find(lines.begin(), lines.end(),
                            dryRun ? "  none of the removals above would be made" + count +
                                         "the copy would not be kept"
                                   : "  none of the removals above was made" + count +
                                         "the copy was not kept"),
                  lines.end());
        EXPECT_EQ(lines[1], FindLine(sink.finds[0], NumberFormat(), dryRun));
        EXPECT_EQ(ReadBytes(path), chance);
        EXPECT_FALSE(Exists(dir.File("a.avi.bak")));
    }

    options = RunOptions();
    host.ClearRecords();
    run.processed.Clear();
    const Damaged file = DenseMarkers(kMany, false);
    const std::string dense = Input("b.avi", file.arrived);
    faults.FailAt(Site::RenameTempToInput, 1, EIO);
    Process(dense);
    EXPECT_TRUE(engine.Report().passedOnUndone);
    EXPECT_EQ(engine.Report().bytesRemoved, 0);
    EXPECT_EQ(Lines().back(), "  the file was left as it was");
    EXPECT_EQ(ReadBytes(dense), file.arrived);
}

}  // namespace
}  // namespace korbelt::test
