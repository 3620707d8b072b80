#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SettingsFakes.h"
#include "settings/Options.h"

namespace korbelt {
namespace {

using test::RecordingDisplay;
using test::RecordingStore;

const std::string kTruncating =
    "Truncating file if a Mime Wrapper is found within 10 bytes of the End of File.";
const std::string kIgnoring = "Ignoring HJSplit files which are an exact multiple of 1K in size.";

class OptionsTest : public ::testing::Test {
  protected:
    ModGlobals globals;
    RecordingDisplay display;
    RecordingStore store;
    Options options{globals, display};

    void SetRange(std::int16_t start, std::int16_t end) {
        globals.rangestart = start;
        globals.rangeend = end;
    }
};

// Restoring

TEST_F(OptionsTest, RestoreReadsTheSevenKeysInOrderWithTheirDefaults) {
    options.RestoreMySettings(store);

    const std::vector<RecordingStore::Access> expected = {
        {"Korbelt", "Options", "DBRangeStart", "-1"},
        {"Korbelt", "Options", "DBRangeEnd", "-1"},
        {"Korbelt", "Options", "TruncateMime", "No"},
        {"Korbelt", "Options", "IgnoreHJSplit", "No"},
        {"Korbelt", "Options", "VerifyChecksums", "Yes"},
        {"Korbelt", "Options", "LeaveUnpatterned", "No"},
        {"Korbelt", "Options", "LastVersionRun", "102"},
    };
    EXPECT_EQ(store.reads, expected);
    EXPECT_TRUE(store.writes.empty());
}

TEST_F(OptionsTest, RestoreFromAnEmptyStoreGivesTheDefaults) {
    globals.lastversion = 7;
    display.SetTruncateChecked(true);
    display.SetIgnoreHJSplitChecked(true);
    display.SetOptionsText("stale");

    options.RestoreMySettings(store);

    EXPECT_EQ(globals.rangestart, -1);
    EXPECT_EQ(globals.rangeend, -1);
    EXPECT_EQ(globals.GetDBRangeStart(), 39);
    EXPECT_EQ(globals.GetDBRangeEnd(), 45);
    EXPECT_EQ(globals.lastversion, 102);
    EXPECT_FALSE(display.TruncateChecked());
    EXPECT_FALSE(display.IgnoreHJSplitChecked());
    EXPECT_EQ(display.OptionsText(), "");
}

TEST_F(OptionsTest, RestoreTakesTheStoredValues) {
    store.Put("DBRangeStart", "40");
    store.Put("DBRangeEnd", "44");
    store.Put("TruncateMime", "Yes");
    store.Put("IgnoreHJSplit", "yes");
    store.Put("LastVersionRun", "131");

    options.RestoreMySettings(store);

    EXPECT_EQ(globals.rangestart, 40);
    EXPECT_EQ(globals.rangeend, 44);
    EXPECT_EQ(globals.lastversion, 131);
    EXPECT_TRUE(display.TruncateChecked());
    EXPECT_TRUE(display.IgnoreHJSplitChecked());
    EXPECT_EQ(display.OptionsText(), kTruncating + "\r\n" + kIgnoring);
}

TEST_F(OptionsTest, RestoreChecksAnOptionOnlyForYesInAnyLetterCase) {
    const struct {
        const char* text;
        bool checked;
    } cases[] = {{"YES", true},   {"yes", true}, {"yEs", true}, {"No", false},
                 {"True", false}, {"1", false},  {"", false},   {"-1", false},
                 {"yes ", false}, {"Y", false},  {"oui", false}};
    for (const auto& c : cases) {
        RecordingStore fresh;
        fresh.Put("TruncateMime", c.text);
        fresh.Put("IgnoreHJSplit", c.text);
        options.RestoreMySettings(fresh);
        EXPECT_EQ(display.TruncateChecked(), c.checked) << "text: \"" << c.text << "\"";
        EXPECT_EQ(display.IgnoreHJSplitChecked(), c.checked) << "text: \"" << c.text << "\"";
    }
}

TEST_F(OptionsTest, RestoreMovesTheOldDefaultRangeToUnsetBeforeVersion131) {
    const struct {
        const char* start;
        const char* end;
        const char* marker;  // nullptr: no marker stored
        std::int16_t wantStart;
        std::int16_t wantEnd;
    } cases[] = {
        {"39", "42", nullptr, -1, -1}, {"39", "42", "102", -1, -1},   {"39", "42", "130", -1, -1},
        {"39", "42", "-5", -1, -1},    {"39", "42", "abc", -1, -1},   {"39", "42", "131", 39, 42},
        {"39", "42", "140", 39, 42},   {"39", "43", nullptr, 39, 43}, {"38", "42", nullptr, 38, 42},
        {"40", "42", "102", 40, 42},
    };
    for (const auto& c : cases) {
        RecordingStore fresh;
        fresh.Put("DBRangeStart", c.start);
        fresh.Put("DBRangeEnd", c.end);
        if (c.marker != nullptr) {
            fresh.Put("LastVersionRun", c.marker);
        }
        options.RestoreMySettings(fresh);
        const std::string label = std::string(c.start) + "-" + c.end + " marker " +
                                  (c.marker != nullptr ? c.marker : "(none)");
        EXPECT_EQ(globals.rangestart, c.wantStart) << label;
        EXPECT_EQ(globals.rangeend, c.wantEnd) << label;
    }
}

TEST_F(OptionsTest, RestoreTakesUnusableNumbersForTheirDefaults) {
    for (const char* garbage : {"", "abc", "12x", " 5", "5 ", "99999", "-40000", "32768", "1e3",
                                "0x27", "39.0", "+", "-", "\x01\xff\xfe"}) {
        RecordingStore fresh;
        fresh.Put("DBRangeStart", garbage);
        fresh.Put("DBRangeEnd", garbage);
        fresh.Put("LastVersionRun", garbage);
        globals = ModGlobals{};
        globals.rangestart = 11;
        globals.rangeend = 12;
        options.RestoreMySettings(fresh);
        EXPECT_EQ(globals.rangestart, -1) << "text: \"" << garbage << "\"";
        EXPECT_EQ(globals.rangeend, -1) << "text: \"" << garbage << "\"";
        EXPECT_EQ(globals.lastversion, 102) << "text: \"" << garbage << "\"";
    }
}

TEST_F(OptionsTest, RestoreReadsEachNumberOnItsOwn) {
    store.Put("DBRangeStart", "forty");
    store.Put("DBRangeEnd", "+47");
    store.Put("LastVersionRun", "0135");
    options.RestoreMySettings(store);
    EXPECT_EQ(globals.rangestart, -1);
    EXPECT_EQ(globals.rangeend, 47);
    EXPECT_EQ(globals.lastversion, 135);
}

TEST_F(OptionsTest, RestoreSetsTheOptionsTextOnce) {
    store.Put("IgnoreHJSplit", "Yes");
    options.RestoreMySettings(store);
    EXPECT_EQ(display.OptionsText(), kIgnoring);
    EXPECT_EQ(display.textSets, 1);
}

// The start-up range check

TEST_F(OptionsTest, StartupCheckUnsetsARangeThatDoesNotEndPastItsStart) {
    const struct {
        std::int16_t start;
        std::int16_t end;
        std::int16_t wantStart;
        std::int16_t wantEnd;
    } cases[] = {
        {45, 45, -1, -1}, {45, 40, -1, -1}, {40, -1, -1, -1}, {-1, -5, -1, -1}, {-1, -1, -1, -1},
        {-1, 50, -1, 50}, {40, 44, 40, 44}, {39, 42, 39, 42}, {-5, -1, -5, -1}, {44, 45, 44, 45},
    };
    for (const auto& c : cases) {
        SetRange(c.start, c.end);
        options.CheckRangeAtStartup();
        EXPECT_EQ(globals.rangestart, c.wantStart) << c.start << " to " << c.end;
        EXPECT_EQ(globals.rangeend, c.wantEnd) << c.start << " to " << c.end;
    }
}

// Saving

TEST_F(OptionsTest, SaveWritesTheSevenKeysInOrder) {
    options.RestoreMySettings(store);
    options.SaveMySettings(store);

    const std::vector<RecordingStore::Access> expected = {
        {"Korbelt", "Options", "DBRangeStart", "-1"},
        {"Korbelt", "Options", "DBRangeEnd", "-1"},
        {"Korbelt", "Options", "TruncateMime", "No"},
        {"Korbelt", "Options", "IgnoreHJSplit", "No"},
        {"Korbelt", "Options", "VerifyChecksums", "Yes"},
        {"Korbelt", "Options", "LeaveUnpatterned", "No"},
        {"Korbelt", "Options", "LastVersionRun", "131"},
    };
    EXPECT_EQ(store.writes, expected);
    EXPECT_EQ(globals.lastversion, 131);
}

TEST_F(OptionsTest, SaveWritesTheRangeAndMarksAsTheyAre) {
    SetRange(35, 49);
    globals.lastversion = 131;
    display.SetTruncateChecked(true);
    options.SaveMySettings(store);
    EXPECT_EQ(store.values.at("Korbelt|Options|DBRangeStart"), "35");
    EXPECT_EQ(store.values.at("Korbelt|Options|DBRangeEnd"), "49");
    EXPECT_EQ(store.values.at("Korbelt|Options|TruncateMime"), "Yes");
    EXPECT_EQ(store.values.at("Korbelt|Options|IgnoreHJSplit"), "No");

    display.SetTruncateChecked(false);
    display.SetIgnoreHJSplitChecked(true);
    SetRange(-1, 50);
    options.SaveMySettings(store);
    EXPECT_EQ(store.values.at("Korbelt|Options|DBRangeStart"), "-1");
    EXPECT_EQ(store.values.at("Korbelt|Options|DBRangeEnd"), "50");
    EXPECT_EQ(store.values.at("Korbelt|Options|TruncateMime"), "No");
    EXPECT_EQ(store.values.at("Korbelt|Options|IgnoreHJSplit"), "Yes");
}

TEST_F(OptionsTest, SaveRaisesTheMarkerTo131ButNeverLowersIt) {
    const struct {
        std::int16_t before;
        const char* written;
    } cases[] = {{102, "131"}, {130, "131"}, {0, "131"},   {-32768, "131"},
                 {131, "131"}, {132, "132"}, {140, "140"}, {32767, "32767"}};
    for (const auto& c : cases) {
        globals.lastversion = c.before;
        options.SaveMySettings(store);
        EXPECT_EQ(store.writes.back().key, "LastVersionRun");
        EXPECT_EQ(store.writes.back().text, c.written) << "marker " << c.before;
        EXPECT_EQ(std::to_string(globals.lastversion), c.written) << "marker " << c.before;
    }
}

// The search-range label

TEST_F(OptionsTest, SearchRangeTextShowsTheRangeInForce) {
    EXPECT_EQ(options.SearchRangeText(),
              "Searching for Duplicate Bytes in chars 39-45 relative to the first char in "
              "0Dh,0Ah,2Dh");
    SetRange(-1, 50);
    EXPECT_EQ(options.SearchRangeText(),
              "Searching for Duplicate Bytes in chars 39-50 relative to the first char in "
              "0Dh,0Ah,2Dh");
    SetRange(35, -1);
    EXPECT_EQ(options.SearchRangeText(),
              "Searching for Duplicate Bytes in chars 35-45 relative to the first char in "
              "0Dh,0Ah,2Dh");
    SetRange(-7, 49);
    EXPECT_EQ(options.SearchRangeText(),
              "Searching for Duplicate Bytes in chars -7-49 relative to the first char in "
              "0Dh,0Ah,2Dh");
}

// The options text

TEST_F(OptionsTest, OptionsTextFollowsTheMarks) {
    const struct {
        bool truncate;
        bool ignore;
        std::string text;
    } cases[] = {
        {false, false, ""},
        {true, false, kTruncating},
        {false, true, kIgnoring},
        {true, true, kTruncating + "\r\n" + kIgnoring},
    };
    for (const auto& c : cases) {
        display.SetTruncateChecked(c.truncate);
        display.SetIgnoreHJSplitChecked(c.ignore);
        options.UpdateOptionsText();
        EXPECT_EQ(display.OptionsText(), c.text) << c.truncate << c.ignore;
    }
}

TEST_F(OptionsTest, OptionsTextIsNotSetAgainWhenUnchanged) {
    options.UpdateOptionsText();
    EXPECT_EQ(display.textSets, 0);  // the label is already empty

    display.SetTruncateChecked(true);
    options.UpdateOptionsText();
    options.UpdateOptionsText();
    EXPECT_EQ(display.textSets, 1);

    display.SetIgnoreHJSplitChecked(true);
    options.UpdateOptionsText();
    options.UpdateOptionsText();
    EXPECT_EQ(display.textSets, 2);

    display.SetOptionsText(kTruncating + "\r\n" + kIgnoring);  // shown by someone else
    const int sets = display.textSets;
    options.UpdateOptionsText();
    EXPECT_EQ(display.textSets, sets);
}

TEST_F(OptionsTest, OptionsTextReplacesAnythingElseTheLabelShows) {
    display.SetOptionsText(kTruncating + "\n" + kIgnoring);  // LF alone is not the text
    display.SetTruncateChecked(true);
    display.SetIgnoreHJSplitChecked(true);
    options.UpdateOptionsText();
    EXPECT_EQ(display.OptionsText(), kTruncating + "\r\n" + kIgnoring);
}

// The option switches

TEST_F(OptionsTest, SwitchesInvertTheirMarkAndUpdateTheText) {
    options.mnuOptionsTruncate_Click();
    EXPECT_TRUE(display.TruncateChecked());
    EXPECT_FALSE(display.IgnoreHJSplitChecked());
    EXPECT_EQ(display.OptionsText(), kTruncating);

    options.mnuOptionsIgnoreHJS_Click();
    EXPECT_TRUE(display.TruncateChecked());
    EXPECT_TRUE(display.IgnoreHJSplitChecked());
    EXPECT_EQ(display.OptionsText(), kTruncating + "\r\n" + kIgnoring);

    options.mnuOptionsIgnoreHJS_Click();
    EXPECT_FALSE(display.IgnoreHJSplitChecked());
    EXPECT_EQ(display.OptionsText(), kTruncating);

    options.mnuOptionsTruncate_Click();
    EXPECT_FALSE(display.TruncateChecked());
    EXPECT_EQ(display.OptionsText(), "");
    EXPECT_EQ(display.textSets, 4);
}

TEST_F(OptionsTest, SwitchesDoNotTouchTheStoreOrTheRange) {
    store.Put("DBRangeStart", "40");
    store.Put("DBRangeEnd", "44");
    store.Put("TruncateMime", "No");
    options.RestoreMySettings(store);
    const auto valuesBefore = store.values;

    options.mnuOptionsTruncate_Click();
    options.mnuOptionsIgnoreHJS_Click();

    EXPECT_TRUE(store.writes.empty());
    EXPECT_EQ(store.values, valuesBefore);
    EXPECT_EQ(globals.rangestart, 40);
    EXPECT_EQ(globals.rangeend, 44);
}

// The in-memory marks

TEST(OptionMarks, StartUncheckedAndEmptyAndKeepWhatIsSet) {
    OptionMarks marks;
    EXPECT_FALSE(marks.TruncateChecked());
    EXPECT_FALSE(marks.IgnoreHJSplitChecked());
    EXPECT_EQ(marks.OptionsText(), "");

    marks.SetTruncateChecked(true);
    EXPECT_TRUE(marks.TruncateChecked());
    EXPECT_FALSE(marks.IgnoreHJSplitChecked());
    marks.SetIgnoreHJSplitChecked(true);
    marks.SetTruncateChecked(false);
    EXPECT_FALSE(marks.TruncateChecked());
    EXPECT_TRUE(marks.IgnoreHJSplitChecked());
    marks.SetOptionsText("a\r\nb");
    EXPECT_EQ(marks.OptionsText(), "a\r\nb");
}

// Verifying with checksum files is on unless the store says No; the options text shows it
// when it is off, after the other two, and its key is kept like theirs.
TEST_F(OptionsTest, VerifyingIsOnByDefaultAndShowsWhenOff) {
    options.RestoreMySettings(store);
    EXPECT_TRUE(display.VerifyChecked());
    EXPECT_EQ(display.OptionsText(), "");
    options.mnuOptionsVerify_Click();
    options.mnuOptionsIgnoreHJS_Click();
    EXPECT_EQ(display.OptionsText(), kIgnoring + "\r\nNot verifying repairs with checksum files.");
    options.SaveMySettings(store);
    EXPECT_EQ(store.values.at("Korbelt|Options|VerifyChecksums"), "No");
    store.Put("VerifyChecksums", "no");
    options.RestoreMySettings(store);
    EXPECT_FALSE(display.VerifyChecked());
}

// Leaving files with no damage pattern alone is off until chosen; chosen, it shows in the
// options text, is stored and reaches the run.
TEST_F(OptionsTest, LeavingUnpatternedFilesIsOffByDefaultAndShowsWhenOn) {
    options.RestoreMySettings(store);
    EXPECT_FALSE(Options::InForce(globals, display).leaveUnpatterned);
    options.mnuOptionsLeaveUnpatterned_Click();
    EXPECT_EQ(display.OptionsText(), "Leaving files with no damage pattern as they are.");
    EXPECT_TRUE(Options::InForce(globals, display).leaveUnpatterned);
    options.SaveMySettings(store);
    EXPECT_EQ(store.values.at("Korbelt|Options|LeaveUnpatterned"), "Yes");
    options.mnuOptionsLeaveUnpatterned_Click();
    store.Put("LeaveUnpatterned", "yES");
    options.RestoreMySettings(store);
    EXPECT_TRUE(display.LeaveUnpatternedChecked());
}

}  // namespace
}  // namespace korbelt
