#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QLabel>

#include "ModalDriver.h"
#include "ui/FormLayout.h"

namespace korbelt {
namespace {

using test::FitsItsLabel;

const QString kText = QStringLiteral("Start of Duplicate Bytes Range");

class NarrowLabelsToFitTest : public ::testing::Test {
  protected:
    void SetUp() override { form.setFont(StandardDialogFont()); }

    // A one-line box the given share of the text's natural width.
    QLabel* Label(const char* name, const QString& text, double share) {
        const QFontMetrics metrics(form.font());
        const int width = static_cast<int>(metrics.horizontalAdvance(text) * share);
        return PlaceLabel(&form, name, text, QRect(0, 0, width, metrics.height() + 2));
    }

    QWidget form;
};

TEST_F(NarrowLabelsToFitTest, LabelsThatFitKeepTheirFont) {
    QLabel* roomy = Label("roomy", kText, 1.2);
    const QFont before = roomy->font();
    NarrowLabelsToFit(&form);
    EXPECT_EQ(roomy->font(), before);
    EXPECT_TRUE(FitsItsLabel(roomy));
}

TEST_F(NarrowLabelsToFitTest, ATightLabelNarrowsEveryLabelAlike) {
    QLabel* tight = Label("tight", kText, 0.92);
    QLabel* roomy = Label("roomy", QStringLiteral("OK"), 3.0);
    MakeBold(roomy);
    ASSERT_FALSE(FitsItsLabel(tight));
    NarrowLabelsToFit(&form);
    EXPECT_TRUE(FitsItsLabel(tight));
    EXPECT_LT(tight->font().stretch(), 100);
    // No wider step would have done.
    const int chosen = tight->font().stretch();
    for (int wider = chosen + 5; wider < 100; wider += 5) {
        QFont font = tight->font();
        font.setStretch(wider);
        EXPECT_FALSE(FitsLabel(tight, font)) << wider;
    }
    EXPECT_EQ(roomy->font().stretch(), tight->font().stretch());
    EXPECT_TRUE(roomy->font().bold());
    EXPECT_FALSE(tight->font().bold());
}

TEST_F(NarrowLabelsToFitTest, AHopelessLabelStopsAtTheNarrowestType) {
    QLabel* hopeless = Label("hopeless", kText, 0.3);
    NarrowLabelsToFit(&form);
    EXPECT_EQ(hopeless->font().stretch(), 70);
}

TEST(FitsLabel, MeasuresWrappedTextAgainstTheBox) {
    QWidget form;
    form.setFont(StandardDialogFont());
    const QFontMetrics metrics(form.font());
    const int width = metrics.horizontalAdvance(kText);
    QLabel* twolines = PlaceLabel(&form, "twolines", kText,
                                  QRect(0, 0, width * 2 / 3, metrics.lineSpacing() * 2 + 2));
    QLabel* oneline =
        PlaceLabel(&form, "oneline", kText, QRect(0, 0, width * 2 / 3, metrics.height()));
    EXPECT_TRUE(FitsLabel(twolines, twolines->font()));
    EXPECT_FALSE(FitsLabel(oneline, oneline->font()));
}

}  // namespace
}  // namespace korbelt
