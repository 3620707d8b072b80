#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

namespace korbelt {

// The lines of the status list, kept small: a file with millions of finds gives the list a
// line for each, and each of those lines is one of a few forms ("  @1,970,337 found 013 010
// 048 048  removed"). Such a line is kept as its numbers, its bytes and the ids of its
// separator and its ending, sixteen bytes in all, and made again when it is read; any other
// line, and any find line that would not come back exactly as it was given, is kept as text.
class StatusLineStore {
  public:
    int Append(const std::string& text);
    void Set(int index, const std::string& text);
    void Remove(int index);
    void Clear();
    int Size() const { return static_cast<int>(rows_.size()); }
    std::string Text(int index) const;
    // Whether the line is kept as a find's numbers and bytes rather than as text.
    bool HeldAsFind(int index) const {
        return index >= 0 && index < Size() && rows_[static_cast<std::size_t>(index)].isText == 0;
    }

  private:
    static constexpr int kMostShown = 7;
    struct Row {
        // A find line: its position (48 bits), the ids of its digit separator (4 bits) and its
        // ending (8 bits), the number of bytes it shows (4 bits). A text line: its text's index.
        std::uint64_t word = 0;
        std::uint8_t shown[kMostShown] = {};
        std::uint8_t isText = 0;
    };
    static_assert(sizeof(Row) == 16);

    Row Encode(const std::string& text);
    bool EncodeFind(const std::string& text, Row& row);
    std::string Decode(const Row& row) const;
    int Intern(std::vector<std::string>& table, std::map<std::string, int>& ids, int most,
               const std::string& text);

    std::deque<Row> rows_;
    std::deque<std::string> texts_;
    std::vector<std::string> separators_;
    std::map<std::string, int> separatorIds_;
    std::vector<std::string> endings_;
    std::map<std::string, int> endingIds_;
};

}  // namespace korbelt
