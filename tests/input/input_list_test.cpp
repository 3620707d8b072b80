#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "ListContents.h"
#include "RecordingObserver.h"
#include "input/InputList.h"

namespace korbelt {
namespace {

using Notes = std::vector<std::string>;
using test::Marks;

InputList ListOf(std::initializer_list<const char*> texts) {
    InputList list;
    for (const char* text : texts) {
        EXPECT_TRUE(list.Append(text));
    }
    return list;
}

TEST(InputList, StartsEmptyWithoutCurrentEntry) {
    InputList list;
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.SelectedCount(), 0);
    EXPECT_EQ(list.Current(), InputList::kNoEntry);
    EXPECT_FALSE(list.IsFull());
}

TEST(InputList, EntriesStayInOrderSelectedAndMayRepeat) {
    InputList list = ListOf({"file /b", "file /a", "file /b"});
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Text(0), "file /b");
    EXPECT_EQ(list.Text(1), "file /a");
    EXPECT_EQ(list.Text(2), "file /b");
    EXPECT_EQ(Marks(list), (std::vector<bool>{true, true, true}));
    EXPECT_EQ(list.SelectedCount(), 3);
    // Adding does not move the focus.
    EXPECT_EQ(list.Current(), InputList::kNoEntry);
}

TEST(InputList, MarksAreIndependent) {
    InputList list = ListOf({"file /a", "file /b", "file /c"});
    list.SetSelected(1, false);
    EXPECT_EQ(Marks(list), (std::vector<bool>{true, false, true}));
    list.Toggle(0);
    EXPECT_EQ(Marks(list), (std::vector<bool>{false, false, true}));
    list.Toggle(1);
    EXPECT_EQ(Marks(list), (std::vector<bool>{false, true, true}));
    EXPECT_EQ(list.SelectedCount(), 2);
}

TEST(InputList, CurrentEntryIsApartFromTheMarks) {
    InputList list = ListOf({"file /a", "file /b"});
    list.SetCurrent(1);
    EXPECT_EQ(list.Current(), 1);
    EXPECT_EQ(Marks(list), (std::vector<bool>{true, true}));
    list.SetSelected(1, false);
    EXPECT_EQ(list.Current(), 1);
    list.SetCurrent(InputList::kNoEntry);
    EXPECT_EQ(list.Current(), InputList::kNoEntry);
    EXPECT_EQ(Marks(list), (std::vector<bool>{true, false}));
}

TEST(InputList, ClickMakesTheEntryCurrentAndFlipsOnlyItsMark) {
    InputList list = ListOf({"file /a", "file /b", "file /c"});
    list.Click(1);
    EXPECT_EQ(list.Current(), 1);
    EXPECT_EQ(Marks(list), (std::vector<bool>{true, false, true}));
    list.Click(1);
    EXPECT_EQ(Marks(list), (std::vector<bool>{true, true, true}));
    list.Click(2);
    EXPECT_EQ(list.Current(), 2);
    EXPECT_EQ(Marks(list), (std::vector<bool>{true, true, false}));
}

TEST(InputList, RemovingKeepsTheOthersInOrderWithTheirMarks) {
    InputList list = ListOf({"file /a", "file /b", "file /c", "file /d"});
    list.SetSelected(2, false);
    list.Remove(1);
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Text(0), "file /a");
    EXPECT_EQ(list.Text(1), "file /c");
    EXPECT_EQ(list.Text(2), "file /d");
    EXPECT_EQ(Marks(list), (std::vector<bool>{true, false, true}));
}

TEST(InputList, CurrentStaysOnItsEntryUntilItGoes) {
    InputList list = ListOf({"file /a", "file /b", "file /c", "file /d"});
    list.SetCurrent(1);
    list.Remove(3);
    EXPECT_EQ(list.Current(), 1);
    list.Remove(0);
    EXPECT_EQ(list.Current(), 0);
    EXPECT_EQ(list.Text(list.Current()), "file /b");
    list.Remove(0);
    EXPECT_EQ(list.Current(), InputList::kNoEntry);
}

TEST(InputList, ClearEmptiesTheListAndTheCurrentEntry) {
    InputList list = ListOf({"file /a", "directory /b"});
    list.SetCurrent(1);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Current(), InputList::kNoEntry);
    EXPECT_TRUE(list.Append("file /c"));
    EXPECT_EQ(list.Text(0), "file /c");
}

TEST(InputList, IndexesOutsideTheListThrow) {
    InputList list = ListOf({"file /a"});
    EXPECT_THROW(list.Text(1), std::out_of_range);
    EXPECT_THROW(list.Text(-1), std::out_of_range);
    EXPECT_THROW(list.Selected(1), std::out_of_range);
    EXPECT_THROW(list.SetSelected(1, false), std::out_of_range);
    EXPECT_THROW(list.Toggle(-1), std::out_of_range);
    EXPECT_THROW(list.SetCurrent(1), std::out_of_range);
    EXPECT_THROW(list.SetCurrent(-2), std::out_of_range);
    EXPECT_THROW(list.Click(1), std::out_of_range);
    EXPECT_THROW(list.ScrollToTop(1), std::out_of_range);
    EXPECT_THROW(list.Remove(1), std::out_of_range);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Current(), InputList::kNoEntry);
    EXPECT_TRUE(list.Selected(0));
}

TEST(InputList, HoldsAtMost32767Entries) {
    InputList list;
    for (int i = 0; i < InputList::kMaxEntries; ++i) {
        ASSERT_TRUE(list.Append("file /f" + std::to_string(i)));
    }
    EXPECT_EQ(InputList::kMaxEntries, 32767);
    EXPECT_TRUE(list.IsFull());
    test::RecordingObserver observer;
    list.SetObserver(&observer);
    EXPECT_FALSE(list.Append("file /one-more"));
    EXPECT_TRUE(observer.notes.empty());
    EXPECT_EQ(list.Count(), 32767);
    EXPECT_EQ(list.Text(32766), "file /f32766");
    list.Remove(0);
    EXPECT_FALSE(list.IsFull());
    EXPECT_TRUE(list.Append("file /one-more"));
    EXPECT_EQ(list.Text(32766), "file /one-more");
}

TEST(InputListObserver, IsToldOfEveryChangeAfterItHappens) {
    InputList list;
    test::RecordingObserver observer;
    list.SetObserver(&observer);
    list.Append("file /a");
    list.Append("directory /b");
    list.Click(1);
    list.SetSelected(0, false);
    list.ScrollToTop(0);
    list.Remove(0);
    list.Clear();
    EXPECT_EQ(observer.notes,
              (Notes{"added 0 file /a", "added 1 directory /b", "current 1", "deselected 1",
                     "deselected 0", "scroll 0", "removed 0", "current 0", "cleared"}));
}

TEST(InputListObserver, HearsNothingWhenNothingChanges) {
    InputList list = ListOf({"file /a"});
    test::RecordingObserver observer;
    list.SetObserver(&observer);
    list.SetSelected(0, true);
    list.SetCurrent(InputList::kNoEntry);
    list.SetCurrent(0);
    list.SetCurrent(0);
    EXPECT_EQ(observer.notes, (Notes{"current 0"}));
}

TEST(InputListObserver, RemovingTheCurrentEntryLeavesNone) {
    InputList list = ListOf({"file /a", "file /b"});
    list.SetCurrent(1);
    test::RecordingObserver observer;
    list.SetObserver(&observer);
    list.Remove(1);
    EXPECT_EQ(observer.notes, (Notes{"removed 1", "current -1"}));
}

}  // namespace
}  // namespace korbelt
