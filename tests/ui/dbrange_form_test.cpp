#include <gtest/gtest.h>

#include "FakeHost.h"
#include "ui/DBRangeForm.h"

namespace korbelt {
namespace {

using test::ScriptedBoxes;
using Kind = ScriptedBoxes::Kind;

int IndexOf(const std::vector<std::string>& entries, const std::string& text) {
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i] == text) {
            return static_cast<int>(i);
        }
    }
    ADD_FAILURE() << text << " is not in the list";
    return -1;
}

class DBRangeFormTest : public ::testing::Test {
  protected:
    std::string StartText() const { return DBRangeForm::StartEntries()[form.StartIndex()]; }
    std::string EndText() const { return DBRangeForm::EndEntries()[form.EndIndex()]; }
    void Pick(const std::string& start, const std::string& end) {
        form.SelectStart(IndexOf(DBRangeForm::StartEntries(), start));
        form.SelectEnd(IndexOf(DBRangeForm::EndEntries(), end));
    }
    void InForce(std::int16_t start, std::int16_t end) {
        globals.rangestart = start;
        globals.rangeend = end;
    }

    ModGlobals globals;
    ScriptedBoxes boxes;
    DBRangeForm form{globals, boxes};
};

TEST(DBRangeFormLists, HoldTheFixedEntriesInOrder) {
    EXPECT_EQ(DBRangeForm::StartEntries(),
              (std::vector<std::string>{"35", "36", "37", "38", "39", "40", "41", "42", "43"}));
    EXPECT_EQ(DBRangeForm::EndEntries(),
              (std::vector<std::string>{"39", "40", "41", "42", "43", "44", "45", "46", "47", "48",
                                        "49"}));
    EXPECT_EQ(DBRangeForm::StartEntries()[DBRangeForm::kDefaultStartIndex], "39");
    EXPECT_EQ(DBRangeForm::EndEntries()[DBRangeForm::kDefaultEndIndex], "45");
}

TEST(DBRangeFormLists, CurrentRangeTextNamesBothEnds) {
    EXPECT_EQ(DBRangeForm::CurrentRangeText(39, 45),
              "Current search range for Duplicate Bytes is 39 to 45");
    EXPECT_EQ(DBRangeForm::CurrentRangeText(7, 120),
              "Current search range for Duplicate Bytes is 7 to 120");
}

TEST_F(DBRangeFormTest, NumbersMissingFromTheListsShowTheDefaultEntriesButTheTrueLabel) {
    InForce(30, 50);
    form.Form_Load();
    EXPECT_EQ(StartText(), "39");
    EXPECT_EQ(EndText(), "45");
    EXPECT_EQ(form.CurrentRange(), "Current search range for Duplicate Bytes is 30 to 50");
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(DBRangeFormTest, LoadingAgainForgetsEarlierPicks) {
    InForce(40, 46);
    form.Form_Load();
    Pick("36", "48");
    form.Form_Load();
    EXPECT_EQ(StartText(), "40");
    EXPECT_EQ(EndText(), "46");
}

TEST_F(DBRangeFormTest, PicksOutsideTheListsAreIgnored) {
    form.Form_Load();
    Pick("41", "47");
    form.SelectStart(-1);
    form.SelectStart(9);
    form.SelectEnd(-1);
    form.SelectEnd(11);
    EXPECT_EQ(StartText(), "41");
    EXPECT_EQ(EndText(), "47");
}

TEST_F(DBRangeFormTest, EveryPairIsValidExactlyWhenTheEndLiesAboveTheStart) {
    form.Form_Load();
    for (const auto& start : DBRangeForm::StartEntries()) {
        for (const auto& end : DBRangeForm::EndEntries()) {
            boxes.shown.clear();
            Pick(start, end);
            const bool valid = form.IsDBRangeValid();
            const int s = std::stoi(start);
            const int e = std::stoi(end);
            EXPECT_EQ(valid, e > s) << start << " to " << end;
            if (e > s) {
                EXPECT_TRUE(boxes.shown.empty()) << start << " to " << end;
            } else {
                ASSERT_EQ(boxes.shown.size(), 1u) << start << " to " << end;
                EXPECT_EQ(boxes.shown[0].kind, Kind::Warning);
                EXPECT_EQ(boxes.shown[0].text, e < s ? "Range End must be larger than Range Start"
                                                     : "The range must be at least 2 bytes long");
            }
        }
    }
    EXPECT_EQ(globals.rangestart, ModGlobals::kUnset) << "validation puts nothing in force";
    EXPECT_EQ(globals.rangeend, ModGlobals::kUnset);
}

TEST_F(DBRangeFormTest, SavingAnyOtherPairStoresBothNumbers) {
    form.Form_Load();
    Pick("39", "46");
    form.SaveDBRange();
    EXPECT_EQ(globals.rangestart, 39);
    EXPECT_EQ(globals.rangeend, 46);
    Pick("38", "45");
    form.SaveDBRange();
    EXPECT_EQ(globals.rangestart, 38);
    EXPECT_EQ(globals.rangeend, 45);
}

TEST_F(DBRangeFormTest, ApplyOfAnInvalidPairChangesNothing) {
    InForce(40, 45);
    form.Form_Load();
    Pick("43", "39");
    form.cmdApply_Click();
    EXPECT_EQ(boxes.Texts(Kind::Warning),
              std::vector<std::string>{"Range End must be larger than Range Start"});
    EXPECT_EQ(globals.rangestart, 40);
    EXPECT_EQ(globals.rangeend, 45);
    EXPECT_EQ(StartText(), "43");
    EXPECT_EQ(EndText(), "39");
    EXPECT_EQ(form.CurrentRange(), "Current search range for Duplicate Bytes is 40 to 45");
}

TEST_F(DBRangeFormTest, DefaultsResetsTheListsOnlyAndLabelsTheRangeInForce) {
    InForce(40, 45);
    form.Form_Load();
    Pick("36", "48");
    form.cmdDefaults_Click();
    EXPECT_EQ(StartText(), "39");
    EXPECT_EQ(EndText(), "45");
    EXPECT_EQ(form.DlgStart(), -1);
    EXPECT_EQ(form.DlgEnd(), -1);
    EXPECT_EQ(form.CurrentRange(), "Current search range for Duplicate Bytes is 40 to 45");
    EXPECT_EQ(globals.rangestart, 40);
    EXPECT_EQ(globals.rangeend, 45);
}

}  // namespace
}  // namespace korbelt
