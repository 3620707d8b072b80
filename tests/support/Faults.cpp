#include "Faults.h"

#include <cerrno>
#include <cstdlib>

namespace korbelt::test {
namespace {

std::error_code ErrorOf(int error) {
    return {error, std::generic_category()};
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

const char* SiteName(Site site) {
    switch (site) {
        case Site::OpenInput:
            return "open input";
        case Site::ReadInput:
            return "read input";
        case Site::InputLength:
            return "input length";
        case Site::CreateTemp:
            return "create temp";
        case Site::HoldTemp:
            return "hold temp";
        case Site::SetAccessOfTemp:
            return "set access of temp";
        case Site::WriteTemp:
            return "write temp";
        case Site::SyncTemp:
            return "fsync temp";
        case Site::CloseTemp:
            return "close temp";
        case Site::DeleteOldBackup:
            return "delete old backup";
        case Site::LinkInputToBackup:
            return "link input to backup";
        case Site::RenameInputToBackup:
            return "rename input to backup";
        case Site::RenameTempToInput:
            return "rename temp to input";
        case Site::RestoreInput:
            return "rename backup to input";
        case Site::SyncDirectory:
            return "fsync directory";
        case Site::DeleteTemp:
            return "delete temp";
        case Site::Other:
            return "other";
    }
    return "?";
}

const std::vector<Site>& AllSites() {
    static const std::vector<Site> sites = {
        Site::OpenInput,         Site::ReadInput,         Site::InputLength,
        Site::CreateTemp,        Site::HoldTemp,          Site::WriteTemp,
        Site::SetAccessOfTemp,   Site::SyncTemp,          Site::CloseTemp,
        Site::DeleteOldBackup,   Site::LinkInputToBackup, Site::RenameInputToBackup,
        Site::RenameTempToInput, Site::RestoreInput,      Site::SyncDirectory,
        Site::DeleteTemp};
    return sites;
}

int FaultPlan::Check(Site site) {
    const int n = ++calls_[site];
    if (!fired_ && site == failSite_ && n == failNth_) {
        fired_ = true;
        if (crash_) {
            std::_Exit(kCrashStatus);
        }
        return error_;
    }
    return 0;
}

int FaultPlan::Calls(Site site) const {
    const auto it = calls_.find(site);
    return it == calls_.end() ? 0 : it->second;
}

Site FaultPlan::RemoveSite(const std::string& path) {
    if (EndsWith(path, ".bak")) {
        return Site::DeleteOldBackup;
    }
    return EndsWith(path, ".$$$") ? Site::DeleteTemp : Site::Other;
}

Site FaultPlan::RenameSite(const std::string& from, const std::string& to) {
    if (to == from + ".bak") {
        return Site::RenameInputToBackup;
    }
    if (from == to + ".$$$") {
        return Site::RenameTempToInput;
    }
    if (from == to + ".bak") {
        return Site::RestoreInput;
    }
    return Site::Other;
}

std::unique_ptr<InputFile> FaultyFileSystem::OpenInput(const std::string& path,
                                                       std::error_code& error) {
    // The pass holds its own copy open as well, to lock it and give it the input's access:
    // opening it, and a stat of it, are one site, setting its access another.
    const bool copy = EndsWith(path, ".$$$");
    const Site open = copy ? Site::HoldTemp : Site::OpenInput;
    if (const int fault = plan_.Check(open)) {
        error = ErrorOf(fault);
        return nullptr;
    }
    auto real = real_.OpenInput(path, error);
    if (!real) {
        return nullptr;
    }
    FaultPlan& plan = plan_;
    const Site stat = copy ? Site::HoldTemp : Site::InputLength;
    const Site read = copy ? Site::Other : Site::ReadInput;
    return std::make_unique<FaultyInputFile>(
        std::move(real), [&plan, stat] { return plan.Check(stat); },
        [&plan, read] { return plan.Check(read); },
        [&plan] { return plan.Check(Site::SetAccessOfTemp); });
}

std::error_code FaultyFileSystem::Remove(const std::string& path) {
    if (const int fault = plan_.Check(plan_.RemoveSite(path))) {
        return ErrorOf(fault);
    }
    return real_.Remove(path);
}

std::error_code FaultyFileSystem::Rename(const std::string& from, const std::string& to) {
    if (const int fault = plan_.Check(plan_.RenameSite(from, to))) {
        return ErrorOf(fault);
    }
    return real_.Rename(from, to);
}

std::error_code FaultyFileSystem::Link(const std::string& from, const std::string& to) {
    if (plan_.WithoutHardLinks()) {
        return ErrorOf(EPERM);
    }
    if (const int fault = plan_.Check(Site::LinkInputToBackup)) {
        return ErrorOf(fault);
    }
    return real_.Link(from, to);
}

std::error_code FaultyFileSystem::SyncFile(const std::string& path) {
    if (const int fault = plan_.Check(Site::SyncTemp)) {
        return ErrorOf(fault);
    }
    return real_.SyncFile(path);
}

std::error_code FaultyFileSystem::SyncDirectoryOf(const std::string& path) {
    if (const int fault = plan_.Check(Site::SyncDirectory)) {
        return ErrorOf(fault);
    }
    return real_.SyncDirectoryOf(path);
}

std::int32_t FaultyRecordIo::OpenFile(const std::string& path) {
    if (const int fault = plan_.Check(Site::CreateTemp)) {
        errno = fault;
        return -1;
    }
    return real_.OpenFile(path);
}

std::int32_t FaultyRecordIo::CloseFile(std::int32_t handle) {
    // The library swallows close errors by design; what a failing close could lose was
    // already made sure of by the fsync before it.
    plan_.Check(Site::CloseTemp);
    return real_.CloseFile(handle);
}

std::int32_t FaultyRecordIo::WriteBuff(std::int32_t handle, const std::uint8_t* buffer,
                                       std::int16_t length) {
    writes.push_back(length);
    if (const int fault = plan_.Check(Site::WriteTemp)) {
        real_.WriteBuff(handle, buffer, static_cast<std::int16_t>(length / 2));
        errno = fault;
        return -1;
    }
    return real_.WriteBuff(handle, buffer, length);
}

std::int32_t FaultyRecordIo::WriteBuffEx(std::int32_t handle, const std::uint8_t* buffer,
                                         std::int32_t length) {
    if (!HasWriteBuffEx()) {
        return RecordIo::WriteBuffEx(handle, buffer, length);  // through WriteBuff
    }
    if (const int fault = plan_.Check(Site::WriteTemp)) {
        real_.WriteBuffEx(handle, buffer, length / 2);
        errno = fault;
        return -1;
    }
    return real_.WriteBuffEx(handle, buffer, length);
}

}  // namespace korbelt::test
