#pragma once

#include <memory>
#include <string>

#include "ports/FileSystem.h"

namespace korbelt {

// An input file that serves its bytes its own way over the file it holds, which answers
// everything else: who it is, its lock, its access, its mark, its length.
class InputOver : public InputFile {
  public:
    explicit InputOver(std::unique_ptr<InputFile> file) : file_(std::move(file)) {}

    // The file itself, for a reader that must not go through this one.
    InputFile& File() { return *file_; }

    std::int64_t Length(std::error_code& error) override { return file_->Length(error); }
    std::error_code Identify(FileIdentity& identity) override { return file_->Identify(identity); }
    void WatchWrites() override { file_->WatchWrites(); }
    LockResult Lock() override { return file_->Lock(); }
    std::error_code SetAccess(const FileIdentity& from) override { return file_->SetAccess(from); }
    std::error_code SetMark(KorbeltMark mark, const std::string& path) override {
        return file_->SetMark(mark, path);
    }

  protected:
    std::unique_ptr<InputFile> file_;
};

}  // namespace korbelt
