#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>

#include "engine/system/PosixFileSystem.h"

namespace korbelt {
namespace {

std::error_code LastError() {
    return {errno, std::generic_category()};
}

std::error_code ResultOf(int rc) {
    return rc == 0 ? std::error_code() : LastError();
}

// The extended attribute korbscan gives every copy it creates, and its values.
constexpr const char* kMarkName = "user.korbelt.made";

// "copy NAME" or "backup NAME": the role and the last component of the name it was given.
std::string MarkValue(KorbeltMark mark, const std::string& path) {
    const char* role = mark == KorbeltMark::Copy ? "copy " : "backup ";
    return role + BaseName(path);
}

// "." and ".." name directories the user means, not hidden ones.
bool IsHiddenName(const std::string& path) {
    const std::string name = BaseName(path);
    return !name.empty() && name.front() == '.' && name != "." && name != "..";
}

std::int64_t Nanoseconds(const timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

FileIdentity IdentityOf(const struct stat& info) {
    FileIdentity identity;
    identity.kind = S_ISREG(info.st_mode)   ? FileIdentity::Kind::Regular
                    : S_ISDIR(info.st_mode) ? FileIdentity::Kind::Directory
                    : S_ISLNK(info.st_mode) ? FileIdentity::Kind::SymbolicLink
                                            : FileIdentity::Kind::Other;
    identity.device = info.st_dev;
    identity.inode = info.st_ino;
    identity.links = info.st_nlink;
    identity.permissions = info.st_mode & 07777;
    identity.owner = info.st_uid;
    identity.group = info.st_gid;
    identity.size = info.st_size;
    identity.modifiedNs = Nanoseconds(info.st_mtim);
    identity.changedNs = Nanoseconds(info.st_ctim);
    return identity;
}

}  // namespace

// One inotify instance for all the open input files of a run, each file a watch of its own:
// closing an inotify instance keeps the closing process waiting for some milliseconds, which
// a folder of small files would otherwise pay once per file. Files of one inode share the
// kernel's one watch of it, so a watch goes only with the last of them.
class WriteWatch {
  public:
    WriteWatch() = default;
    ~WriteWatch() {
        if (inotify_ >= 0) {
            close(inotify_);
        }
    }
    WriteWatch(const WriteWatch&) = delete;
    WriteWatch& operator=(const WriteWatch&) = delete;

    // Watches the open file through its descriptor, so that the watch is on the very file
    // that was opened, whatever its name leads to by now. -1 where inotify is not to be had.
    int Add(int fd) {
        const std::lock_guard lock(mutex_);
        if (inotify_ < 0) {
            inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        }
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        const int watch = inotify_ < 0 ? -1 : inotify_add_watch(inotify_, self.c_str(), IN_MODIFY);
        if (watch >= 0) {
            ++watched_[watch].files;
        }
        return watch;
    }

    void Remove(int watch) {
        const std::lock_guard lock(mutex_);
        const auto found = watched_.find(watch);
        if (found != watched_.end() && --found->second.files == 0) {
            watched_.erase(found);
            (void)inotify_rm_watch(inotify_, watch);
        }
    }

    // The writes seen to the watched file since its watch began.
    std::uint64_t WritesTo(int watch) {
        const std::lock_guard lock(mutex_);
        ReadEvents();
        return watched_[watch].writes;
    }

  private:
    struct Watched {
        int files = 0;
        std::uint64_t writes = 0;
    };

    void ReadEvents() {
        alignas(inotify_event) char events[4096];
        ssize_t n;
        while ((n = read(inotify_, events, sizeof(events))) > 0) {
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(events + at);
                Count(*event);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
    }

    // Events lost to a full queue may each have been a write to any of the files.
    void Count(const inotify_event& event) {
        if ((event.mask & IN_Q_OVERFLOW) != 0) {
            for (auto& watched : watched_) {
                ++watched.second.writes;
            }
        } else if ((event.mask & IN_MODIFY) != 0) {
            const auto found = watched_.find(event.wd);
            if (found != watched_.end()) {
                ++found->second.writes;
            }
        }
    }

    std::mutex mutex_;
    int inotify_ = -1;
    std::map<int, Watched> watched_;
};

namespace {

class PosixInputFile : public InputFile {
  public:
    PosixInputFile(int fd, std::shared_ptr<WriteWatch> writeWatch)
        : fd_(fd), writeWatch_(std::move(writeWatch)) {}
    ~PosixInputFile() override {
        if (watch_ >= 0) {
            writeWatch_->Remove(watch_);
        }
        close(fd_);
    }
    PosixInputFile(const PosixInputFile&) = delete;
    PosixInputFile& operator=(const PosixInputFile&) = delete;

    std::int64_t Length(std::error_code& error) override {
        struct stat info {};
        if (fstat(fd_, &info) != 0) {
            error = LastError();
            return 0;
        }
        return info.st_size;
    }

    std::size_t ReadAt(std::int64_t offset, std::uint8_t* buffer, std::size_t count,
                       std::error_code& error) override {
        std::size_t done = 0;
        while (done < count) {
            const ssize_t n = pread(fd_, buffer + done, count - done,
                                    static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                error = LastError();
                return done;
            }
            if (n == 0) {
                break;
            }
            done += static_cast<std::size_t>(n);
        }
        return done;
    }

    std::error_code Identify(FileIdentity& identity) override {
        struct stat info {};
        if (fstat(fd_, &info) != 0) {
            return LastError();
        }
        identity = IdentityOf(info);
        identity.writesSeen = WritesSeen();
        return {};
    }

    // Without a watch (no inotify here) the file's times alone tell of writes.
    void WatchWrites() override {
        if (watch_ >= 0) {
            return;
        }
        watch_ = writeWatch_->Add(fd_);
        // Another open file of the same inode may have seen writes already.
        writesBefore_ = watch_ >= 0 ? writeWatch_->WritesTo(watch_) : 0;
    }

    LockResult Lock() override {
        int rc;
        do {
            rc = flock(fd_, LOCK_EX | LOCK_NB);
        } while (rc != 0 && errno == EINTR);
        if (rc == 0) {
            return LockResult::Locked;
        }
        // Some network file systems keep no locks, or none on a file open for reading only.
        return errno == EWOULDBLOCK ? LockResult::HeldElsewhere : LockResult::Unsupported;
    }

    std::error_code SetAccess(const FileIdentity& from) override {
        // The owner first: a change of owner clears the set-user-ID and set-group-ID bits.
        // Only a privileged process may give a file away; anyone may set a group of their
        // own. What the process may not do leaves the file with the process's own.
        if (fchown(fd_, from.owner, from.group) != 0) {
            (void)fchown(fd_, static_cast<uid_t>(-1), from.group);
        }
        return ResultOf(fchmod(fd_, from.permissions));
    }

    std::error_code SetMark(KorbeltMark mark, const std::string& path) override {
        if (mark == KorbeltMark::None) {
            const int rc = fremovexattr(fd_, kMarkName);
            return rc != 0 && errno == ENODATA ? std::error_code() : ResultOf(rc);
        }
        const std::string value = MarkValue(mark, path);
        return ResultOf(fsetxattr(fd_, kMarkName, value.data(), value.size(), 0));
    }

  private:
    std::uint64_t WritesSeen() {
        return watch_ >= 0 ? writeWatch_->WritesTo(watch_) - writesBefore_ : 0;
    }

    int fd_;
    std::shared_ptr<WriteWatch> writeWatch_;
    int watch_ = -1;
    std::uint64_t writesBefore_ = 0;
};

int StatMode(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? static_cast<int>(info.st_mode) : 0;
}

}  // namespace

bool PosixFileSystem::IsOrdinaryFile(const std::string& path) {
    return !path.empty() && !IsHiddenName(path) && S_ISREG(StatMode(path));
}

bool PosixFileSystem::IsOrdinaryDirectory(const std::string& path) {
    return !path.empty() && !IsHiddenName(path) && S_ISDIR(StatMode(path));
}

bool PosixFileSystem::EntryExists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

std::optional<FileIdentity> PosixFileSystem::Lookup(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return IdentityOf(info);
}

KorbeltMark PosixFileSystem::MarkOf(const std::string& path) {
    char value[512];
    const ssize_t length = lgetxattr(path.c_str(), kMarkName, value, sizeof(value));
    if (length < 0) {
        return KorbeltMark::None;
    }
    const std::string found(value, static_cast<std::size_t>(length));
    for (const KorbeltMark mark : {KorbeltMark::Copy, KorbeltMark::Backup}) {
        if (found == MarkValue(mark, path)) {
            return mark;
        }
    }
    return KorbeltMark::None;
}

std::uint32_t PosixFileSystem::UserId() {
    return geteuid();
}

std::unique_ptr<InputFile> PosixFileSystem::OpenInput(const std::string& path,
                                                      std::error_code& error) {
    // O_NONBLOCK keeps a FIFO that was swapped in under the name from hanging the run; the
    // regular-file test below then refuses it.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0) {
        error = LastError();
        return nullptr;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error =
            S_ISREG(info.st_mode) ? LastError() : std::make_error_code(std::errc::invalid_argument);
        close(fd);
        return nullptr;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    // Shared with the files, so that a file that outlives this object still has its watch.
    if (!writeWatch_) {
        writeWatch_ = std::make_shared<WriteWatch>();
    }
    return std::make_unique<PosixInputFile>(fd, writeWatch_);
}

std::error_code PosixFileSystem::Remove(const std::string& path) {
    return ResultOf(unlink(path.c_str()));
}

std::error_code PosixFileSystem::Rename(const std::string& from, const std::string& to) {
    return ResultOf(rename(from.c_str(), to.c_str()));
}

std::error_code PosixFileSystem::Link(const std::string& from, const std::string& to) {
    return ResultOf(link(from.c_str(), to.c_str()));
}

std::error_code PosixFileSystem::SyncFile(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return LastError();
    }
    const std::error_code result = ResultOf(fsync(fd));
    close(fd);
    return result;
}

void PosixFileSystem::StartWriteback(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return;
    }
    // Queues the dirty pages for writing and returns; the flush before the swap waits.
    (void)sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
    close(fd);
}

std::error_code PosixFileSystem::SyncDirectoryOf(const std::string& path) {
    const int fd = open(DirectoryName(path).c_str(), O_RDONLY | O_CLOEXEC | O_DIRECTORY);
    if (fd < 0) {
        return LastError();
    }
    std::error_code result = ResultOf(fsync(fd));
    close(fd);
    // Some file systems cannot flush a directory at all; there is nothing more to be done.
    if (result == std::errc::invalid_argument || result == std::errc::not_supported) {
        result.clear();
    }
    return result;
}

std::optional<std::vector<std::string>> PosixFileSystem::ListOrdinaryFiles(
    const std::string& directory) {
    DIR* dir = opendir(directory.c_str());
    if (dir == nullptr) {
        return std::nullopt;
    }
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        // Only regular files: a FIFO or a device would block or make no sense to repair.
        if (IsOrdinaryFile(directory + "/" + name)) {
            names.push_back(name);
        }
        errno = 0;
    }
    const bool failed = errno != 0;
    closedir(dir);
    if (failed) {
        return std::nullopt;
    }
    return names;
}

}  // namespace korbelt
