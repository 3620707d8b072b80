#include "engine/system/KorbscanLibrary.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <utility>

namespace korbelt {
namespace {

using OpenFn = std::int32_t (*)(const char*);
using CloseFn = std::int32_t (*)(std::int32_t);
using ScanFn = std::int32_t (*)(const std::uint8_t*, std::int16_t, std::int16_t);
using WriteFn = std::int32_t (*)(std::int32_t, const std::uint8_t*, std::int16_t);
using WriteExFn = std::int32_t (*)(std::int32_t, const std::uint8_t*, std::int32_t);

std::string ProgramDirectory() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (n <= 0) {
        return {};
    }
    std::string exe(path, static_cast<std::size_t>(n));
    const auto slash = exe.rfind('/');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash);
}

}  // namespace

const char* KorbscanLibrary::PlatformFileName() {
    return "libkorbscan.so";
}

std::vector<std::string> KorbscanLibrary::DefaultCandidates() {
    std::vector<std::string> candidates;
    const std::string dir = ProgramDirectory();
    if (!dir.empty()) {
        candidates.push_back(dir + "/" + PlatformFileName());
    }
    candidates.emplace_back(PlatformFileName());
    return candidates;
}

KorbscanLibrary::KorbscanLibrary(std::vector<std::string> candidates)
    : candidates_(std::move(candidates)) {}

KorbscanLibrary::~KorbscanLibrary() {
    if (handle_ != nullptr) {
        dlclose(handle_);
    }
}

void* KorbscanLibrary::Handle() {
    if (handle_ != nullptr) {
        return handle_;
    }
    std::string reason = "no place to look for " + std::string(PlatformFileName());
    for (const auto& candidate : candidates_) {
        handle_ = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle_ != nullptr) {
            return handle_;
        }
        const char* error = dlerror();
        reason = error != nullptr ? error : candidate + ": cannot be loaded";
    }
    throw Failure(FailureKind::LibraryUnavailable, reason);
}

void* KorbscanLibrary::Bind(void*& slot, const char* name) {
    if (slot != nullptr) {
        return slot;
    }
    void* library = Handle();
    dlerror();
    slot = dlsym(library, name);
    if (slot == nullptr) {
        const char* error = dlerror();
        throw Failure(FailureKind::LibraryUnavailable,
                      error != nullptr ? error : std::string(name) + ": not found");
    }
    return slot;
}

std::int32_t KorbscanLibrary::OpenFile(const std::string& path) {
    return reinterpret_cast<OpenFn>(Bind(open_, "korbOpenFile"))(path.c_str());
}

std::int32_t KorbscanLibrary::CloseFile(std::int32_t handle) {
    return reinterpret_cast<CloseFn>(Bind(close_, "korbCloseFile"))(handle);
}

std::int32_t KorbscanLibrary::ScanBuff(const std::uint8_t* buffer, std::int16_t scanfrom,
                                       std::int16_t scanto) {
    return reinterpret_cast<ScanFn>(Bind(scan_, "korbScanBuff"))(buffer, scanfrom, scanto);
}

std::int32_t KorbscanLibrary::WriteBuff(std::int32_t handle, const std::uint8_t* buffer,
                                        std::int16_t length) {
    return reinterpret_cast<WriteFn>(Bind(write_, "korbWriteBuff"))(handle, buffer, length);
}

bool KorbscanLibrary::HasWriteBuffEx() {
    if (!writeExLookedUp_) {
        void* library = Handle();
        writeExLookedUp_ = true;
        writeEx_ = dlsym(library, "korbWriteBuffEx");
    }
    return writeEx_ != nullptr;
}

std::int32_t KorbscanLibrary::WriteBuffEx(std::int32_t handle, const std::uint8_t* buffer,
                                          std::int32_t length) {
    if (!HasWriteBuffEx()) {
        return RecordIo::WriteBuffEx(handle, buffer, length);
    }
    return reinterpret_cast<WriteExFn>(writeEx_)(handle, buffer, length);
}

}  // namespace korbelt
