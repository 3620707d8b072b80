#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Forwarding.h"

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

class FaultyFileSystem : public ForwardingFileSystem {
  public:
    FaultyFileSystem(FileSystem& real, FaultPlan& plan) : ForwardingFileSystem(real), plan_(plan) {}

    std::unique_ptr<InputFile> OpenInput(const std::string& path, std::error_code& error) override;
    std::error_code Remove(const std::string& path) override;
    std::error_code Rename(const std::string& from, const std::string& to) override;
    std::error_code Link(const std::string& from, const std::string& to) override;
    std::error_code SyncFile(const std::string& path) override;
    std::error_code SyncDirectoryOf(const std::string& path) override;

  private:
    FaultPlan& plan_;
};

class FaultyRecordIo : public ForwardingRecordIo {
  public:
    FaultyRecordIo(RecordIo& real, FaultPlan& plan) : ForwardingRecordIo(real), plan_(plan) {}

    std::int32_t OpenFile(const std::string& path) override;
    std::int32_t CloseFile(std::int32_t handle) override;
    std::int32_t WriteBuff(std::int32_t handle, const std::uint8_t* buffer,
                           std::int16_t length) override;
    // Every write goes through WriteBuff, so that each one is seen and can be failed.
    bool HasWriteBuffEx() override { return false; }

    std::vector<int> writes;  // length of every write call, in order

  private:
    FaultPlan& plan_;
};

}  // namespace korbelt::test
