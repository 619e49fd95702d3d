#include "window_geometry.h"

namespace strixc::station {

namespace {

constexpr int kLayoutButtonX = 5;
constexpr int kLayoutButtonY = 280;
constexpr int kLayoutButtonStep = 22;
constexpr int kLayoutButtonWidth = 30;
constexpr int kLayoutButtonHeight = 20;

// Windows rectangles (right and bottom exclusive) are what the rules are written for.
struct Edges {
  int left, top, right, bottom;
};
Edges EdgesOf(const QRect& r) { return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}; }
QRect RectOf(const Edges& e) { return QRect(e.left, e.top, e.right - e.left, e.bottom - e.top); }

}  // namespace

QRect VideoArea(const QRect& client, DisplayMode mode) {
  Edges e = EdgesOf(client);
  if (mode == DisplayMode::kPreview) return client;
  if (mode == DisplayMode::kNormal) {
    e.left += 40;
    e.top += 25;
    e.right -= 60;
    e.bottom -= 10;
  }
  const int maxWidth = (e.bottom - e.top) * 4 / 3;
  if (e.right - e.left > maxWidth) e.right = e.left + maxWidth;
  if (e.right < e.left) e.right = e.left;
  if (e.bottom < e.top) e.bottom = e.top;
  return RectOf(e);
}

QRect PreviewSizing(const QRect& rect, SizingEdge edge) {
  Edges e = EdgesOf(rect);
  switch (edge) {
    case SizingEdge::kLeft:
    case SizingEdge::kRight:
      e.bottom = e.top + (e.right - e.left) * 3 / 4;
      break;
    case SizingEdge::kTop:
    case SizingEdge::kTopRight:
    case SizingEdge::kBottom:
    case SizingEdge::kBottomRight:
      e.right = e.left + (e.bottom - e.top) * 4 / 3;
      break;
    case SizingEdge::kTopLeft:
    case SizingEdge::kBottomLeft:
      e.left = e.right - (e.bottom - e.top) * 4 / 3;
      break;
  }
  return RectOf(e);
}

QRect LayoutButtonRect(int k) {
  return QRect(kLayoutButtonX, kLayoutButtonY + kLayoutButtonStep * k, kLayoutButtonWidth, kLayoutButtonHeight);
}

bool LayoutButtonShown(int k, int cameraCount) { return cameraCount > 4 || k == 0 || k == 1 || k == 5; }

QRect LayoutButtonRectFor(int k, int cameraCount) {
  if (cameraCount > 4) return LayoutButtonRect(k);
  return LayoutButtonRect(k == 5 ? 2 : k);
}

}  // namespace strixc::station
