#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korbelt::test {

using Bytes = std::vector<std::uint8_t>;

// A directory of its own for one test, removed with everything in it afterwards.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

void WriteBytes(const std::string& path, const Bytes& bytes);
Bytes ReadBytes(const std::string& path);
bool Exists(const std::string& path);  // anything at all, links not followed
// Names in a directory, sorted, without "." and "..".
std::vector<std::string> ListDirectory(const std::string& path);

// Builders for damaged data.
Bytes RandomBytes(std::size_t count, std::uint32_t seed);
// Random bytes without CR, so that no marker appears by chance.
Bytes QuietBytes(std::size_t count, std::uint32_t seed);

}  // namespace korbelt::test
