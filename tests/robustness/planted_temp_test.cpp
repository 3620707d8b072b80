// Whatever stands at NAME.$$$ but a copy of Korbelt's own stays as it was: a FIFO that would
// make the open wait for a reader for ever and a device that would take the repaired copy are
// refused; a file Korbelt did not write (another file's second name, a file that came with the
// download) is stepped round, the copy written under the next free name. Only a copy a killed
// run left, known by its mark, is deleted.
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <thread>

#include <gtest/gtest.h>

#include "Damage.h"
#include "ProcessSupport.h"

namespace korbelt::test {
namespace {

const std::string kNotAFile = "The name is taken by something that is not a file";

const Bytes& DamagedFile() {
    static const Bytes data = Damaged(30000, 59);
    return data;
}

// korbelt-cli --yes on the file, killed when it has not ended within ten seconds.
ProgramResult RunBounded(const TempDir& home, const std::string& path) {
    BackgroundProgram cli(CliPath(), {"--yes", path}, CliEnvironment(home.Path()), home.File("out"),
                          home.File("err"));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int status = -2;
    while (std::chrono::steady_clock::now() < deadline) {
        int raw = 0;
        if (waitpid(cli.Pid(), &raw, WNOHANG) == cli.Pid()) {
            status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ProgramResult result;
    result.exitCode = status;
    const Bytes out = ReadBytes(home.File("out"));
    const Bytes err = ReadBytes(home.File("err"));
    result.out.assign(out.begin(), out.end());
    result.err.assign(err.begin(), err.end());
    if (status == -2) {
        cli.Signal(SIGKILL);  // reaped by its destructor
        result.err += "(still running after ten seconds)";
    }
    return result;
}

void ExpectRefused(const ProgramResult& result, const std::string& path, const std::string& why) {
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_EQ(result.err,
              "korbelt-cli: Error opening output file '" + path + ".$$$'\n" + why + "\n");
    EXPECT_EQ(result.out, path + " - failed to create output file\n");
    EXPECT_EQ(ReadBytes(path), DamagedFile());
    EXPECT_FALSE(Exists(path + ".bak"));
}

mode_t TypeOf(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 ? info.st_mode & S_IFMT : 0;
}

TEST(PlantedTemp, AFifoIsRefusedWithoutWaitingForAReader) {
    TempDir home;
    const std::string path = home.File("movie.avi");
    WriteBytes(path, DamagedFile());
    ASSERT_EQ(mkfifo((path + ".$$$").c_str(), 0644), 0);
    ExpectRefused(RunBounded(home, path), path, kNotAFile);
    EXPECT_EQ(TypeOf(path + ".$$$"), static_cast<mode_t>(S_IFIFO));
}

TEST(PlantedTemp, ADeviceIsRefusedAndNotWrittenTo) {
    TempDir home;
    const std::string path = home.File("movie.avi");
    WriteBytes(path, DamagedFile());
    // The null device: what a disk would be, without a disk at stake.
    if (mknod((path + ".$$$").c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
        GTEST_SKIP() << "no device node here: " << std::strerror(errno);
    }
    ExpectRefused(RunBounded(home, path), path, kNotAFile);
    EXPECT_EQ(TypeOf(path + ".$$$"), static_cast<mode_t>(S_IFCHR));
}

// The mark korbscan gives every copy it makes, under the name it makes it.
void MarkAsLeftByAKill(const std::string& path) {
    const std::string value = "copy " + path.substr(path.rfind('/') + 1);
    ASSERT_EQ(setxattr(path.c_str(), "user.korbelt.made", value.data(), value.size(), 0), 0)
        << std::strerror(errno);
}

void ExpectSteppedRound(const ProgramResult& result, const std::string& path,
                        const std::string& why) {
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_NE(result.out.find("\n  '" + path + ".$$$' is kept: " + why +
                              "; the copy is written as '" + path + ".1.$$$'\n"),
              std::string::npos)
        << result.out;
    EXPECT_EQ(ReadBytes(path), Repaired(DamagedFile()));
    EXPECT_EQ(ReadBytes(path + ".bak"), DamagedFile());
    EXPECT_FALSE(Exists(path + ".1.$$$"));
}

TEST(PlantedTemp, AFileKorbeltDidNotWriteIsKeptAndTheCopyTakesAnotherName) {
    TempDir home;
    const std::string path = home.File("movie.avi");
    WriteBytes(path, DamagedFile());
    const Bytes precious = {'k', 'e', 'e', 'p', ' ', 'm', 'e'};
    WriteBytes(home.File("precious.doc"), precious);
    ASSERT_EQ(link(home.File("precious.doc").c_str(), (path + ".$$$").c_str()), 0);
    ExpectSteppedRound(RunBounded(home, path), path, "it has other names too");
    EXPECT_EQ(ReadBytes(home.File("precious.doc")), precious);
    EXPECT_EQ(ReadBytes(path + ".$$$"), precious);

    // A file of the same name that came with the download: no mark, whatever its bytes.
    WriteBytes(path, DamagedFile());
    unlink((path + ".bak").c_str());
    unlink((path + ".$$$").c_str());
    WriteBytes(path + ".$$$", Bytes(100000, 's'));
    ExpectSteppedRound(RunBounded(home, path), path, "Korbelt did not write it");
    EXPECT_EQ(ReadBytes(path + ".$$$"), Bytes(100000, 's'));
}

// A copy a killed run left carries its mark: it goes, and a folder run that listed it says so
// instead of reporting it missing. The same mark on a file a checksum file names does not
// make it Korbelt's to delete: a download can carry anything.
TEST(PlantedTemp, OnlyAStaleCopyOfItsOwnIsRemoved) {
    TempDir home;
    const std::string path = home.File("movie.avi");
    WriteBytes(path, DamagedFile());
    WriteBytes(path + ".$$$", Bytes(100000, 's'));
    MarkAsLeftByAKill(path + ".$$$");
    const ProgramResult result = RunBounded(home, path);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(ReadBytes(path), Repaired(DamagedFile()));
    EXPECT_EQ(ReadBytes(path + ".bak"), DamagedFile());
    EXPECT_FALSE(Exists(path + ".$$$"));

    const std::string d = home.File("d");
    mkdir(d.c_str(), 0755);
    WriteBytes(d + "/movie.avi", DamagedFile());
    WriteBytes(d + "/movie.avi.$$$", Bytes(100000, 's'));
    MarkAsLeftByAKill(d + "/movie.avi.$$$");
    const ProgramResult folder = RunBounded(home, d);
    EXPECT_EQ(folder.exitCode, 0) << folder.err;
    EXPECT_EQ(folder.err, "");
    EXPECT_NE(folder.out.find("\n" + d + "/movie.avi.$$$ - stale temporary file, removed\n"),
              std::string::npos)
        << folder.out;
    EXPECT_EQ(ListDirectory(d), (std::vector<std::string>{"movie.avi", "movie.avi.bak"}));

    // A mark given under another name counts for nothing here.
    WriteBytes(path, DamagedFile());
    unlink((path + ".bak").c_str());
    WriteBytes(home.File("other.$$$"), Bytes(10, 'o'));
    MarkAsLeftByAKill(home.File("other.$$$"));
    ASSERT_EQ(rename(home.File("other.$$$").c_str(), (path + ".$$$").c_str()), 0);
    ExpectSteppedRound(RunBounded(home, path), path, "Korbelt did not write it");

    WriteBytes(path, DamagedFile());
    unlink((path + ".bak").c_str());
    unlink((path + ".$$$").c_str());
    WriteBytes(path + ".$$$", Bytes(100000, 's'));
    MarkAsLeftByAKill(path + ".$$$");
    const std::string list = "d41d8cd98f00b204e9800998ecf8427e  movie.avi.$$$\n";
    WriteBytes(home.File("posted.md5"), Bytes(list.begin(), list.end()));
    ExpectSteppedRound(RunBounded(home, path), path,
                       "it came with the download ('" + home.File("posted.md5") + "' names it)");
    EXPECT_EQ(ReadBytes(path + ".$$$"), Bytes(100000, 's'));
}

}  // namespace
}  // namespace korbelt::test
