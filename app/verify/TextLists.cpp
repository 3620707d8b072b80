#include "verify/TextLists.h"

#include <algorithm>

namespace korbelt {
namespace {

// A line of a checksum list longer than this is noise, not an entry.
constexpr std::size_t kMaxLine = 64 * 1024;
constexpr std::size_t kReadSize = 64 * 1024;

// Calls take for each line of text that may be an entry. consumed tells how much of the text
// those lines took: unless it is the last of the list, an unfinished line waits for more.
void SplitLines(std::string_view text, bool last, std::size_t& consumed,
                const std::function<void(std::string_view)>& take) {
    consumed = 0;
    while (consumed < text.size()) {
        std::size_t end = text.find('\n', consumed);
        if (end == std::string_view::npos) {
            if (!last) {
                return;
            }
            end = text.size();
        }
        std::string_view line = text.substr(consumed, end - consumed);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        // No file name holds a NUL: such a line names nothing.
        if (line.size() <= kMaxLine && line.find('\0') == std::string_view::npos) {
            take(line);
        }
        consumed = std::min(end + 1, text.size());
    }
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
std::string Unescaped(std::string_view name) {
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

Expectation Entry(const std::string& source, std::string name, DigestKind kind,
                  const DigestBytes& digest) {
    Expectation expectation;
    expectation.source = source;
    expectation.name = std::move(name);
    expectation.kind = kind;
    expectation.digest = digest;
    return expectation;
}

// "MD5 (name) = digest"
std::optional<Expectation> ParseBsdLine(std::string_view line, const std::string& source) {
    const auto open = line.find(" (");
    const auto close = line.rfind(") = ");
    if (open == std::string_view::npos || close == std::string_view::npos || close < open) {
        return std::nullopt;
    }
    const auto kind = KindOfTag(std::string(line.substr(0, open)));
    const DigestBytes digest = FromHex(std::string(line.substr(close + 4)));
    if (!kind || digest.size() != DigestSize(*kind)) {
        return std::nullopt;
    }
    return Entry(source, std::string(line.substr(open + 2, close - open - 2)), *kind, digest);
}

// "digest  name" or "digest *name"
std::optional<Expectation> ParseGnuLine(std::string_view line, const std::string& source,
                                        std::optional<DigestKind> kind) {
    const bool escaped = !line.empty() && line.front() == '\\';
    if (escaped) {
        line.remove_prefix(1);
    }
    const auto space = line.find(' ');
    if (space == std::string_view::npos || space + 2 > line.size()) {
        return std::nullopt;
    }
    const DigestBytes digest = FromHex(std::string(line.substr(0, space)));
    const auto actual = KindOfLength(space);
    if (digest.empty() || !actual || (kind && *kind != *actual)) {
        return std::nullopt;
    }
    const char marker = line[space + 1];
    const std::string_view name = line.substr(space + 2);
    if ((marker != ' ' && marker != '*') || name.empty()) {
        return std::nullopt;
    }
    return Entry(source, escaped ? Unescaped(name) : std::string(name), *actual, digest);
}

template <typename Parse>
std::vector<Expectation> ParseAll(const std::string& text, const Parse& parse) {
    std::vector<Expectation> entries;
    std::size_t consumed = 0;
    SplitLines(text, true, consumed, [&](std::string_view line) {
        if (auto entry = parse(line)) {
            entries.push_back(std::move(*entry));
        }
    });
    return entries;
}

}  // namespace

std::optional<Expectation> ParseSfvLine(std::string_view line, const std::string& source) {
    if (line.empty() || line.front() == ';') {
        return std::nullopt;
    }
    const auto space = line.find_last_of(" \t");
    if (space == std::string_view::npos || line.size() - space - 1 != 8) {
        return std::nullopt;
    }
    const DigestBytes crc = FromHex(std::string(line.substr(space + 1)));
    std::string_view name = line.substr(0, space);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) {
        name.remove_suffix(1);
    }
    if (crc.size() != 4 || name.empty()) {
        return std::nullopt;
    }
    Expectation expectation;
    expectation.source = source;
    expectation.name = std::string(name);
    expectation.crc32 = static_cast<std::uint32_t>(crc[0]) << 24 |
                        static_cast<std::uint32_t>(crc[1]) << 16 |
                        static_cast<std::uint32_t>(crc[2]) << 8 | crc[3];
    return expectation;
}

std::optional<Expectation> ParseDigestLine(std::string_view line, const std::string& source,
                                           std::optional<DigestKind> kind) {
    if (line.empty() || line.front() == '#') {
        return std::nullopt;
    }
    if (auto entry = ParseBsdLine(line, source)) {
        return entry;
    }
    return ParseGnuLine(line, source, kind);
}

std::error_code ReadLines(InputFile& file, const std::function<void(std::string_view)>& take) {
    std::string pending;
    std::vector<std::uint8_t> buffer(kReadSize);
    bool skipping = false;  // the rest of a line too long to be an entry
    for (std::int64_t at = 0;;) {
        std::error_code error;
        const std::size_t got = file.ReadAt(at, buffer.data(), buffer.size(), error);
        if (error) {
            return error;
        }
        at += static_cast<std::int64_t>(got);
        std::string_view piece(reinterpret_cast<const char*>(buffer.data()), got);
        if (skipping) {
            const auto end = piece.find('\n');
            skipping = end == std::string_view::npos;
            piece.remove_prefix(skipping ? piece.size() : end + 1);
        }
        pending.append(piece);
        std::size_t consumed = 0;
        SplitLines(pending, got == 0, consumed, take);
        pending.erase(0, consumed);
        if (pending.size() > kMaxLine + 1) {
            pending.clear();
            skipping = true;
        }
        if (got == 0) {
            return {};
        }
    }
}

std::vector<Expectation> ParseSfv(const std::string& text, const std::string& source) {
    return ParseAll(text, [&](std::string_view line) { return ParseSfvLine(line, source); });
}

std::vector<Expectation> ParseDigestList(const std::string& text, const std::string& source,
                                         std::optional<DigestKind> kind) {
    return ParseAll(text,
                    [&](std::string_view line) { return ParseDigestLine(line, source, kind); });
}

}  // namespace korbelt
