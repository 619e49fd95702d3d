#include "window_geometry.h"

#include <algorithm>
#include <limits>

namespace strixc::station {

namespace {

constexpr int kLayoutButtonX = 5;
constexpr int kLayoutButtonY = 280;
constexpr int kLayoutButtonStep = 22;
constexpr int kLayoutButtonWidth = 30;
constexpr int kLayoutButtonHeight = 20;

// Windows rectangles (right and bottom exclusive) are what the rules are written for. The edges
// are 64-bit: a rectangle near the ends of the int range must not overflow on its way through the
// rules; each edge of a result is saturated back into int, and the size follows from the edges.
struct Edges {
  int64_t left, top, right, bottom;
};
Edges EdgesOf(const QRect& r) {
  return {r.left(), r.top(), int64_t{r.left()} + r.width(), int64_t{r.top()} + r.height()};
}
int Saturate(int64_t v) {
  return static_cast<int>(
      std::clamp<int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}
QRect RectOf(const Edges& e) {
  const int left = Saturate(e.left);
  const int top = Saturate(e.top);
  return QRect(left, top, Saturate(Saturate(e.right) - int64_t{left}), Saturate(Saturate(e.bottom) - int64_t{top}));
}

int StoredCoordinate(uint32_t value) {
  return std::clamp(static_cast<int>(static_cast<int32_t>(value)), -kMaxCoordinate, kMaxCoordinate);
}

}  // namespace

QRect StoredPlacement(uint32_t left, uint32_t top, uint32_t right, uint32_t bottom) {
  const int x = StoredCoordinate(left);
  const int y = StoredCoordinate(top);
  const int width = std::clamp(StoredCoordinate(right) - x, kMinWindowSize, kMaxWindowSize);
  const int height = std::clamp(StoredCoordinate(bottom) - y, kMinWindowSize, kMaxWindowSize);
  return QRect(x, y, width, height);
}

QRect VideoArea(const QRect& client, DisplayMode mode) {
  Edges e = EdgesOf(client);
  if (mode == DisplayMode::kPreview) return client;
  if (mode == DisplayMode::kNormal) {
    e.left += 40;
    e.top += 25;
    e.right -= 60;
    e.bottom -= 10;
  }
  const int64_t maxWidth = (e.bottom - e.top) * 4 / 3;
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

QRect PreviewSizingDrag(const QRect& start, Qt::Edges edges, QPoint moved, int menuHeight) {
  QRect r = start;
  if (edges & Qt::LeftEdge) r.setLeft(std::min(start.left() + moved.x(), start.right() + 1 - kMinWindowSize));
  if (edges & Qt::RightEdge) r.setRight(std::max(start.right() + moved.x(), start.left() - 1 + kMinWindowSize));
  if (edges & Qt::TopEdge) r.setTop(std::min(start.top() + moved.y(), start.bottom() + 1 - kMinWindowSize));
  if (edges & Qt::BottomEdge) r.setBottom(std::max(start.bottom() + moved.y(), start.top() - 1 + kMinWindowSize));
  const bool left = edges & Qt::LeftEdge;
  const bool right = edges & Qt::RightEdge;
  const bool top = edges & Qt::TopEdge;
  const bool bottom = edges & Qt::BottomEdge;
  SizingEdge edge = SizingEdge::kBottom;
  if (!top && !bottom) {
    edge = left ? SizingEdge::kLeft : SizingEdge::kRight;
  } else if (left) {
    edge = top ? SizingEdge::kTopLeft : SizingEdge::kBottomLeft;
  } else if (right) {
    edge = top ? SizingEdge::kTopRight : SizingEdge::kBottomRight;
  } else {
    edge = top ? SizingEdge::kTop : SizingEdge::kBottom;
  }
  QRect sized = PreviewSizing(r.adjusted(0, menuHeight, 0, 0), edge);
  sized.setTop(sized.top() - menuHeight);
  return sized;
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
