// Names a download can carry and places it can lie in: quotes, newlines, dashes, bytes that
// are no UTF-8, names with no room left for ".bak" or ".$$$", symbolic links planted where
// the pass writes or given as the input.
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <gtest/gtest.h>

#include "Damage.h"
#include "RealPass.h"

namespace korbelt::test {
namespace {

using Texts = std::vector<std::string>;

const std::string kNotAFile = "\r\nThe name is taken by something that is not a file";

const Bytes& DamagedFile() {
    static const Bytes data = Damaged(30000, 11);
    return data;
}

std::string LinkTarget(const std::string& path) {
    char target[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), target, sizeof(target));
    return n < 0 ? std::string() : std::string(target, static_cast<std::size_t>(n));
}

bool IsSymlink(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

const Texts& OddNames() {
    static const Texts names = {
        "with space.avi",
        "it's \"quoted\".avi",
        "new\nline.avi",
        "-n.avi",
        "--yes",
        "\xff\xfe not utf-8 \x80.avi",
        "back\\slash and * and ?.avi",
        "tab\there.avi",
        "a.avi.bak.$$$",
        "trailing dot.",
        "$(touch pwned)",
        std::string("nul-free but \x01\x1b[31m control.avi"),
    };
    return names;
}

class HostileNames : public RealPass {};

TEST_F(HostileNames, OddNamesAreRepairedUnderTheirOwnNames) {
    for (const std::string& name : OddNames()) {
        SCOPED_TRACE(name);
        host.status.lines.clear();
        const std::string path = dir.File(name);
        WriteBytes(path, DamagedFile());
        Process(path);
        EXPECT_FALSE(run.fileerror);
        EXPECT_EQ(Lines().at(0), path);
        EXPECT_EQ(ReadBytes(path), Repaired(DamagedFile()));
        EXPECT_EQ(ReadBytes(path + ".bak"), DamagedFile());
        EXPECT_FALSE(Exists(path + ".$$$"));
    }
    EXPECT_TRUE(Warnings().empty());
    EXPECT_FALSE(Exists(dir.File("pwned")));
}

TEST_F(HostileNames, ADirectoryOfOddNamesIsWalkedAndEveryFileRepaired) {
    for (const std::string& name : OddNames()) {
        WriteBytes(dir.File(name), DamagedFile());
    }
    RunList({dir.Path()});
    EXPECT_EQ(batch.Failures(), 0);
    Texts expected;
    for (const std::string& name : OddNames()) {
        EXPECT_EQ(ReadBytes(dir.File(name)), Repaired(DamagedFile())) << name;
        EXPECT_EQ(ReadBytes(dir.File(name + ".bak")), DamagedFile()) << name;
        expected.push_back(name);
        expected.push_back(name + ".bak");
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(ListDirectory(dir.Path()), expected);
}

// NAME_MAX is 255 bytes on the usual Linux file systems: a name of 251 leaves room for the
// suffixes, one of 252 to 255 does not.
TEST_F(HostileNames, ANameWithNoRoomForTheSuffixesIsRefusedAndKept) {
    const long nameMax = pathconf(dir.Path().c_str(), _PC_NAME_MAX);
    ASSERT_GT(nameMax, 20);
    const std::string fits = std::string(static_cast<std::size_t>(nameMax) - 4, 'f');
    WriteBytes(dir.File(fits), DamagedFile());
    Process(dir.File(fits));
    EXPECT_FALSE(run.fileerror);
    EXPECT_EQ(ReadBytes(dir.File(fits + ".bak")), DamagedFile());

    for (long length = nameMax - 3; length <= nameMax; ++length) {
        SCOPED_TRACE(length);
        host.status.lines.clear();
        host.boxes.shown.clear();
        const std::string path = dir.File(std::string(static_cast<std::size_t>(length), 'x'));
        WriteBytes(path, DamagedFile());
        Process(path);
        EXPECT_TRUE(run.fileerror);
        EXPECT_EQ(Warnings(), Texts{"Error opening output file '" + path + ".$$$'\r\n" +
                                    std::strerror(ENAMETOOLONG)});
        EXPECT_EQ(Lines(), Texts{path + " - failed to create output file"});
        EXPECT_EQ(ReadBytes(path), DamagedFile());
    }
    EXPECT_EQ(ListDirectory(dir.Path()).size(), 2u + 4u);
}

// The whole path, not just the name: PATH_MAX counts the suffix too.
TEST_F(HostileNames, APathWithNoRoomForTheSuffixesIsRefusedAndKept) {
    // The file's path is PATH_MAX - 4 bytes long: with its terminating NUL it can be opened,
    // but NAME.$$$ beside it cannot. The name itself leaves room for the suffix, so only the
    // whole path is too long.
    const std::size_t length = PATH_MAX - 4;
    std::string path = dir.Path();
    const std::string component(100, 'd');
    while (path.size() + 1 + component.size() + 1 + 150 < length) {
        path += "/" + component;
        ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
    }
    path += "/" + std::string(length - path.size() - 1, 'p');
    ASSERT_EQ(path.size(), length);
    ASSERT_LE(BaseName(path).size() + 4, 255u);
    WriteBytes(path, DamagedFile());
    ASSERT_EQ(ReadBytes(path), DamagedFile());
    Process(path);
    EXPECT_TRUE(run.fileerror);
    EXPECT_EQ(Warnings(), Texts{"Error opening output file '" + path + ".$$$'\r\n" +
                                std::strerror(ENAMETOOLONG)});
    EXPECT_EQ(Lines(), Texts{path + " - failed to create output file"});
    EXPECT_EQ(ReadBytes(path), DamagedFile());
}

TEST_F(HostileNames, ASymbolicLinkPlantedAtTheTemporaryNameIsRefusedAndItsTargetUntouched) {
    const std::string elsewhere = dir.File("elsewhere");
    mkdir(elsewhere.c_str(), 0755);
    const std::string victim = elsewhere + "/precious.doc";
    const Bytes precious = {'k', 'e', 'e', 'p', ' ', 'm', 'e'};
    WriteBytes(victim, precious);
    const std::string path = dir.File("movie.avi");
    WriteBytes(path, DamagedFile());
    ASSERT_EQ(symlink(victim.c_str(), (path + ".$$$").c_str()), 0);

    Process(path);
    EXPECT_TRUE(run.fileerror);
    EXPECT_EQ(Warnings(), Texts{"Error opening output file '" + path + ".$$$'" + kNotAFile});
    EXPECT_EQ(Lines(), Texts{path + " - failed to create output file"});
    EXPECT_EQ(ReadBytes(victim), precious);
    EXPECT_EQ(ReadBytes(path), DamagedFile());
    EXPECT_EQ(LinkTarget(path + ".$$$"), victim) << "the planted link itself is left alone";
    EXPECT_FALSE(Exists(path + ".bak"));
}

TEST_F(HostileNames, DirectoriesAtTheTemporaryAndBackupNamesAreRefused) {
    const std::string path = dir.File("movie.avi");
    WriteBytes(path, DamagedFile());
    ASSERT_EQ(mkdir((path + ".$$$").c_str(), 0755), 0);
    Process(path);
    EXPECT_TRUE(run.fileerror);
    EXPECT_EQ(Warnings(), Texts{"Error opening output file '" + path + ".$$$'" + kNotAFile});
    rmdir((path + ".$$$").c_str());

    host.boxes.shown.clear();
    host.status.lines.clear();
    ASSERT_EQ(mkdir((path + ".bak").c_str(), 0755), 0);
    Process(path);
    EXPECT_TRUE(run.fileerror);
    EXPECT_EQ(Warnings(), Texts{"Unable to delete old backup file '" + path + ".bak'\r\n" +
                                std::strerror(EISDIR)});
    EXPECT_EQ(Lines().at(0), path + " - delete old backup file failed");
    EXPECT_EQ(ReadBytes(path), DamagedFile());
    EXPECT_EQ(ListDirectory(dir.Path()), (Texts{"movie.avi", "movie.avi.bak"}));
}

TEST_F(HostileNames, ADanglingLinkAtTheTemporaryNameCreatesNothingWhereItPoints) {
    const std::string nowhere = dir.File("would-be-created");
    const std::string path = dir.File("movie.avi");
    WriteBytes(path, DamagedFile());
    ASSERT_EQ(symlink(nowhere.c_str(), (path + ".$$$").c_str()), 0);
    Process(path);
    EXPECT_TRUE(run.fileerror);
    EXPECT_FALSE(Exists(nowhere));
    EXPECT_EQ(ReadBytes(path), DamagedFile());
}

TEST_F(HostileNames, ASymbolicLinkPlantedAtTheBackupNameIsReplacedAndItsTargetUntouched) {
    const std::string victim = dir.File("precious.doc");
    const Bytes precious = {'k', 'e', 'e', 'p'};
    WriteBytes(victim, precious);
    const std::string path = dir.File("movie.avi");
    WriteBytes(path, DamagedFile());
    ASSERT_EQ(symlink(victim.c_str(), (path + ".bak").c_str()), 0);
    host.boxes.Answer(true);  // the link looks like an old backup
    Process(path);
    EXPECT_FALSE(run.fileerror);
    EXPECT_EQ(ReadBytes(victim), precious);
    EXPECT_FALSE(IsSymlink(path + ".bak"));
    EXPECT_EQ(ReadBytes(path + ".bak"), DamagedFile());
    EXPECT_EQ(ReadBytes(path), Repaired(DamagedFile()));
}

// A link given as the input is left alone, and so is the file it points to: the repair
// would otherwise put the copy where the link was, and NAME.bak or NAME.$$$ could be the
// target itself.
TEST_F(HostileNames, ASymbolicLinkAsInputIsRefusedAndNothingIsTouched) {
    const std::string path = dir.File("movie.avi");
    for (const std::string target : {"store.avi", "movie.avi.$$$", "movie.avi.bak"}) {
        SCOPED_TRACE(target);
        host.status.lines.clear();
        WriteBytes(dir.File(target), DamagedFile());
        ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
        host.boxes.answers.assign(2, true);
        Process(path);
        EXPECT_TRUE(run.fileerror);
        EXPECT_EQ(Lines(), Texts{path + " - symbolic link, not followed"});
        EXPECT_EQ(ReadBytes(dir.File(target)), DamagedFile());
        EXPECT_EQ(LinkTarget(path), target);
        EXPECT_EQ(ListDirectory(dir.Path()), (Texts{"movie.avi", target}));
        unlink(path.c_str());
        unlink(dir.File(target).c_str());
    }
    EXPECT_TRUE(Warnings().empty());
    EXPECT_TRUE(Questions().empty());
}

TEST_F(HostileNames, ADanglingLinkAsInputDoesNotExist) {
    const std::string path = dir.File("movie.avi");
    ASSERT_EQ(symlink("gone.avi", path.c_str()), 0);
    Process(path);
    EXPECT_EQ(Warnings(), Texts{path + "\r\ndoes not exist"});
    EXPECT_EQ(ListDirectory(dir.Path()), Texts{"movie.avi"});
}

}  // namespace
}  // namespace korbelt::test
