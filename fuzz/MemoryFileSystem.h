#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ports/FileSystem.h"
#include "ports/RecordIo.h"

namespace korbelt::fuzz {

using Bytes = std::vector<std::uint8_t>;

// The file operations of a pass that a fault can be planted at.
enum class FaultSite {
    OpenInput,
    ReadInput,
    InputLength,
    CreateTemp,
    WriteTemp,
    SyncTemp,
    Remove,
    Link,
    Rename,
    SyncDirectory,
    Count
};

const char* SiteName(FaultSite site);

// One flat directory held in memory. Names point at shared contents, so a hard link, a
// rename over an existing name and an input that stays open while its name moves behave as
// on a POSIX file system. Millions of passes a minute need no disk at all.
class MemoryFileSystem : public FileSystem {
  public:
    // Empties the directory and forgets the calls counted and the fault planted.
    void Reset();
    void Put(const std::string& path, const Bytes& bytes);
    // A file Korbelt left under that name: its copy, as a killed pass leaves it.
    void PutMarked(const std::string& path, const Bytes& bytes, KorbeltMark mark);
    // Marks are held by contents, as an extended attribute is held by the inode.
    void SetMarkOf(const std::shared_ptr<Bytes>& bytes, KorbeltMark mark, const std::string& path);
    std::optional<Bytes> Get(const std::string& path) const;
    // Every name with its bytes, for comparing the whole directory before and after.
    std::map<std::string, Bytes> Snapshot() const;

    // Makes the nth call at the site fail with the errno given.
    void FailAt(FaultSite site, int nth, int error);
    bool FaultFired() const { return fired_; }
    int FaultError() const { return error_; }
    // Hard links refused as on a FAT drive; not a fault, the way the file system is.
    void SetWithoutHardLinks(bool without) { withoutHardLinks_ = without; }

    bool IsOrdinaryFile(const std::string& path) override;
    bool IsOrdinaryDirectory(const std::string& path) override;
    bool EntryExists(const std::string& path) override;
    std::optional<FileIdentity> Lookup(const std::string& path) override;
    KorbeltMark MarkOf(const std::string& path) override;
    std::uint32_t UserId() override { return 0; }
    std::unique_ptr<InputFile> OpenInput(const std::string& path, std::error_code& error) override;
    std::error_code Remove(const std::string& path) override;
    std::error_code Rename(const std::string& from, const std::string& to) override;
    std::error_code Link(const std::string& from, const std::string& to) override;
    std::error_code SyncFile(const std::string& path) override;
    std::error_code SyncDirectoryOf(const std::string& path) override;
    std::optional<std::vector<std::string>> ListOrdinaryFiles(
        const std::string& directory) override;

    // For the record I/O: the errno to fail with at the site, or 0.
    int Check(FaultSite site);
    // Creates a new file and returns its contents to append to; nothing when the name is
    // taken.
    std::shared_ptr<Bytes> CreateNew(const std::string& path);
    // Who a file is: its contents stand for its inode, its names are its links.
    FileIdentity IdentityOf(const std::shared_ptr<Bytes>& bytes) const;

  private:
    std::map<std::string, std::shared_ptr<Bytes>> files_;
    std::map<std::shared_ptr<Bytes>, std::pair<KorbeltMark, std::string>> marks_;  // with the name
    int calls_[static_cast<int>(FaultSite::Count)] = {};
    FaultSite failSite_ = FaultSite::Count;
    int failNth_ = 0;
    int error_ = 0;
    bool fired_ = false;
    bool withoutHardLinks_ = false;
};

// The record I/O of the korbscan library over the memory directory. The scan is handed to
// the real library, so its code runs for every record of every pass.
class MemoryRecordIo : public RecordIo {
  public:
    MemoryRecordIo(MemoryFileSystem& fs, RecordIo& scanner) : fs_(fs), scanner_(scanner) {}

    std::int32_t OpenFile(const std::string& path) override;
    std::int32_t CloseFile(std::int32_t handle) override;
    std::int32_t ScanBuff(const std::uint8_t* buffer, std::int16_t scanfrom,
                          std::int16_t scanto) override {
        return scanner_.ScanBuff(buffer, scanfrom, scanto);
    }
    std::int32_t WriteBuff(std::int32_t handle, const std::uint8_t* buffer,
                           std::int16_t length) override;
    // A wide write of any length, as the korbscan library has one; a case can do without it,
    // and then the pass writes record by record.
    void SetWideWrites(bool wide) { wide_ = wide; }
    bool HasWriteBuffEx() override { return wide_; }
    std::int32_t WriteBuffEx(std::int32_t handle, const std::uint8_t* buffer,
                             std::int32_t length) override;

    // Handles opened and not closed: the pass must close every one it opens.
    int OpenHandles() const;
    void Reset() {
        handles_.clear();
        wide_ = false;
    }

  private:
    MemoryFileSystem& fs_;
    RecordIo& scanner_;
    std::int32_t Append(std::int32_t handle, const std::uint8_t* buffer, std::int32_t length);

    std::vector<std::shared_ptr<Bytes>> handles_;
    bool wide_ = false;
};

}  // namespace korbelt::fuzz
