#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Forwarding.h"

namespace korbelt::test {

// Every place a pass touches the disk, told apart by what the call does to which name. One
// file operation can stand at several places (a delete removes an old backup or the
// temporary file), and one place can be reached more than once (a read per record).
enum class Site {
    OpenInput,
    ReadInput,
    InputLength,  // the input's length, or a stat of the open input
    CreateTemp,
    HoldTemp,  // the pass opening its own copy to lock and identify it
    WriteTemp,
    SetAccessOfTemp,
    SyncTemp,
    CloseTemp,
    DeleteOldBackup,
    LinkInputToBackup,
    RenameInputToBackup,
    RenameTempToInput,
    RestoreInput,
    SyncDirectory,
    DeleteTemp,
    Other,
};

const char* SiteName(Site site);

// Every site a pass can fail at, in the order a pass reaches them.
const std::vector<Site>& AllSites();

// Counts the calls at each site, over one pass or a whole run, and makes the nth call at one
// site fail with the errno given. Sites are told apart by the names involved: NAME, NAME.bak
// and NAME.$$$.
class FaultPlan {
  public:
    void FailAt(Site site, int nth, int error) {
        failSite_ = site;
        failNth_ = nth;
        error_ = error;
    }
    // Ends the whole program at once, before the nth call at the site is made: a crash as
    // far as the files are concerned. Only ever planned in a child process.
    void CrashAt(Site site, int nth) {
        FailAt(site, nth, 0);
        crash_ = true;
    }
    static constexpr int kCrashStatus = 77;
    // Hard links refused with EPERM, as on a FAT drive; the way the file system is, not a
    // fault, and not counted.
    void SetWithoutHardLinks(bool without) { withoutHardLinks_ = without; }
    bool WithoutHardLinks() const { return withoutHardLinks_; }

    // Returns the errno to fail with, or 0; counts the call either way.
    int Check(Site site);
    int Calls(Site site) const;
    bool Fired() const { return fired_; }

    static Site RemoveSite(const std::string& path);
    static Site RenameSite(const std::string& from, const std::string& to);

  private:
    std::map<Site, int> calls_;
    Site failSite_ = Site::Other;
    int failNth_ = 0;
    int error_ = 0;
    bool fired_ = false;
    bool crash_ = false;
    bool withoutHardLinks_ = false;
};

// The real file system, with every call that can fail going through the plan first.
class FaultyFileSystem : public ForwardingFileSystem {
  public:
    FaultyFileSystem(FileSystem& real, FaultPlan& plan) : ForwardingFileSystem(real), plan_(plan) {}

    std::unique_ptr<InputFile> OpenInput(const std::string& path, std::error_code& error) override;
    std::error_code Remove(const std::string& path) override;
    std::error_code Rename(const std::string& from, const std::string& to) override;
    std::error_code Link(const std::string& from, const std::string& to) override;
    std::error_code SyncFile(const std::string& path) override;
    // StartWriteback is passed on unplanned: only a hint that cannot fail, and what it could
    // lose shows at the fsync.
    std::error_code SyncDirectoryOf(const std::string& path) override;

  private:
    FaultPlan& plan_;
};

// The real record I/O library, with every call going through the plan first. A failing
// write lets half of its bytes reach the file, as a disk that fills up part-way does; a
// failing close closes all the same (a descriptor is gone after close whatever it says).
class FaultyRecordIo : public ForwardingRecordIo {
  public:
    // How the pass is to write: as the real library lets it (kept bytes gathered into wide
    // writes), or one write per record, each of them seen in writes.
    enum class Writes { AsTheLibraryAllows, RecordByRecord };

    FaultyRecordIo(RecordIo& real, FaultPlan& plan, Writes mode = Writes::AsTheLibraryAllows)
        : ForwardingRecordIo(real), plan_(plan), mode_(mode) {}

    std::int32_t OpenFile(const std::string& path) override;
    std::int32_t CloseFile(std::int32_t handle) override;
    std::int32_t WriteBuff(std::int32_t handle, const std::uint8_t* buffer,
                           std::int16_t length) override;
    bool HasWriteBuffEx() override {
        return mode_ == Writes::AsTheLibraryAllows && real_.HasWriteBuffEx();
    }
    std::int32_t WriteBuffEx(std::int32_t handle, const std::uint8_t* buffer,
                             std::int32_t length) override;

    std::vector<int> writes;  // length of every record write, in order

  private:
    FaultPlan& plan_;
    Writes mode_;
};

}  // namespace korbelt::test
