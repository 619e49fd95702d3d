#pragma once

// The main window's geometry rules, apart from the window: the video area of each display mode,
// the 4:3 sizing of the Preview mode and the places of the control panel.

#include <QPoint>
#include <QRect>
#include <cstdint>

namespace strixc::station {

enum class DisplayMode { kNormal = 0, kFullscreen = 1, kPreview = 2 };

// The video area inside the client rectangle: Normal leaves room for the control panel (40 left,
// 25 top, 60 right, 10 bottom); Normal and Fullscreen keep at most 4:3 (width <= height * 4 / 3,
// left-aligned); Preview uses everything.
QRect VideoArea(const QRect& client, DisplayMode mode);

// The window rectangle stored under "Window" as four 32-bit values (Left, Top, Right, Bottom, right
// and bottom exclusive). The settings file is outside input: each value is read as signed and
// clamped to +-kMaxCoordinate before any arithmetic, and the size to kMinWindowSize..kMaxWindowSize.
constexpr int kMaxCoordinate = 32767;
constexpr int kMinWindowSize = 60;
constexpr int kMaxWindowSize = 8192;
QRect StoredPlacement(uint32_t left, uint32_t top, uint32_t right, uint32_t bottom);

// Which edge or corner a Preview sizing drags.
enum class SizingEdge { kLeft, kRight, kTop, kTopRight, kBottom, kBottomRight, kTopLeft, kBottomLeft };

// Keeps a window rectangle 4:3 while `edge` is dragged: the side edges set the height from the
// width; the top, bottom and right-hand corners set the width from the height to the right; the
// left-hand corners set it to the left.
QRect PreviewSizing(const QRect& rect, SizingEdge edge);

// A Preview sizing drag: `start` (the window's rectangle at the press) with `edges` moved by
// `moved`, at least kMinWindowSize, then kept 4:3 below a menu bar of `menuHeight` pixels by the
// rule of PreviewSizing for the dragged edge or corner.
QRect PreviewSizingDrag(const QRect& start, Qt::Edges edges, QPoint moved, int menuHeight);

// The layout button `k` (0..6) of the control panel.
QRect LayoutButtonRect(int k);
// With four cameras or fewer only buttons 0, 1 and 5 show, at the first three places.
bool LayoutButtonShown(int k, int cameraCount);
QRect LayoutButtonRectFor(int k, int cameraCount);

}  // namespace strixc::station
