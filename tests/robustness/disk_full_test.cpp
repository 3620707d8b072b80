// A disk that really fills up while the repaired copy is written: a small tmpfs where the
// machine allows it, else a limit on the size of any file the program writes.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "Damage.h"
#include "ProcessSupport.h"

namespace korbelt::test {
namespace {

constexpr std::size_t kInputSize = 5 << 20;

const Bytes& Input() {
    static const Bytes data = Damaged(kInputSize, 29);
    return data;
}

// What korbelt-cli prints for a file whose copy could not be written: the file's line, the
// report lines of the finds made before the disk filled up, and that nothing was changed.
void ExpectWriteFailure(const ProgramResult& result, const std::string& path,
                        const std::string& reason) {
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err,
              "korbelt-cli: Unable to write temporary file '" + path + ".$$$'\n" + reason + "\n");
    const std::string line = path + " - write to temporary file failed\n";
    EXPECT_EQ(result.out.compare(0, line.size(), line), 0) << result.out;
    EXPECT_EQ(result.out.find("bytes removed"), std::string::npos) << "no summary for a failure";
    EXPECT_TRUE(result.out.ends_with("\n  the file was left as it was\n")) << result.out;
}

TEST(DiskFull, OnASmallTmpfsTheInputStaysWholeAndTheSpaceIsGivenBack) {
    TempDir home;
    // 8 MiB: the 5 MiB input fits, its copy does not.
    ScratchMount disk(home.File("disk"), 8 << 20);
    if (!disk.Mounted()) {
        GTEST_SKIP() << "no tmpfs of our own here (" << disk.WhyNot()
                     << "); the file size limit test stands in for it";
    }
    const std::string path = home.File("disk/movie.avi");
    WriteBytes(path, Input());
    const long long freeBefore = disk.FreeBytes();
    ASSERT_LT(freeBefore, static_cast<long long>(kInputSize));

    const ProgramResult result = RunCli(home.Path(), {"--yes", path});
    ExpectWriteFailure(result, path, "No space left on device");
    EXPECT_EQ(ReadBytes(path), Input());
    EXPECT_EQ(ListDirectory(home.File("disk")), std::vector<std::string>{"movie.avi"});
    EXPECT_EQ(disk.FreeBytes(), freeBefore) << "the partial copy still takes up space";

    // With room made, the same command repairs it.
    ScratchMount roomy(home.File("roomy"), 16 << 20);
    ASSERT_TRUE(roomy.Mounted());
    const std::string there = home.File("roomy/movie.avi");
    WriteBytes(there, Input());
    const ProgramResult again = RunCli(home.Path(), {"--yes", there});
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(ReadBytes(there), Repaired(Input()));
    EXPECT_EQ(ReadBytes(there + ".bak"), Input());
}

TEST(DiskFull, AFullDiskWithAnOldBackupKeepsTheOldBackupToo) {
    TempDir home;
    ScratchMount disk(home.File("disk"), 8 << 20);
    if (!disk.Mounted()) {
        GTEST_SKIP() << "no tmpfs of our own here (" << disk.WhyNot() << ")";
    }
    const std::string path = home.File("disk/movie.avi");
    WriteBytes(path, Input());
    const Bytes oldBackup(1000, 'o');
    WriteBytes(path + ".bak", oldBackup);
    const ProgramResult result = RunCli(home.Path(), {"--yes", path});
    ExpectWriteFailure(result, path, "No space left on device");
    EXPECT_EQ(ReadBytes(path), Input());
    EXPECT_EQ(ReadBytes(path + ".bak"), oldBackup);
    EXPECT_FALSE(Exists(path + ".$$$"));
}

TEST(DiskFull, AFileSizeLimitStopsTheCopyAndTheInputStaysWhole) {
    TempDir home;
    const std::string path = home.File("movie.avi");
    WriteBytes(path, Input());
    const ProgramResult result = RunCliAs(home.Path(), {"--yes", path}, 0, 0, 3 << 20);
    ExpectWriteFailure(result, path, "File too large");
    EXPECT_EQ(ReadBytes(path), Input());
    EXPECT_EQ(ListDirectory(home.Path()), (std::vector<std::string>{"cfg", "movie.avi"}));

    // The record says what happened on disk: nothing removed, nothing written to the file.
    const ProgramResult json = RunCliAs(home.Path(), {"--yes", "--json", path}, 0, 0, 3 << 20);
    EXPECT_EQ(json.exitCode, 1);
    EXPECT_NE(json.out.find("\"bytes\":{\"read\":"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find(",\"written\":0,\"removed\":0}"), std::string::npos) << json.out;
    EXPECT_EQ(json.out.find("\"decision\":\"removed\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"reason\":\"copy dropped\""), std::string::npos) << json.out;
}

TEST(DiskFull, AFailedFileInADirectoryDoesNotStopTheRest) {
    TempDir home;
    const std::string d = home.File("downloads");
    mkdir(d.c_str(), 0755);
    const Bytes small = Damaged(100000, 31);
    WriteBytes(d + "/a.avi", small);
    WriteBytes(d + "/b.avi", Input());  // too big for the limit
    WriteBytes(d + "/c.avi", small);
    const ProgramResult result = RunCliAs(home.Path(), {"--yes", d}, 0, 0, 3 << 20);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(ReadBytes(d + "/a.avi"), Repaired(small));
    EXPECT_EQ(ReadBytes(d + "/b.avi"), Input());
    EXPECT_EQ(ReadBytes(d + "/c.avi"), Repaired(small));
    EXPECT_EQ(ListDirectory(d),
              (std::vector<std::string>{"a.avi", "a.avi.bak", "b.avi", "c.avi", "c.avi.bak"}));
    EXPECT_NE(result.out.find(d + "/b.avi - write to temporary file failed\n"), std::string::npos)
        << result.out;
    EXPECT_EQ(result.err, "korbelt-cli: Unable to write temporary file '" + d +
                              "/b.avi.$$$'\nFile too large\n");
}

}  // namespace
}  // namespace korbelt::test
