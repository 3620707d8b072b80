// Places that change or are not what they seem: FIFOs and devices among the files of a
// directory, files that vanish or turn into something else between listing and opening, and
// an input that grows or shrinks while it is being repaired.
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>

#include <gtest/gtest.h>

#include "Damage.h"
#include "RealPass.h"
#include "engine/system/PosixFileSystem.h"

namespace korbelt::test {
namespace {

using Texts = std::vector<std::string>;

const Bytes& DamagedFile() {
    static const Bytes data = Damaged(30000, 13);
    return data;
}

// Names in a directory that anyone opened while it watched.
class OpenWatch {
  public:
    explicit OpenWatch(const std::string& directory)
        : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        watch_ = inotify_add_watch(fd_, directory.c_str(), IN_OPEN);
    }
    ~OpenWatch() { close(fd_); }
    OpenWatch(const OpenWatch&) = delete;
    OpenWatch& operator=(const OpenWatch&) = delete;

    bool Works() const { return fd_ >= 0 && watch_ >= 0; }

    std::set<std::string> Opened() {
        alignas(inotify_event) char buffer[8192];
        for (;;) {
            const ssize_t n = read(fd_, buffer, sizeof(buffer));
            if (n <= 0) {
                break;
            }
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if (event->len > 0) {
                    opened_.insert(event->name);
                }
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return opened_;
    }

  private:
    int fd_;
    int watch_ = -1;
    std::set<std::string> opened_;
};

class HostilePlaces : public RealPass {};

TEST_F(HostilePlaces, FifosAndDevicesInAListedDirectoryAreNeverOpened) {
    const std::string d = dir.File("downloads");
    mkdir(d.c_str(), 0755);
    WriteBytes(d + "/a.avi", DamagedFile());
    WriteBytes(d + "/z.avi", DamagedFile());
    ASSERT_EQ(mkfifo((d + "/pipe.avi").c_str(), 0644), 0);
    ASSERT_EQ(symlink("pipe.avi", (d + "/link-to-pipe.avi").c_str()), 0);
    // A character device like /dev/zero: opened, it would never end.
    const bool haveDevice = mknod((d + "/zero.avi").c_str(), S_IFCHR | 0644, makedev(1, 5)) == 0;
    if (!haveDevice) {
        std::printf("no device node here (%s); FIFOs only\n", std::strerror(errno));
    }
    ASSERT_EQ(symlink("/dev/zero", (d + "/link-to-zero.avi").c_str()), 0);
    OpenWatch watch(d);
    ASSERT_TRUE(watch.Works()) << std::strerror(errno);

    RunList({d});
    EXPECT_EQ(batch.Failures(), 0);
    EXPECT_TRUE(Warnings().empty());
    Texts outcomes;
    for (const auto& line : Lines()) {
        if (line.rfind("  ", 0) != 0) {
            outcomes.push_back(line);
        }
    }
    EXPECT_EQ(outcomes, (Texts{d + "/a.avi", d + "/z.avi"}));
    const std::set<std::string> opened = watch.Opened();
    for (const char* name : {"pipe.avi", "link-to-pipe.avi", "zero.avi", "link-to-zero.avi"}) {
        EXPECT_EQ(opened.count(name), 0u) << name << " was opened";
    }
    EXPECT_EQ(opened.count("a.avi"), 1u) << "the watch must see the files that are opened";

    // The watch does see a FIFO opened: what it did not see above did not happen.
    const int fd = open((d + "/pipe.avi").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    close(fd);
    EXPECT_EQ(watch.Opened().count("pipe.avi"), 1u);
}

TEST_F(HostilePlaces, AFifoGivenByNameIsNotAFile) {
    const std::string fifo = dir.File("pipe.avi");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    commands.AddInputFile(fifo);
    EXPECT_EQ(Lines(), Texts{"Invalid File '" + fifo + "'"});
    EXPECT_EQ(list.Count(), 0);
}

TEST_F(HostilePlaces, FilesThatVanishDuringTheWalkAreReportedAndTheRunGoesOn) {
    const std::string d = dir.File("downloads");
    mkdir(d.c_str(), 0755);
    for (const char* name : {"a.avi", "b.avi", "c.avi"}) {
        WriteBytes(d + "/" + name, DamagedFile());
    }
    // While a.avi is repaired, the rest of the directory is deleted.
    host.onYield = [&](int n) {
        if (n == 1) {
            unlink((d + "/b.avi").c_str());
            unlink((d + "/c.avi").c_str());
        }
    };
    host.boxes.Answer(true);
    host.boxes.Answer(true);
    RunList({d});
    EXPECT_EQ(Warnings(), (Texts{d + "/b.avi\r\ndoes not exist", d + "/c.avi\r\ndoes not exist"}));
    EXPECT_EQ(Questions(), (Texts{"Process remaining files?", "Process remaining files?"}));
    EXPECT_EQ(batch.Failures(), 2);
    EXPECT_EQ(ReadBytes(d + "/a.avi"), Repaired(DamagedFile()));
    EXPECT_EQ(ListDirectory(d), (Texts{"a.avi", "a.avi.bak"}));
}

TEST_F(HostilePlaces, ADirectoryRemovedDuringTheWalkEndsItsFilesOneByOne) {
    const std::string d = dir.File("downloads");
    mkdir(d.c_str(), 0755);
    WriteBytes(d + "/a.avi", DamagedFile());
    WriteBytes(d + "/b.avi", DamagedFile());
    const std::string later = dir.File("later.avi");
    WriteBytes(later, DamagedFile());
    host.onYield = [&](int n) {
        if (n == 1) {
            // The pass has a.avi open: it goes on reading it after its name is gone.
            for (const auto& name : ListDirectory(d)) {
                unlink((d + "/" + name).c_str());
            }
            rmdir(d.c_str());
        }
    };
    host.boxes.Answer(true);
    host.boxes.Answer(true);
    RunList({d, later});
    EXPECT_FALSE(Exists(d));
    EXPECT_EQ(ReadBytes(later), Repaired(DamagedFile()));
    EXPECT_EQ(Lines().at(0).rfind(d + "/a.avi - ", 0), 0u) << Lines().at(0);
    EXPECT_EQ(Warnings().back(), d + "/b.avi\r\ndoes not exist");
    EXPECT_EQ(batch.Failures(), 2);
}

// Between the test that a name is an ordinary file and the open, the file is swapped for a
// FIFO: the open must neither hang nor take it for the input.
class SwapsInAFifo : public PosixFileSystem {
  public:
    std::unique_ptr<InputFile> OpenInput(const std::string& path, std::error_code& error) override {
        unlink(path.c_str());
        mkfifo(path.c_str(), 0644);
        return PosixFileSystem::OpenInput(path, error);
    }
};

class SwappedForAFifo : public RealPass {
  protected:
    SwappedForAFifo() : RealPass(&swapping) {}
    SwapsInAFifo swapping;
};

TEST_F(SwappedForAFifo, IsRefusedWithoutWaitingForAWriter) {
    const std::string path = dir.File("movie.avi");
    WriteBytes(path, DamagedFile());
    Process(path);
    EXPECT_TRUE(run.fileerror);
    EXPECT_EQ(Warnings(),
              Texts{"Unable to open input file '" + path + "'\r\n" + std::strerror(EINVAL)});
    EXPECT_EQ(Lines(), Texts{path + " - open input file failed"});
    EXPECT_EQ(ListDirectory(dir.Path()), Texts{"movie.avi"});
}

// The input changes size at a moment of the pass given by the number of its yields (one
// before the first record, one after every report line and every 8 records).
class ChangingInput : public RealPass {
  protected:
    // 3 MiB with a find every 9,000 bytes: hundreds of yields, several read-ahead windows.
    static const Bytes& Big() {
        static const Bytes data = Damaged(3 << 20, 17);
        return data;
    }

    std::string Start(const Bytes& data) {
        // The pass reads its records as it goes: its first part is not held in memory.
        engine.SetIoPlan({RepairEngine::IoPlan{}.readAhead, true, 0});
        path = dir.File("growing.avi");
        WriteBytes(path, data);
        return path;
    }
    void ChangeAt(int yield, std::function<void()> change) {
        host.onYield = [yield, change](int n) {
            if (n == yield) {
                change();
            }
        };
    }
    void Append(const Bytes& more) const {
        const int fd = open(path.c_str(), O_WRONLY | O_APPEND);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(write(fd, more.data(), more.size()), static_cast<ssize_t>(more.size()));
        close(fd);
    }
    void CutTo(off_t length) const { ASSERT_EQ(truncate(path.c_str(), length), 0); }
    void ExpectLeftAsItIs(const Bytes& now, const std::string& how) {
        EXPECT_TRUE(run.fileerror);
        EXPECT_EQ(Warnings(), Texts{"Input file '" + path + "'\r\n" + how +
                                    " while it was being repaired; it was left as it is"});
        EXPECT_EQ(Lines().at(0), path + " - input file changed during processing");
        EXPECT_EQ(ReadBytes(path), now);
        EXPECT_EQ(ListDirectory(dir.Path()), Texts{"growing.avi"});
    }

    std::string path;
};

TEST_F(ChangingInput, ShrinkingBeforeTheFirstRecordIsNoticedAtOnce) {
    Start(Big());
    ChangeAt(1, [&] { CutTo(1000); });
    Process(path);
    ExpectLeftAsItIs(Bytes(Big().begin(), Big().begin() + 1000), "became shorter");
    EXPECT_EQ(Lines(), (Texts{Lines().at(0), "  the file was left as it was"}))
        << "not a single record was written";
}

TEST_F(ChangingInput, ShrinkingHalfWayIsNoticedAtTheNextRead) {
    Start(Big());
    ChangeAt(150, [&] { CutTo(100000); });
    Process(path);
    ExpectLeftAsItIs(Bytes(Big().begin(), Big().begin() + 100000), "became shorter");
}

TEST_F(ChangingInput, ShrinkingToNothingIsNoticed) {
    Start(Big());
    ChangeAt(150, [&] { CutTo(0); });
    Process(path);
    ExpectLeftAsItIs({}, "became shorter");
}

TEST_F(ChangingInput, ACutAfterTheFileWasHeldInMemoryIsNoticedAtTheEnd) {
    Start(Big());
    engine.SetIoPlan(RepairEngine::IoPlan{});  // all 3 MiB read before the first record
    ChangeAt(150, [&] { CutTo(0); });
    Process(path);
    ExpectLeftAsItIs({}, "changed");
}

TEST_F(ChangingInput, GrowingIsNoticedAtTheEndAndTheCopyNotSwappedIn) {
    Start(Big());
    const Bytes more(5000, 'm');
    ChangeAt(150, [&] { Append(more); });
    Process(path);
    Bytes now = Big();
    now.insert(now.end(), more.begin(), more.end());
    ExpectLeftAsItIs(now, "changed");
}

TEST_F(ChangingInput, GrowingInTheLastMomentIsNoticed) {
    const Bytes small = Damaged(3000, 19, 100, 2000);
    Start(small);
    // Two finds: yields 1, 2 and 3; the last comes after the last record was read.
    ChangeAt(3, [&] { Append({'!'}); });
    Process(path);
    Bytes now = small;
    now.push_back('!');
    ExpectLeftAsItIs(now, "changed");
}

TEST_F(ChangingInput, AGrowingFileWithNothingToRepairIsLeftToGrow) {
    const Bytes clean = Clean(3 << 20, 23);
    Start(clean);
    const Bytes more(5000, 'm');
    ChangeAt(20, [&] { Append(more); });
    Process(path);
    EXPECT_FALSE(run.fileerror);
    EXPECT_TRUE(Warnings().empty());
    EXPECT_EQ(Lines().back(), "  0 bytes removed, 3,145,728 bytes read, 3,145,728 bytes written.");
    Bytes now = clean;
    now.insert(now.end(), more.begin(), more.end());
    EXPECT_EQ(ReadBytes(path), now);
    EXPECT_EQ(ListDirectory(dir.Path()), Texts{"growing.avi"});
}

// Replaced under its name, or rewritten in place at the same length: the name no longer
// leads to the bytes that were read, so nothing is swapped, whatever the length says.
TEST_F(ChangingInput, ReplacedOrRewrittenAtTheSameLengthIsNoticed) {
    const Bytes other = Damaged(Big().size(), 31);
    const std::vector<std::pair<const char*, std::function<void()>>> changes = {
        {"replaced",
         [&] {
             WriteBytes(dir.File("other"), other);
             ASSERT_EQ(rename(dir.File("other").c_str(), path.c_str()), 0);
         }},
        {"rewritten",
         [&] {
             const int fd = open(path.c_str(), O_WRONLY);
             ASSERT_EQ(pwrite(fd, other.data(), 4096, 0), 4096);
             close(fd);
         }},
    };
    for (const auto& [how, change] : changes) {
        SCOPED_TRACE(how);
        host.status.lines.clear();
        host.boxes.shown.clear();
        host.yields = 0;
        Start(Big());
        Bytes expected = other;
        if (std::string(how) == "rewritten") {
            expected = Big();
            std::copy_n(other.begin(), 4096, expected.begin());
        }
        ChangeAt(150, change);
        Process(path);
        ExpectLeftAsItIs(expected, "changed");
    }
}

int InotifyInstances() {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        count += std::filesystem::read_symlink(entry.path(), error) == "anon_inode:inotify";
    }
    return count;
}

// Inputs open at once are watched by one inotify instance, and a write to one is seen by that
// one alone, also after another was closed.
TEST_F(HostilePlaces, InputsOpenAtOnceShareOneWatchAndSeeOnlyTheirOwnWrites) {
    const int before = InotifyInstances();
    auto fs = std::make_unique<PosixFileSystem>();
    std::vector<std::unique_ptr<InputFile>> inputs;
    for (const char* name : {"a.avi", "b.avi", "c.avi"}) {
        WriteBytes(dir.File(name), DamagedFile());
        std::error_code error;
        inputs.push_back(fs->OpenInput(dir.File(name), error));
        ASSERT_TRUE(inputs.back());
        inputs.back()->WatchWrites();
    }
    EXPECT_EQ(InotifyInstances(), before + 1);
    const auto writesSeen = [&](std::size_t input) {
        FileIdentity identity;
        EXPECT_FALSE(inputs.at(input)->Identify(identity));
        return identity.writesSeen;
    };
    const auto writeTo = [&](const char* name) {
        const int fd = open(dir.File(name).c_str(), O_WRONLY);
        EXPECT_EQ(pwrite(fd, "x", 1, 0), 1);
        close(fd);
    };
    writeTo("b.avi");
    EXPECT_EQ(writesSeen(1), 1u);
    EXPECT_EQ(writesSeen(2), 0u);
    inputs.at(0).reset();
    writeTo("b.avi");
    EXPECT_EQ(writesSeen(1), 2u);
    EXPECT_EQ(writesSeen(2), 0u);
    inputs.clear();
    fs.reset();
    EXPECT_EQ(InotifyInstances(), before);
}

// One file reached by several names in one run is repaired once; the backup this run made is
// neither repaired nor replaced (a folder's listing passes over it), and the copy that took
// the name is not repaired again.
TEST_F(HostilePlaces, AFileReachedByManyNamesInOneRunIsRepairedOnce) {
    const std::string d = dir.File("d");
    mkdir(d.c_str(), 0755);
    const std::string path = d + "/movie.avi";
    WriteBytes(path, DamagedFile());
    host.boxes.answers.assign(4, true);  // any backup question would be answered Yes
    RunList({path, path, d, d + "/", dir.File("d/../d/movie.avi")});
    EXPECT_EQ(ReadBytes(path), Repaired(DamagedFile()));
    EXPECT_EQ(ReadBytes(path + ".bak"), DamagedFile());
    EXPECT_TRUE(Questions().empty());
    EXPECT_EQ(batch.Failures(), 0);
    const Texts lines = Lines();
    const auto count = [&](const std::string& line) {
        return std::count(lines.begin(), lines.end(), line + " - already processed in this run");
    };
    EXPECT_EQ(count(path), 2);  // the second file entry and the first directory's listing
    EXPECT_EQ(count(path + ".bak"), 0);
    EXPECT_EQ(count(d + "//movie.avi"), 1);
    EXPECT_EQ(count(d + "//movie.avi.bak"), 0);
    EXPECT_EQ(count(dir.File("d/../d/movie.avi")), 1);
    // A new run is a new run.
    host.status.lines.clear();
    list.Clear();
    host.boxes.Answer(true);
    RunList({path});
    EXPECT_EQ(Lines().at(0), path);
}

// Whatever sits at NAME.bak, a link or a FIFO as much as an old backup, is asked about before
// it goes; No leaves it and the file.
TEST_F(HostilePlaces, AnythingAtTheBackupNameIsAskedAboutFirst) {
    const std::string path = dir.File("movie.avi");
    WriteBytes(path, DamagedFile());
    const std::string bak = path + ".bak";
    for (const auto& plant : std::vector<std::function<void()>>{
             [&] { ASSERT_EQ(mkfifo(bak.c_str(), 0644), 0); },
             [&] { ASSERT_EQ(symlink("nowhere", bak.c_str()), 0); }}) {
        host.boxes.shown.clear();
        plant();
        host.boxes.Answer(false);
        Process(path);
        EXPECT_EQ(Questions(), Texts{"Backup file '" + bak +
                                     "' already exists\r\nI will have to delete it. Is this OK"});
        EXPECT_TRUE(run.fileerror);
        EXPECT_EQ(ReadBytes(path), DamagedFile());
        EXPECT_EQ(ListDirectory(dir.Path()), (Texts{"movie.avi", "movie.avi.bak"}));
        unlink(bak.c_str());
    }
}

}  // namespace
}  // namespace korbelt::test
