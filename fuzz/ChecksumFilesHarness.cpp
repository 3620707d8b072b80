#include "ChecksumFilesHarness.h"

#include <algorithm>

#include "MemoryFileSystem.h"
#include "verify/ChecksumCatalog.h"
#include "verify/EvidenceCheck.h"
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

// The names the parts of an input take beside the download, by turns.
const char* const kNames[] = {"d/set.par2",   "d/set.vol0+1.par2", "d/x.sfv", "d/list.md5",
                              "d/SHA256SUMS", "d/any.sha1",        "d/b.par2"};
const std::uint8_t kSeparator[] = {'K', 'R', 'B', 'F'};

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The input's parts, split at each separator, as checksum files beside two downloads, the
// last one also named for the run as if kept elsewhere: what the catalog finds for each
// download must name it, fit its length and check without harm.
void CheckCatalog(const std::uint8_t* data, std::size_t size, std::uint8_t choice,
                  std::vector<std::string>& broken) {
    MemoryFileSystem fs;
    const Bytes posted = {'p', 'o', 's', 't', 'e', 'd', '\r', '\n', '-'};
    fs.Put("d/a.avi", posted);
    fs.Put("d/B.AVI", Bytes(5000, 'b'));
    std::size_t part = choice;
    std::string last;
    for (const std::uint8_t* at = data; at <= data + size; ++part) {
        const std::uint8_t* end = std::search(at, data + size, kSeparator, kSeparator + 4);
        last = kNames[part % std::size(kNames)];
        fs.Put(last, Bytes(at, end));
        at = end + (end == data + size ? 1 : 4);
    }
    const std::string kept = "e/" + BaseName(last);
    fs.Put(kept, *fs.Get(last));
    ChecksumCatalog catalog(fs);
    if (catalog.AddChecksumFile(kept)) {
        return;  // no PAR 2.0 packet in it: refused before the run, as it should be
    }
    for (const char* download : {"d/a.avi", "d/b.avi"}) {
        const Evidence evidence = catalog.For(download);
        CheckEntries(evidence.entries, broken);
        if (evidence.entries.size() > ChecksumCatalog::kMaxEntriesChecked) {
            broken.push_back("more entries than are checked");
        }
        if (!evidence.unread.empty()) {
            broken.push_back("a checksum file in memory could not be read");
        }
        for (const Expectation& entry : evidence.entries) {
            std::string name = entry.name;
            while (name.rfind("./", 0) == 0) {
                name.erase(0, 2);
            }
            if (Lower(BaseName(name)) != BaseName(download) ||
                (name.find('/') != std::string::npos && entry.source.rfind("e/", 0) != 0)) {
                broken.push_back("an entry for " + entry.name + " given for " + download);
            }
        }
        const Bytes bytes =
            fs.Get(download == std::string("d/a.avi") ? "d/a.avi" : "d/B.AVI").value_or(Bytes());
        EvidenceCheck check(evidence.entries, true);
        check.Add(bytes.data(), bytes.size());
        if (check.Finish().size() != evidence.entries.size()) {
            broken.push_back("a check result missing");
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
    CheckCatalog(data, size, choice, broken);
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
