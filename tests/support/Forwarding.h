#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "ports/FileSystem.h"
#include "ports/RecordIo.h"

namespace korbelt::test {

// The real file system with every call passed on unchanged. Fakes derive from it and
// override only the calls they interfere with.
class ForwardingFileSystem : public FileSystem {
  public:
    explicit ForwardingFileSystem(FileSystem& real) : real_(real) {}

    bool IsOrdinaryFile(const std::string& path) override { return real_.IsOrdinaryFile(path); }
    bool IsOrdinaryDirectory(const std::string& path) override {
        return real_.IsOrdinaryDirectory(path);
    }
    bool EntryExists(const std::string& path) override { return real_.EntryExists(path); }
    std::optional<FileIdentity> Lookup(const std::string& path) override {
        return real_.Lookup(path);
    }
    KorbeltMark MarkOf(const std::string& path) override { return real_.MarkOf(path); }
    std::uint32_t UserId() override { return real_.UserId(); }
    std::unique_ptr<InputFile> OpenInput(const std::string& path, std::error_code& error) override {
        return real_.OpenInput(path, error);
    }
    std::error_code Remove(const std::string& path) override { return real_.Remove(path); }
    std::error_code Rename(const std::string& from, const std::string& to) override {
        return real_.Rename(from, to);
    }
    std::error_code Link(const std::string& from, const std::string& to) override {
        return real_.Link(from, to);
    }
    std::error_code SyncFile(const std::string& path) override { return real_.SyncFile(path); }
    void StartWriteback(const std::string& path) override { real_.StartWriteback(path); }
    std::error_code SyncDirectoryOf(const std::string& path) override {
        return real_.SyncDirectoryOf(path);
    }
    std::optional<std::vector<std::string>> ListOrdinaryFiles(
        const std::string& directory) override {
        return real_.ListOrdinaryFiles(directory);
    }

  protected:
    FileSystem& real_;
};

// The real record I/O library with every call passed on unchanged.
class ForwardingRecordIo : public RecordIo {
  public:
    explicit ForwardingRecordIo(RecordIo& real) : real_(real) {}

    std::int32_t OpenFile(const std::string& path) override { return real_.OpenFile(path); }
    std::int32_t CloseFile(std::int32_t handle) override { return real_.CloseFile(handle); }
    std::int32_t ScanBuff(const std::uint8_t* buffer, std::int16_t scanfrom,
                          std::int16_t scanto) override {
        return real_.ScanBuff(buffer, scanfrom, scanto);
    }
    std::int32_t WriteBuff(std::int32_t handle, const std::uint8_t* buffer,
                           std::int16_t length) override {
        return real_.WriteBuff(handle, buffer, length);
    }
    bool HasWriteBuffEx() override { return real_.HasWriteBuffEx(); }
    std::int32_t WriteBuffEx(std::int32_t handle, const std::uint8_t* buffer,
                             std::int32_t length) override {
        return real_.WriteBuffEx(handle, buffer, length);
    }

  protected:
    RecordIo& real_;
};

// An open file with every call passed on unchanged.
class ForwardingInputFile : public InputFile {
  public:
    explicit ForwardingInputFile(std::unique_ptr<InputFile> real) : real_(std::move(real)) {}

    std::int64_t Length(std::error_code& error) override { return real_->Length(error); }
    std::size_t ReadAt(std::int64_t offset, std::uint8_t* buffer, std::size_t count,
                       std::error_code& error) override {
        return real_->ReadAt(offset, buffer, count, error);
    }
    std::error_code Identify(FileIdentity& identity) override { return real_->Identify(identity); }
    void WatchWrites() override { real_->WatchWrites(); }
    LockResult Lock() override { return real_->Lock(); }
    std::error_code SetAccess(const FileIdentity& from) override { return real_->SetAccess(from); }
    std::error_code SetMark(KorbeltMark mark, const std::string& path) override {
        return real_->SetMark(mark, path);
    }

  protected:
    std::unique_ptr<InputFile> real_;
};

// An input file that asks before each length query (a stat of the open file counts as one)
// and each read whether to fail it: the question returns 0 to let the call through, or the
// errno to fail it with. A third question, if given, is asked before the file's owner and
// permissions are set.
class FaultyInputFile : public ForwardingInputFile {
  public:
    using Ask = std::function<int()>;

    FaultyInputFile(std::unique_ptr<InputFile> real, Ask beforeLength, Ask beforeRead,
                    Ask beforeSetAccess = nullptr)
        : ForwardingInputFile(std::move(real)),
          beforeLength_(std::move(beforeLength)),
          beforeRead_(std::move(beforeRead)),
          beforeSetAccess_(std::move(beforeSetAccess)) {}

    std::error_code Identify(FileIdentity& identity) override {
        if (const int fault = beforeLength_()) {
            return {fault, std::generic_category()};
        }
        return real_->Identify(identity);
    }

    std::error_code SetAccess(const FileIdentity& from) override {
        if (const int fault = beforeSetAccess_ ? beforeSetAccess_() : 0) {
            return {fault, std::generic_category()};
        }
        return real_->SetAccess(from);
    }

    std::int64_t Length(std::error_code& error) override {
        if (const int fault = beforeLength_()) {
            error = {fault, std::generic_category()};
            return 0;
        }
        return real_->Length(error);
    }

    std::size_t ReadAt(std::int64_t offset, std::uint8_t* buffer, std::size_t count,
                       std::error_code& error) override {
        if (const int fault = beforeRead_()) {
            error = {fault, std::generic_category()};
            return 0;
        }
        return real_->ReadAt(offset, buffer, count, error);
    }

  private:
    Ask beforeLength_;
    Ask beforeRead_;
    Ask beforeSetAccess_;
};

}  // namespace korbelt::test
