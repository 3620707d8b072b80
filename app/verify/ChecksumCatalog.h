#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ports/FileSystem.h"
#include "verify/Expectation.h"
#include "verify/Par2.h"

namespace korbelt {

// The checksums a download carries, found by file name: in the checksum files of the folder
// of the file being repaired (PAR 2.0 sets, SFV, md5sum and sha*sum lists) and in checksum
// files named on the command line. A folder is read once per run.
class ChecksumCatalog {
  public:
    enum class FileKind { None, Par2, TextList };

    explicit ChecksumCatalog(FileSystem& fs) : fs_(fs) {}

    // A checksum file kept elsewhere; its entries match by the file's name alone.
    void AddChecksumFile(const std::string& path);
    // Reads the folders afresh from now on (a new run).
    void Forget() {
        folders_.clear();
        par2Files_.clear();
    }

    // The best proof known for the file: an entry of its exact name, else one whose name
    // differs only in case; of several, a PAR 2.0 description first.
    std::optional<Expectation> For(const std::string& path);

    // Whether the name is that of a checksum file, which is never repaired like a download.
    static FileKind KindOf(const std::string& path);
    const Par2Contents& ReadPar2File(const std::string& path);

  private:
    std::vector<Expectation> Read(const std::string& path);
    const std::vector<Expectation>& Folder(const std::string& directory);
    bool SetDescribedAlready(const std::string& path, const std::set<Par2SetId>& described);
    std::optional<std::string> Text(const std::string& path);

    FileSystem& fs_;
    std::map<std::string, std::vector<Expectation>> folders_;
    std::map<std::string, Par2Contents> par2Files_;
    std::vector<Expectation> added_;
};

}  // namespace korbelt
