// The status list's lines come back exactly as they were given, whether kept as a find's
// numbers or as text, through rewrites and removals.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/StatusLineStore.h"

namespace korbelt::test {
namespace {

TEST(StatusLineStore, EveryLineComesBackAsItWasGiven) {
    const std::vector<std::string> lines = {
        "/downloads/film.avi",
        "  @1,970,337 found 013 010 048 048 013 010 053  removed",
        "  @41 found 065 065  ignored",
        "  @ found 013 010 045 045 would be removed",
        "  @281,474,976,710,655 found 001 001  removed",
        "  @281,474,976,710,656 found 001 001  removed",        // past 48 bits: text
        "  @9\xc2\xa0""876\xc2\xa0""543 found 120 120  removed",  // a locale's own separator
        "  @12,34,567 found 120 120  removed",                   // grouped otherwise: text
        "  @1234567 found 120 120  removed",
        "  @1,970,337 found 001 002 003 004 005 006 007 008 008  removed",  // long: text
        "  @12 found Mime Wrapper removed",
        "  @12 found 255 slipped in, by its slice ignored: its slice does not verify",
        "  @12 found 256 256  removed",
        "  @007 found 001 001  removed",
        "  @1,2 found 001 001  removed",
        "",
    };
    StatusLineStore store;
    for (const std::string& line : lines) {
        store.Append(line);
    }
    ASSERT_EQ(store.Size(), static_cast<int>(lines.size()));
    for (int i = 0; i < store.Size(); ++i) {
        EXPECT_EQ(store.Text(i), lines[static_cast<std::size_t>(i)]);
    }

    store.Set(1, "  @1,970,337 found 013 010 048 048 013 010 053  not removed");
    store.Set(0, "Aborted /downloads/film.avi");
    store.Remove(2);
    EXPECT_EQ(store.Text(0), "Aborted /downloads/film.avi");
    EXPECT_EQ(store.Text(1), "  @1,970,337 found 013 010 048 048 013 010 053  not removed");
    EXPECT_EQ(store.Text(2), lines[3]);
    EXPECT_EQ(store.Size(), static_cast<int>(lines.size()) - 1);
    EXPECT_TRUE(store.HeldAsFind(1));
    EXPECT_FALSE(store.HeldAsFind(0));
    store.Clear();
    EXPECT_EQ(store.Size(), 0);
    store.Append("next");
    EXPECT_EQ(store.Text(0), "next");
}

// Lines that look like a find's but would not come back as given take none of the few ids
// of separators and endings: a find line after any number of them is still kept small.
TEST(StatusLineStore, LinesKeptAsTextTakeNoIds) {
    StatusLineStore store;
    for (char separator = 'a'; separator <= 'z'; ++separator) {
        store.Append(std::string("  @1") + separator + "2 found 001 001  removed " + separator);
    }
    const std::string find = "  @1.234 found 001 001  removed";
    store.Append(find);
    EXPECT_FALSE(store.HeldAsFind(0));
    EXPECT_TRUE(store.HeldAsFind(26));
    EXPECT_EQ(store.Text(26), find);
}

}  // namespace
}  // namespace korbelt::test
