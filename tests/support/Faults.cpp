#include "Faults.h"

#include <cerrno>

namespace korbelt::test {
namespace {

std::error_code ErrorOf(int error) {
    return {error, std::generic_category()};
}

}  // namespace

const char* OpName(Op op) {
    switch (op) {
        case Op::OpenInput:
            return "open input";
        case Op::ReadInput:
            return "read input";
        case Op::InputLength:
            return "input length";
        case Op::CreateTemp:
            return "create temporary file";
        case Op::WriteTemp:
            return "write temporary file";
        case Op::SyncTemp:
            return "fsync temporary file";
        case Op::CloseTemp:
            return "close temporary file";
        case Op::Remove:
            return "delete";
        case Op::Link:
            return "link";
        case Op::Rename:
            return "rename";
        case Op::SyncDirectory:
            return "fsync directory";
    }
    return "?";
}

int FaultPlan::Check(Op op) {
    const int n = ++calls_[op];
    if (!fired_ && op == failOp_ && n == failNth_) {
        fired_ = true;
        return error_;
    }
    return 0;
}

int FaultPlan::Calls(Op op) const {
    const auto it = calls_.find(op);
    return it == calls_.end() ? 0 : it->second;
}

std::unique_ptr<InputFile> FaultyFileSystem::OpenInput(const std::string& path,
                                                       std::error_code& error) {
    if (const int fault = plan_.Check(Op::OpenInput)) {
        error = ErrorOf(fault);
        return nullptr;
    }
    auto real = real_.OpenInput(path, error);
    if (!real) {
        return nullptr;
    }
    return std::make_unique<FaultyInputFile>(
        std::move(real), [&plan = plan_] { return plan.Check(Op::InputLength); },
        [&plan = plan_] { return plan.Check(Op::ReadInput); });
}

std::error_code FaultyFileSystem::Remove(const std::string& path) {
    if (const int fault = plan_.Check(Op::Remove)) {
        return ErrorOf(fault);
    }
    return real_.Remove(path);
}

std::error_code FaultyFileSystem::Rename(const std::string& from, const std::string& to) {
    if (const int fault = plan_.Check(Op::Rename)) {
        return ErrorOf(fault);
    }
    return real_.Rename(from, to);
}

std::error_code FaultyFileSystem::Link(const std::string& from, const std::string& to) {
    if (const int fault = plan_.Check(Op::Link)) {
        return ErrorOf(fault);
    }
    return real_.Link(from, to);
}

std::error_code FaultyFileSystem::SyncFile(const std::string& path) {
    if (const int fault = plan_.Check(Op::SyncTemp)) {
        return ErrorOf(fault);
    }
    return real_.SyncFile(path);
}

std::error_code FaultyFileSystem::SyncDirectoryOf(const std::string& path) {
    if (const int fault = plan_.Check(Op::SyncDirectory)) {
        return ErrorOf(fault);
    }
    return real_.SyncDirectoryOf(path);
}

std::int32_t FaultyRecordIo::OpenFile(const std::string& path) {
    if (const int fault = plan_.Check(Op::CreateTemp)) {
        errno = fault;
        return -1;
    }
    return real_.OpenFile(path);
}

std::int32_t FaultyRecordIo::CloseFile(std::int32_t handle) {
    plan_.Check(Op::CloseTemp);  // the library swallows close errors; counted only
    return real_.CloseFile(handle);
}

std::int32_t FaultyRecordIo::WriteBuff(std::int32_t handle, const std::uint8_t* buffer,
                                       std::int16_t length) {
    writes.push_back(length);
    if (const int fault = plan_.Check(Op::WriteTemp)) {
        // A write that fails part-way: half of it reaches the file first.
        real_.WriteBuff(handle, buffer, static_cast<std::int16_t>(length / 2));
        errno = fault;
        return -1;
    }
    return real_.WriteBuff(handle, buffer, length);
}

}  // namespace korbelt::test
