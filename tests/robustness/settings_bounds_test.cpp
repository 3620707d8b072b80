// Settings that read as numbers and pass the start-up check, yet put the duplicate-bytes
// window far outside the record buffer: the pass keeps the window inside the buffer. The
// store's other damage (random bytes, huge numbers, missing keys and section) is covered
// by the settings tests.
#include <sys/stat.h>

#include <fstream>

#include <gtest/gtest.h>

#include "Damage.h"
#include "ProcessSupport.h"

namespace korbelt::test {
namespace {

// The report line of the one find in a file, and how many bytes its window lists.
struct Find {
    std::string line;
    int bytesListed = 0;
};

Find FindIn(const std::string& out) {
    Find find;
    const auto at = out.find("  @101 found ");
    if (at == std::string::npos) {
        return find;
    }
    find.line = out.substr(at, out.find('\n', at) - at);
    for (std::size_t i = 13; i + 3 <= find.line.size(); i += 4) {
        if (find.line.compare(i, 1, " ") == 0) {
            break;
        }
        ++find.bytesListed;
    }
    return find;
}

class SettingsBounds : public ::testing::Test {
  protected:
    ProgramResult RunWith(const std::string& start, const std::string& end) {
        const std::string store = home.File("cfg/Korbelt");
        mkdir(home.File("cfg").c_str(), 0755);
        mkdir(store.c_str(), 0755);
        std::ofstream(store + "/Korbelt.conf")
            << "[Options]\nDBRangeStart=" << start << "\nDBRangeEnd=" << end << "\n";
        WriteBytes(file, data);
        return RunCli(home.Path(), {file});
    }

    TempDir home;
    const std::string file = home.File("movie.avi");
    Bytes data = [] {
        Bytes bytes = Clean(400, 43);
        PlantRepeat(bytes, 100);
        return bytes;
    }();
};

TEST_F(SettingsBounds, TheWidestPossibleRangeIsCutToTheLookAhead) {
    const ProgramResult result = RunWith("-32768", "32767");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    // Offsets 0 to 51 after the CR: 52 bytes, the CR LF '-' among them.
    const Find find = FindIn(result.out);
    EXPECT_EQ(find.bytesListed, 52) << find.line;
    EXPECT_EQ(find.line.compare(13, 12, "013 010 045 "), 0) << find.line;
    EXPECT_EQ(ReadBytes(file + ".bak"), data);
    EXPECT_EQ(ReadBytes(file).size(), data.size() - 1);
}

TEST_F(SettingsBounds, AStartPastTheLookAheadIsCutToItsLastPair) {
    const ProgramResult result = RunWith("30000", "31000");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, file + "\n  0 bytes removed, 400 bytes read, 400 bytes written.\n");
    EXPECT_EQ(ReadBytes(file), data);
}

TEST_F(SettingsBounds, NegativeRangesLookAtTheMarkerItself) {
    const ProgramResult result = RunWith("-3", "-2");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, file + "\n  0 bytes removed, 400 bytes read, 400 bytes written.\n");
    EXPECT_EQ(ReadBytes(file), data);
}

TEST_F(SettingsBounds, ARangeEndingAtTheLookAheadFindsThePair) {
    const ProgramResult result = RunWith("40", "51");
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(FindIn(result.out).bytesListed, 12);
    EXPECT_EQ(ReadBytes(file).size(), data.size() - 1);
}

}  // namespace
}  // namespace korbelt::test
