#include "verify/ChecksumCatalog.h"

#include <algorithm>
#include <iterator>

#include "verify/TextLists.h"

namespace korbelt {
namespace {

// A checksum list larger than this is not one, whatever its name says.
constexpr std::int64_t kMaxListSize = std::int64_t{16} << 20;

std::string Lower(std::string text) {
    for (char& c : text) {
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return text;
}

// The kind of digest a list's name promises, if it names one.
std::optional<DigestKind> ListKind(const std::string& path) {
    const std::string name = Lower(BaseName(path));
    const std::pair<const char*, DigestKind> kinds[] = {{"md5", DigestKind::Md5},
                                                        {"sha1", DigestKind::Sha1},
                                                        {"sha256", DigestKind::Sha256},
                                                        {"sha512", DigestKind::Sha512}};
    for (const auto& [tag, kind] : kinds) {
        if (name.ends_with(std::string(".") + tag) || name == std::string(tag) + "sums") {
            return kind;
        }
    }
    return std::nullopt;
}

std::string WithoutDotSlash(std::string name) {
    while (name.rfind("./", 0) == 0) {
        name.erase(0, 2);
    }
    return name;
}

// Where an entry of a list in a folder points: a plain name beside the list, a path below it.
std::string EntryPath(const Expectation& entry) {
    return DirectoryName(entry.source) + "/" + WithoutDotSlash(entry.name);
}

}  // namespace

ChecksumCatalog::FileKind ChecksumCatalog::KindOf(const std::string& path) {
    const std::string name = Lower(BaseName(path));
    if (name.ends_with(".par2")) {
        return FileKind::Par2;
    }
    return name.ends_with(".sfv") || ListKind(path) ? FileKind::TextList : FileKind::None;
}

void ChecksumCatalog::AddChecksumFile(const std::string& path) {
    for (Expectation& entry : Read(path)) {
        entry.name = BaseName(WithoutDotSlash(entry.name));
        added_.push_back(std::move(entry));
    }
}

std::optional<Expectation> ChecksumCatalog::For(const std::string& path) {
    const std::string name = BaseName(path);
    std::vector<const Expectation*> exact;
    std::vector<const Expectation*> caseless;
    const auto consider = [&](const Expectation& entry, const std::string& entryPath,
                              const std::string& wanted) {
        if (entryPath == wanted) {
            exact.push_back(&entry);
        } else if (Lower(entryPath) == Lower(wanted)) {
            caseless.push_back(&entry);
        }
    };
    for (const Expectation& entry : Folder(DirectoryName(path))) {
        consider(entry, EntryPath(entry), DirectoryName(path) + "/" + name);
    }
    for (const Expectation& entry : added_) {
        consider(entry, entry.name, name);
    }
    const auto& found = exact.empty() ? caseless : exact;
    if (found.empty()) {
        return std::nullopt;
    }
    return **std::max_element(found.begin(), found.end(), [](const auto* a, const auto* b) {
        return a->Strength() < b->Strength();
    });
}

const std::vector<Expectation>& ChecksumCatalog::Folder(const std::string& directory) {
    const auto known = folders_.find(directory);
    if (known != folders_.end()) {
        return known->second;
    }
    std::vector<Expectation>& entries = folders_[directory];
    auto names = fs_.ListOrdinaryFiles(directory);
    if (!names) {
        return entries;
    }
    std::sort(names->begin(), names->end());
    // A set's index first: its volumes repeat what it says, and may hold gigabytes of
    // recovery data in thousands of packets. Once a file of a set has described it with
    // every packet sound, another file of that set is only identified, by the header of its
    // first packet, and passed over.
    std::stable_partition(names->begin(), names->end(), [](const std::string& name) {
        return Lower(name).find(".vol") == std::string::npos;
    });
    std::set<Par2SetId> described;
    for (const std::string& name : *names) {
        const FileKind kind = KindOf(name);
        // Named as the file they describe is: "set.par2" beside "movie.avi".
        const std::string path = directory == "." ? name : directory + "/" + name;
        if (kind == FileKind::TextList) {
            std::vector<Expectation> read = Read(path);
            std::move(read.begin(), read.end(), std::back_inserter(entries));
        } else if (kind == FileKind::Par2 && !SetDescribedAlready(path, described)) {
            const Par2Contents& contents = ReadPar2File(path);
            if (contents.AllPacketsSound() && contents.mainSet && !contents.files.empty()) {
                described.insert(*contents.mainSet);
            }
            entries.insert(entries.end(), contents.files.begin(), contents.files.end());
        }
    }
    return entries;
}

bool ChecksumCatalog::SetDescribedAlready(const std::string& path,
                                          const std::set<Par2SetId>& described) {
    if (described.empty() || par2Files_.contains(path)) {
        return false;
    }
    std::error_code error;
    std::unique_ptr<InputFile> file = fs_.OpenInput(path, error);
    const std::optional<Par2SetId> set = file ? FirstPacketSet(*file) : std::nullopt;
    return set && described.contains(*set);
}

std::vector<Expectation> ChecksumCatalog::Read(const std::string& path) {
    if (KindOf(path) == FileKind::Par2) {
        return ReadPar2File(path).files;
    }
    const std::optional<std::string> text = Text(path);
    if (!text) {
        return {};
    }
    if (Lower(BaseName(path)).ends_with(".sfv")) {
        return ParseSfv(*text, path);
    }
    return ParseDigestList(*text, path, ListKind(path));
}

// A PAR 2.0 file is read once per run, whether for the files it describes or for itself.
const Par2Contents& ChecksumCatalog::ReadPar2File(const std::string& path) {
    const auto known = par2Files_.find(path);
    if (known != par2Files_.end()) {
        return known->second;
    }
    std::error_code error;
    std::unique_ptr<InputFile> file = fs_.OpenInput(path, error);
    return par2Files_[path] = file ? ReadPar2(*file, path) : Par2Contents();
}

std::optional<std::string> ChecksumCatalog::Text(const std::string& path) {
    std::error_code error;
    std::unique_ptr<InputFile> file = fs_.OpenInput(path, error);
    const std::int64_t size = file ? file->Length(error) : 0;
    if (!file || error || size > kMaxListSize) {
        return std::nullopt;
    }
    std::string text(static_cast<std::size_t>(size), '\0');
    const std::size_t got =
        file->ReadAt(0, reinterpret_cast<std::uint8_t*>(text.data()), text.size(), error);
    if (error) {
        return std::nullopt;
    }
    text.resize(got);
    return text;
}

}  // namespace korbelt
