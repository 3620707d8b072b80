#include "ChecksumFilesHarness.h"

#include <algorithm>

#include "verify/Par2.h"
#include "verify/TextLists.h"

namespace korbelt::fuzz {
namespace {

// The bytes of a checksum file, read as the catalog reads a file.
class BytesFile : public InputFile {
  public:
    BytesFile(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::int64_t Length(std::error_code&) override { return static_cast<std::int64_t>(size_); }
    std::size_t ReadAt(std::int64_t offset, std::uint8_t* buffer, std::size_t count,
                       std::error_code&) override {
        if (offset < 0 || static_cast<std::size_t>(offset) >= size_) {
            return 0;
        }
        const std::size_t n = std::min(count, size_ - static_cast<std::size_t>(offset));
        std::copy_n(data_ + offset, n, buffer);
        return n;
    }
    std::error_code Identify(FileIdentity&) override { return {}; }
    LockResult Lock() override { return LockResult::Unsupported; }
    std::error_code SetAccess(const FileIdentity&) override { return {}; }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
};

void CheckEntries(const std::vector<Expectation>& entries, std::vector<std::string>& broken) {
    for (const Expectation& entry : entries) {
        if (entry.name.find('\0') != std::string::npos) {
            broken.push_back("a name with a NUL");
        }
        if (entry.kind && entry.digest.size() != DigestSize(*entry.kind)) {
            broken.push_back("a digest of the wrong size for " + entry.name);
        }
        if (entry.HasSlices() &&
            (!entry.length || static_cast<std::int64_t>(entry.slices.size()) !=
                                  SliceCount(*entry.length, entry.sliceSize))) {
            broken.push_back("slices that do not fit the length of " + entry.name);
        }
    }
}

}  // namespace

std::vector<std::string> CheckChecksumFile(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> broken;
    if (size == 0) {
        return broken;
    }
    const std::uint8_t choice = data[0];
    ++data;
    --size;
    switch (choice % 6) {
        case 0: {
            BytesFile file(data, size);
            CheckEntries(ReadPar2(file, "x.par2").files, broken);
            break;
        }
        case 1:
            CheckEntries(ParseSfv(std::string(data, data + size), "x.sfv"), broken);
            break;
        default: {
            const DigestKind kinds[] = {DigestKind::Md5, DigestKind::Sha1, DigestKind::Sha256,
                                        DigestKind::Sha512};
            const auto kind =
                choice % 6 == 2 ? std::nullopt : std::optional<DigestKind>(kinds[choice % 4]);
            CheckEntries(ParseDigestList(std::string(data, data + size), "x.md5", kind), broken);
            break;
        }
    }
    return broken;
}

}  // namespace korbelt::fuzz
