#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "display/camera_view.h"
#include "settings/settings_database.h"
#include "video/picture.h"

namespace strixc::display {

constexpr int kLayouts = 17;

// The fixed screen layouts of the camera display: for each layout up to kCameras cells (rectangles
// of the display area, inclusive right and bottom, empty when a layout has fewer cells) and the
// placement of the cameras in them, plus the current, saved, selected and highlighted state.
//
// Not thread-safe: the owner guards it with its own lock. It draws nothing; operations that change
// what is shown return what the owner must redraw, as a camera mask (bit c: camera c) or true for
// the whole area. Indices out of range make an operation do nothing (mask 0, false) and a lookup
// answer -1 or an empty rectangle.
class ScreenLayouts {
 public:
  ScreenLayouts();

  // Recomputes every layout's cells for the display area `displayRect` (inclusive). Cells that do
  // not fit the area stay empty.
  void ComputeLayouts(const video::Rect& displayRect);

  video::Rect DisplayRect() const { return displayRect_; }
  int Layout() const { return layout_; }
  // The layout SingleView returns to; 0 when there is none.
  int SavedLayout() const { return savedLayout_; }
  int Selected() const { return selected_; }
  // -1: none.
  int Highlighted() const { return highlighted_; }

  // Makes `layout` (0..kLayouts-1) current; true when it did (the owner redraws everything).
  bool SetLayout(int layout);

  video::Rect Cell(int layout, int cell) const;
  // The cell of camera `cam` in the current layout (empty when the camera is not shown).
  video::Rect CellRect(int cam) const;
  // The cameras whose cell in the current layout is not empty.
  uint32_t VisibleMask() const;

  // The cell of camera `cam` in the current layout.
  int CellOfCamera(int cam) const;
  // The camera placed in `cell` of the current layout, or of `layout`.
  int CameraInCell(int cell) const;
  int CameraInCell(int layout, int cell) const;
  // The camera whose cell of the current layout holds the point (right and bottom edges excluded);
  // where cells overlap, the one with the higher index, which lies on top. -1 for none.
  int CameraAt(int x, int y) const;
  int Placement(int layout, int cam) const;

  // Puts camera `cam` into `cell`, swapping with the camera that was there. Returns the two
  // cameras when `layout` is the current one, else 0.
  uint32_t PlaceCamera(int cam, int cell);
  uint32_t PlaceCamera(int layout, int cam, int cell);

  // Returns the old and the new camera when the selection changed, else 0.
  uint32_t SelectCamera(int cam);
  // `cam` 0..kCameras-1 or -1 for none. Returns the old and the new camera when it changed, else 0.
  uint32_t SetHighlightedCamera(int cam);

  // Toggles between the current layout and layout 0 showing the selected camera in its cell 0.
  // False when there is nothing to toggle (layout 0 without a saved layout).
  bool SingleView();

  // Applies the layout of toolbar button `button` (0..6) for a server of `cameraCount` cameras
  // (0..kCameras); false, nothing changed, for arguments outside those ranges.
  bool LayoutForButton(int cameraCount, int button);

  // Writes the current layout and every layout's placement under `basePath` of the program key.
  // Neither clears the key nor opens a transaction: the owner does both around its own values.
  void SaveLayouts(settings::SettingsDatabase& db, const std::string& basePath) const;
  // Reads what SaveLayouts wrote over the current state. A missing or out-of-range layout number
  // keeps the current layout; a layout whose stored placement is not a permutation of the cameras
  // keeps its placement. Cells, selection and highlight are untouched.
  void LoadLayouts(settings::SettingsDatabase& db, const std::string& basePath);

 private:
  using CellArray = std::array<video::Rect, kCameras>;
  using PlacementArray = std::array<int, kCameras>;

  video::Rect displayRect_;
  std::array<CellArray, kLayouts> cells_;
  // placement_[L][c]: the cell of camera c in layout L; always a permutation of 0..kCameras-1.
  std::array<PlacementArray, kLayouts> placement_;
  int layout_ = 3;
  int savedLayout_ = 0;
  int selected_ = 0;
  int highlighted_ = -1;
};

}  // namespace strixc::display
