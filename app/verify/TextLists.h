#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "ports/FileSystem.h"
#include "verify/Expectation.h"

namespace korbelt {

// SFV: "name crc32" lines, ';' comments.
std::optional<Expectation> ParseSfvLine(std::string_view line, const std::string& source);

// md5sum, sha1sum, sha256sum and sha512sum lists ("digest  name", "digest *name", a name
// with '\' escapes after a leading '\') and the BSD form "MD5 (name) = digest". The kind
// comes from the BSD tag, else from the list's name, else from the digest's length.
std::optional<Expectation> ParseDigestLine(std::string_view line, const std::string& source,
                                           std::optional<DigestKind> kind);

// Hands each line of a list to take, without its line end, a buffer at a time: whatever the
// list holds, no more than a buffer and one line are in memory. A line too long to be an
// entry, or holding a NUL, names nothing and is passed over.
std::error_code ReadLines(InputFile& file, const std::function<void(std::string_view)>& take);

// Whole lists in memory, as the lines above.
std::vector<Expectation> ParseSfv(const std::string& text, const std::string& source);
std::vector<Expectation> ParseDigestList(const std::string& text, const std::string& source,
                                         std::optional<DigestKind> kind);

}  // namespace korbelt
