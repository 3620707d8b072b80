// The checks at a marker triple, called on a prepared record buffer.
#include <gtest/gtest.h>

#include "PassFixture.h"

namespace korbelt::test {
namespace {

class ChecksTest : public PassFixture {
  protected:
    // Fills the buffer with bytes that never repeat, CR LF '-' at currpos.
    void Prepare(int currpos) {
        const Bytes clean = CleanBytes(RepairEngine::kBufferSize, 7);
        std::copy(clean.begin(), clean.end(), peer.Buffer());
        peer.Buffer()[currpos] = 13;
        peer.Buffer()[currpos + 1] = 10;
        peer.Buffer()[currpos + 2] = '-';
    }
    std::string Listed(int from, int to) const {
        std::string list;
        for (int i = from; i <= to; ++i) {
            list += NumberFormat::ThreeDigits(peer.Byte(i)) + " ";
        }
        return list;
    }
};

TEST_F(ChecksTest, WorkedExampleListsTheWindowAndDropsTheFirstOfThePair) {
    Prepare(100);
    const Bytes window = {93, 78, 65, 65, 57, 96, 84};
    std::copy(window.begin(), window.end(), peer.Buffer() + 139);
    EXPECT_EQ(engine.Check4RptByte(1, 100), 141);
    EXPECT_EQ(Lines(),
              (std::vector<std::string>{"  @101 found 093 078 065 065 057 096 084  removed"}));
    EXPECT_EQ(host.yields, 1);
    EXPECT_TRUE(host.boxes.shown.empty());
}

TEST_F(ChecksTest, NoPairMeansNoLineAndNoQuestionEvenWhenInteractive) {
    Prepare(100);
    run.interactive = true;
    EXPECT_EQ(engine.Check4RptByte(1, 100), -1);
    EXPECT_TRUE(Lines().empty());
    EXPECT_TRUE(host.boxes.shown.empty());
    EXPECT_EQ(host.yields, 0);
}

TEST_F(ChecksTest, ThreeEqualBytesTheLastPairWins) {
    Prepare(100);
    peer.Buffer()[141] = peer.Buffer()[142] = peer.Buffer()[143] = 'R';
    EXPECT_EQ(engine.Check4RptByte(1, 100), 142);
}

TEST_F(ChecksTest, PairsReachingOutsideTheWindowAreNotFinds) {
    Prepare(100);
    peer.Buffer()[138] = peer.Buffer()[139] = 'R';
    EXPECT_EQ(engine.Check4RptByte(1, 100), -1);
    Prepare(100);
    peer.Buffer()[145] = peer.Buffer()[146] = 'R';
    EXPECT_EQ(engine.Check4RptByte(1, 100), -1);
    Prepare(100);
    peer.Buffer()[139] = peer.Buffer()[140] = 'R';  // first byte of the window, inside pair
    EXPECT_EQ(engine.Check4RptByte(1, 100), 139);
    Prepare(100);
    peer.Buffer()[144] = peer.Buffer()[145] = 'R';  // last byte of the window, inside pair
    EXPECT_EQ(engine.Check4RptByte(1, 100), 144);
}

TEST_F(ChecksTest, InteractiveAnswersDecideTheLineEnding) {
    Prepare(100);
    peer.Buffer()[141] = peer.Buffer()[142] = 'R';
    run.interactive = true;
    host.boxes.Answer(false);
    host.boxes.Answer(true);
    EXPECT_EQ(engine.Check4RptByte(1, 100), -1);
    EXPECT_EQ(engine.Check4RptByte(1, 100), 141);
    const std::string line = "  @101 found " + Listed(139, 145);
    EXPECT_EQ(Questions(),
              (std::vector<std::string>{line + "\r\nShall I remove the repeated byte?",
                                        line + "\r\nShall I remove the repeated byte?"}));
    EXPECT_EQ(Lines(), (std::vector<std::string>{line + " ignored", line + " removed"}));
}

TEST_F(ChecksTest, PositionIsTheTriplesCrGroupedInThrees) {
    Prepare(1000);
    peer.Buffer()[1041] = peer.Buffer()[1042] = 'R';
    engine.Check4RptByte(1233567, 1000);
    ASSERT_EQ(Lines().size(), 1u);
    EXPECT_EQ(Lines()[0].rfind("  @1,234,567 found ", 0), 0u) << Lines()[0];
}

TEST_F(ChecksTest, WidestOfferedRangeListsFifteenBytes) {
    options.rangeStart = 35;
    options.rangeEnd = 49;
    peer.SetOptions(options);
    Prepare(100);
    peer.Buffer()[148] = peer.Buffer()[149] = 'R';
    EXPECT_EQ(engine.Check4RptByte(1, 100), 148);
    EXPECT_EQ(Lines()[0], "  @101 found " + Listed(135, 149) + " removed");
    EXPECT_EQ(Listed(135, 149).size(), 15u * 4);
}

TEST_F(ChecksTest, RangeFromAHandEditedStoreIsKeptInsideTheBuffer) {
    // The checks read at most 51 bytes past the last record index whatever the store says.
    for (const auto& [start, end] : std::vector<std::pair<int, int>>{
             {-300, 32000}, {60, 70}, {50, 50}, {45, 20}, {0, 1}, {-1, 51}}) {
        options.rangeStart = start;
        options.rangeEnd = end;
        peer.SetOptions(options);
        Prepare(10239);
        peer.Buffer()[10289] = peer.Buffer()[10290] = 'R';
        const int found = engine.Check4RptByte(1, 10239);
        EXPECT_TRUE(found == -1 || (found >= 10239 && found < 10290)) << start << ".." << end;
    }
}

TEST_F(ChecksTest, PairWithABytePastTheEndOfTheInputIsNoFind) {
    // A 143-byte file whose last byte is 0: the zeros after it must not make it repeated.
    Prepare(100);
    peer.Buffer()[142] = 0;
    std::fill(peer.Buffer() + 143, peer.Buffer() + RepairEngine::kBufferSize, 0);
    const std::string path = Input("short", Bytes(peer.Buffer(), peer.Buffer() + 143));
    Process(path);
    EXPECT_EQ(ReadBytes(path), Bytes(peer.Buffer(), peer.Buffer() + 143));
    EXPECT_EQ(Lines().size(), 2u);
    EXPECT_EQ(Lines()[1], "  0 bytes removed, 143 bytes read, 143 bytes written.");
}

class WrapperTest : public ChecksTest {
  protected:
    void PrepareWrapper(int currpos, int dashes) {
        Prepare(currpos);
        peer.Buffer()[currpos + 1] = 13;
        peer.Buffer()[currpos + 2] = 10;
        for (int i = 0; i < dashes; ++i) {
            peer.Buffer()[currpos + 3 + i] = '-';
        }
    }
};

TEST_F(WrapperTest, TwentyNineDashesAreAWrapperAndTwentyEightAreNot) {
    PrepareWrapper(200, 28);
    EXPECT_EQ(engine.Check4Wrapper(1, 200), -1);
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(peer.heldcr(), 0);

    PrepareWrapper(200, 29);
    EXPECT_EQ(engine.Check4Wrapper(1, 200), 201);
    EXPECT_EQ(peer.heldcr(), 13);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"  @201 found Mime Wrapper removed"}));
    EXPECT_EQ(host.yields, 1);
    EXPECT_TRUE(host.boxes.shown.empty());
}

TEST_F(WrapperTest, InteractiveNoKeepsTheWrapperAndYesRemovesIt) {
    run.interactive = true;
    PrepareWrapper(5000, 29);
    host.boxes.Answer(false);
    EXPECT_EQ(engine.Check4Wrapper(10001, 5000), -1);
    EXPECT_EQ(peer.heldcr(), 0);
    host.boxes.Answer(true);
    EXPECT_EQ(engine.Check4Wrapper(10001, 5000), 5001);
    EXPECT_EQ(peer.heldcr(), 13);
    const std::string line = "  @15,001 found Mime Wrapper";
    EXPECT_EQ(Questions(), (std::vector<std::string>{line + "\r\nShall I remove the Wrapper?",
                                                     line + "\r\nShall I remove the Wrapper?"}));
    EXPECT_EQ(Lines(), (std::vector<std::string>{line + " ignored", line + " removed"}));
    EXPECT_EQ(host.yields, 2);
}

TEST_F(WrapperTest, EndIsTwoBytesAfterTheSecondLineEndOrThreeWhenALineFeedFollows) {
    Prepare(0);
    peer.Buffer()[0] = 'x';
    peer.Buffer()[10] = 13, peer.Buffer()[11] = 10;
    peer.Buffer()[30] = 13, peer.Buffer()[31] = 10;
    peer.SetHeldcr(13);
    EXPECT_EQ(engine.FindEndofWrapper(1000), 1000 + 34);
    EXPECT_EQ(peer.heldcr(), 0);
    peer.Buffer()[33] = 10;
    EXPECT_EQ(engine.FindEndofWrapper(1000), 1000 + 35);
}

TEST_F(WrapperTest, PairsMayStartAtIndexZeroAndEndInTheLookAhead) {
    Prepare(0);
    peer.Buffer()[0] = 13, peer.Buffer()[1] = 10;
    peer.Buffer()[10239] = 13, peer.Buffer()[10240] = 10;
    EXPECT_EQ(engine.FindEndofWrapper(1), 1 + 10243);

    Prepare(0);
    peer.Buffer()[0] = 13, peer.Buffer()[1] = 10;
    peer.Buffer()[10240] = 13, peer.Buffer()[10241] = 10;
    peer.SetHeldcr(13);
    EXPECT_EQ(engine.FindEndofWrapper(1), 0);
    EXPECT_EQ(peer.heldcr(), 13);
    EXPECT_EQ(host.boxes.Texts(ScriptedBoxes::Kind::Notice),
              (std::vector<std::string>{
                  "Unable to find end of Mime Wrapper\r\nPlease email "
                  "korbelt.support@prendle.org with this message and a URL on Tamsel for this "
                  "file"}));
}

}  // namespace
}  // namespace korbelt::test
