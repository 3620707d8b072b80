#pragma once

#include <string>
#include <vector>

#include "ports/RecordIo.h"

namespace korbelt {

// The korbscan shared library, loaded on first use. Each function is looked up by name at
// its first call and the address reused afterwards.
class KorbscanLibrary : public RecordIo {
  public:
    // Tried in order: the library beside the running program, then the plain file name,
    // which the system looks up on its library search path.
    static std::vector<std::string> DefaultCandidates();
    static const char* PlatformFileName();

    explicit KorbscanLibrary(std::vector<std::string> candidates = DefaultCandidates());
    ~KorbscanLibrary() override;
    KorbscanLibrary(const KorbscanLibrary&) = delete;
    KorbscanLibrary& operator=(const KorbscanLibrary&) = delete;

    std::int32_t OpenFile(const std::string& path) override;
    std::int32_t CloseFile(std::int32_t handle) override;
    std::int32_t ScanBuff(const std::uint8_t* buffer, std::int16_t scanfrom,
                          std::int16_t scanto) override;
    std::int32_t WriteBuff(std::int32_t handle, const std::uint8_t* buffer,
                           std::int16_t length) override;
    // korbWriteBuffEx, where the library has it; a library with only the first four
    // functions still serves, record by record.
    bool HasWriteBuffEx() override;
    std::int32_t WriteBuffEx(std::int32_t handle, const std::uint8_t* buffer,
                             std::int32_t length) override;

  private:
    void* Handle();
    void* Bind(void*& slot, const char* name);

    std::vector<std::string> candidates_;
    void* handle_ = nullptr;
    void* open_ = nullptr;
    void* close_ = nullptr;
    void* scan_ = nullptr;
    void* write_ = nullptr;
    void* writeEx_ = nullptr;
    bool writeExLookedUp_ = false;
};

}  // namespace korbelt
