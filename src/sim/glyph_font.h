#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "sim/canvas.h"

namespace strixc::sim {

// A small stroke font for the simulated cameras' captions: the classic 5 x 7 dot matrix, drawn as
// round strokes between neighbouring dots with smooth edges, at any size, with a dark rim so that
// it reads on any background. Knows digits, capitals (small letters are drawn as capitals), space
// and : . - / #; other characters are drawn as spaces.
//
// The glyphs are rendered into coverage masks once, at construction; Draw only blends masks and is
// cheap enough for every frame. Immutable after construction: may be shared between threads.
class GlyphFont {
 public:
  // `dot`: pixels from one dot of the matrix to the next (at least 1). `rim`: width in pixels of the
  // dark rim around the strokes (0: none).
  GlyphFont(double dot, double rim);

  // Height of a line of text and horizontal distance from one character to the next, in pixels.
  int Height() const { return height_; }
  int Advance() const { return advance_; }
  int TextWidth(std::string_view text) const;

  // Draws the text with the top left of its first character at (x, y): the rim in `rimColor`, then
  // the strokes in `color`.
  void Draw(Canvas& canvas, int x, int y, std::string_view text, Bgr color, Bgr rimColor) const;

 private:
  struct Glyph {
    std::vector<uint8_t> stroke;  // maskWidth_ x maskHeight_ coverage
    std::vector<uint8_t> rim;
  };
  void RenderGlyph(const std::array<uint8_t, 7>& rows, Glyph& glyph) const;
  const Glyph* Find(char c) const;

  double dot_;
  double rimWidth_;
  double radius_;
  int margin_;
  int maskWidth_;
  int maskHeight_;
  int height_;
  int advance_;
  // Indexed by the character code (7 bits); empty masks for characters drawn as spaces.
  std::array<Glyph, 128> glyphs_;
};

}  // namespace strixc::sim
