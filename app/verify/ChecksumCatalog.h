#pragma once

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ports/Failure.h"
#include "ports/FileSystem.h"
#include "verify/Expectation.h"
#include "verify/Par2.h"

namespace korbelt {

// A checksum file that could not be read, and why.
struct UnreadChecksumFile {
    std::string path;
    std::string reason;
};

// Everything the checksum files say of one file.
struct Evidence {
    // Every entry naming it, the strongest first: a PAR 2.0 description, then digests, then
    // CRC-32s. Entries may disagree; the file matches its checksums when it matches any.
    std::vector<Expectation> entries;
    // Checksum files beside it, or given for the run, that could not be read.
    std::vector<UnreadChecksumFile> unread;
    // Entries naming it beyond the number that are checked.
    int unchecked = 0;

    bool Empty() const { return entries.empty() && unread.empty() && unchecked == 0; }
    // The entry a repair is planned by, slice by slice: the first with slices in memory.
    const Expectation* SliceGuide() const;
    // The first entry with slices at all, which counts them when nothing matches.
    const Expectation* WithSlices() const;
};

// The checksums a download carries, found by file name: in the checksum files of the folder
// of the file being repaired (PAR 2.0 sets, SFV, md5sum and sha*sum lists) and in checksum
// files named on the command line. A folder is read once per run, streaming, and only the
// entries naming its own files are kept, so that what the checksum files hold costs no memory.
class ChecksumCatalog {
  public:
    enum class FileKind { None, Par2, TextList };
    // A checksum list larger than this is not one, whatever its name says.
    static constexpr std::int64_t kMaxListSize = std::int64_t{16} << 20;
    // Distinct entries checked for one file; a download's checksum files give one or two.
    static constexpr std::size_t kMaxEntriesChecked = 8;

    explicit ChecksumCatalog(FileSystem& fs) : fs_(fs) {}

    // Any call that reads checksum files throws a Failure of kind Stopped once the stop check
    // says so. What was read of the folder is forgotten, so that it is read whole when it is
    // asked for again.
    static Failure Stopped() { return Failure(FailureKind::Stopped, "stopped"); }
    // Asked before each read of a checksum file and each file of a folder looked at; true
    // stops the reading. A folder of thousands of lists takes seconds to read, and Stop, or a
    // signal, must not wait for it.
    void SetStopCheck(std::function<bool()> stopped) { stopped_ = std::move(stopped); }

    // A checksum file kept elsewhere; its entries match by the file's name alone. It is read
    // once now, from readFrom when given (a symbolic link's target: the user chose the link),
    // and then for each folder of the run. Returns why it cannot be read, or nothing.
    std::optional<std::string> AddChecksumFile(const std::string& path,
                                               const std::string& readFrom = "");
    // Reads the folders afresh from now on (a new run).
    void Forget();

    // What the checksum files say of the file.
    Evidence For(const std::string& path);
    // A checksum file of the folder (or given for the run) that names the file, whatever the
    // case of the name: the file came with the download. Nothing when none names it.
    std::optional<std::string> Naming(const std::string& path);
    // The checksum files found unreadable since the last call: each is told of once a run.
    std::vector<UnreadChecksumFile> TakeNewlyUnread();

    // Whether the name is that of a checksum file, which is never repaired like a download.
    static FileKind KindOf(const std::string& path);
    // A PAR 2.0 file, read once per run; unread, if given, is set to why it cannot be read.
    const Par2Contents& ReadPar2File(const std::string& path,
                                     std::optional<std::string>* unread = nullptr);

  private:
    struct Entry {
        std::string path;  // of the file it names, for an exact match before a caseless one
        Expectation expectation;
    };
    struct Folder {
        std::set<std::string> files;  // the folder's files, lower case: only these are kept
        std::map<std::string, std::vector<Entry>> entries;  // by the lower-case path named
        std::map<std::string, int> unchecked;
        std::vector<UnreadChecksumFile> unread;
    };

    Folder& FolderOf(const std::string& directory);
    std::unique_ptr<InputFile> Open(const std::string& path, std::error_code& error);
    void StopIfAsked() const;
    void ReadFolder(const std::string& directory, std::vector<std::string>& names, Folder& folder);
    void ReadInto(Folder& folder, const std::string& path, const std::string& readFrom,
                  const std::string& directory);
    void Keep(Folder& folder, const std::string& named, Expectation expectation);
    std::optional<std::string> ReadList(const std::string& path, const std::string& readFrom,
                                        const std::function<void(Expectation)>& take);
    void NoteUnread(Folder& folder, const std::string& path, const std::string& reason);
    bool SetDescribedAlready(const std::string& path, const std::set<Par2SetId>& described);
    void LoadSlicesOf(Expectation& expectation);

    FileSystem& fs_;
    std::map<std::string, Folder> folders_;
    std::map<std::string, Par2Contents> par2Files_;
    std::vector<std::pair<std::string, std::string>> added_;  // path as given, path read from
    std::vector<UnreadChecksumFile> newlyUnread_;
    std::set<std::string> toldUnread_;
    std::function<bool()> stopped_;
};

}  // namespace korbelt
