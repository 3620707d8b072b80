#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ports/FileSystem.h"

namespace korbelt::fuzz {

// A file's bytes in memory as the walkers read an input; optionally failing every read from
// an offset on.
class BytesInput : public InputFile {
  public:
    explicit BytesInput(std::vector<std::uint8_t> bytes, std::int64_t failFrom = -1)
        : bytes_(std::move(bytes)), failFrom_(failFrom) {}

    std::error_code Identify(FileIdentity& identity) override;
    LockResult Lock() override { return LockResult::Unsupported; }
    std::error_code SetAccess(const FileIdentity&) override { return {}; }
    std::int64_t Length(std::error_code&) override {
        return static_cast<std::int64_t>(bytes_.size());
    }
    std::size_t ReadAt(std::int64_t offset, std::uint8_t* buffer, std::size_t count,
                       std::error_code& error) override;
    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
    std::int64_t Reads() const { return reads_; }

  private:
    std::vector<std::uint8_t> bytes_;
    std::int64_t failFrom_;
    std::int64_t reads_ = 0;
};

// Reads arbitrary bytes as a file of one format: the first byte chooses the walker (of
// those Walkers has, in turn), the rest is the file. Walks it, then plans its regions with
// a candidate at each pair of equal bytes (up to 64) and a wrapper's two ends at each
// CR CR LF, and returns each promise broken: a region outside the file, out of order or
// overlapping the one before; a plan whose removals lie outside its region, are not its
// candidates, or do not give it its length; a proven region without a check.
// Crashes, hangs and reads outside the input are the sanitizers' and libFuzzer's to find.
std::vector<std::string> CheckStructure(const std::uint8_t* data, std::size_t size);

}  // namespace korbelt::fuzz
