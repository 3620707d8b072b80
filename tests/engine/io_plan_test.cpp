// The fast ways of moving bytes (read-ahead window, kept bytes written straight from it
// through the wide write) held against one read and one write call per record: the same
// bytes on disk, the same lines, questions, progress, titles and yields in the same order,
// and the same reports when a read, a write or the input itself fails.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <numeric>
#include <random>

#include <gtest/gtest.h>

#include "PassFixture.h"
#include "engine/system/PosixFileSystem.h"

namespace korbelt::test {
namespace {

using IoPlan = RepairEngine::IoPlan;

// Record I/O with the wide write, every write counted and each one a place for a fault.
class WideRecordIo : public ForwardingRecordIo {
  public:
    WideRecordIo(RecordIo& real, FaultPlan& plan) : ForwardingRecordIo(real), plan_(plan) {}

    std::int32_t WriteBuff(std::int32_t handle, const std::uint8_t* buffer,
                           std::int16_t length) override {
        recordWrites.push_back(length);
        return Write(handle, buffer, length);
    }
    bool HasWriteBuffEx() override { return true; }
    std::int32_t WriteBuffEx(std::int32_t handle, const std::uint8_t* buffer,
                             std::int32_t length) override {
        wideWrites.push_back(length);
        return Write(handle, buffer, length);
    }

    std::vector<int> recordWrites;
    std::vector<int> wideWrites;
    int shortWriteAt = 0;  // this write reaches the file only half, without an error

  private:
    std::int32_t Write(std::int32_t handle, const std::uint8_t* buffer, std::int32_t length) {
        const int nth = static_cast<int>(recordWrites.size() + wideWrites.size());
        if (const int fault = plan_.Check(Site::WriteTemp)) {
            real_.WriteBuffEx(handle, buffer, length / 2);
            errno = fault;
            return -1;
        }
        if (nth == shortWriteAt) {
            errno = 0;
            return real_.WriteBuffEx(handle, buffer, length / 2);
        }
        return real_.WriteBuffEx(handle, buffer, length);
    }

    FaultPlan& plan_;
};

// An input that delivers its bytes up to a bad spot and fails every read that reaches it.
class BadSpotInput : public ForwardingInputFile {
  public:
    BadSpotInput(std::unique_ptr<InputFile> real, std::int64_t badSpot)
        : ForwardingInputFile(std::move(real)), badSpot_(badSpot) {}
    std::size_t ReadAt(std::int64_t offset, std::uint8_t* buffer, std::size_t count,
                       std::error_code& error) override {
        if (offset + static_cast<std::int64_t>(count) <= badSpot_) {
            return real_->ReadAt(offset, buffer, count, error);
        }
        const std::size_t before =
            offset < badSpot_
                ? real_->ReadAt(offset, buffer, static_cast<std::size_t>(badSpot_ - offset), error)
                : 0;
        error = std::make_error_code(std::errc::io_error);
        return before;
    }

  private:
    std::int64_t badSpot_;
};

// Counts the bytes its reads deliver.
class CountingInput : public ForwardingInputFile {
  public:
    CountingInput(std::unique_ptr<InputFile> real, std::int64_t& bytesRead)
        : ForwardingInputFile(std::move(real)), bytesRead_(bytesRead) {}
    std::size_t ReadAt(std::int64_t offset, std::uint8_t* buffer, std::size_t count,
                       std::error_code& error) override {
        const std::size_t got = real_->ReadAt(offset, buffer, count, error);
        bytesRead_ += static_cast<std::int64_t>(got);
        return got;
    }

  private:
    std::int64_t& bytesRead_;
};

// The file system of the machine, with a bad spot in every input it opens (if one is set),
// the temporary file's content noted when it is flushed and when the backup is made, and
// each operation a place for a fault.
class WatchedFileSystem : public FaultyFileSystem {
  public:
    WatchedFileSystem(FileSystem& real, FaultPlan& plan) : FaultyFileSystem(real, plan) {}

    std::unique_ptr<InputFile> OpenInput(const std::string& path, std::error_code& error) override {
        auto input = FaultyFileSystem::OpenInput(path, error);
        if (input) {
            input = std::make_unique<CountingInput>(std::move(input), bytesRead);
        }
        if (input && badSpot >= 0) {
            return std::make_unique<BadSpotInput>(std::move(input), badSpot);
        }
        return input;
    }
    std::error_code SyncFile(const std::string& path) override {
        atSync = ReadBytes(path);
        return FaultyFileSystem::SyncFile(path);
    }
    std::error_code Link(const std::string& from, const std::string& to) override {
        atLink = ReadBytes(from + ".$$$");
        return FaultyFileSystem::Link(from, to);
    }
    void StartWriteback(const std::string& path) override { writebacks.push_back(path); }

    std::int64_t badSpot = -1;
    std::int64_t bytesRead = 0;
    Bytes atSync;
    Bytes atLink;
    std::vector<std::string> writebacks;
};

struct Outcome {
    std::string path;
    std::vector<std::string> events;
    std::vector<std::string> warnings;
    std::vector<std::string> lines;
    bool fileerror = false;
    Bytes file;
    bool bakExists = false;
    Bytes bak;
    bool tempExists = false;
    int readCalls = 0;
    std::int64_t bytesRead = 0;
    std::vector<int> recordWrites;
    std::vector<int> wideWrites;
    Bytes atSync;
    Bytes atLink;
    std::vector<std::string> writebacks;
};

// What can be set up for one repair besides the plan.
struct Conditions {
    bool interactive = false;
    bool truncate = false;
    bool dryRun = false;
    std::function<bool(const std::string&)> answer;
    std::function<void(int, const std::string&)> onYield;  // yield number, input path
    int stopAtYield = 0;                                   // Stop is pressed during this yield
    std::int64_t badSpot = -1;
    Site failSite = Site::OpenInput;
    int failNth = 0;
    int failError = 0;
    int shortWriteAt = 0;
};

// Repairs a fresh copy of the input with the plan given and records all there is to see.
Outcome Repair(const Bytes& input, const IoPlan& plan, const Conditions& conditions = {}) {
    TempDir dir;
    const std::string path = dir.File("movie.avi");
    WriteBytes(path, input);
    FakeHost host;
    host.LogEvents();
    host.boxes.answer = [&](QuestionKind, const std::string& text) {
        return conditions.answer ? conditions.answer(text) : true;
    };
    RunState run;
    host.onYield = [&](int yield) {
        run.stopflag = run.stopflag || yield == conditions.stopAtYield;
        if (conditions.onYield) {
            conditions.onYield(yield, path);
        }
    };
    run.interactive = conditions.interactive;
    KorbscanLibrary library;
    PosixFileSystem realFs;
    FaultPlan faults;
    if (conditions.failNth > 0) {
        faults.FailAt(conditions.failSite, conditions.failNth, conditions.failError);
    }
    WatchedFileSystem fs(realFs, faults);
    fs.badSpot = conditions.badSpot;
    WideRecordIo io(library, faults);
    io.shortWriteAt = conditions.shortWriteAt;
    RepairEngine engine(host, run, io, fs);
    engine.SetIoPlan(plan);
    RunOptions options;
    options.truncate = conditions.truncate;
    options.dryRun = conditions.dryRun;
    engine.StartRun(options);

    run.listindex = host.status.AppendLine("Processing movie.avi");
    engine.ProcessFile(path);

    // Each repair has a directory of its own; the texts name it DIR so that they compare.
    const auto named = [&](std::vector<std::string> texts) {
        for (std::string& text : texts) {
            for (auto at = text.find(dir.Path()); at != std::string::npos;
                 at = text.find(dir.Path())) {
                text.replace(at, dir.Path().size(), "DIR");
            }
        }
        return texts;
    };
    Outcome outcome;
    outcome.path = "DIR/movie.avi";
    outcome.events = named(host.events);
    outcome.warnings = named(host.boxes.Texts(ScriptedBoxes::Kind::Warning));
    outcome.lines = named(host.status.lines);
    outcome.fileerror = run.fileerror;
    outcome.file = Exists(path) ? ReadBytes(path) : Bytes();
    outcome.bakExists = Exists(path + ".bak");
    outcome.bak = outcome.bakExists ? ReadBytes(path + ".bak") : Bytes();
    outcome.tempExists = Exists(path + ".$$$");
    outcome.readCalls = faults.Calls(Site::ReadInput);
    outcome.bytesRead = fs.bytesRead;
    outcome.recordWrites = io.recordWrites;
    outcome.wideWrites = io.wideWrites;
    outcome.atSync = fs.atSync;
    outcome.atLink = fs.atLink;
    outcome.writebacks = named(fs.writebacks);
    return outcome;
}

// The first place where two event lists part, with a little of what came before.
std::string FirstDifference(const std::vector<std::string>& fast,
                            const std::vector<std::string>& plain) {
    std::size_t i = 0;
    while (i < fast.size() && i < plain.size() && fast[i] == plain[i]) {
        ++i;
    }
    std::string text = "event " + std::to_string(i) + " of " + std::to_string(plain.size());
    for (std::size_t k = i < 3 ? 0 : i - 3; k < i; ++k) {
        text += "\n    both: " + plain[k];
    }
    text += "\n    fast: " + (i < fast.size() ? fast[i] : std::string("(end)"));
    text += "\n    plain: " + (i < plain.size() ? plain[i] : std::string("(end)"));
    return text;
}

void ExpectSameAsPlain(const Outcome& fast, const Outcome& plain, const std::string& what) {
    SCOPED_TRACE(what);
    EXPECT_TRUE(fast.events == plain.events) << FirstDifference(fast.events, plain.events);
    EXPECT_EQ(fast.fileerror, plain.fileerror);
    EXPECT_TRUE(fast.file == plain.file) << "repaired bytes differ";
    EXPECT_EQ(fast.bakExists, plain.bakExists);
    EXPECT_TRUE(fast.bak == plain.bak) << "backup bytes differ";
    EXPECT_EQ(fast.tempExists, plain.tempExists);
}

// The window's paths are compared with the markers counted by the scan alone: the files here
// are smaller than the part counted ahead, which would hold them whole and leave the window
// nothing to read.
const IoPlan kPlain{0, false, 0};

std::vector<std::pair<std::string, IoPlan>> FastPlans() {
    return {{"read-ahead 10291", {10291, false, 0}},
            {"read-ahead 40000", {40000, false, 0}},
            {"gathered 10291", {10291, true, 0}},
            {"gathered 12345", {12345, true, 0}},
            {"gathered 40000", {40000, true, 0}},
            {"gathered 100003", {100003, true, 0}},
            {"default window", {IoPlan{}.readAhead, true, 0}}};
}

// Random bytes with repeated bytes after CR LF '-', wrapper starts with their ends,
// markers with nothing to find and pairs of triples close together, many of them within
// a few bytes of a record boundary.
Bytes DamagedInput(std::uint32_t seed, std::size_t size) {
    std::mt19937 rng(seed);
    Bytes data = CleanBytes(size, seed);
    const auto plantAt = [&](std::size_t at) {
        if (at + 120 > size) {
            return;
        }
        switch (rng() % 6) {
            case 0: {  // a wrapper: start, boundary, two header lines, blank line
                PutWrapperStart(data, at);
                std::size_t k = at + 32;
                for (int line = 0; line < 3 && k + 40 < size; ++line) {
                    k += rng() % 30;
                    data[k] = 13;
                    data[k + 1] = 10;
                    k += 2;
                }
                break;
            }
            case 1:  // two triples, the second before the first one's repeated byte
                PutRepeat(data, at, 39 + rng() % 7);
                Put(data, at + 20, {13, 10, '-'});
                data[at + 20 + 41] = data[at + 20 + 42] = 'R';
                break;
            case 2:  // a marker with nothing to find
                Put(data, at, {13, 10, '-'});
                break;
            default:
                PutRepeat(data, at, 39 + rng() % 7);
                break;
        }
    };
    for (std::size_t boundary = 10240; boundary < size; boundary += 10240) {
        if (rng() % 3 != 0) {
            plantAt(boundary - 60 + rng() % 70);
        }
    }
    for (int i = 0; i < static_cast<int>(size / 3000); ++i) {
        plantAt(rng() % size);
    }
    return data;
}

TEST(IoPlan, FastPathsRepairRandomFilesExactlyAsThePlainPath) {
    int removals = 0;
    for (std::uint32_t seed = 1; seed <= 6; ++seed) {
        const Bytes input = DamagedInput(seed, 30000 + seed * 47000);
        const Outcome plain = Repair(input, kPlain);
        ASSERT_FALSE(plain.fileerror);
        ASSERT_TRUE(plain.bakExists);
        EXPECT_FALSE(plain.recordWrites.empty());
        EXPECT_TRUE(plain.wideWrites.empty());
        removals += static_cast<int>(input.size() - plain.file.size());
        for (const auto& [name, plan] : FastPlans()) {
            const Outcome fast = Repair(input, plan);
            ExpectSameAsPlain(fast, plain, name + " seed " + std::to_string(seed));
            // The fast path is really taken: fewer reads (a window the size of the record
            // buffer still reads once per record), and no record writes when gathered. With
            // a find in nearly every record, a run of kept bytes rarely outlasts a record.
            EXPECT_LE(fast.readCalls, plain.readCalls) << name;
            EXPECT_TRUE(plan.readAhead < 20000 || fast.readCalls * 3 < plain.readCalls) << name;
            if (plan.gatherWrites) {
                EXPECT_TRUE(fast.recordWrites.empty()) << name;
                EXPECT_FALSE(fast.wideWrites.empty()) << name;
            } else {
                EXPECT_EQ(fast.recordWrites, plain.recordWrites) << name;
            }
        }
    }
    EXPECT_GT(removals, 100);
}

std::int64_t BytesWritten(const Outcome& outcome) {
    std::int64_t written = 0;
    for (const auto* writes : {&outcome.recordWrites, &outcome.wideWrites}) {
        written = std::accumulate(writes->begin(), writes->end(), written);
    }
    return written;
}

// Random bytes with a CR LF '-' every 1000 bytes and no pair at 41 after any of them; chance
// puts pairs at the other distances of the search range. The damaged copy has the byte at 41
// repeated after the markers that damagedAt says.
struct ChanceAndDamage {
    Bytes original;
    Bytes damaged;
};

ChanceAndDamage WithChancePairs(std::size_t markers, const std::function<int(std::size_t)>& damagedAt) {
    ChanceAndDamage files;
    files.original = RandomBytes(markers * 1000, 77);
    for (std::size_t m = 0; m < markers; ++m) {
        Bytes& bytes = files.original;
        const std::size_t at = m * 1000 + 500;
        Put(bytes, at, {13, 10, '-'});
        for (const int distance : {41, 44}) {
            if (bytes[at + distance + 1] == bytes[at + distance]) {
                bytes[at + distance + 1] ^= 1;
            }
        }
    }
    for (std::size_t m = 0; m < markers; ++m) {
        files.damaged.insert(files.damaged.end(), files.original.begin() + m * 1000,
                             files.original.begin() + (m + 1) * 1000);
        if (const int distance = damagedAt(m)) {
            const auto at = files.damaged.end() - 500 + distance;
            files.damaged.insert(at, *at);
        }
    }
    return files;
}

TEST(IoPlan, WhereTheVerdictMovesTheRulesFindsTheFileIsStillReadOnceAndWrittenOnce) {
    // Damage at 41 after every other marker; the plain rule would also take the chance
    // pairs after the others, and a chance pair later in the range than the damage.
    const ChanceAndDamage files = WithChancePairs(400, [](std::size_t m) { return m % 2 ? 0 : 41; });
    const IoPlan scanOnly{IoPlan{}.readAhead, true, 0};
    const Outcome again = Repair(files.damaged, scanOnly);
    ASSERT_EQ(again.file, files.original);
    EXPECT_EQ(again.bytesRead, 2 * static_cast<std::int64_t>(files.damaged.size()))
        << "with the markers counted by the scan alone, the copy is made twice";
    for (const auto& [name, plan] : std::vector<std::pair<std::string, IoPlan>>{
             {"held whole", IoPlan{}}, {"first part held", {IoPlan{}.readAhead, true, 100000}}}) {
        SCOPED_TRACE(name);
        const Outcome once = Repair(files.damaged, plan);
        EXPECT_EQ(once.file, files.original);
        EXPECT_EQ(once.lines, again.lines);
        EXPECT_EQ(once.bytesRead, static_cast<std::int64_t>(files.damaged.size()));
        EXPECT_EQ(BytesWritten(once), static_cast<std::int64_t>(files.original.size()));
    }
}

TEST(IoPlan, WhereTheFirstPartsVerdictMissesTheDamageOfTheRestTheCopyIsMadeAgain) {
    // Damage at 41 in the first hundred markers, at 44 after most of the rest.
    const ChanceAndDamage files = WithChancePairs(
        400, [](std::size_t m) { return m < 100 ? (m % 2 ? 0 : 41) : (m % 4 ? 44 : 0); });
    const Outcome whole = Repair(files.damaged, IoPlan{});
    ASSERT_EQ(whole.file, files.original);
    const Outcome guessed = Repair(files.damaged, {IoPlan{}.readAhead, true, 100000});
    EXPECT_EQ(guessed.file, files.original);
    EXPECT_EQ(guessed.lines, whole.lines);
    EXPECT_GT(guessed.bytesRead, static_cast<std::int64_t>(files.damaged.size()));
}

TEST(IoPlan, SparseDamageIsReadAndWrittenInAFewLargeCalls) {
    Bytes input = CleanBytes(600000, 3);
    PutRepeat(input, 100000, 41);
    PutRepeat(input, 400000, 44);
    const Outcome plain = Repair(input, kPlain);
    const Outcome fast = Repair(input, IoPlan{IoPlan{}.readAhead, true, 0});
    ExpectSameAsPlain(fast, plain, "default window");
    EXPECT_EQ(plain.recordWrites.size(), 60u);
    EXPECT_EQ(plain.readCalls, 60);
    // Three windows; the runs of kept bytes end at the two removals and where the window
    // moves on.
    EXPECT_EQ(fast.readCalls, 3);
    EXPECT_LE(fast.wideWrites.size(), 5u);
    std::int64_t written = 0;
    for (const int length : fast.wideWrites) {
        written += length;
    }
    EXPECT_EQ(written, 600000 - 2);
}

TEST(IoPlan, RawRandomBytesWithTheirOwnMarkersRepairTheSame) {
    // Plain random bytes hold CRs, lone triples and pairs by chance; the bytes past the end
    // of the last record take part in its checks.
    for (std::uint32_t seed = 11; seed <= 14; ++seed) {
        Bytes input = RandomBytes(20000 + seed * 31013, seed);
        for (std::size_t at = 500; at + 50 < input.size(); at += 997) {
            Put(input, at,
                {13, seed % 2 == 0 ? std::uint8_t{10} : std::uint8_t{13},
                 seed % 2 == 0 ? std::uint8_t{'-'} : std::uint8_t{10}});
        }
        const Outcome plain = Repair(input, kPlain);
        for (const auto& [name, plan] : FastPlans()) {
            ExpectSameAsPlain(Repair(input, plan), plain, name);
        }
    }
}

TEST(IoPlan, InteractiveAnswersAndTruncationGoTheSameWay) {
    Bytes input = DamagedInput(21, 150000);
    // A wrapper near the end, cut off with the truncate option.
    const std::size_t at = input.size() - 60;
    PutWrapperStart(input, at);
    Put(input, at + 40, {13, 10, 'h', 13, 10});
    Conditions conditions;
    conditions.interactive = true;
    conditions.truncate = true;
    int asked = 0;
    conditions.answer = [&](const std::string&) { return ++asked % 3 != 0; };
    asked = 0;
    const Outcome plain = Repair(input, kPlain, conditions);
    EXPECT_GT(asked, 10);
    for (const auto& [name, plan] : FastPlans()) {
        asked = 0;
        ExpectSameAsPlain(Repair(input, plan, conditions), plain, name);
    }
}

TEST(IoPlan, StopInTheMiddleOfAWindowIsAskedAfterTheSameRecord) {
    const Bytes input = DamagedInput(31, 200000);
    for (const int stopAt : {1, 3, 20}) {
        Conditions conditions;
        conditions.stopAtYield = stopAt;  // and the abort confirmed
        const Outcome plain = Repair(input, kPlain, conditions);
        EXPECT_NE(std::find(plain.events.begin(), plain.events.end(),
                            "question Abort Processing? -> yes"),
                  plain.events.end());
        EXPECT_EQ(plain.lines.at(0), "Aborted DIR/movie.avi");
        EXPECT_EQ(plain.file, input);
        for (const auto& [name, plan] : FastPlans()) {
            ExpectSameAsPlain(Repair(input, plan, conditions), plain,
                              name + " stopped at yield " + std::to_string(stopAt));
        }
    }
}

TEST(IoPlan, WrapperWithoutAnEndAbortsTheSameWay) {
    Bytes input = DamagedInput(41, 120000);
    PutWrapperStart(input, 70000);
    std::fill(input.begin() + 70032, input.begin() + 90000, 'w');  // no CR LF anywhere after
    const Outcome plain = Repair(input, kPlain);
    EXPECT_EQ(plain.lines.at(0), "Aborted-bad Mime Wrapper " + plain.path);
    EXPECT_TRUE(plain.fileerror);
    EXPECT_EQ(plain.file, input);
    for (const auto& [name, plan] : FastPlans()) {
        ExpectSameAsPlain(Repair(input, plan), plain, name);
    }
}

TEST(IoPlan, DryRunSeesTheSameAndWritesNothing) {
    const Bytes input = DamagedInput(51, 90000);
    Conditions conditions;
    conditions.dryRun = true;
    const Outcome plain = Repair(input, kPlain, conditions);
    EXPECT_EQ(plain.file, input);
    EXPECT_FALSE(plain.bakExists);
    for (const auto& [name, plan] : FastPlans()) {
        const Outcome fast = Repair(input, plan, conditions);
        ExpectSameAsPlain(fast, plain, name);
        EXPECT_TRUE(fast.wideWrites.empty());
        EXPECT_TRUE(fast.recordWrites.empty());
    }
}

TEST(IoPlan, ReadErrorInTheMiddleOfAWindowIsReportedAtTheSameRecord) {
    const Bytes input = DamagedInput(61, 300000);
    for (const std::int64_t badSpot : {0, 10291, 20480, 55555, 123456, 299999}) {
        Conditions conditions;
        conditions.badSpot = badSpot;
        const Outcome plain = Repair(input, kPlain, conditions);
        ASSERT_EQ(plain.warnings.size(), 1u);
        EXPECT_NE(plain.warnings[0].find("Input/output error"), std::string::npos);
        EXPECT_EQ(plain.file, input);
        for (const auto& [name, plan] : FastPlans()) {
            ExpectSameAsPlain(Repair(input, plan, conditions), plain,
                              name + " bad spot " + std::to_string(badSpot));
        }
    }
}

TEST(IoPlan, InputThatShrinksInTheMiddleOfAWindowIsReportedAtTheSameRecord) {
    const Bytes input = DamagedInput(71, 300000);
    // Cut short at a yield, at a place no window has read yet (the largest one has read the
    // first 256 KiB by the third yield): the file ends in the middle of the next window.
    for (const auto& [yield, size] : std::vector<std::pair<int, off_t>>{
             {1, 5000}, {1, 10291}, {1, 150000}, {2, 280000}, {3, 299000}}) {
        Conditions conditions;
        conditions.onYield = [yield, size](int now, const std::string& path) {
            if (now == yield) {
                ASSERT_EQ(truncate(path.c_str(), size), 0);
            }
        };
        const Outcome plain = Repair(input, kPlain, conditions);
        ASSERT_EQ(plain.warnings.size(), 1u) << size;
        EXPECT_NE(plain.warnings[0].find("became shorter while it was being repaired"),
                  std::string::npos);
        EXPECT_EQ(plain.lines.at(0), plain.path + " - input file changed during processing");
        for (const auto& [name, plan] : FastPlans()) {
            ExpectSameAsPlain(Repair(input, plan, conditions), plain,
                              name + " shrunk to " + std::to_string(size));
        }
    }
}

TEST(IoPlan, GatheredWriteThatFailsStopsTheFileWithTheRecordWritesWords) {
    const Bytes input = DamagedInput(81, 200000);
    for (const int error : {ENOSPC, EIO}) {
        Conditions plainFaults;
        plainFaults.failSite = Site::WriteTemp;
        plainFaults.failNth = 3;
        plainFaults.failError = error;
        const Outcome plain = Repair(input, kPlain, plainFaults);
        for (const int nth : {1, 2, 3}) {
            Conditions conditions = plainFaults;
            conditions.failNth = nth;
            const Outcome fast = Repair(input, {40000, true}, conditions);
            SCOPED_TRACE("wide write " + std::to_string(nth) + " fails");
            ASSERT_GE(fast.wideWrites.size(), static_cast<std::size_t>(nth));
            EXPECT_TRUE(fast.fileerror);
            EXPECT_EQ(fast.warnings, plain.warnings);
            EXPECT_EQ(fast.lines.at(0), plain.lines.at(0));
            EXPECT_EQ(fast.lines.at(0), fast.path + " - write to temporary file failed");
            EXPECT_EQ(fast.file, input);
            EXPECT_FALSE(fast.tempExists);
            EXPECT_FALSE(fast.bakExists);
        }
    }
}

TEST(IoPlan, ShortGatheredWriteSaysHowMuchGotThrough) {
    const Bytes input = DamagedInput(91, 100000);
    Conditions conditions;
    conditions.shortWriteAt = 2;
    const Outcome fast = Repair(input, {40000, true}, conditions);
    ASSERT_GE(fast.wideWrites.size(), 2u);
    const int length = fast.wideWrites[1];
    ASSERT_EQ(fast.warnings.size(), 1u);
    const std::string& warning = fast.warnings[0];
    EXPECT_EQ(warning.substr(warning.find("\r\n")), "\r\nonly " + std::to_string(length / 2) +
                                                        " of " + std::to_string(length) +
                                                        " bytes were written");
    EXPECT_EQ(warning.substr(0, warning.find("\r\n")),
              "Unable to write temporary file '" + fast.path + ".$$$'");
    EXPECT_EQ(fast.file, input);
    EXPECT_FALSE(fast.tempExists);
}

TEST(IoPlan, EveryKeptByteIsOnTheFileBeforeItIsFlushedAndSwappedIn) {
    const Bytes input = DamagedInput(101, 250000);
    const Outcome plain = Repair(input, kPlain);
    for (const auto& [name, plan] : FastPlans()) {
        const Outcome fast = Repair(input, plan);
        EXPECT_TRUE(fast.atSync == plain.file) << name;
        EXPECT_TRUE(fast.atLink == plain.file) << name;
    }
}

TEST(IoPlan, UnchangedFileWhoseOnlyWriteFailsIsReportedAsThePlainPathReportsIt) {
    const Bytes input = CleanBytes(30000, 111);  // one window, one gathered write at the end
    Conditions conditions;
    conditions.failSite = Site::WriteTemp;
    conditions.failNth = 1;
    conditions.failError = ENOSPC;
    const Outcome plain = Repair(input, kPlain, conditions);
    const Outcome fast = Repair(input, IoPlan{}, conditions);
    EXPECT_EQ(fast.wideWrites, (std::vector<int>{30000}));
    EXPECT_TRUE(fast.fileerror);
    EXPECT_EQ(fast.warnings, plain.warnings);
    EXPECT_EQ(fast.lines, plain.lines);
    EXPECT_FALSE(fast.tempExists);
    EXPECT_EQ(fast.file, input);
}

// Every file operation failing at every place it occurs on the gathered path: the input
// survives under its own name, nothing is left behind, and the user is told.
TEST(IoPlan, EveryOperationFailingAtEveryPlaceOnTheGatheredPathKeepsTheInput) {
    const Bytes input = DamagedInput(121, 120000);
    const IoPlan plan{20000, true};
    // How often each operation happens on a run without faults.
    TempDir countDir;
    const std::string countPath = countDir.File("movie.avi");
    WriteBytes(countPath, input);
    FaultPlan counts;
    {
        FakeHost host;
        RunState run;
        KorbscanLibrary library;
        PosixFileSystem realFs;
        FaultyFileSystem fs(realFs, counts);
        WideRecordIo io(library, counts);
        RepairEngine engine(host, run, io, fs);
        engine.SetIoPlan(plan);
        engine.ProcessFile(countPath);
        ASSERT_FALSE(run.fileerror);
    }
    int tried = 0;
    const std::vector<int> errors = {ENOSPC, EIO, EACCES};
    // Every site but the close, whose failure the pass rides out by design.
    for (const Site site : AllSites()) {
        for (int nth = 1; site != Site::CloseTemp && nth <= counts.Calls(site); ++nth) {
            Conditions conditions;
            conditions.failSite = site;
            conditions.failNth = nth;
            conditions.failError = errors[static_cast<std::size_t>(tried++) % errors.size()];
            const Outcome outcome = Repair(input, plan, conditions);
            SCOPED_TRACE(std::string(SiteName(site)) + " #" + std::to_string(nth));
            EXPECT_TRUE(outcome.fileerror);
            EXPECT_EQ(outcome.file, input);
            EXPECT_EQ(outcome.warnings.size(), 1u);
            EXPECT_FALSE(outcome.tempExists && site != Site::DeleteTemp);
        }
    }
    EXPECT_GE(counts.Calls(Site::WriteTemp), 5);
    EXPECT_GE(tried, 12);
}

TEST(IoPlan, OnlyACopyThatDiffersFromItsInputIsSentToTheDiskWhileItIsWritten) {
    constexpr std::size_t kSize = 20 << 20;
    const Bytes clean = CleanBytes(kSize, 5);
    Bytes early = clean;
    PutRepeat(early, 1000, 41);
    Bytes late = clean;
    PutRepeat(late, 15 << 20, 41);
    for (const auto& [name, plan] :
         std::vector<std::pair<std::string, IoPlan>>{{"plain", kPlain}, {"default", IoPlan{}}}) {
        SCOPED_TRACE(name);
        // Unchanged: the copy is deleted at the end and never needs the disk.
        EXPECT_TRUE(Repair(clean, plan).writebacks.empty());
        // Changed from the start: asked every 8 MiB written, for the temporary file.
        const Outcome fromStart = Repair(early, plan);
        EXPECT_EQ(fromStart.writebacks, std::vector<std::string>(2, "DIR/movie.avi.$$$"));
        // Changed at 15 MiB: asked from there on.
        EXPECT_EQ(Repair(late, plan).writebacks.size(), 1u);
        Conditions dryRun;
        dryRun.dryRun = true;
        EXPECT_TRUE(Repair(early, plan, dryRun).writebacks.empty());
    }
}

}  // namespace
}  // namespace korbelt::test
