#include "ui/skin_rules.h"

#include <gtest/gtest.h>

#include <tuple>

namespace tov {

TEST(ProgressBands, CountFollowsTheColoursAndBlackGives255) {
  const Rgb panelBlue{0, 132, 255};
  EXPECT_EQ(BandCount(panelBlue, panelBlue), 255);
  EXPECT_EQ(BandCount({0, 0, 0}, {0, 0, 0}), 255);
  EXPECT_EQ(BandCount({10, 40, 20}, {10, 40, 20}), 40);
  EXPECT_EQ(BandCount({255, 0, 0}, {0, 0, 255}), 255);
  EXPECT_EQ(BandCount({100, 50, 0}, {90, 80, 5}), 30);
}

TEST(ProgressBands, TheBandPastTheFilledLengthIsDrawnWhole) {
  // 1 of 100 on 460 px: filled 4 px, bands end at 1, 3 and 5 px.
  BarPaint one = LayoutBar(0, 100, 1, 460, 255);
  EXPECT_FALSE(one.outOfRange);
  EXPECT_EQ(one.bandsEnd, 5);
  EXPECT_TRUE(one.drawBackground);

  BarPaint half = LayoutBar(0, 100, 50, 460, 255);
  EXPECT_GT(half.bandsEnd, 230);
  EXPECT_LE(half.bandsEnd, 232);
  EXPECT_TRUE(half.drawBackground);

  // At the upper end every band is drawn and no background strip is left.
  BarPaint full = LayoutBar(0, 100, 100, 460, 255);
  EXPECT_FALSE(full.outOfRange);
  EXPECT_FALSE(full.drawBackground);
  EXPECT_GE(full.bandsEnd, 459);
}

TEST(ProgressBands, OutsideTheRangeTheBarIsGrey) {
  EXPECT_TRUE(LayoutBar(0, 100, 0, 460, 255).outOfRange);
  EXPECT_TRUE(LayoutBar(0, 100, -3, 460, 255).outOfRange);
  EXPECT_TRUE(LayoutBar(0, 100, 101, 460, 255).outOfRange);
  EXPECT_TRUE(LayoutBar(10, 0, 5, 460, 255).outOfRange) << "an empty range draws no bands";
  // A vertical bar is the same arithmetic along its height, from the top:
  // half of 20 px fills 10, and the band that first passes it ends at 11.
  BarPaint vertical = LayoutBar(0, 100, 50, 20, 255);
  EXPECT_FALSE(vertical.outOfRange);
  EXPECT_EQ(vertical.bandsEnd, 11);
}

TEST(ProgressBands, PercentTextOfTheRange) {
  EXPECT_EQ(PercentText(0, 100, 7), L"  7 %");
  EXPECT_EQ(PercentText(0, 100, 100), L"100 %");
  EXPECT_EQ(PercentText(50, 150, 100), L" 50 %");
  EXPECT_EQ(PercentText(0, 3, 2), L" 67 %");
}

TEST(CloseButton, RightAndBottomEdgesAreOutside) {
  const PixelRect close{1222, 87, 1252, 117};
  for (const auto& [x, y, in] : {std::tuple{1222, 87, true}, {1251, 116, true}, {1252, 100, false},
                                 {1230, 117, false}, {1221, 100, false}, {1230, 86, false}}) {
    EXPECT_EQ(HitsRect(close, x, y), in) << x << "," << y;
  }
}

}  // namespace tov
