#include "MemoryFileSystem.h"

#include <algorithm>
#include <cerrno>

namespace korbelt::fuzz {
namespace {

std::error_code ErrorOf(int error) {
    return {error, std::generic_category()};
}

bool Hidden(const std::string& path) {
    const std::string name = BaseName(path);
    return !name.empty() && name.front() == '.';
}

class MemoryInputFile : public InputFile {
  public:
    MemoryInputFile(std::shared_ptr<Bytes> bytes, MemoryFileSystem& fs)
        : bytes_(std::move(bytes)), fs_(fs) {}

    std::error_code Identify(FileIdentity& identity) override {
        identity = fs_.IdentityOf(bytes_);
        return {};
    }
    LockResult Lock() override { return LockResult::Locked; }
    std::error_code SetAccess(const FileIdentity&) override { return {}; }
    std::error_code SetMark(KorbeltMark mark, const std::string& path) override {
        fs_.SetMarkOf(bytes_, mark, path);
        return {};
    }

    std::int64_t Length(std::error_code& error) override {
        if (const int fault = fs_.Check(FaultSite::InputLength)) {
            error = ErrorOf(fault);
            return 0;
        }
        return static_cast<std::int64_t>(bytes_->size());
    }

    std::size_t ReadAt(std::int64_t offset, std::uint8_t* buffer, std::size_t count,
                       std::error_code& error) override {
        if (const int fault = fs_.Check(FaultSite::ReadInput)) {
            error = ErrorOf(fault);
            return 0;
        }
        const auto size = static_cast<std::int64_t>(bytes_->size());
        if (offset < 0 || offset >= size) {
            return 0;
        }
        const auto n = std::min<std::int64_t>(static_cast<std::int64_t>(count), size - offset);
        std::copy_n(bytes_->begin() + offset, n, buffer);
        return static_cast<std::size_t>(n);
    }

  private:
    std::shared_ptr<Bytes> bytes_;
    MemoryFileSystem& fs_;
};

}  // namespace

const char* SiteName(FaultSite site) {
    static const char* const names[] = {
        "open input", "read input", "input length", "create temp", "write temp",
        "fsync temp", "delete",     "link",         "rename",      "fsync directory"};
    const auto index = static_cast<std::size_t>(site);
    return index < std::size(names) ? names[index] : "none";
}

void MemoryFileSystem::Reset() {
    *this = MemoryFileSystem();
}

void MemoryFileSystem::Put(const std::string& path, const Bytes& bytes) {
    files_[path] = std::make_shared<Bytes>(bytes);
}

void MemoryFileSystem::PutMarked(const std::string& path, const Bytes& bytes, KorbeltMark mark) {
    Put(path, bytes);
    SetMarkOf(files_[path], mark, path);
}

void MemoryFileSystem::SetMarkOf(const std::shared_ptr<Bytes>& bytes, KorbeltMark mark,
                                 const std::string& path) {
    if (mark == KorbeltMark::None) {
        marks_.erase(bytes);
    } else {
        marks_[bytes] = {mark, BaseName(path)};
    }
}

KorbeltMark MemoryFileSystem::MarkOf(const std::string& path) {
    const auto file = files_.find(path);
    const auto mark = file == files_.end() ? marks_.end() : marks_.find(file->second);
    return mark != marks_.end() && mark->second.second == BaseName(path) ? mark->second.first
                                                                         : KorbeltMark::None;
}

std::optional<Bytes> MemoryFileSystem::Get(const std::string& path) const {
    const auto it = files_.find(path);
    if (it == files_.end()) {
        return std::nullopt;
    }
    return *it->second;
}

std::map<std::string, Bytes> MemoryFileSystem::Snapshot() const {
    std::map<std::string, Bytes> snapshot;
    for (const auto& [name, bytes] : files_) {
        snapshot[name] = *bytes;
    }
    return snapshot;
}

void MemoryFileSystem::FailAt(FaultSite site, int nth, int error) {
    failSite_ = site;
    failNth_ = nth;
    error_ = error;
}

int MemoryFileSystem::Check(FaultSite site) {
    const int n = ++calls_[static_cast<int>(site)];
    if (!fired_ && site == failSite_ && n == failNth_) {
        fired_ = true;
        return error_;
    }
    return 0;
}

std::shared_ptr<Bytes> MemoryFileSystem::CreateNew(const std::string& path) {
    auto& slot = files_[path];
    if (slot) {
        return nullptr;  // only ever a new file, as O_EXCL makes it
    }
    slot = std::make_shared<Bytes>();
    SetMarkOf(slot, KorbeltMark::Copy, path);  // as korbscan marks every copy it makes
    return slot;
}

FileIdentity MemoryFileSystem::IdentityOf(const std::shared_ptr<Bytes>& bytes) const {
    FileIdentity identity;
    identity.kind = FileIdentity::Kind::Regular;
    identity.inode = reinterpret_cast<std::uintptr_t>(bytes.get());
    identity.links = static_cast<std::uint64_t>(std::count_if(
        files_.begin(), files_.end(), [&](const auto& entry) { return entry.second == bytes; }));
    identity.permissions = 0644;
    identity.size = static_cast<std::int64_t>(bytes->size());
    return identity;
}

std::optional<FileIdentity> MemoryFileSystem::Lookup(const std::string& path) {
    const auto it = files_.find(path);
    if (it != files_.end()) {
        return IdentityOf(it->second);
    }
    if (IsOrdinaryDirectory(path)) {
        FileIdentity directory;
        directory.kind = FileIdentity::Kind::Directory;
        return directory;
    }
    return std::nullopt;
}

bool MemoryFileSystem::IsOrdinaryFile(const std::string& path) {
    return !path.empty() && !Hidden(path) && files_.count(path) != 0;
}

bool MemoryFileSystem::IsOrdinaryDirectory(const std::string& path) {
    if (path.empty() || Hidden(path)) {
        return false;
    }
    return std::any_of(files_.begin(), files_.end(),
                       [&](const auto& entry) { return DirectoryName(entry.first) == path; });
}

bool MemoryFileSystem::EntryExists(const std::string& path) {
    return files_.count(path) != 0 || IsOrdinaryDirectory(path);
}

std::unique_ptr<InputFile> MemoryFileSystem::OpenInput(const std::string& path,
                                                       std::error_code& error) {
    if (const int fault = Check(FaultSite::OpenInput)) {
        error = ErrorOf(fault);
        return nullptr;
    }
    const auto it = files_.find(path);
    if (it == files_.end()) {
        error = ErrorOf(ENOENT);
        return nullptr;
    }
    return std::make_unique<MemoryInputFile>(it->second, *this);
}

std::error_code MemoryFileSystem::Remove(const std::string& path) {
    if (const int fault = Check(FaultSite::Remove)) {
        return ErrorOf(fault);
    }
    return files_.erase(path) != 0 ? std::error_code() : ErrorOf(ENOENT);
}

std::error_code MemoryFileSystem::Rename(const std::string& from, const std::string& to) {
    if (const int fault = Check(FaultSite::Rename)) {
        return ErrorOf(fault);
    }
    const auto it = files_.find(from);
    if (it == files_.end()) {
        return ErrorOf(ENOENT);
    }
    auto bytes = it->second;
    files_.erase(it);
    files_[to] = std::move(bytes);
    return {};
}

std::error_code MemoryFileSystem::Link(const std::string& from, const std::string& to) {
    if (withoutHardLinks_) {
        return ErrorOf(EPERM);
    }
    if (const int fault = Check(FaultSite::Link)) {
        return ErrorOf(fault);
    }
    const auto it = files_.find(from);
    if (it == files_.end()) {
        return ErrorOf(ENOENT);
    }
    if (files_.count(to) != 0) {
        return ErrorOf(EEXIST);
    }
    files_[to] = it->second;
    return {};
}

std::error_code MemoryFileSystem::SyncFile(const std::string& path) {
    if (const int fault = Check(FaultSite::SyncTemp)) {
        return ErrorOf(fault);
    }
    return files_.count(path) != 0 ? std::error_code() : ErrorOf(ENOENT);
}

std::error_code MemoryFileSystem::SyncDirectoryOf(const std::string&) {
    if (const int fault = Check(FaultSite::SyncDirectory)) {
        return ErrorOf(fault);
    }
    return {};
}

std::optional<std::vector<std::string>> MemoryFileSystem::ListOrdinaryFiles(
    const std::string& directory) {
    if (!IsOrdinaryDirectory(directory)) {
        return std::nullopt;
    }
    std::vector<std::string> names;
    for (const auto& entry : files_) {
        if (DirectoryName(entry.first) == directory && !Hidden(entry.first)) {
            names.push_back(BaseName(entry.first));
        }
    }
    return names;
}

std::int32_t MemoryRecordIo::OpenFile(const std::string& path) {
    if (const int fault = fs_.Check(FaultSite::CreateTemp)) {
        errno = fault;
        return -1;
    }
    auto file = fs_.CreateNew(path);
    if (!file) {
        errno = EEXIST;
        return -1;
    }
    handles_.push_back(std::move(file));
    return static_cast<std::int32_t>(handles_.size()) - 1;
}

std::int32_t MemoryRecordIo::CloseFile(std::int32_t handle) {
    if (handle >= 0 && handle < static_cast<std::int32_t>(handles_.size())) {
        handles_[static_cast<std::size_t>(handle)].reset();
    }
    return 0;
}

std::int32_t MemoryRecordIo::WriteBuff(std::int32_t handle, const std::uint8_t* buffer,
                                       std::int16_t length) {
    return Append(handle, buffer, length);
}

std::int32_t MemoryRecordIo::WriteBuffEx(std::int32_t handle, const std::uint8_t* buffer,
                                         std::int32_t length) {
    if (!wide_) {
        return RecordIo::WriteBuffEx(handle, buffer, length);
    }
    return Append(handle, buffer, length);
}

std::int32_t MemoryRecordIo::Append(std::int32_t handle, const std::uint8_t* buffer,
                                    std::int32_t length) {
    if (handle < 0 || handle >= static_cast<std::int32_t>(handles_.size()) ||
        !handles_[static_cast<std::size_t>(handle)] || length < 0) {
        errno = EBADF;
        return -1;
    }
    Bytes& file = *handles_[static_cast<std::size_t>(handle)];
    if (const int fault = fs_.Check(FaultSite::WriteTemp)) {
        // A write that fails part-way: half of it reaches the file first.
        file.insert(file.end(), buffer, buffer + length / 2);
        errno = fault;
        return -1;
    }
    file.insert(file.end(), buffer, buffer + length);
    return length;
}

int MemoryRecordIo::OpenHandles() const {
    return static_cast<int>(std::count_if(handles_.begin(), handles_.end(),
                                          [](const auto& handle) { return handle != nullptr; }));
}

}  // namespace korbelt::fuzz
