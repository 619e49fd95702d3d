#include "display/screen_layouts.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "settings/settings_key.h"

namespace strixc::display {

namespace {

constexpr char kLayoutValue[] = "Layout";
constexpr int kButtons = 7;

// The grids every layout is cut from. The 4 x 4 grid with the wide gap gives the small pictures
// that layouts 2 and 4 lay over the right-hand side of one full picture.
enum Grid { kGrid1x1, kGrid2x2, kGrid3x3, kGrid3x4, kGrid4x4Wide, kGrid4x4, kGrids };

struct GridShape {
  int gap;
  int columns;
  int rows;
};

constexpr std::array<GridShape, kGrids> kGridShapes = {{
    {3, 1, 1},
    {3, 2, 2},
    {3, 3, 3},
    {3, 3, 4},
    {24, 4, 4},
    {3, 4, 4},
}};

// A run of grid cells, each becoming one layout cell, or (merged) the bounding rectangle of
// grid cells `first` and `last` as a single layout cell.
struct Piece {
  Grid grid;
  int first;
  int last;
  bool merged;
};

constexpr Piece One(Grid grid, int cell) { return {grid, cell, cell, false}; }
constexpr Piece Run(Grid grid, int first, int last) { return {grid, first, last, false}; }
constexpr Piece Merge(Grid grid, int first, int last) { return {grid, first, last, true}; }

const std::array<std::vector<Piece>, kLayouts>& LayoutPieces() {
  static const std::array<std::vector<Piece>, kLayouts> pieces = {{
      /* 0 */ {One(kGrid1x1, 0)},
      /* 1 */ {One(kGrid1x1, 0)},
      /* 2 */ {One(kGrid1x1, 0), One(kGrid4x4Wide, 3), One(kGrid4x4Wide, 7)},
      /* 3 */ {Run(kGrid2x2, 0, 3)},
      /* 4 */ {One(kGrid1x1, 0), One(kGrid4x4Wide, 3), One(kGrid4x4Wide, 7), One(kGrid4x4Wide, 11)},
      /* 5 */ {Merge(kGrid4x4, 0, 14), One(kGrid4x4, 3), One(kGrid4x4, 7), One(kGrid4x4, 11), One(kGrid4x4, 15)},
      /* 6 */ {Merge(kGrid3x3, 0, 4), One(kGrid3x3, 2), Run(kGrid3x3, 5, 8)},
      /* 7 */ {Run(kGrid2x2, 0, 2), Run(kGrid4x4, 10, 11), Run(kGrid4x4, 14, 15)},
      /* 8 */ {Merge(kGrid4x4, 0, 10), One(kGrid4x4, 3), One(kGrid4x4, 7), Run(kGrid4x4, 11, 15)},
      /* 9 */ {Run(kGrid3x3, 0, 8)},
      /* 10 */ {Run(kGrid2x2, 0, 1), Run(kGrid4x4, 8, 15)},
      /* 11 */ {Merge(kGrid4x4, 0, 6), One(kGrid4x4, 3), Run(kGrid4x4, 7, 15)},
      /* 12 */ {Run(kGrid3x4, 0, 11)},
      /* 13 */ {One(kGrid2x2, 0), Run(kGrid4x4, 2, 3), Run(kGrid4x4, 6, 15)},
      /* 14 */ {},
      /* 15 */ {},
      /* 16 */ {Run(kGrid4x4, 0, 15)},
  }};
  return pieces;
}

// The layout of each toolbar button, by server size: up to 4 cameras, up to 8, up to 16.
constexpr int kButtonLayouts[kButtons][3] = {
    {1, 1, 1}, {3, 3, 3}, {1, 7, 7}, {2, 10, 10}, {4, 6, 13}, {8, 8, 8}, {6, 9, 16},
};

// The cells of one grid over `area`, row by row; all empty when a cell would be narrower or lower
// than one pixel.
std::array<video::Rect, kCameras> GridCells(const video::Rect& area, const GridShape& shape) {
  std::array<video::Rect, kCameras> cells{};
  const int g = shape.gap;
  const int width = (area.right - area.left - g + 1) / shape.columns - g;
  const int height = (area.bottom - area.top - g + 1) / shape.rows - g;
  if (width < 1 || height < 1) return cells;
  for (int j = 0; j < shape.rows; ++j) {
    for (int i = 0; i < shape.columns; ++i) {
      video::Rect& cell = cells[j * shape.columns + i];
      cell.left = area.left + g + i * (width + g);
      cell.top = area.top + g + j * (height + g);
      cell.right = cell.left + width - 1;
      cell.bottom = cell.top + height - 1;
    }
  }
  return cells;
}

// The bounding rectangle of two cells; empty when either is.
video::Rect Bounding(const video::Rect& a, const video::Rect& b) {
  if (a.Empty() || b.Empty()) return {};
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
          std::max(a.bottom, b.bottom)};
}

bool ValidLayout(int layout) { return layout >= 0 && layout < kLayouts; }
bool ValidIndex(int index) { return index >= 0 && index < kCameras; }

uint32_t Bit(int cam) { return ValidIndex(cam) ? uint32_t{1} << cam : 0; }

std::string LayoutKeyPath(const std::string& basePath, int layout) {
  char name[16];
  std::snprintf(name, sizeof(name), "\\Layout%02d", layout);
  return basePath + name;
}

std::string PositionValueName(int cam) {
  char name[16];
  std::snprintf(name, sizeof(name), "PosCamera%02d", cam);
  return name;
}

}  // namespace

ScreenLayouts::ScreenLayouts() {
  for (auto& placement : placement_) {
    for (int c = 0; c < kCameras; ++c) placement[c] = c;
  }
}

void ScreenLayouts::ComputeLayouts(const video::Rect& displayRect) {
  displayRect_ = displayRect;
  std::array<std::array<video::Rect, kCameras>, kGrids> grids;
  for (int g = 0; g < kGrids; ++g) grids[g] = GridCells(displayRect, kGridShapes[g]);

  const auto& pieces = LayoutPieces();
  for (int layout = 0; layout < kLayouts; ++layout) {
    CellArray& cells = cells_[layout];
    cells.fill(video::Rect{});
    int next = 0;
    for (const Piece& piece : pieces[layout]) {
      const auto& grid = grids[piece.grid];
      if (piece.merged) {
        cells[next++] = Bounding(grid[piece.first], grid[piece.last]);
      } else {
        for (int k = piece.first; k <= piece.last; ++k) cells[next++] = grid[k];
      }
    }
  }
}

bool ScreenLayouts::SetLayout(int layout) {
  if (!ValidLayout(layout)) return false;
  layout_ = layout;
  return true;
}

video::Rect ScreenLayouts::Cell(int layout, int cell) const {
  if (!ValidLayout(layout) || !ValidIndex(cell)) return {};
  return cells_[layout][cell];
}

video::Rect ScreenLayouts::CellRect(int cam) const {
  if (!ValidIndex(cam)) return {};
  return cells_[layout_][placement_[layout_][cam]];
}

uint32_t ScreenLayouts::VisibleMask() const {
  uint32_t mask = 0;
  for (int c = 0; c < kCameras; ++c) {
    if (!CellRect(c).Empty()) mask |= Bit(c);
  }
  return mask;
}

int ScreenLayouts::CellOfCamera(int cam) const { return ValidIndex(cam) ? placement_[layout_][cam] : -1; }

int ScreenLayouts::CameraInCell(int cell) const { return CameraInCell(layout_, cell); }

int ScreenLayouts::CameraInCell(int layout, int cell) const {
  if (!ValidLayout(layout) || !ValidIndex(cell)) return -1;
  const PlacementArray& placement = placement_[layout];
  const auto it = std::find(placement.begin(), placement.end(), cell);
  return it == placement.end() ? -1 : static_cast<int>(it - placement.begin());
}

int ScreenLayouts::CameraAt(int x, int y) const {
  // Later cells are drawn over earlier ones, so the search runs from the last cell down.
  const CellArray& cells = cells_[layout_];
  for (int k = kCameras - 1; k >= 0; --k) {
    const video::Rect& r = cells[k];
    if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return CameraInCell(k);
  }
  return -1;
}

int ScreenLayouts::Placement(int layout, int cam) const {
  if (!ValidLayout(layout) || !ValidIndex(cam)) return -1;
  return placement_[layout][cam];
}

uint32_t ScreenLayouts::PlaceCamera(int cam, int cell) { return PlaceCamera(layout_, cam, cell); }

uint32_t ScreenLayouts::PlaceCamera(int layout, int cam, int cell) {
  if (!ValidLayout(layout) || !ValidIndex(cam) || !ValidIndex(cell)) return 0;
  PlacementArray& placement = placement_[layout];
  // The placement is a permutation, so some camera always holds the cell (possibly `cam` itself).
  const int other = CameraInCell(layout, cell);
  placement[other] = placement[cam];
  placement[cam] = cell;
  return layout == layout_ ? Bit(cam) | Bit(other) : 0;
}

uint32_t ScreenLayouts::SelectCamera(int cam) {
  if (!ValidIndex(cam) || cam == selected_) return 0;
  const uint32_t mask = Bit(selected_) | Bit(cam);
  selected_ = cam;
  return mask;
}

uint32_t ScreenLayouts::SetHighlightedCamera(int cam) {
  if ((!ValidIndex(cam) && cam != -1) || cam == highlighted_) return 0;
  const uint32_t mask = Bit(highlighted_) | Bit(cam);
  highlighted_ = cam;
  return mask;
}

bool ScreenLayouts::SingleView() {
  if (layout_ != 0) {
    savedLayout_ = layout_;
    PlaceCamera(0, selected_, 0);
    layout_ = 0;
    return true;
  }
  if (savedLayout_ != 0) {
    layout_ = savedLayout_;
    savedLayout_ = 0;
    return true;
  }
  return false;
}

bool ScreenLayouts::LayoutForButton(int cameraCount, int button) {
  if (cameraCount < 0 || cameraCount > kCameras || button < 0 || button >= kButtons) return false;
  const int column = cameraCount <= 4 ? 0 : cameraCount <= 8 ? 1 : 2;
  return SetLayout(kButtonLayouts[button][column]);
}

void ScreenLayouts::SaveLayouts(settings::SettingsDatabase& db, const std::string& basePath) const {
  settings::SettingsKey base(db, basePath);
  base.WriteDword(kLayoutValue, static_cast<uint32_t>(layout_));
  for (int layout = 0; layout < kLayouts; ++layout) {
    settings::SettingsKey key(db, LayoutKeyPath(basePath, layout));
    for (int c = 0; c < kCameras; ++c) {
      key.WriteDword(PositionValueName(c), static_cast<uint32_t>(placement_[layout][c]));
    }
  }
}

void ScreenLayouts::LoadLayouts(settings::SettingsDatabase& db, const std::string& basePath) {
  settings::SettingsKey base(db, basePath);
  uint32_t layout = static_cast<uint32_t>(layout_);
  if (base.ReadDword(kLayoutValue, &layout) && layout < static_cast<uint32_t>(kLayouts)) {
    layout_ = static_cast<int>(layout);
  }

  for (int l = 0; l < kLayouts; ++l) {
    settings::SettingsKey key(db, LayoutKeyPath(basePath, l));
    std::array<uint32_t, kCameras> stored;
    for (int c = 0; c < kCameras; ++c) {
      stored[c] = static_cast<uint32_t>(placement_[l][c]);
      key.ReadDword(PositionValueName(c), &stored[c]);
    }
    // The placement is used as an index into the cells, so a damaged or hand-edited layout that is
    // not a permutation is dropped whole rather than repaired.
    std::array<bool, kCameras> seen{};
    bool permutation = true;
    for (uint32_t cell : stored) {
      if (cell >= static_cast<uint32_t>(kCameras) || seen[cell]) {
        permutation = false;
        break;
      }
      seen[cell] = true;
    }
    if (!permutation) continue;
    for (int c = 0; c < kCameras; ++c) placement_[l][c] = static_cast<int>(stored[c]);
  }
}

}  // namespace strixc::display
