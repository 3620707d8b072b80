#include <gtest/gtest.h>

#include "engine/scan/HJSplit.h"

namespace korbelt {
namespace {

TEST(IsHJSplitFile, ThreeDigitExtensionsAreHJSplitPieces) {
    EXPECT_TRUE(IsHJSplitFile("/dl/movie.avi.001"));
    EXPECT_TRUE(IsHJSplitFile("/dl/movie.avi.999"));
    EXPECT_TRUE(IsHJSplitFile("archive.123"));
    EXPECT_TRUE(IsHJSplitFile(".123"));
}

TEST(IsHJSplitFile, OtherEndingsAreNot) {
    EXPECT_FALSE(IsHJSplitFile("/dl/movie.avi"));
    EXPECT_FALSE(IsHJSplitFile("/dl/movie.01"));
    EXPECT_FALSE(IsHJSplitFile("/dl/movie.1234"));
    EXPECT_FALSE(IsHJSplitFile("/dl/movie.0a1"));
    EXPECT_FALSE(IsHJSplitFile("/dl/movie.001 "));
    EXPECT_FALSE(IsHJSplitFile("/dl/movie.00/"));
}

TEST(IsHJSplitFile, ShortNamesArePaddedAndNeverMatch) {
    EXPECT_FALSE(IsHJSplitFile("001"));
    EXPECT_FALSE(IsHJSplitFile(".01"));
    EXPECT_FALSE(IsHJSplitFile(""));
}

TEST(IsHJSplitFile, OnlyTheLastFourCharactersCount) {
    EXPECT_FALSE(IsHJSplitFile("/dl/pieces.001/movie"));
    EXPECT_TRUE(IsHJSplitFile("/dl/pieces.x/movie.500"));
}

}  // namespace
}  // namespace korbelt
