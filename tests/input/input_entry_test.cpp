#include <gtest/gtest.h>

#include "input/InputEntry.h"

namespace korbelt {
namespace {

TEST(InputEntry, KindWordBlankAndThePathUnchanged) {
    EXPECT_EQ(FileEntry("/dl/a.avi"), "file /dl/a.avi");
    EXPECT_EQ(DirectoryEntry("/dl"), "directory /dl");
    EXPECT_EQ(FileEntry("dl//../A B.avi "), "file dl//../A B.avi ");
    EXPECT_EQ(DirectoryEntry("dl/"), "directory dl/");
}

TEST(InputEntry, OnlyTheFirstFourCharactersTellTheKind) {
    EXPECT_TRUE(IsFileEntry("file /dl/a.avi"));
    EXPECT_FALSE(IsFileEntry("directory /dl"));
    EXPECT_FALSE(IsFileEntry("directory /dl/file"));
    EXPECT_FALSE(IsFileEntry("File /dl/a.avi"));
    EXPECT_FALSE(IsFileEntry("fil"));
    EXPECT_FALSE(IsFileEntry(""));
}

TEST(InputEntry, PathStartsAfterTheKindWordAndBlank) {
    EXPECT_EQ(EntryPath("file /dl/a.avi"), "/dl/a.avi");
    EXPECT_EQ(EntryPath("directory /dl"), "/dl");
    EXPECT_EQ(EntryPath("file  leading blank"), " leading blank");
    EXPECT_EQ(EntryPath("directory dl/"), "dl/");
}

TEST(InputEntry, TooShortEntriesHaveAnEmptyPath) {
    EXPECT_EQ(EntryPath("file "), "");
    EXPECT_EQ(EntryPath("file"), "");
    EXPECT_EQ(EntryPath("directory "), "");
    EXPECT_EQ(EntryPath(""), "");
}

}  // namespace
}  // namespace korbelt
