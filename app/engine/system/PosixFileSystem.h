#pragma once

#include <memory>

#include "ports/FileSystem.h"

namespace korbelt {

class WriteWatch;

// The real file system of the machine.
class PosixFileSystem : public FileSystem {
  public:
    bool IsOrdinaryFile(const std::string& path) override;
    bool IsOrdinaryDirectory(const std::string& path) override;
    bool EntryExists(const std::string& path) override;
    std::optional<FileIdentity> Lookup(const std::string& path) override;
    KorbeltMark MarkOf(const std::string& path) override;
    std::uint32_t UserId() override;
    std::unique_ptr<InputFile> OpenInput(const std::string& path, std::error_code& error) override;
    std::error_code Remove(const std::string& path) override;
    std::error_code Rename(const std::string& from, const std::string& to) override;
    std::error_code Link(const std::string& from, const std::string& to) override;
    std::error_code SyncFile(const std::string& path) override;
    void StartWriteback(const std::string& path) override;
    std::error_code SyncDirectoryOf(const std::string& path) override;
    std::optional<std::vector<std::string>> ListOrdinaryFiles(
        const std::string& directory) override;

  private:
    // Watches the writes to every input file this object opened, for as long as it is open.
    std::shared_ptr<WriteWatch> writeWatch_;
};

}  // namespace korbelt
