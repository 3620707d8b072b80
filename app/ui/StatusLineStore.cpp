#include "ui/StatusLineStore.h"

#include "engine/report/NumberFormat.h"

namespace korbelt {
namespace {

constexpr const char* kLead = "  @";
constexpr const char* kFound = " found ";
constexpr std::uint64_t kMostPosition = (std::uint64_t{1} << 48) - 1;
constexpr int kSeparators = 16;
constexpr int kEndings = 256;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The position as the line gives it, grouped by threes with one separator, or not at all;
// false for any other form.
bool ParsePosition(const std::string& text, std::uint64_t& value, std::string& separator) {
    value = 0;
    separator.clear();
    std::size_t digits = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (IsDigit(text[i])) {
            if (value > kMostPosition / 10) {
                return false;
            }
            value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
            ++digits;
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && !IsDigit(text[end])) {
            ++end;
        }
        if (separator.empty()) {
            separator = text.substr(i, end - i);
        } else if (text.compare(i, end - i, separator) != 0) {
            return false;
        }
        i = end;
    }
    return value <= kMostPosition && (digits > 0 || text.empty());
}

std::string FindLine(std::uint64_t position, const std::string& separator,
                     const std::uint8_t* shown, int count, const std::string& ending) {
    std::string line;
    line.reserve(32 + 4 * static_cast<std::size_t>(count) + ending.size());
    line = kLead;
    line += NumberFormat(separator).Grouped(static_cast<std::int64_t>(position));
    line += kFound;
    for (int i = 0; i < count; ++i) {
        line += NumberFormat::ThreeDigits(shown[i]);
        line += ' ';
    }
    line += ending;
    return line;
}

}  // namespace

int StatusLineStore::Intern(std::vector<std::string>& table, std::map<std::string, int>& ids,
                            int most, const std::string& text) {
    if (const auto known = ids.find(text); known != ids.end()) {
        return known->second;
    }
    if (static_cast<int>(table.size()) >= most) {
        return -1;
    }
    table.push_back(text);
    ids.emplace(text, static_cast<int>(table.size()) - 1);
    return static_cast<int>(table.size()) - 1;
}

bool StatusLineStore::EncodeFind(const std::string& text, Row& row) {
    if (text.compare(0, 3, kLead) != 0) {
        return false;
    }
    const std::size_t found = text.find(kFound, 3);
    if (found == std::string::npos) {
        return false;
    }
    std::uint64_t position = 0;
    std::string separator;
    if (!ParsePosition(text.substr(3, found - 3), position, separator)) {
        return false;
    }
    std::size_t at = found + 7;
    int shown = 0;
    while (shown < kMostShown && at + 4 <= text.size() && IsDigit(text[at]) &&
           IsDigit(text[at + 1]) && IsDigit(text[at + 2]) && text[at + 3] == ' ') {
        const int byte = (text[at] - '0') * 100 + (text[at + 1] - '0') * 10 + (text[at + 2] - '0');
        if (byte > 255) {
            break;
        }
        row.shown[shown++] = static_cast<std::uint8_t>(byte);
        at += 4;
    }
    // Only a line that comes back exactly as given is kept so; the others take no id.
    const std::string ending = text.substr(at);
    if (FindLine(position, separator, row.shown, shown, ending) != text) {
        return false;
    }
    const int separatorId = Intern(separators_, separatorIds_, kSeparators, separator);
    const int endingId = Intern(endings_, endingIds_, kEndings, ending);
    if (separatorId < 0 || endingId < 0) {
        return false;
    }
    row.word = position | std::uint64_t(separatorId) << 48 | std::uint64_t(shown) << 52 |
               std::uint64_t(endingId) << 56;
    return true;
}

StatusLineStore::Row StatusLineStore::Encode(const std::string& text) {
    Row row;
    if (EncodeFind(text, row)) {
        return row;
    }
    row = Row{};
    row.isText = 1;
    row.word = texts_.size();
    texts_.push_back(text);
    return row;
}

std::string StatusLineStore::Decode(const Row& row) const {
    if (row.isText != 0) {
        return texts_[row.word];
    }
    return FindLine(row.word & kMostPosition, separators_[row.word >> 48 & 15], row.shown,
                    static_cast<int>(row.word >> 52 & 15), endings_[row.word >> 56]);
}

int StatusLineStore::Append(const std::string& text) {
    rows_.push_back(Encode(text));
    return Size() - 1;
}

void StatusLineStore::Set(int index, const std::string& text) {
    if (index < 0 || index >= Size()) {
        return;
    }
    Row& row = rows_[static_cast<std::size_t>(index)];
    if (row.isText != 0) {
        texts_[row.word] = text;  // a progress line, rewritten in place many times
        return;
    }
    row = Encode(text);
}

void StatusLineStore::Remove(int index) {
    if (index < 0 || index >= Size()) {
        return;
    }
    const auto at = rows_.begin() + index;
    if (at->isText != 0) {
        texts_[at->word] = std::string();
    }
    rows_.erase(at);
}

void StatusLineStore::Clear() {
    rows_.clear();
    texts_.clear();
}

std::string StatusLineStore::Text(int index) const {
    if (index < 0 || index >= Size()) {
        return {};
    }
    return Decode(rows_[static_cast<std::size_t>(index)]);
}

}  // namespace korbelt
