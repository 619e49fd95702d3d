#include "display/screen_layouts.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "settings/settings_key.h"

namespace strixc::display {
namespace {

using video::Rect;

constexpr Rect kDisplay{0, 0, 799, 599};
constexpr char kBase[] = "MainDisplay";

ScreenLayouts Computed(const Rect& display = kDisplay) {
  ScreenLayouts layouts;
  layouts.ComputeLayouts(display);
  return layouts;
}

bool IsPermutation(const ScreenLayouts& layouts, int layout) {
  uint32_t cells = 0;
  for (int c = 0; c < kCameras; ++c) {
    const int cell = layouts.Placement(layout, c);
    if (cell < 0 || cell >= kCameras) return false;
    cells |= 1u << cell;
  }
  return cells == 0xFFFF;
}

// Writes one layout's stored placement as the owner's key would hold it.
void StorePositions(settings::SettingsDatabase& db, int layout, const std::array<uint32_t, kCameras>& cells) {
  char path[32];
  std::snprintf(path, sizeof(path), "%s\\Layout%02d", kBase, layout);
  settings::SettingsKey key(db, path);
  for (int c = 0; c < kCameras; ++c) {
    char name[16];
    std::snprintf(name, sizeof(name), "PosCamera%02d", c);
    key.WriteDword(name, cells[c]);
  }
}

std::array<uint32_t, kCameras> Identity() {
  return {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
}

// --- Geometry ---

TEST(ScreenLayoutsGeometry, CellsOnAnEightHundredBySixHundredDisplay) {
  const ScreenLayouts layouts = Computed();
  EXPECT_EQ(layouts.DisplayRect(), kDisplay);
  EXPECT_EQ(layouts.Cell(16, 0), (Rect{3, 3, 198, 148}));
  EXPECT_EQ(layouts.Cell(16, 1), (Rect{202, 3, 397, 148}));
  EXPECT_EQ(layouts.Cell(16, 15), (Rect{600, 450, 795, 595}));
  EXPECT_EQ(layouts.Cell(3, 3), (Rect{401, 301, 795, 595}));
  EXPECT_EQ(layouts.Cell(2, 1), (Rect{606, 24, 775, 143}));
  EXPECT_EQ(layouts.Cell(2, 2), (Rect{606, 168, 775, 287}));
  EXPECT_EQ(layouts.Cell(5, 0), (Rect{3, 3, 596, 595}));
  EXPECT_EQ(layouts.Cell(8, 0), (Rect{3, 3, 596, 446}));
  EXPECT_EQ(layouts.Cell(6, 0), (Rect{3, 3, 529, 397}));
}

TEST(ScreenLayoutsGeometry, CellCountsPerLayout) {
  const ScreenLayouts layouts = Computed();
  const int expected[kLayouts] = {1, 1, 3, 4, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 0, 0, 16};
  for (int l = 0; l < kLayouts; ++l) {
    int count = 0;
    for (int k = 0; k < kCameras; ++k) count += layouts.Cell(l, k).Empty() ? 0 : 1;
    EXPECT_EQ(count, expected[l]) << "layout " << l;
  }
}

TEST(ScreenLayoutsGeometry, TooSmallDisplayLeavesGridsEmpty) {
  ScreenLayouts layouts = Computed();
  layouts.ComputeLayouts({0, 0, 20, 20});
  EXPECT_FALSE(layouts.Cell(2, 0).Empty());
  EXPECT_TRUE(layouts.Cell(2, 1).Empty());
  EXPECT_TRUE(layouts.Cell(2, 2).Empty());
  // Recomputing must not leave cells of the former, larger display behind.
  EXPECT_TRUE(layouts.Cell(16, 15).Empty());
  // One-pixel cells are empty, and so is a picture spanning them.
  EXPECT_TRUE(layouts.Cell(5, 0).Empty());
}

TEST(ScreenLayoutsGeometry, VisibleMask) {
  ScreenLayouts layouts = Computed();
  ASSERT_EQ(layouts.Layout(), 3);
  EXPECT_EQ(layouts.VisibleMask(), 0x000Fu);
  ASSERT_TRUE(layouts.SetLayout(16));
  EXPECT_EQ(layouts.VisibleMask(), 0xFFFFu);
  layouts.PlaceCamera(3, 9, 0);  // not current: the mask follows layout 16 only
  ASSERT_TRUE(layouts.SetLayout(3));
  EXPECT_EQ(layouts.VisibleMask(), 0x020Eu);
}

// --- Hit testing ---

TEST(ScreenLayoutsHit, SmallPicturesLieOverTheFullOne) {
  ScreenLayouts layouts = Computed();
  ASSERT_TRUE(layouts.SetLayout(4));
  EXPECT_EQ(layouts.CameraAt(100, 100), 0);
  EXPECT_EQ(layouts.CameraAt(700, 30), 1);
  EXPECT_EQ(layouts.CameraAt(700, 200), 2);
  EXPECT_EQ(layouts.CameraAt(606, 312), 3);
  // Right and bottom edges belong to the cell underneath.
  EXPECT_EQ(layouts.CameraAt(775, 100), 0);
  EXPECT_EQ(layouts.CameraAt(700, 431), 0);
  layouts.PlaceCamera(9, 2);
  EXPECT_EQ(layouts.CameraAt(700, 200), 9);
}

TEST(ScreenLayoutsHit, OutsideEveryCell) {
  ScreenLayouts layouts = Computed();
  ASSERT_TRUE(layouts.SetLayout(4));
  EXPECT_EQ(layouts.CameraAt(1, 1), -1);
  EXPECT_EQ(layouts.CameraAt(796, 100), -1);
  EXPECT_EQ(layouts.CameraAt(-5, 300), -1);
  ASSERT_TRUE(layouts.SetLayout(14));
  EXPECT_EQ(layouts.CameraAt(400, 300), -1);
}

// --- Placement, selection, highlight ---

TEST(ScreenLayoutsPlacement, SwapKeepsAPermutation) {
  ScreenLayouts layouts = Computed();
  EXPECT_EQ(layouts.PlaceCamera(5, 1), (1u << 5) | (1u << 1));
  EXPECT_EQ(layouts.CellOfCamera(5), 1);
  EXPECT_EQ(layouts.CellOfCamera(1), 5);
  EXPECT_EQ(layouts.CameraInCell(1), 5);
  EXPECT_EQ(layouts.CellRect(5), layouts.Cell(3, 1));
  EXPECT_EQ(layouts.PlaceCamera(5, 1), 1u << 5);  // already there
  EXPECT_TRUE(IsPermutation(layouts, 3));
}

TEST(ScreenLayoutsPlacement, OtherLayoutOrBadArgumentsReturnNothing) {
  ScreenLayouts layouts = Computed();
  EXPECT_EQ(layouts.PlaceCamera(16, 2, 7), 0u);
  EXPECT_EQ(layouts.Placement(16, 2), 7);
  EXPECT_EQ(layouts.CameraInCell(16, 2), 7);
  EXPECT_TRUE(IsPermutation(layouts, 16));
  EXPECT_EQ(layouts.PlaceCamera(16, 2), 0u);
  EXPECT_EQ(layouts.PlaceCamera(17, 2, 1), 0u);
  EXPECT_EQ(layouts.CellOfCamera(2), 2);
  EXPECT_TRUE(layouts.Cell(17, 0).Empty());
  EXPECT_TRUE(layouts.CellRect(-1).Empty());
  EXPECT_EQ(layouts.CellOfCamera(16), -1);
  EXPECT_EQ(layouts.CameraInCell(-1), -1);
}

TEST(ScreenLayoutsPlacement, SelectionAndHighlight) {
  ScreenLayouts layouts;
  EXPECT_EQ(layouts.SelectCamera(0), 0u);
  EXPECT_EQ(layouts.SelectCamera(4), 0x11u);
  EXPECT_EQ(layouts.SelectCamera(16), 0u);
  EXPECT_EQ(layouts.Selected(), 4);
  EXPECT_EQ(layouts.SetHighlightedCamera(6), 1u << 6);
  EXPECT_EQ(layouts.SetHighlightedCamera(6), 0u);
  EXPECT_EQ(layouts.SetHighlightedCamera(-1), 1u << 6);
  EXPECT_EQ(layouts.SetHighlightedCamera(-2), 0u);
  EXPECT_EQ(layouts.Highlighted(), -1);
}

// --- Layout switching ---

TEST(ScreenLayoutsSwitch, SingleViewToggles) {
  ScreenLayouts layouts = Computed();
  ASSERT_TRUE(layouts.SetLayout(9));
  layouts.SelectCamera(7);
  EXPECT_TRUE(layouts.SingleView());
  EXPECT_EQ(layouts.Layout(), 0);
  EXPECT_EQ(layouts.SavedLayout(), 9);
  EXPECT_EQ(layouts.CameraInCell(0), 7);
  EXPECT_EQ(layouts.VisibleMask(), 1u << 7);
  EXPECT_TRUE(IsPermutation(layouts, 0));
  EXPECT_TRUE(layouts.SingleView());
  EXPECT_EQ(layouts.Layout(), 9);
  EXPECT_EQ(layouts.SavedLayout(), 0);
}

TEST(ScreenLayoutsSwitch, SingleViewFromLayoutZeroWithoutSavedLayout) {
  ScreenLayouts layouts = Computed();
  ASSERT_TRUE(layouts.SetLayout(0));
  EXPECT_FALSE(layouts.SingleView());
  EXPECT_EQ(layouts.Layout(), 0);
  EXPECT_FALSE(layouts.SetLayout(17));
  EXPECT_EQ(layouts.Layout(), 0);
}

TEST(ScreenLayoutsSwitch, LayoutForButtonDependsOnCameraCount) {
  ScreenLayouts layouts;
  EXPECT_TRUE(layouts.LayoutForButton(6, 3));
  EXPECT_EQ(layouts.Layout(), 10);
  EXPECT_TRUE(layouts.LayoutForButton(3, 3));
  EXPECT_EQ(layouts.Layout(), 2);
  EXPECT_TRUE(layouts.LayoutForButton(16, 6));
  EXPECT_EQ(layouts.Layout(), 16);
  EXPECT_TRUE(layouts.LayoutForButton(0, 4));
  EXPECT_EQ(layouts.Layout(), 4);
  EXPECT_FALSE(layouts.LayoutForButton(20, 1));
  EXPECT_FALSE(layouts.LayoutForButton(-1, 1));
  EXPECT_FALSE(layouts.LayoutForButton(8, 7));
  EXPECT_EQ(layouts.Layout(), 4);
}

// --- Persistence ---

class ScreenLayoutsStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { db_.OpenInMemory(); }
  settings::SettingsDatabase db_;
};

TEST_F(ScreenLayoutsStoreTest, SaveThenLoadRestoresLayoutAndPlacements) {
  ScreenLayouts saved = Computed();
  saved.SetLayout(12);
  saved.PlaceCamera(0, 5, 0);
  saved.PlaceCamera(16, 15, 0);
  saved.PlaceCamera(16, 3, 8);
  saved.SaveLayouts(db_, kBase);

  ScreenLayouts loaded;
  loaded.LoadLayouts(db_, kBase);
  EXPECT_EQ(loaded.Layout(), 12);
  for (int l = 0; l < kLayouts; ++l) {
    for (int c = 0; c < kCameras; ++c) EXPECT_EQ(loaded.Placement(l, c), saved.Placement(l, c));
  }
  EXPECT_TRUE(loaded.DisplayRect().Empty());
}

TEST_F(ScreenLayoutsStoreTest, OutOfRangeLayoutNumberIsIgnored) {
  settings::SettingsKey(db_, kBase).WriteDword("Layout", 17);
  ScreenLayouts layouts;
  layouts.SetLayout(9);
  layouts.LoadLayouts(db_, kBase);
  EXPECT_EQ(layouts.Layout(), 9);
}

TEST_F(ScreenLayoutsStoreTest, DamagedPlacementKeepsThePreviousOne) {
  auto duplicate = Identity();
  duplicate[4] = 3;
  auto tooLarge = Identity();
  tooLarge[15] = 16;
  auto huge = Identity();
  huge[0] = 0xFFFFFFFF;
  auto reversed = Identity();
  for (int c = 0; c < kCameras; ++c) reversed[c] = kCameras - 1 - c;
  StorePositions(db_, 5, duplicate);
  StorePositions(db_, 6, tooLarge);
  StorePositions(db_, 7, huge);
  StorePositions(db_, 8, reversed);
  // Only two values stored: the rest is read over the current placement.
  settings::SettingsKey partial(db_, std::string(kBase) + "\\Layout09");
  partial.WriteDword("PosCamera00", 1);
  partial.WriteDword("PosCamera01", 0);

  ScreenLayouts layouts;
  for (int l : {5, 6, 7}) layouts.PlaceCamera(l, 2, 9);
  layouts.LoadLayouts(db_, kBase);
  for (int l : {5, 6, 7}) {
    EXPECT_EQ(layouts.Placement(l, 2), 9) << "layout " << l;
    EXPECT_EQ(layouts.Placement(l, 9), 2) << "layout " << l;
    EXPECT_TRUE(IsPermutation(layouts, l));
  }
  EXPECT_EQ(layouts.Placement(8, 0), 15);
  EXPECT_EQ(layouts.Placement(8, 15), 0);
  EXPECT_EQ(layouts.Placement(9, 0), 1);
  EXPECT_EQ(layouts.Placement(9, 1), 0);
  EXPECT_EQ(layouts.Placement(9, 2), 2);
  EXPECT_EQ(layouts.Layout(), 3);
}

}  // namespace
}  // namespace strixc::display
