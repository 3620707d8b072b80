// The policies that decide the scan's finds, as functions of their evidence alone.
#include <gtest/gtest.h>

#include "FakeHost.h"
#include "engine/policy/FindPolicy.h"

namespace korbelt::test {
namespace {

constexpr Distances At(int distance) {
    return Distances{1} << distance;
}

// The pattern's rule takes the last pair in range; a verdict that flags distances takes the
// last pair at one of them and passes the others by, and with none flagged there takes none.
TEST(FindPolicy, ThePairLeftOutIsTheLastAtADistanceTheVerdictLooksAt) {
    const Distances pairs = At(39) | At(41) | At(44);
    EXPECT_EQ(ChoosePair(pairs, 0).distance, 44);
    EXPECT_EQ(ChoosePair(pairs, 0).passedBy, 0u);
    EXPECT_EQ(ChoosePair(pairs, At(41)).distance, 41);
    EXPECT_EQ(ChoosePair(pairs, At(41)).passedBy, At(39) | At(44));
    EXPECT_EQ(ChoosePair(pairs, At(39) | At(41)).distance, 41);
    EXPECT_EQ(ChoosePair(At(40), At(41)).distance, -1);
    EXPECT_EQ(ChoosePair(At(40), At(41)).passedBy, At(40));

    PatternVerdict verdict;
    verdict.kind = PatternVerdict::Kind::Damage;
    verdict.distance = 43;
    verdict.others = {{41, 30, 60}};
    EXPECT_EQ(FlaggedDistances(verdict), At(41) | At(43));
    verdict.kind = PatternVerdict::Kind::NoPattern;
    EXPECT_EQ(FlaggedDistances(verdict), 0u);
}

// Whether the verdict of the whole file would have the pass remove other bytes than it did,
// deciding by what its first part's verdict said.
TEST(FindPolicy, TheWholeFilesVerdictMovesAFindOnlyWhereItLooksElsewhere) {
    // The same distances: nothing moves, whatever was passed by.
    EXPECT_FALSE(VerdictMovesAFind(At(41), At(41), At(39), At(41)));
    // A second distance, at which the pass removed nothing and passed nothing by.
    EXPECT_FALSE(VerdictMovesAFind(At(41), At(41) | At(44), At(39), At(41)));
    // A pair passed by at a distance now looked at.
    EXPECT_TRUE(VerdictMovesAFind(At(41), At(41) | At(44), At(44), At(41)));
    // A repeat removed at a distance no longer looked at.
    EXPECT_TRUE(VerdictMovesAFind(0, At(41), 0, At(41) | At(39)));
    EXPECT_FALSE(VerdictMovesAFind(0, At(41), 0, At(41)));
    // No damage after all: every distance is looked at, so any pair passed by moves.
    EXPECT_TRUE(VerdictMovesAFind(At(41), 0, At(40), At(41)));
    EXPECT_FALSE(VerdictMovesAFind(At(41), 0, 0, At(41)));
}

// Every find removed, or each asked about by its kind and removed only on Yes.
TEST(FindPolicy, AnInteractiveRunAsksByKindAndKeepsWhatTheUserDeclines) {
    Find repeat;
    repeat.offset = 40;
    repeat.position = 1;
    repeat.shown = {65, 65};
    const Decision removed = RemoveEveryFind().Decide(repeat);
    EXPECT_TRUE(removed.removed);
    EXPECT_EQ(removed.reason, Reason::Found);

    ScriptedBoxes boxes;
    const NumberFormat format;
    AskAboutEachFind ask(boxes, format);
    boxes.Answer(false);
    boxes.Answer(true);
    Find wrapper = repeat;
    wrapper.kind = FindKind::Wrapper;
    const Decision declined = ask.Decide(repeat);
    const Decision cut = ask.Decide(wrapper);
    EXPECT_FALSE(declined.removed);
    EXPECT_EQ(declined.reason, Reason::Declined);
    EXPECT_TRUE(cut.removed);
    ASSERT_EQ(boxes.Questions().size(), 2u);
    EXPECT_EQ(boxes.Questions()[0].question, QuestionKind::RemoveRepeatedByte);
    EXPECT_EQ(boxes.Questions()[1].question, QuestionKind::RemoveWrapper);
    EXPECT_EQ(QuestionFor(FindKind::StructureByte), QuestionKind::RemoveSlippedByte);
}

}  // namespace
}  // namespace korbelt::test
