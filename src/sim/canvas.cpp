#include "sim/canvas.h"

#include <algorithm>
#include <cmath>

namespace strixc::sim {

namespace {

uint8_t Byte(double v) { return static_cast<uint8_t>(std::clamp(std::lround(v * 255.0), 0L, 255L)); }

// dst * (255 - alpha) / 255 + src, exact to rounding, without a division in the loop.
inline uint8_t Over(uint8_t dst, uint8_t premultiplied, uint8_t alpha) {
  const unsigned v = dst * (255u - alpha) + 128u;
  const unsigned sum = premultiplied + ((v + (v >> 8)) >> 8);
  return static_cast<uint8_t>(sum < 255u ? sum : 255u);
}

}  // namespace

Bgr BgrFromHsv(double hue, double saturation, double value) {
  const double h = std::fmod(std::fmod(hue, 360.0) + 360.0, 360.0) / 60.0;
  const double c = value * saturation;
  const double x = c * (1.0 - std::fabs(std::fmod(h, 2.0) - 1.0));
  const double m = value - c;
  double r = 0, g = 0, b = 0;
  switch (static_cast<int>(h)) {
    case 0:
      r = c, g = x;
      break;
    case 1:
      r = x, g = c;
      break;
    case 2:
      g = c, b = x;
      break;
    case 3:
      g = x, b = c;
      break;
    case 4:
      r = x, b = c;
      break;
    default:
      r = c, b = x;
      break;
  }
  return Bgr{Byte(b + m), Byte(g + m), Byte(r + m)};
}

void Sprite::Resize(int w, int h) {
  width = std::max(w, 0);
  height = std::max(h, 0);
  bgra.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 0);
}

void Sprite::Set(int x, int y, Bgr color, double alpha) {
  if (x < 0 || y < 0 || x >= width || y >= height) return;
  const double a = std::clamp(alpha, 0.0, 1.0);
  uint8_t* p = &bgra[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 4];
  p[0] = Byte(color.b / 255.0 * a);
  p[1] = Byte(color.g / 255.0 * a);
  p[2] = Byte(color.r / 255.0 * a);
  p[3] = Byte(a);
}

Canvas::Canvas(video::PictureBuffer& picture)
    : bits_(picture.Bits()),
      width_(picture.Width()),
      height_(picture.Height()),
      stride_(picture.Stride()),
      clipRight_(picture.Width()),
      clipBottom_(picture.Height()) {}

void Canvas::SetClip(int left, int top, int right, int bottom) {
  clipLeft_ = std::clamp(left, 0, width_);
  clipTop_ = std::clamp(top, 0, height_);
  clipRight_ = std::clamp(right, clipLeft_, width_);
  clipBottom_ = std::clamp(bottom, clipTop_, height_);
}

bool Canvas::ClipRect(int& x, int& y, int& w, int& h, int& skipX, int& skipY) const {
  const int left = std::max(x, clipLeft_);
  const int top = std::max(y, clipTop_);
  const int right = std::min(x + w, clipRight_);
  const int bottom = std::min(y + h, clipBottom_);
  if (right <= left || bottom <= top) return false;
  skipX = left - x;
  skipY = top - y;
  x = left;
  y = top;
  w = right - left;
  h = bottom - top;
  return true;
}

void Canvas::Fill(int x, int y, int w, int h, Bgr color) {
  int sx, sy;
  if (!ClipRect(x, y, w, h, sx, sy)) return;
  for (int row = 0; row < h; ++row) {
    uint8_t* p = Pixel(x, y + row);
    for (int i = 0; i < w; ++i, p += 3) {
      p[0] = color.b;
      p[1] = color.g;
      p[2] = color.r;
    }
  }
}

void Canvas::Blend(int x, int y, int w, int h, Bgr color, int alpha256) {
  int sx, sy;
  if (!ClipRect(x, y, w, h, sx, sy)) return;
  const int a = std::clamp(alpha256, 0, 256);
  const int keep = 256 - a;
  const int cb = color.b * a + 128, cg = color.g * a + 128, cr = color.r * a + 128;
  for (int row = 0; row < h; ++row) {
    uint8_t* p = Pixel(x, y + row);
    for (int i = 0; i < w; ++i, p += 3) {
      p[0] = static_cast<uint8_t>((p[0] * keep + cb) >> 8);
      p[1] = static_cast<uint8_t>((p[1] * keep + cg) >> 8);
      p[2] = static_cast<uint8_t>((p[2] * keep + cr) >> 8);
    }
  }
}

void Canvas::DrawMask(const uint8_t* mask, int w, int h, int x, int y, Bgr color) {
  const int maskWidth = w;
  int sx, sy;
  if (!ClipRect(x, y, w, h, sx, sy)) return;
  for (int row = 0; row < h; ++row) {
    const uint8_t* m = mask + static_cast<size_t>(row + sy) * static_cast<size_t>(maskWidth) + sx;
    uint8_t* p = Pixel(x, y + row);
    for (int i = 0; i < w; ++i, p += 3) {
      const uint8_t a = m[i];
      if (a == 0) continue;
      // The colour premultiplied by the coverage, rounded.
      const auto pre = [a](uint8_t c) {
        const unsigned v = c * a + 128u;
        return static_cast<uint8_t>((v + (v >> 8)) >> 8);
      };
      p[0] = Over(p[0], pre(color.b), a);
      p[1] = Over(p[1], pre(color.g), a);
      p[2] = Over(p[2], pre(color.r), a);
    }
  }
}

void Canvas::DrawSprite(const Sprite& sprite, int x, int y) {
  int w = sprite.width, h = sprite.height;
  int sx, sy;
  if (!ClipRect(x, y, w, h, sx, sy)) return;
  for (int row = 0; row < h; ++row) {
    const uint8_t* s =
        &sprite.bgra[(static_cast<size_t>(row + sy) * static_cast<size_t>(sprite.width) + static_cast<size_t>(sx)) * 4];
    uint8_t* p = Pixel(x, y + row);
    for (int i = 0; i < w; ++i, p += 3, s += 4) {
      const uint8_t a = s[3];
      if (a == 0) continue;
      p[0] = Over(p[0], s[0], a);
      p[1] = Over(p[1], s[1], a);
      p[2] = Over(p[2], s[2], a);
    }
  }
}

}  // namespace strixc::sim
