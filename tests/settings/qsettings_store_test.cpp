#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QSettings>
#include <QString>
#include <string>
#include <vector>

#include "TempDir.h"
#include "settings/Options.h"
#include "settings/QSettingsStore.h"
#include "settings/SettingsText.h"

namespace korbelt {
namespace {

using test::Bytes;
using test::TempDir;

const std::string kTruncating =
    "Truncating file if a Mime Wrapper is found within 10 bytes of the End of File.";
const std::string kIgnoring = "Ignoring HJSplit files which are an exact multiple of 1K in size.";
const std::string kDefaultRangeText =
    "Searching for Duplicate Bytes in chars 39-45 relative to the first char in 0Dh,0Ah,2Dh";

std::string ReadText(const std::string& path) {
    const Bytes bytes = test::ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

void WriteText(const std::string& path, const std::string& text) {
    test::WriteBytes(path, Bytes(text.begin(), text.end()));
}

// One run of the program as far as the options go: what the main window holds.
struct Session {
    ModGlobals globals;
    OptionMarks marks;
    Options options{globals, marks};

    void StartUp(SettingsStore& store) {
        options.RestoreMySettings(store);
        options.CheckRangeAtStartup();
    }
    void Exit(SettingsStore& store) { options.SaveMySettings(store); }
};

// The INI text of a store as an earlier run left it; nullptr leaves a key out.
std::string OptionsIni(const char* start, const char* end, const char* truncate, const char* ignore,
                       const char* marker) {
    std::string text = "[Options]\n";
    const std::pair<const char*, const char*> keys[] = {{"DBRangeStart", start},
                                                        {"DBRangeEnd", end},
                                                        {"TruncateMime", truncate},
                                                        {"IgnoreHJSplit", ignore},
                                                        {"LastVersionRun", marker}};
    for (const auto& [key, value] : keys) {
        if (value != nullptr) {
            text += std::string(key) + "=" + value + "\n";
        }
    }
    return text;
}

class QSettingsStoreTest : public ::testing::Test {
  protected:
    TempDir dir;
    std::string path = dir.File("Korbelt.conf");
    QSettingsStore store{path};
    Session session;

    // A file of its own for each case of a loop: QSettings keeps what it read of a file and
    // looks again only when the file's size or time stamp changed, so a same-sized rewrite
    // within one tick of the clock would go unseen.
    std::string FileWith(const std::string& ini) {
        const std::string file = dir.File("case" + std::to_string(++cases_) + ".conf");
        WriteText(file, ini);
        return file;
    }
    void StartUpFrom(const std::string& ini) {
        WriteText(path, ini);
        session.StartUp(store);
    }
    void ExpectDefaults() {
        EXPECT_EQ(session.globals.rangestart, -1);
        EXPECT_EQ(session.globals.rangeend, -1);
        EXPECT_EQ(session.globals.lastversion, 102);
        EXPECT_FALSE(session.marks.TruncateChecked());
        EXPECT_FALSE(session.marks.IgnoreHJSplitChecked());
        EXPECT_EQ(session.marks.OptionsText(), "");
    }

  private:
    int cases_ = 0;
};

// The store itself

TEST_F(QSettingsStoreTest, AbsentFileKeyOrSectionGivesTheDefault) {
    EXPECT_EQ(store.Read("Korbelt", "Options", "DBRangeStart", "-1"), "-1");
    EXPECT_FALSE(test::Exists(path));  // reading creates nothing

    WriteText(path, "[Other]\nDBRangeStart=40\n[Options]\nDBRangeEnd=44\n");
    EXPECT_EQ(store.Read("Korbelt", "Options", "DBRangeStart", "-1"), "-1");
    EXPECT_EQ(store.Read("Korbelt", "Options", "DBRangeEnd", "-1"), "44");
    EXPECT_EQ(store.Read("Korbelt", "Missing", "DBRangeEnd", "x"), "x");
}

TEST_F(QSettingsStoreTest, WriteReachesTheDiskAtOnce) {
    store.Write("Korbelt", "Options", "TruncateMime", "Yes");
    EXPECT_EQ(ReadText(path), "[Options]\nTruncateMime=Yes\n");

    store.Write("Korbelt", "Options", "TruncateMime", "No");
    EXPECT_EQ(ReadText(path), "[Options]\nTruncateMime=No\n");
    EXPECT_EQ(store.Read("Korbelt", "Options", "TruncateMime", "?"), "No");
}

TEST_F(QSettingsStoreTest, WriteKeepsWhatElseTheFileHolds) {
    WriteText(path, "[Other]\nColour=blue\n[Options]\nDBRangeEnd=44\n");
    store.Write("Korbelt", "Options", "DBRangeStart", "40");
    EXPECT_EQ(ReadText(path),
              "[Options]\nDBRangeEnd=44\nDBRangeStart=40\n\n[Other]\nColour=blue\n");
}

TEST_F(QSettingsStoreTest, TextComesBackAsWritten) {
    for (const std::string text : {"-1", "0", "Yes", "a b", " padded ", "1, 2", "@at", "x=y",
                                   "semi;colon", "back\\slash", "\"quoted\"", "caf\xc3\xa9"}) {
        store.Write("Korbelt", "Options", "Key", text);
        QSettingsStore another(path);
        EXPECT_EQ(another.Read("Korbelt", "Options", "Key", "?"), text);
    }
}

TEST_F(QSettingsStoreTest, ValuesThatAreNoSingleTextReadAsEmpty) {
    WriteText(path, "[Options]\nList=1, 2\nBroken=@Variant(\\0\\0\\0\\x7fzz)\nGone=@Invalid()\n");
    EXPECT_EQ(store.Read("Korbelt", "Options", "List", "d"), "");
    const std::string broken = store.Read("Korbelt", "Options", "Broken", "d");
    EXPECT_FALSE(ParseDecimal16(broken)) << broken;
    EXPECT_EQ(store.Read("Korbelt", "Options", "Gone", "d"), "d");
}

TEST_F(QSettingsStoreTest, AFileThatIsADirectoryReadsAsEmptyAndTakesNoHarmFromWrites) {
    ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
    session.StartUp(store);
    ExpectDefaults();
    session.Exit(store);  // cannot be written; must not crash
    EXPECT_TRUE(test::ListDirectory(path).empty());
}

// A FIFO would make reading wait for a writer for ever, before the window even shows.
TEST_F(QSettingsStoreTest, AFifoInPlaceOfTheFileIsNeitherReadNorWritten) {
    ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
    session.StartUp(store);
    ExpectDefaults();
    session.Exit(store);
    struct stat info {};
    ASSERT_EQ(lstat(path.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

TEST(QSettingsStoreNative, LivesInTheUsersConfigDirectoryUnderKorbelt) {
    TempDir config;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString(config.Path()));
    QSettingsStore store;
    Session session;
    session.StartUp(store);
    session.Exit(store);

    const std::string file = config.File("Korbelt/Korbelt.conf");
    EXPECT_EQ(ReadText(file),
              "[Options]\nDBRangeEnd=-1\nDBRangeStart=-1\nIgnoreHJSplit=No\nLastVersionRun=131\n"
              "LeaveUnpatterned=No\nTruncateMime=No\nVerifyChecksums=Yes\n");
    EXPECT_EQ(test::ListDirectory(config.File("Korbelt")),
              std::vector<std::string>{"Korbelt.conf"});

    // Another application name gets a file of its own beside it.
    store.Write("Other", "Options", "DBRangeStart", "40");
    EXPECT_EQ(ReadText(config.File("Korbelt/Other.conf")), "[Options]\nDBRangeStart=40\n");
    EXPECT_EQ(store.Read("Korbelt", "Options", "DBRangeStart", "?"), "-1");
}

// The edge cases of a real store, from start-up to File, Exit

TEST_F(QSettingsStoreTest, EmptyStoreStartsWithDefaultsAndExitWritesThemAll) {
    session.StartUp(store);
    ExpectDefaults();
    EXPECT_EQ(session.globals.GetDBRangeStart(), 39);
    EXPECT_EQ(session.globals.GetDBRangeEnd(), 45);
    EXPECT_EQ(session.options.SearchRangeText(), kDefaultRangeText);

    session.Exit(store);
    EXPECT_EQ(ReadText(path),
              "[Options]\nDBRangeEnd=-1\nDBRangeStart=-1\nIgnoreHJSplit=No\nLastVersionRun=131\n"
              "LeaveUnpatterned=No\nTruncateMime=No\nVerifyChecksums=Yes\n");
}

TEST_F(QSettingsStoreTest, TruncateInAnyCaseIsCheckedAndWrittenBackAsYes) {
    for (const char* stored : {"YES", "yes"}) {
        const std::string file = FileWith(OptionsIni("40", "44", stored, "No", "131"));
        QSettingsStore caseStore(file);
        Session run;
        run.StartUp(caseStore);
        EXPECT_TRUE(run.marks.TruncateChecked()) << stored;
        EXPECT_EQ(run.marks.OptionsText(), kTruncating);
        run.Exit(caseStore);
        EXPECT_EQ(ReadText(file),
                  "[Options]\nDBRangeEnd=44\nDBRangeStart=40\nIgnoreHJSplit=No\n"
                  "LastVersionRun=131\nLeaveUnpatterned=No\nTruncateMime=Yes\n"
                  "VerifyChecksums=Yes\n")
            << stored;
    }
}

TEST_F(QSettingsStoreTest, OldDefaultRangeWithoutMarkerComesUpUnset) {
    StartUpFrom(OptionsIni("39", "42", nullptr, nullptr, nullptr));
    EXPECT_EQ(session.globals.rangestart, -1);
    EXPECT_EQ(session.globals.rangeend, -1);
    EXPECT_EQ(session.options.SearchRangeText(), kDefaultRangeText);
    session.Exit(store);
    EXPECT_EQ(ReadText(path),
              "[Options]\nDBRangeEnd=-1\nDBRangeStart=-1\nIgnoreHJSplit=No\nLastVersionRun=131\n"
              "LeaveUnpatterned=No\nTruncateMime=No\nVerifyChecksums=Yes\n");
}

TEST_F(QSettingsStoreTest, OldDefaultRangeWithMarker131StaysChosen) {
    StartUpFrom(OptionsIni("39", "42", nullptr, nullptr, "131"));
    EXPECT_EQ(session.globals.rangestart, 39);
    EXPECT_EQ(session.globals.rangeend, 42);
    EXPECT_EQ(session.options.SearchRangeText(),
              "Searching for Duplicate Bytes in chars 39-42 relative to the first char in "
              "0Dh,0Ah,2Dh");
}

TEST_F(QSettingsStoreTest, RangeNotEndingPastItsStartComesUpUnset) {
    for (const auto& [start, end] :
         {std::pair{"45", "45"}, std::pair{"45", "40"}, std::pair{"40", "-1"}}) {
        QSettingsStore caseStore(FileWith(OptionsIni(start, end, nullptr, nullptr, "131")));
        Session run;
        run.StartUp(caseStore);
        EXPECT_EQ(run.globals.rangestart, -1) << start << " to " << end;
        EXPECT_EQ(run.globals.rangeend, -1) << start << " to " << end;
        EXPECT_EQ(run.options.SearchRangeText(), kDefaultRangeText) << start << " to " << end;
    }
}

TEST_F(QSettingsStoreTest, UnsetStartWithEnd50StaysAsStored) {
    StartUpFrom(OptionsIni("-1", "50", nullptr, nullptr, "131"));
    EXPECT_EQ(session.globals.rangestart, -1);
    EXPECT_EQ(session.globals.rangeend, 50);
    EXPECT_EQ(session.globals.GetDBRangeStart(), 39);
    EXPECT_EQ(session.globals.GetDBRangeEnd(), 50);
    session.Exit(store);
    EXPECT_EQ(store.Read("Korbelt", "Options", "DBRangeStart", "?"), "-1");
    EXPECT_EQ(store.Read("Korbelt", "Options", "DBRangeEnd", "?"), "50");
}

TEST_F(QSettingsStoreTest, MarkerAbove131IsWrittenBackUnchanged) {
    StartUpFrom(OptionsIni(nullptr, nullptr, nullptr, nullptr, "140"));
    session.Exit(store);
    EXPECT_EQ(ReadText(path),
              "[Options]\nDBRangeEnd=-1\nDBRangeStart=-1\nIgnoreHJSplit=No\nLastVersionRun=140\n"
              "LeaveUnpatterned=No\nTruncateMime=No\nVerifyChecksums=Yes\n");
}

TEST_F(QSettingsStoreTest, ClosingWithoutFileExitLeavesTheStoreUntouched) {
    const std::string before = OptionsIni("40", "44", "No", "Yes", "131");
    StartUpFrom(before);
    session.options.mnuOptionsTruncate_Click();
    session.options.mnuOptionsIgnoreHJS_Click();
    session.globals.rangestart = 35;  // as the range dialog would
    EXPECT_TRUE(session.marks.TruncateChecked());
    EXPECT_EQ(ReadText(path), before);

    Session next;  // the next run sees the old values
    next.StartUp(store);
    EXPECT_FALSE(next.marks.TruncateChecked());
    EXPECT_TRUE(next.marks.IgnoreHJSplitChecked());
    EXPECT_EQ(next.globals.rangestart, 40);
}

TEST_F(QSettingsStoreTest, StartUpOnAnEmptyStoreCreatesNoFile) {
    session.StartUp(store);
    session.options.mnuOptionsTruncate_Click();
    EXPECT_FALSE(test::Exists(path));
}

TEST_F(QSettingsStoreTest, BothOnThenTruncateOffShowsTheHJSplitSentenceAlone) {
    StartUpFrom(OptionsIni(nullptr, nullptr, "Yes", "Yes", "131"));
    EXPECT_EQ(session.marks.OptionsText(), kTruncating + "\r\n" + kIgnoring);
    session.options.mnuOptionsTruncate_Click();
    EXPECT_EQ(session.marks.OptionsText(), kIgnoring);
}

TEST_F(QSettingsStoreTest, OptionsChangedInARunAreThereNextTime) {
    session.StartUp(store);
    session.options.mnuOptionsIgnoreHJS_Click();
    session.globals.rangestart = 35;
    session.globals.rangeend = 49;
    session.Exit(store);

    Session next;
    next.StartUp(store);
    EXPECT_EQ(next.globals.rangestart, 35);
    EXPECT_EQ(next.globals.rangeend, 49);
    EXPECT_EQ(next.globals.lastversion, 131);
    EXPECT_FALSE(next.marks.TruncateChecked());
    EXPECT_TRUE(next.marks.IgnoreHJSplitChecked());
    EXPECT_EQ(next.marks.OptionsText(), kIgnoring);
}

// A hand-edited or damaged store

// Values no reader may take for a number or for "yes", as INI text.
const std::vector<std::string>& GarbageValues() {
    static const std::vector<std::string> values = {
        "",
        "abc",
        "12x",
        "\" 5\"",
        "99999",
        "-40000",
        "1e3",
        "0x27",
        "39.0",
        "1, 2",
        "+",
        "--1",
        "Yes,",
        "@Invalid()",
        "@Variant(\\0\\x1)",
        "@ByteArray(abc)",
        "\\x1\\x2",
        "\xff\xfe\x80\x01junk",
    };
    return values;
}

TEST_F(QSettingsStoreTest, AnUnusableValueInAnyKeyReadsAsItsDefault) {
    for (const std::string& garbage : GarbageValues()) {
        const char* g = garbage.c_str();
        const struct {
            std::string ini;
            std::int16_t start, end, marker;
            bool truncate, ignore;
        } cases[] = {
            {OptionsIni(g, "44", "Yes", "Yes", "131"), -1, 44, 131, true, true},
            {OptionsIni("40", g, "Yes", "Yes", "131"), 40, -1, 131, true, true},
            {OptionsIni("40", "44", g, "Yes", "131"), 40, 44, 131, false, true},
            {OptionsIni("40", "44", "Yes", g, "131"), 40, 44, 131, true, false},
            {OptionsIni("40", "44", "Yes", "Yes", g), 40, 44, 102, true, true},
        };
        for (const auto& c : cases) {
            QSettingsStore caseStore(FileWith(c.ini));
            Session run;
            run.options.RestoreMySettings(caseStore);
            EXPECT_EQ(run.globals.rangestart, c.start) << c.ini;
            EXPECT_EQ(run.globals.rangeend, c.end) << c.ini;
            EXPECT_EQ(run.globals.lastversion, c.marker) << c.ini;
            EXPECT_EQ(run.marks.TruncateChecked(), c.truncate) << c.ini;
            EXPECT_EQ(run.marks.IgnoreHJSplitChecked(), c.ignore) << c.ini;
        }
    }
}

TEST_F(QSettingsStoreTest, RandomBytesInEveryValueReadAsDefaults) {
    for (std::uint32_t seed = 1; seed <= 40; ++seed) {
        std::string ini = "[Options]\n";
        for (const char* key :
             {"DBRangeStart", "DBRangeEnd", "TruncateMime", "IgnoreHJSplit", "LastVersionRun"}) {
            Bytes junk = test::RandomBytes(5 + seed % 23, seed * 31 + ini.size());
            for (auto& byte : junk) {
                if (byte == '\r' || byte == '\n') {
                    byte = 'x';  // one line per value
                }
            }
            ini += std::string(key) + "=" + std::string(junk.begin(), junk.end()) + "\n";
        }
        QSettingsStore caseStore(FileWith(ini));
        Session run;
        run.StartUp(caseStore);
        EXPECT_EQ(run.globals.rangestart, -1) << "seed " << seed;
        EXPECT_EQ(run.globals.rangeend, -1) << "seed " << seed;
        EXPECT_EQ(run.globals.lastversion, 102) << "seed " << seed;
        EXPECT_FALSE(run.marks.TruncateChecked()) << "seed " << seed;
        EXPECT_FALSE(run.marks.IgnoreHJSplitChecked()) << "seed " << seed;
    }
}

TEST_F(QSettingsStoreTest, AFileOfRandomBytesStartsWithDefaultsAndIsRepairedByFileExit) {
    for (std::uint32_t seed = 1; seed <= 30; ++seed) {
        const std::string file = dir.File("random" + std::to_string(seed) + ".conf");
        test::WriteBytes(file, test::RandomBytes(1 + (seed * 997) % 6000, seed));
        QSettingsStore damaged(file);
        Session run;
        run.StartUp(damaged);
        EXPECT_EQ(run.globals.rangestart, -1) << "seed " << seed;
        EXPECT_EQ(run.globals.rangeend, -1) << "seed " << seed;
        EXPECT_EQ(run.globals.lastversion, 102) << "seed " << seed;
        EXPECT_FALSE(run.marks.TruncateChecked()) << "seed " << seed;
        EXPECT_FALSE(run.marks.IgnoreHJSplitChecked()) << "seed " << seed;
        EXPECT_EQ(run.marks.OptionsText(), "") << "seed " << seed;

        run.options.mnuOptionsTruncate_Click();
        run.Exit(damaged);
        Session next;
        next.StartUp(damaged);
        EXPECT_EQ(next.globals.lastversion, 131) << "seed " << seed;
        EXPECT_TRUE(next.marks.TruncateChecked()) << "seed " << seed;
        EXPECT_EQ(damaged.Read("Korbelt", "Options", "DBRangeStart", "?"), "-1") << "seed " << seed;
    }
}

}  // namespace
}  // namespace korbelt
