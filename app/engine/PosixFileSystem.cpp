#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "engine/PosixFileSystem.h"

namespace korbelt {
namespace {

std::error_code LastError() {
    return {errno, std::generic_category()};
}

std::error_code ResultOf(int rc) {
    return rc == 0 ? std::error_code() : LastError();
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

class PosixInputFile : public InputFile {
  public:
    explicit PosixInputFile(int fd) : fd_(fd) {}
    ~PosixInputFile() override {
        close(fd_);
        if (watch_ >= 0) {
            close(watch_);
        }
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

    // Writes to the open file are watched through its descriptor, so that the watch is on
    // the very file that was opened, whatever its name leads to by now. Without a watch
    // (no inotify here) the file's times alone tell of writes.
    void WatchWrites() override {
        if (watch_ >= 0) {
            return;
        }
        watch_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        const std::string self = "/proc/self/fd/" + std::to_string(fd_);
        if (watch_ >= 0 && inotify_add_watch(watch_, self.c_str(), IN_MODIFY) < 0) {
            close(watch_);
            watch_ = -1;
        }
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

  private:
    std::uint64_t WritesSeen() {
        alignas(inotify_event) char events[4096];
        ssize_t n;
        while (watch_ >= 0 && (n = read(watch_, events, sizeof(events))) > 0) {
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(events + at);
                writesSeen_ += (event->mask & (IN_MODIFY | IN_Q_OVERFLOW)) != 0 ? 1 : 0;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return writesSeen_;
    }

    int fd_;
    int watch_ = -1;
    std::uint64_t writesSeen_ = 0;
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
    return std::make_unique<PosixInputFile>(fd);
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
