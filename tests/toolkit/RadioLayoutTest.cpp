// Radio button places inside a group box, for the layouts the dialogs produce and for odd sizes.
#include <gtest/gtest.h>

#include "win32/toolkit/RadioLayout.h"

namespace {

using radiolayout::ItemBounds;

constexpr int kFont = -11;  // the dialogs' font: 13-pixel lines

std::vector<ui::Bounds> Column(int left, int top, int width, int height, int count) {
  std::vector<ui::Bounds> cells;
  for (int i = 0; i < count; ++i) cells.push_back({left, top + i * height, width, height});
  return cells;
}

TEST(RadioLayout, PortDialogWithThreePortsStacksThemUnderTheCaption) {
  // Three ports: one column, five rows of 13 pixels, group 150 wide.
  EXPECT_EQ(ItemBounds(3, 1, 150, 65, kFont), Column(8, 13, 140, 16, 3));
}

TEST(RadioLayout, PortDialogWithTenPortsCentresTheSpareHeight) {
  // 156 - 13 - 4 = 139 pixels for ten rows: 13 each, 9 left over, 4 of them above.
  EXPECT_EQ(ItemBounds(10, 1, 150, 156, kFont), Column(8, 17, 140, 13, 10));
}

TEST(RadioLayout, PortDialogWithElevenPortsFillsTheFirstColumnFirst) {
  const auto cells = ItemBounds(11, 2, 300, 156, kFont);
  ASSERT_EQ(cells.size(), 11u);
  // Six in the first column, five in the second, 145 pixels apart.
  const ui::Bounds first{8, 13, 145, 23};
  const ui::Bounds sixth{8, 13 + 5 * 23, 145, 23};
  const ui::Bounds seventh{153, 13, 145, 23};
  const ui::Bounds last{153, 13 + 4 * 23, 145, 23};
  EXPECT_EQ(cells[0], first);
  EXPECT_EQ(cells[5], sixth);
  EXPECT_EQ(cells[6], seventh);
  EXPECT_EQ(cells[10], last);
}

TEST(RadioLayout, LanguageDialogPutsTheTwoLanguagesSideBySide) {
  const std::vector<ui::Bounds> expected{{8, 13, 95, 120}, {103, 13, 95, 120}};
  EXPECT_EQ(ItemBounds(2, 2, 201, 137, kFont), expected);
}

TEST(RadioLayout, NoItemsNoButtons) {
  EXPECT_TRUE(ItemBounds(0, 1, 150, 156, kFont).empty());
  EXPECT_TRUE(ItemBounds(0, 16, 0, 156, kFont).empty());
}

TEST(RadioLayout, MoreColumnsThanItemsGivesOneItemPerColumn) {
  const auto cells = ItemBounds(3, 16, 330, 40, kFont);
  ASSERT_EQ(cells.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(cells[i].Left, 8 + i * 20);
    EXPECT_EQ(cells[i].Top, 13);
    EXPECT_EQ(cells[i].Height, 23);
  }
}

TEST(RadioLayout, TooSmallAGroupGivesEmptyCellsNotNegativeOnes) {
  // The port dialog's design size, before its first show lays it out.
  const auto cells = ItemBounds(2, 1, 89, 17, kFont);
  ASSERT_EQ(cells.size(), 2u);
  for (const auto& c : cells) {
    EXPECT_EQ(c.Height, 0);
    EXPECT_GE(c.Width, 0);
  }
  const auto narrow = ItemBounds(1, 1, 4, 4, kFont);
  ASSERT_EQ(narrow.size(), 1u);
  EXPECT_EQ(narrow[0].Width, 0);
  EXPECT_EQ(narrow[0].Height, 0);
}

TEST(RadioLayout, ColumnCountBelowOneCountsAsOne) {
  EXPECT_EQ(ItemBounds(3, 0, 150, 65, kFont), ItemBounds(3, 1, 150, 65, kFont));
  EXPECT_EQ(ItemBounds(3, -4, 150, 65, kFont), ItemBounds(3, 1, 150, 65, kFont));
}

TEST(RadioLayout, CaptionBandFollowsTheFontHeight) {
  EXPECT_EQ(radiolayout::LineHeight(-11), 13);
  EXPECT_EQ(radiolayout::LineHeight(-8), 10);
  EXPECT_EQ(radiolayout::LineHeight(16), 16);
  EXPECT_EQ(ItemBounds(1, 1, 100, 40, -8)[0].Top, 10);
}

TEST(RadioLayout, CellsStayInsideTheFrameAndNeverOverlap) {
  for (int count = 1; count <= 40; ++count) {
    for (int columns = 1; columns <= 16; ++columns) {
      for (int height : {30, 65, 137, 156}) {
        const int width = 150 * columns;
        const auto cells = ItemBounds(count, columns, width, height, kFont);
        ASSERT_EQ(cells.size(), static_cast<size_t>(count));
        for (size_t i = 0; i < cells.size(); ++i) {
          const ui::Bounds& a = cells[i];
          SCOPED_TRACE(testing::Message()
                       << count << " items, " << columns << " columns, height " << height << ", item " << i);
          EXPECT_GE(a.Left, 8);
          EXPECT_LE(a.Left + a.Width, width - 2);
          EXPECT_GE(a.Top, 13);
          EXPECT_LE(a.Top + a.Height, height - 4);
          for (size_t j = i + 1; j < cells.size(); ++j) {
            const ui::Bounds& b = cells[j];
            const bool apart = a.Left + a.Width <= b.Left || b.Left + b.Width <= a.Left ||
                               a.Top + a.Height <= b.Top || b.Top + b.Height <= a.Top;
            EXPECT_TRUE(apart) << "overlaps item " << j;
          }
        }
      }
    }
  }
}

}  // namespace
