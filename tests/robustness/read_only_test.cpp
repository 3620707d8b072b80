// A file in a place where nothing can be written: a read-only mount, or a directory the user
// may not write to. Root passes permission bits, so the second runs as nobody.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <gtest/gtest.h>

#include "Damage.h"
#include "ProcessSupport.h"

namespace korbelt::test {
namespace {

using Texts = std::vector<std::string>;

constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;

const Bytes& DamagedFile() {
    static const Bytes data = Damaged(50000, 37);
    return data;
}

void ExpectRefused(const ProgramResult& result, const std::string& path, int error) {
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "korbelt-cli: Error opening output file '" + path + ".$$$'\n" +
                              std::strerror(error) + "\n");
    EXPECT_EQ(result.out, path + " - failed to create output file\n");
}

TEST(ReadOnly, AFileOnAReadOnlyMountIsRefusedAndKept) {
    TempDir home;
    ScratchMount disk(home.File("disk"), 4 << 20);
    if (!disk.Mounted()) {
        GTEST_SKIP() << "no tmpfs of our own here (" << disk.WhyNot() << ")";
    }
    const std::string path = home.File("disk/movie.avi");
    WriteBytes(path, DamagedFile());
    const Bytes oldBackup(10, 'o');
    WriteBytes(path + ".bak", oldBackup);
    ASSERT_TRUE(disk.MakeReadOnly());

    const ProgramResult result = RunCli(home.Path(), {"--yes", path});
    ExpectRefused(result, path, EROFS);
    EXPECT_EQ(ReadBytes(path), DamagedFile());
    EXPECT_EQ(ReadBytes(path + ".bak"), oldBackup);
    EXPECT_EQ(ListDirectory(home.File("disk")), (Texts{"movie.avi", "movie.avi.bak"}));

    // A dry run has nothing to write and reports the find.
    const ProgramResult dry = RunCli(home.Path(), {"--dry-run", path});
    EXPECT_EQ(dry.exitCode, 0) << dry.err;
    EXPECT_NE(dry.out.find("  6 bytes would be removed, 50,000 bytes read, 49,994 bytes would be "
                           "written."),
              std::string::npos)
        << dry.out;
}

TEST(ReadOnly, ADirectoryTheUserMayNotWriteToIsRefusedAndKept) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to become nobody";
    }
    TempDir home;
    // nobody must reach the program, the settings and the file.
    chmod(home.Path().c_str(), 0755);
    if (access(CliPath().c_str(), X_OK) != 0) {
        GTEST_SKIP() << "korbelt-cli not reachable";
    }
    const std::string d = home.File("readonly");
    mkdir(d.c_str(), 0755);
    const std::string path = d + "/movie.avi";
    WriteBytes(path, DamagedFile());
    chmod(path.c_str(), 0644);

    ProgramResult probe = RunCliAs(home.Path(), {"--version"}, kNobody, kNogroup, 0);
    if (probe.exitCode != 0) {
        GTEST_SKIP() << "korbelt-cli cannot run as nobody here (exit " << probe.exitCode << ")";
    }
    const ProgramResult result = RunCliAs(home.Path(), {"--yes", path}, kNobody, kNogroup, 0);
    ExpectRefused(result, path, EACCES);
    EXPECT_EQ(ReadBytes(path), DamagedFile());
    EXPECT_EQ(ListDirectory(d), Texts{"movie.avi"});
}

TEST(ReadOnly, AWritableDirectoryWithAReadOnlyFileIsRepaired) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to become nobody";
    }
    TempDir home;
    chmod(home.Path().c_str(), 0755);
    const std::string d = home.File("mine");
    mkdir(d.c_str(), 0755);
    chown(d.c_str(), kNobody, kNogroup);
    const std::string path = d + "/movie.avi";
    WriteBytes(path, DamagedFile());
    chown(path.c_str(), kNobody, kNogroup);
    chmod(path.c_str(), 0444);
    const ProgramResult result = RunCliAs(home.Path(), {"--yes", path}, kNobody, kNogroup, 0);
    if (result.exitCode == 126 || result.exitCode == 127) {
        GTEST_SKIP() << "korbelt-cli cannot run as nobody here";
    }
    // Renames need the directory's permission, not the file's: the read-only download is
    // repaired and its original kept, read-only as it was.
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ReadBytes(path), Repaired(DamagedFile()));
    EXPECT_EQ(ReadBytes(path + ".bak"), DamagedFile());
    struct stat info {};
    stat((path + ".bak").c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0444u);
}

}  // namespace
}  // namespace korbelt::test
