#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace korbelt {

// Who a file is and how it stands: enough to tell the very file that was read from another
// that took its name since, and from itself rewritten in place.
struct FileIdentity {
    enum class Kind { Regular, Directory, SymbolicLink, Other };

    Kind kind = Kind::Other;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t links = 0;
    std::uint32_t permissions = 0;  // the mode's permission bits, 07777
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::int64_t changedNs = 0;  // the status change time: a rename, chmod or new link moves it
    // Writes seen while the file was held open. The times above tick in steps of a few
    // milliseconds, so a write in the same step as the one before goes unseen by them.
    std::uint64_t writesSeen = 0;

    bool SameFile(const FileIdentity& other) const {
        return device == other.device && inode == other.inode;
    }
    // The same file, and nothing written to it or done to it since.
    bool Unchanged(const FileIdentity& other) const {
        return SameFile(other) && size == other.size && modifiedNs == other.modifiedNs &&
               changedNs == other.changedNs && writesSeen == other.writesSeen;
    }
};

// How Korbelt marks the files it makes, in the file system beside the file's bytes (an
// extended attribute), so that a later run can tell its own from files of the same name that
// came with a download: a copy being written, or the original kept beside its repair. A mark
// holds the name Korbelt gave the file and counts only while the file has that name, so that
// a repaired copy that took another name is never taken for a copy again. Without a mark a
// file is never taken for Korbelt's.
enum class KorbeltMark { None, Copy, Backup };

// What came of asking for a file's advisory lock.
enum class LockResult {
    Locked,         // held until the file is closed
    HeldElsewhere,  // another process holds it
    Unsupported,    // the file system keeps no such locks; nothing is held
};

// A file opened for reading by the repair pass: the input, or the pass's own copy, held
// open so that it can be locked, identified and given the input's owner and permissions.
class InputFile {
  public:
    virtual ~InputFile() = default;

    // Who the open file is now (it may have been renamed since it was opened).
    virtual std::error_code Identify(FileIdentity& identity) = 0;
    // From now on Identify counts the writes made to the file by anyone, where the system
    // can tell (FileIdentity::writesSeen); the file's times alone miss some.
    virtual void WatchWrites() {}
    // An exclusive advisory lock, not waited for: two Korbelts never work on one file.
    virtual LockResult Lock() = 0;
    // Gives the file this owner and group where the process may (a failure to is no error)
    // and these permission bits.
    virtual std::error_code SetAccess(const FileIdentity& from) = 0;
    // Marks the file as Korbelt's under the path given (None takes the mark away). Fails
    // where the file system keeps no extended attributes; the file is then not Korbelt's.
    virtual std::error_code SetMark(KorbeltMark mark, const std::string& path) {
        (void)mark;
        (void)path;
        return std::make_error_code(std::errc::operation_not_supported);
    }

    // Current length in bytes.
    virtual std::int64_t Length(std::error_code& error) = 0;
    // Reads up to count bytes at the 0-based offset; fewer only where the file ends.
    virtual std::size_t ReadAt(std::int64_t offset, std::uint8_t* buffer, std::size_t count,
                               std::error_code& error) = 0;
    // The count bytes at offset where they are in memory already (a read-ahead window),
    // valid until the next read; nullptr where only a read gives them.
    virtual const std::uint8_t* Peek(std::int64_t offset, std::size_t count) {
        (void)offset;
        (void)count;
        return nullptr;
    }
};

// The file operations of the repair pass and the batch run other than writing the repaired
// copy, which goes through the record I/O library. One seam, so that tests can make any
// single operation fail.
class FileSystem {
  public:
    virtual ~FileSystem() = default;

    // A regular file whose name does not start with "." (hidden files are not ordinary).
    virtual bool IsOrdinaryFile(const std::string& path) = 0;
    // Same rule for directories.
    virtual bool IsOrdinaryDirectory(const std::string& path) = 0;
    // Anything at all under that name, without following a symbolic link.
    virtual bool EntryExists(const std::string& path) = 0;
    // What is under that name, without following a symbolic link; nothing when nothing is.
    virtual std::optional<FileIdentity> Lookup(const std::string& path) = 0;
    // Korbelt's mark on what is under that name, if it was given for that very name; no
    // symbolic link is followed.
    virtual KorbeltMark MarkOf(const std::string& path) {
        (void)path;
        return KorbeltMark::None;
    }
    // The user the process acts as.
    virtual std::uint32_t UserId() = 0;

    // Opens a regular file for reading. A symbolic link is not followed: it fails the open.
    virtual std::unique_ptr<InputFile> OpenInput(const std::string& path,
                                                 std::error_code& error) = 0;
    virtual std::error_code Remove(const std::string& path) = 0;
    virtual std::error_code Rename(const std::string& from, const std::string& to) = 0;
    // A second name for the same file; fails on file systems without hard links.
    virtual std::error_code Link(const std::string& from, const std::string& to) = 0;
    // Flushes a file's data to the disk.
    virtual std::error_code SyncFile(const std::string& path) = 0;
    // Starts writing a file's data to the disk without waiting for it, so that a SyncFile
    // later finds little left to do. Only a hint: failures show at the SyncFile.
    virtual void StartWriteback(const std::string& path) { (void)path; }
    // Flushes the directory that holds path, so that renames in it survive a crash.
    virtual std::error_code SyncDirectoryOf(const std::string& path) = 0;
    // Names of the ordinary files directly inside a directory, in no particular order;
    // nothing when the directory cannot be read.
    virtual std::optional<std::vector<std::string>> ListOrdinaryFiles(
        const std::string& directory) = 0;
};

// The last component of a path ("" for a path ending in "/").
inline std::string BaseName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Everything before the last "/" ("." when there is none, "/" for the root).
inline std::string DirectoryName(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace korbelt
