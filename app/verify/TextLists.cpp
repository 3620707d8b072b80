#include "verify/TextLists.h"

#include <sstream>

namespace korbelt {
namespace {

// A line of a checksum list longer than this is noise, not an entry.
constexpr std::size_t kMaxLine = 64 * 1024;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t end = text.find('\n', from);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(from, std::min(end - from, kMaxLine + 1));
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        // No file name holds a NUL: such a line names nothing.
        if (line.size() <= kMaxLine && line.find('\0') == std::string::npos) {
            lines.push_back(std::move(line));
        }
        from = end + 1;
    }
    return lines;
}

std::optional<DigestKind> KindOfLength(std::size_t hexDigits) {
    switch (hexDigits) {
        case 32:
            return DigestKind::Md5;
        case 40:
            return DigestKind::Sha1;
        case 64:
            return DigestKind::Sha256;
        case 128:
            return DigestKind::Sha512;
        default:
            return std::nullopt;
    }
}

std::optional<DigestKind> KindOfTag(const std::string& tag) {
    if (tag == "MD5") {
        return DigestKind::Md5;
    }
    if (tag == "SHA1") {
        return DigestKind::Sha1;
    }
    if (tag == "SHA256") {
        return DigestKind::Sha256;
    }
    if (tag == "SHA512") {
        return DigestKind::Sha512;
    }
    return std::nullopt;
}

// md5sum writes a name holding a newline or a backslash with those escaped, and marks the
// line with a leading backslash.
std::string Unescaped(const std::string& name) {
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 1 < name.size()) {
            ++i;
            out += name[i] == 'n' ? '\n' : name[i];
        } else {
            out += name[i];
        }
    }
    return out;
}

Expectation Entry(const std::string& source, const std::string& name, DigestKind kind,
                  const DigestBytes& digest) {
    Expectation expectation;
    expectation.source = source;
    expectation.name = name;
    expectation.kind = kind;
    expectation.digest = digest;
    return expectation;
}

// "MD5 (name) = digest"
bool ParseBsdLine(const std::string& line, const std::string& source,
                  std::vector<Expectation>& entries) {
    const auto open = line.find(" (");
    const auto close = line.rfind(") = ");
    if (open == std::string::npos || close == std::string::npos || close < open) {
        return false;
    }
    const auto kind = KindOfTag(line.substr(0, open));
    const DigestBytes digest = FromHex(line.substr(close + 4));
    if (!kind || digest.size() != DigestSize(*kind)) {
        return false;
    }
    entries.push_back(Entry(source, line.substr(open + 2, close - open - 2), *kind, digest));
    return true;
}

// "digest  name" or "digest *name"
void ParseGnuLine(std::string line, const std::string& source, std::optional<DigestKind> kind,
                  std::vector<Expectation>& entries) {
    const bool escaped = !line.empty() && line.front() == '\\';
    if (escaped) {
        line.erase(0, 1);
    }
    const auto space = line.find(' ');
    if (space == std::string::npos || space + 2 > line.size()) {
        return;
    }
    const DigestBytes digest = FromHex(line.substr(0, space));
    const auto actual = KindOfLength(space);
    if (digest.empty() || !actual || (kind && *kind != *actual)) {
        return;
    }
    const char marker = line[space + 1];
    if (marker != ' ' && marker != '*') {
        return;
    }
    const std::string name = line.substr(space + 2);
    if (!name.empty()) {
        entries.push_back(Entry(source, escaped ? Unescaped(name) : name, *actual, digest));
    }
}

}  // namespace

std::vector<Expectation> ParseSfv(const std::string& text, const std::string& source) {
    std::vector<Expectation> entries;
    for (const std::string& line : Lines(text)) {
        if (line.empty() || line.front() == ';') {
            continue;
        }
        const auto space = line.find_last_of(" \t");
        if (space == std::string::npos || line.size() - space - 1 != 8) {
            continue;
        }
        const DigestBytes crc = FromHex(line.substr(space + 1));
        std::string name = line.substr(0, space);
        while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) {
            name.pop_back();
        }
        if (crc.size() != 4 || name.empty()) {
            continue;
        }
        Expectation expectation;
        expectation.source = source;
        expectation.name = name;
        expectation.crc32 = static_cast<std::uint32_t>(crc[0]) << 24 |
                            static_cast<std::uint32_t>(crc[1]) << 16 |
                            static_cast<std::uint32_t>(crc[2]) << 8 | crc[3];
        entries.push_back(std::move(expectation));
    }
    return entries;
}

std::vector<Expectation> ParseDigestList(const std::string& text, const std::string& source,
                                         std::optional<DigestKind> kind) {
    std::vector<Expectation> entries;
    for (const std::string& line : Lines(text)) {
        if (line.empty() || line.front() == '#' || ParseBsdLine(line, source, entries)) {
            continue;
        }
        ParseGnuLine(line, source, kind, entries);
    }
    return entries;
}

}  // namespace korbelt
