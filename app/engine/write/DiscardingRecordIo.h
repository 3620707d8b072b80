#pragma once

#include "ports/RecordIo.h"

namespace korbelt {

// Record I/O for a dry run: the scan is the real one, but nothing is created or written;
// every write reports success, so the pass sees exactly what it would see for real.
class DiscardingRecordIo : public RecordIo {
  public:
    explicit DiscardingRecordIo(RecordIo& scanner) : scanner_(scanner) {}

    std::int32_t OpenFile(const std::string&) override { return 0; }
    std::int32_t CloseFile(std::int32_t) override { return 0; }
    std::int32_t ScanBuff(const std::uint8_t* buffer, std::int16_t scanfrom,
                          std::int16_t scanto) override {
        return scanner_.ScanBuff(buffer, scanfrom, scanto);
    }
    std::int32_t WriteBuff(std::int32_t, const std::uint8_t*, std::int16_t length) override {
        return length;
    }

  private:
    RecordIo& scanner_;
};

}  // namespace korbelt
