#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "settings/SettingsText.h"

namespace korbelt {
namespace {

TEST(ParseDecimal16, TakesPlainAndSignedWholeNumbers) {
    EXPECT_EQ(ParseDecimal16("39"), std::optional<std::int16_t>(39));
    EXPECT_EQ(ParseDecimal16("-1"), std::optional<std::int16_t>(-1));
    EXPECT_EQ(ParseDecimal16("0"), std::optional<std::int16_t>(0));
    EXPECT_EQ(ParseDecimal16("-0"), std::optional<std::int16_t>(0));
    EXPECT_EQ(ParseDecimal16("+5"), std::optional<std::int16_t>(5));
    EXPECT_EQ(ParseDecimal16("131"), std::optional<std::int16_t>(131));
    EXPECT_EQ(ParseDecimal16("007"), std::optional<std::int16_t>(7));
    EXPECT_EQ(ParseDecimal16("00000000000000000000045"), std::optional<std::int16_t>(45));
}

TEST(ParseDecimal16, TakesBothEndsOfThe16BitRange) {
    EXPECT_EQ(ParseDecimal16("32767"), std::optional<std::int16_t>(32767));
    EXPECT_EQ(ParseDecimal16("-32768"), std::optional<std::int16_t>(-32768));
    EXPECT_EQ(ParseDecimal16("+32767"), std::optional<std::int16_t>(32767));
}

TEST(ParseDecimal16, RejectsNumbersOutsideThe16BitRange) {
    EXPECT_FALSE(ParseDecimal16("32768"));
    EXPECT_FALSE(ParseDecimal16("+32768"));
    EXPECT_FALSE(ParseDecimal16("-32769"));
    EXPECT_FALSE(ParseDecimal16("99999"));
    EXPECT_FALSE(ParseDecimal16("-40000"));
    EXPECT_FALSE(ParseDecimal16("65535"));
    EXPECT_FALSE(ParseDecimal16("65575"));  // wraps to 39 in 16 bits
    EXPECT_FALSE(ParseDecimal16("4294967335"));
    EXPECT_FALSE(ParseDecimal16("99999999999999999999999999999999999999"));
}

TEST(ParseDecimal16, RejectsEverythingButSignAndDigits) {
    for (const std::string text : {"",     "-",   "+",     "--1", "+-1",     "-+1", "abc", "12x",
                                   "x12",  " 5",  "5 ",    "\t5", "5\n",     "1e3", "1.0", "1,000",
                                   "0x10", "3 9", "forty", "Yes", "\xd9\xa3" /* Arabic three */}) {
        EXPECT_FALSE(ParseDecimal16(text)) << "text: \"" << text << "\"";
    }
    EXPECT_FALSE(
        ParseDecimal16(std::string("4\0"
                                   "5",
                                   3)));
    EXPECT_FALSE(ParseDecimal16(std::string("\0", 1)));
}

TEST(DecimalText, IsThePlainNumber) {
    EXPECT_EQ(DecimalText(-1), "-1");
    EXPECT_EQ(DecimalText(39), "39");
    EXPECT_EQ(DecimalText(0), "0");
    EXPECT_EQ(DecimalText(131), "131");
    EXPECT_EQ(DecimalText(-32768), "-32768");
    EXPECT_EQ(DecimalText(32767), "32767");
}

TEST(DecimalText, ReadsBackAsTheSameNumber) {
    for (int value = -32768; value <= 32767; value += 97) {
        const auto number = static_cast<std::int16_t>(value);
        EXPECT_EQ(ParseDecimal16(DecimalText(number)), std::optional<std::int16_t>(number));
    }
}

TEST(IsYes, IsYesInAnyLetterCase) {
    for (const char* text : {"yes", "Yes", "YES", "yEs", "yeS", "YeS"}) {
        EXPECT_TRUE(IsYes(text)) << text;
    }
}

TEST(IsYes, AnythingElseIsNo) {
    for (const char* text : {"No", "no", "", "True", "true", "1", "-1", "y", "ye", "yess", " yes",
                             "yes ", "yes\r", "Y E S", "on",
                             "\xc3\xbd"
                             "es" /* y with acute */}) {
        EXPECT_FALSE(IsYes(text)) << "text: \"" << text << "\"";
    }
    EXPECT_FALSE(IsYes(std::string("yes\0", 4)));
}

TEST(YesNoText, IsYesOrNo) {
    EXPECT_EQ(YesNoText(true), "Yes");
    EXPECT_EQ(YesNoText(false), "No");
}

}  // namespace
}  // namespace korbelt
