#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace korbelt {

// An input file opened for reading by the repair pass.
class InputFile {
  public:
    virtual ~InputFile() = default;

    // Current length in bytes.
    virtual std::int64_t Length(std::error_code& error) = 0;
    // Reads up to count bytes at the 0-based offset; fewer only where the file ends.
    virtual std::size_t ReadAt(std::int64_t offset, std::uint8_t* buffer, std::size_t count,
                               std::error_code& error) = 0;
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

// The real file system of the machine.
class PosixFileSystem : public FileSystem {
  public:
    bool IsOrdinaryFile(const std::string& path) override;
    bool IsOrdinaryDirectory(const std::string& path) override;
    bool EntryExists(const std::string& path) override;
    std::unique_ptr<InputFile> OpenInput(const std::string& path, std::error_code& error) override;
    std::error_code Remove(const std::string& path) override;
    std::error_code Rename(const std::string& from, const std::string& to) override;
    std::error_code Link(const std::string& from, const std::string& to) override;
    std::error_code SyncFile(const std::string& path) override;
    void StartWriteback(const std::string& path) override;
    std::error_code SyncDirectoryOf(const std::string& path) override;
    std::optional<std::vector<std::string>> ListOrdinaryFiles(
        const std::string& directory) override;
};

// The last component of a path ("" for a path ending in "/").
std::string BaseName(const std::string& path);
// Everything before the last "/" ("." when there is none, "/" for the root).
std::string DirectoryName(const std::string& path);

}  // namespace korbelt
