#pragma once

#include <optional>
#include <string>
#include <vector>

#include "verify/Expectation.h"

namespace korbelt {

// SFV: "name crc32" lines, ';' comments.
std::vector<Expectation> ParseSfv(const std::string& text, const std::string& source);

// md5sum, sha1sum, sha256sum and sha512sum lists ("digest  name", "digest *name", a name
// with '\' escapes after a leading '\') and the BSD form "MD5 (name) = digest". The kind
// comes from the BSD tag, else from the list's name, else from the digest's length.
std::vector<Expectation> ParseDigestList(const std::string& text, const std::string& source,
                                         std::optional<DigestKind> kind);

}  // namespace korbelt
