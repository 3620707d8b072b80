#include "verify/ChecksumCatalog.h"

#include <algorithm>
#include <utility>

#include "verify/TextLists.h"

#include <memory>

namespace korbelt {
namespace {

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

std::string InFolder(const std::string& directory, const std::string& name) {
    return directory + "/" + name;
}

// Why a checksum file cannot be opened. A link beside the files is not followed: the name is
// a download's, the target anybody's.
std::string OpenFailure(const std::error_code& error) {
    return error == std::errc::too_many_symbolic_link_levels ? "A symbolic link, not followed"
                                                             : error.message();
}

// Recovery volumes (NAME.vol00+01.par2) repeat what their set's index says.
bool IsVolume(const std::string& name) {
    return Lower(name).find(".vol") != std::string::npos;
}

// A checksum file that asks the stop check before each read.
class StoppableFile : public InputFile {
  public:
    StoppableFile(std::unique_ptr<InputFile> file, const std::function<bool()>& stopped)
        : file_(std::move(file)), stopped_(stopped) {}

    std::error_code Identify(FileIdentity& identity) override { return file_->Identify(identity); }
    LockResult Lock() override { return file_->Lock(); }
    std::error_code SetAccess(const FileIdentity& from) override { return file_->SetAccess(from); }
    std::int64_t Length(std::error_code& error) override { return file_->Length(error); }
    std::size_t ReadAt(std::int64_t offset, std::uint8_t* buffer, std::size_t count,
                       std::error_code& error) override {
        if (stopped_()) {
            throw ChecksumCatalog::Stopped();
        }
        return file_->ReadAt(offset, buffer, count, error);
    }

  private:
    std::unique_ptr<InputFile> file_;
    const std::function<bool()>& stopped_;
};

}  // namespace

const Expectation* Evidence::SliceGuide() const {
    for (const Expectation& entry : entries) {
        if (entry.HasSlicesInMemory()) {
            return &entry;
        }
    }
    return nullptr;
}

const Expectation* Evidence::WithSlices() const {
    for (const Expectation& entry : entries) {
        if (entry.HasSlices()) {
            return &entry;
        }
    }
    return nullptr;
}

ChecksumCatalog::FileKind ChecksumCatalog::KindOf(const std::string& path) {
    const std::string name = Lower(BaseName(path));
    if (name.ends_with(".par2")) {
        return FileKind::Par2;
    }
    return name.ends_with(".sfv") || ListKind(path) ? FileKind::TextList : FileKind::None;
}

std::optional<std::string> ChecksumCatalog::AddChecksumFile(const std::string& path,
                                                            const std::string& readFrom) {
    const std::string from = readFrom.empty() ? path : readFrom;
    const std::optional<FileIdentity> what = fs_.Lookup(from);
    if (!what) {
        return std::make_error_code(std::errc::no_such_file_or_directory).message();
    }
    if (what->kind == FileIdentity::Kind::Directory) {
        return std::make_error_code(std::errc::is_a_directory).message();
    }
    if (what->kind != FileIdentity::Kind::Regular) {
        return "Not a regular file";
    }
    std::optional<std::string> reason;
    if (KindOf(path) == FileKind::Par2) {
        std::error_code error;
        std::unique_ptr<InputFile> file = Open(from, error);
        if (!file) {
            return error.message();
        }
        if (!ReadPar2(*file, path, [](const std::string&) { return false; }).IsPar2()) {
            return "No PAR 2.0 packet in it";
        }
    } else if ((reason = ReadList(path, from, [](Expectation) {}))) {
        return reason;
    }
    added_.emplace_back(path, from);
    return std::nullopt;
}

void ChecksumCatalog::Forget() {
    folders_.clear();
    par2Files_.clear();
    toldUnread_.clear();
    newlyUnread_.clear();
}

Evidence ChecksumCatalog::For(const std::string& path) {
    const std::string directory = DirectoryName(path);
    Folder& folder = FolderOf(directory);
    const std::string wanted = InFolder(directory, BaseName(path));
    Evidence evidence;
    evidence.unread = folder.unread;
    const auto found = folder.entries.find(Lower(wanted));
    if (found != folder.entries.end()) {
        // Entries of the exact name first; those differing only in case only without them.
        const bool exact = std::any_of(found->second.begin(), found->second.end(),
                                       [&](const Entry& entry) { return entry.path == wanted; });
        for (const Entry& entry : found->second) {
            if (!exact || entry.path == wanted) {
                evidence.entries.push_back(entry.expectation);
            }
        }
        const auto unchecked = folder.unchecked.find(Lower(wanted));
        evidence.unchecked = unchecked == folder.unchecked.end() ? 0 : unchecked->second;
    }
    std::stable_sort(
        evidence.entries.begin(), evidence.entries.end(),
        [](const Expectation& a, const Expectation& b) { return a.Strength() > b.Strength(); });
    for (Expectation& entry : evidence.entries) {
        LoadSlicesOf(entry);
    }
    return evidence;
}

std::optional<std::string> ChecksumCatalog::Naming(const std::string& path) {
    const std::string directory = DirectoryName(path);
    const Folder& folder = FolderOf(directory);
    const std::string key = Lower(InFolder(directory, BaseName(path)));
    const auto found = folder.entries.find(key);
    if (found != folder.entries.end() && !found->second.empty()) {
        return found->second.front().expectation.source;
    }
    return std::nullopt;
}

std::unique_ptr<InputFile> ChecksumCatalog::Open(const std::string& path, std::error_code& error) {
    std::unique_ptr<InputFile> file = fs_.OpenInput(path, error);
    if (file && stopped_) {
        return std::make_unique<StoppableFile>(std::move(file), stopped_);
    }
    return file;
}

void ChecksumCatalog::StopIfAsked() const {
    if (stopped_ && stopped_()) {
        throw Stopped();
    }
}

std::vector<UnreadChecksumFile> ChecksumCatalog::TakeNewlyUnread() {
    return std::exchange(newlyUnread_, {});
}

ChecksumCatalog::Folder& ChecksumCatalog::FolderOf(const std::string& directory) {
    const auto known = folders_.find(directory);
    if (known != folders_.end()) {
        return known->second;
    }
    Folder& folder = folders_[directory];
    try {
        auto names = fs_.ListOrdinaryFiles(directory).value_or(std::vector<std::string>());
        for (const std::string& name : names) {
            folder.files.insert(Lower(InFolder(directory, name)));
        }
        ReadFolder(directory, names, folder);
        for (const auto& [path, from] : added_) {
            ReadInto(folder, path, from, directory);
        }
    } catch (const Failure&) {
        folders_.erase(directory);
        throw;
    }
    return folder;
}

void ChecksumCatalog::ReadFolder(const std::string& directory, std::vector<std::string>& names,
                                 Folder& folder) {
    std::sort(names.begin(), names.end());
    // A set's index first: its volumes repeat what it says, and may hold gigabytes of
    // recovery data in thousands of packets. Once a file of a set has described it with
    // every packet sound, another file of that set is only identified, by the header of its
    // first packet, and passed over.
    std::stable_partition(names.begin(), names.end(),
                          [](const std::string& name) { return !IsVolume(name); });
    std::set<Par2SetId> described;
    for (const std::string& name : names) {
        StopIfAsked();
        const FileKind kind = KindOf(name);
        // Named as the file they describe is: "set.par2" beside "movie.avi".
        const std::string path = directory == "." ? name : InFolder(directory, name);
        if (kind == FileKind::TextList) {
            ReadInto(folder, path, path, "");
        } else if (kind == FileKind::Par2 && !SetDescribedAlready(path, described)) {
            std::optional<std::string> unread;
            const Par2Contents& contents = ReadPar2File(path, &unread);
            if (unread) {
                NoteUnread(folder, path, *unread);
            }
            if (contents.AllPacketsSound() && contents.mainSet && !contents.files.empty()) {
                described.insert(*contents.mainSet);
            }
            for (const Expectation& entry : contents.files) {
                Keep(folder, InFolder(DirectoryName(path), WithoutDotSlash(entry.name)), entry);
            }
        }
    }
}

// Reads a list, or a set kept elsewhere, into a folder: entries of a file kept elsewhere
// (directory given) name the folder's files by their names alone.
void ChecksumCatalog::ReadInto(Folder& folder, const std::string& path, const std::string& readFrom,
                               const std::string& directory) {
    const auto named = [&](const std::string& name) {
        return directory.empty() ? InFolder(DirectoryName(path), WithoutDotSlash(name))
                                 : InFolder(directory, BaseName(WithoutDotSlash(name)));
    };
    if (KindOf(path) == FileKind::Par2) {
        std::error_code error;
        std::unique_ptr<InputFile> file = Open(readFrom, error);
        if (!file) {
            NoteUnread(folder, path, OpenFailure(error));
            return;
        }
        const Par2Contents contents = ReadPar2(*file, path, [&](const std::string& name) {
            return folder.files.contains(Lower(named(name)));
        });
        for (const Expectation& entry : contents.files) {
            Keep(folder, named(entry.name), entry);
        }
        return;
    }
    const auto reason = ReadList(path, readFrom, [&](Expectation entry) {
        const std::string name = named(entry.name);
        if (folder.files.contains(Lower(name))) {
            Keep(folder, name, std::move(entry));
        }
    });
    if (reason) {
        NoteUnread(folder, path, *reason);
    }
}

// At most kMaxEntriesChecked distinct entries a file; the same entry twice is one.
void ChecksumCatalog::Keep(Folder& folder, const std::string& named, Expectation expectation) {
    const std::string key = Lower(named);
    if (!folder.files.contains(key)) {
        return;
    }
    std::vector<Entry>& entries = folder.entries[key];
    for (const Entry& entry : entries) {
        if (entry.path == named && entry.expectation.source == expectation.source &&
            entry.expectation.SameContents(expectation)) {
            return;
        }
    }
    if (entries.size() == kMaxEntriesChecked) {
        ++folder.unchecked[key];
        return;
    }
    entries.push_back({named, std::move(expectation)});
}

std::optional<std::string> ChecksumCatalog::ReadList(const std::string& path,
                                                     const std::string& readFrom,
                                                     const std::function<void(Expectation)>& take) {
    std::error_code error;
    std::unique_ptr<InputFile> file = Open(readFrom, error);
    const std::int64_t size = file ? file->Length(error) : 0;
    if (!file || error) {
        return OpenFailure(error);
    }
    if (size > kMaxListSize) {
        return "Larger than 16 MiB, too large for a checksum list";
    }
    const bool sfv = Lower(BaseName(path)).ends_with(".sfv");
    const std::optional<DigestKind> kind = ListKind(path);
    error = ReadLines(*file, [&](std::string_view line) {
        auto entry = sfv ? ParseSfvLine(line, path) : ParseDigestLine(line, path, kind);
        if (entry) {
            take(std::move(*entry));
        }
    });
    return error ? std::optional<std::string>(error.message()) : std::nullopt;
}

void ChecksumCatalog::NoteUnread(Folder& folder, const std::string& path,
                                 const std::string& reason) {
    folder.unread.push_back({path, reason});
    if (toldUnread_.insert(path).second) {
        newlyUnread_.push_back({path, reason});
    }
}

bool ChecksumCatalog::SetDescribedAlready(const std::string& path,
                                          const std::set<Par2SetId>& described) {
    if (described.empty() || par2Files_.contains(path)) {
        return false;
    }
    std::error_code error;
    std::unique_ptr<InputFile> file = Open(path, error);
    const std::optional<Par2SetId> set = file ? FirstPacketSet(*file) : std::nullopt;
    return set && described.contains(*set);
}

// A PAR 2.0 file is read once per run, whether for the files it describes or for itself;
// it keeps the descriptions of the files of its own folder.
const Par2Contents& ChecksumCatalog::ReadPar2File(const std::string& path,
                                                  std::optional<std::string>* unread) {
    const auto known = par2Files_.find(path);
    if (known != par2Files_.end()) {
        return known->second;
    }
    std::error_code error;
    std::unique_ptr<InputFile> file = Open(path, error);
    if (!file) {
        if (unread != nullptr) {
            *unread = OpenFailure(error);
        }
        return par2Files_[path];
    }
    const std::string directory = DirectoryName(path);
    const auto folder = folders_.find(directory);
    std::set<std::string> listed;
    if (folder == folders_.end()) {
        for (const std::string& name :
             fs_.ListOrdinaryFiles(directory).value_or(std::vector<std::string>())) {
            listed.insert(Lower(InFolder(directory, name)));
        }
    }
    const std::set<std::string>& files = folder == folders_.end() ? listed : folder->second.files;
    return par2Files_[path] = ReadPar2(*file, path, [&](const std::string& name) {
               return files.contains(Lower(InFolder(directory, WithoutDotSlash(name))));
           });
}

// The slice checksums of the file being repaired, from where its set keeps them.
void ChecksumCatalog::LoadSlicesOf(Expectation& expectation) {
    if (expectation.slicesAt < 0 || !expectation.slices.empty()) {
        return;
    }
    std::string from = expectation.source;
    for (const auto& [path, readFrom] : added_) {
        from = path == expectation.source ? readFrom : from;
    }
    std::error_code error;
    std::unique_ptr<InputFile> file = Open(from, error);
    if (file) {
        LoadSlices(*file, expectation);
    }
}

}  // namespace korbelt
