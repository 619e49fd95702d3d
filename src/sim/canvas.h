#pragma once

#include <cstdint>
#include <vector>

#include "video/picture.h"

namespace strixc::sim {

// A colour in the byte order of our pictures.
struct Bgr {
  uint8_t b = 0;
  uint8_t g = 0;
  uint8_t r = 0;
};

// Hue in degrees (any value), saturation and value 0..1.
Bgr BgrFromHsv(double hue, double saturation, double value);

// A small picture with an alpha channel, premultiplied: each pixel is blue, green, red already
// multiplied by its alpha, then the alpha (0: transparent, 255: opaque). A shadow is a sprite of
// black pixels whose alpha says how much to darken.
struct Sprite {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> bgra;  // width * height * 4 bytes, rows top-down

  void Resize(int w, int h);
  // Sets one pixel from a plain colour and a coverage 0..1.
  void Set(int x, int y, Bgr color, double alpha);
};

// Plain drawing into a picture in our layout (bottom-up rows), with coordinates counted from the
// top left like a person reads the picture. Everything is clipped to the clip rectangle, which is
// the whole picture unless narrowed. The picture must outlive the canvas and keep its size.
class Canvas {
 public:
  explicit Canvas(video::PictureBuffer& picture);

  int Width() const { return width_; }
  int Height() const { return height_; }
  // Right and bottom exclusive; intersected with the picture.
  void SetClip(int left, int top, int right, int bottom);

  // The first byte of pixel (x, y); unchecked.
  uint8_t* Pixel(int x, int y) { return bits_ + static_cast<ptrdiff_t>(height_ - 1 - y) * stride_ + 3 * x; }

  void Fill(int x, int y, int w, int h, Bgr color);
  // Mixes `color` over the rectangle: alpha 0 keeps the picture, 256 paints the colour.
  void Blend(int x, int y, int w, int h, Bgr color, int alpha256);
  // Draws `color` where a coverage mask (w x h bytes, 0..255, rows top-down) covers.
  void DrawMask(const uint8_t* mask, int w, int h, int x, int y, Bgr color);
  void DrawSprite(const Sprite& sprite, int x, int y);

 private:
  // The part of the rectangle inside the clip; false when nothing is.
  bool ClipRect(int& x, int& y, int& w, int& h, int& skipX, int& skipY) const;

  uint8_t* bits_;
  int width_;
  int height_;
  int stride_;
  int clipLeft_ = 0;
  int clipTop_ = 0;
  int clipRight_;
  int clipBottom_;
};

}  // namespace strixc::sim
