#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "FileSystem.h"
#include "RecordIo.h"

namespace korbelt::test {

// Every file operation of a pass, for making exactly one of them fail.
enum class Op {
    OpenInput,
    ReadInput,
    InputLength,
    CreateTemp,
    WriteTemp,
    SyncTemp,
    CloseTemp,
    Remove,
    Link,
    Rename,
    SyncDirectory,
};

const char* OpName(Op op);

// Counts the calls of each operation and makes the nth call of one of them fail with the
// given errno. Wraps the real file system and the real record I/O library.
class FaultPlan {
  public:
    void FailAt(Op op, int nth, int error) {
        failOp_ = op;
        failNth_ = nth;
        error_ = error;
    }
    // Returns the errno to fail with, or 0; counts the call either way.
    int Check(Op op);
    int Calls(Op op) const;
    bool Fired() const { return fired_; }
    void Reset() { *this = FaultPlan(); }

  private:
    std::map<Op, int> calls_;
    Op failOp_ = Op::OpenInput;
    int failNth_ = 0;
    int error_ = 0;
    bool fired_ = false;
};

class FaultyFileSystem : public FileSystem {
  public:
    FaultyFileSystem(FileSystem& real, FaultPlan& plan) : real_(real), plan_(plan) {}

    bool IsOrdinaryFile(const std::string& path) override { return real_.IsOrdinaryFile(path); }
    bool IsOrdinaryDirectory(const std::string& path) override {
        return real_.IsOrdinaryDirectory(path);
    }
    bool EntryExists(const std::string& path) override { return real_.EntryExists(path); }
    std::unique_ptr<InputFile> OpenInput(const std::string& path, std::error_code& error) override;
    std::error_code Remove(const std::string& path) override;
    std::error_code Rename(const std::string& from, const std::string& to) override;
    std::error_code Link(const std::string& from, const std::string& to) override;
    std::error_code SyncFile(const std::string& path) override;
    std::error_code SyncDirectoryOf(const std::string& path) override;
    std::optional<std::vector<std::string>> ListOrdinaryFiles(
        const std::string& directory) override {
        return real_.ListOrdinaryFiles(directory);
    }

  private:
    FileSystem& real_;
    FaultPlan& plan_;
};

class FaultyRecordIo : public RecordIo {
  public:
    FaultyRecordIo(RecordIo& real, FaultPlan& plan) : real_(real), plan_(plan) {}

    std::int32_t OpenFile(const std::string& path) override;
    std::int32_t CloseFile(std::int32_t handle) override;
    std::int32_t ScanBuff(const std::uint8_t* buffer, std::int16_t scanfrom,
                          std::int16_t scanto) override {
        return real_.ScanBuff(buffer, scanfrom, scanto);
    }
    std::int32_t WriteBuff(std::int32_t handle, const std::uint8_t* buffer,
                           std::int16_t length) override;

    std::vector<int> writes;  // length of every write call, in order

  private:
    RecordIo& real_;
    FaultPlan& plan_;
};

}  // namespace korbelt::test
