#include <clocale>

#include <gtest/gtest.h>

#include "engine/report/NumberFormat.h"

namespace korbelt {
namespace {

TEST(NumberFormat, PlainAlwaysHasAtLeastOneDigit) {
    EXPECT_EQ(NumberFormat::Plain(0), "0");
    EXPECT_EQ(NumberFormat::Plain(1234567), "1234567");
}

TEST(NumberFormat, GroupedInThreesAndZeroIsEmpty) {
    const NumberFormat format(",");
    EXPECT_EQ(format.Grouped(0), "");
    EXPECT_EQ(format.Grouped(7), "7");
    EXPECT_EQ(format.Grouped(999), "999");
    EXPECT_EQ(format.Grouped(1000), "1,000");
    EXPECT_EQ(format.Grouped(1234567), "1,234,567");
    EXPECT_EQ(format.Grouped(2500000001), "2,500,000,001");
    EXPECT_EQ(NumberFormat(".").Grouped(123456), "123.456");
}

TEST(NumberFormat, ThreeDigitsWithLeadingZeros) {
    EXPECT_EQ(NumberFormat::ThreeDigits(13), "013");
    EXPECT_EQ(NumberFormat::ThreeDigits(0), "000");
    EXPECT_EQ(NumberFormat::ThreeDigits(255), "255");
}

TEST(NumberFormat, CLocaleHasNoSeparatorSoACommaIsUsed) {
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(NumberFormat::LocaleThousandsSeparator(), ",");
}

}  // namespace
}  // namespace korbelt
