#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "input/FileFilters.h"

namespace korbelt {
namespace {

using Texts = std::vector<std::string>;

TEST(ChooserFilters, SixFileTypesInOrder) {
    const auto& filters = ChooserFilters();
    ASSERT_EQ(filters.size(), 6u);
    EXPECT_EQ(filters[0].description, "All Files (*.*)");
    EXPECT_EQ(filters[0].patterns, "*.*");
    EXPECT_EQ(filters[1].description, "AVI's (*.avi)");
    EXPECT_EQ(filters[1].patterns, "*.avi");
    EXPECT_EQ(filters[2].description, "HJSplit files (*.0?\?)");
    EXPECT_EQ(filters[2].patterns, "*.0?\?");
    EXPECT_EQ(filters[3].description, "Mpeg's (*.mpg, *.mpeg, *.mpe)");
    EXPECT_EQ(filters[3].patterns, "*.mpg;*.mpeg;*.mpe");
    EXPECT_EQ(filters[4].description, "WinRAR files (*.r?\?)");
    EXPECT_EQ(filters[4].patterns, "*.r?\?");
    EXPECT_EQ(filters[5].description, "Zip files (*.zip)");
    EXPECT_EQ(filters[5].patterns, "*.zip");
}

TEST(ChooserFilters, QuestionMarksAreRealQuestionMarks) {
    const std::string twoMarks = std::string(1, '?') + '?';
    EXPECT_EQ(ChooserFilters()[2].patterns, "*.0" + twoMarks);
    EXPECT_EQ(ChooserFilters()[4].patterns, "*.r" + twoMarks);
    EXPECT_EQ(ChooserFilters()[4].description, "WinRAR files (*.r" + twoMarks + ")");
}

TEST(ChooserFilters, AsOneTextJoinedByBars) {
    EXPECT_EQ(ChooserFilterText(),
              "All Files (*.*)|*.*"
              "|AVI's (*.avi)|*.avi"
              "|HJSplit files (*.0?\?)|*.0?\?"
              "|Mpeg's (*.mpg, *.mpeg, *.mpe)|*.mpg;*.mpeg;*.mpe"
              "|WinRAR files (*.r?\?)|*.r?\?"
              "|Zip files (*.zip)|*.zip");
}

TEST(DialogNameFilters, DescriptionThenBlankSeparatedPatternsInParentheses) {
    EXPECT_EQ(
        DialogNameFilters(),
        (Texts{"All Files (*.*) (*)", "AVI's (*.avi) (*.avi)", "HJSplit files (*.0?\?) (*.0?\?)",
               "Mpeg's (*.mpg, *.mpeg, *.mpe) (*.mpg *.mpeg *.mpe)",
               "WinRAR files (*.r?\?) (*.r?\?)", "Zip files (*.zip) (*.zip)"}));
}

TEST(DialogNameFilters, OnlyAWholeStarDotStarPatternBecomesStar) {
    EXPECT_EQ(DialogNameFilter({"Mixed", "*.*;*.avi"}), "Mixed (* *.avi)");
    EXPECT_EQ(DialogNameFilter({"Dotted", "*.*.bak"}), "Dotted (*.*.bak)");
    EXPECT_EQ(DialogNameFilter({"All Files (*.*)", "*.*"}), "All Files (*.*) (*)");
}

TEST(DialogNameFilters, MapBackToTheirOneBasedIndex) {
    const Texts namefilters = DialogNameFilters();
    for (std::size_t i = 0; i < namefilters.size(); ++i) {
        EXPECT_EQ(FilterIndexOfNameFilter(namefilters[i]), static_cast<int>(i) + 1);
    }
    EXPECT_EQ(FilterIndexOfNameFilter("Zip files (*.zip)"), 0);
    EXPECT_EQ(FilterIndexOfNameFilter("All Files (*.*) (*.*)"), 0);
    EXPECT_EQ(FilterIndexOfNameFilter(""), 0);
}

}  // namespace
}  // namespace korbelt
