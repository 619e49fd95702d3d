#include "sim/glyph_font.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace strixc::sim {

namespace {

struct GlyphRows {
  char c;
  std::array<uint8_t, 7> rows;  // top row first; bit 4 is the leftmost dot
};

// The dot matrix of every character the font knows. The zero has no slash: the captions hold
// times and camera numbers, where it cannot be mistaken for a letter.
constexpr GlyphRows kMatrix[] = {
    {'0', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'A', {0x0E, 0x11, 0x11, 0x11, 0x1F, 0x11, 0x11}}, {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}}, {'D', {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}}, {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}}, {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}}, {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}}, {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}}, {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}}, {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}}, {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
    {'Y', {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04}}, {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
    {':', {0x00, 0x04, 0x04, 0x00, 0x04, 0x04, 0x00}}, {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x04}},
    {'-', {0x00, 0x00, 0x00, 0x0E, 0x00, 0x00, 0x00}}, {'/', {0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x00}},
    {'#', {0x0A, 0x0A, 0x1F, 0x0A, 0x1F, 0x0A, 0x0A}},
};

bool Lit(const std::array<uint8_t, 7>& rows, int row, int col) {
  if (row < 0 || row >= 7 || col < 0 || col >= 5) return false;
  return (rows[static_cast<size_t>(row)] >> (4 - col)) & 1;
}

// Distance from p to the segment a-b.
double SegmentDistance(double px, double py, double ax, double ay, double bx, double by) {
  const double dx = bx - ax, dy = by - ay;
  const double length2 = dx * dx + dy * dy;
  double t = length2 > 0 ? ((px - ax) * dx + (py - ay) * dy) / length2 : 0.0;
  t = std::clamp(t, 0.0, 1.0);
  const double ex = px - (ax + t * dx), ey = py - (ay + t * dy);
  return std::sqrt(ex * ex + ey * ey);
}

uint8_t Coverage(double inside) { return static_cast<uint8_t>(std::lround(std::clamp(inside, 0.0, 1.0) * 255.0)); }

}  // namespace

GlyphFont::GlyphFont(double dot, double rim) : dot_(std::max(dot, 1.0)), rimWidth_(std::max(rim, 0.0)) {
  // Strokes slightly thinner than the dot pitch keep two parallel strokes one dot apart separate.
  radius_ = std::max(0.5, dot_ * 0.46);
  margin_ = static_cast<int>(std::ceil(rimWidth_ + 1.0));
  maskWidth_ = static_cast<int>(std::ceil(5 * dot_)) + 2 * margin_;
  maskHeight_ = static_cast<int>(std::ceil(7 * dot_)) + 2 * margin_;
  height_ = static_cast<int>(std::ceil(7 * dot_));
  advance_ = static_cast<int>(std::lround(6 * dot_));
  for (const GlyphRows& g : kMatrix) RenderGlyph(g.rows, glyphs_[static_cast<size_t>(g.c)]);
}

void GlyphFont::RenderGlyph(const std::array<uint8_t, 7>& rows, Glyph& glyph) const {
  struct Segment {
    double ax, ay, bx, by;
  };
  std::vector<Segment> segments;
  const auto centre = [this](int i) { return (i + 0.5) * dot_ + margin_; };
  for (int r = 0; r < 7; ++r) {
    for (int c = 0; c < 5; ++c) {
      if (!Lit(rows, r, c)) continue;
      const double x = centre(c), y = centre(r);
      segments.push_back({x, y, x, y});
      if (Lit(rows, r, c + 1)) segments.push_back({x, y, centre(c + 1), y});
      if (Lit(rows, r + 1, c)) segments.push_back({x, y, x, centre(r + 1)});
      // A diagonal joins two dots only where no straight stroke already turns the corner.
      if (Lit(rows, r + 1, c + 1) && !Lit(rows, r, c + 1) && !Lit(rows, r + 1, c))
        segments.push_back({x, y, centre(c + 1), centre(r + 1)});
      if (Lit(rows, r + 1, c - 1) && !Lit(rows, r, c - 1) && !Lit(rows, r + 1, c))
        segments.push_back({x, y, centre(c - 1), centre(r + 1)});
    }
  }
  const size_t size = static_cast<size_t>(maskWidth_) * static_cast<size_t>(maskHeight_);
  std::vector<double> distance(size, std::numeric_limits<double>::max());
  const double reach = radius_ + rimWidth_ + 1.0;
  for (const Segment& s : segments) {
    const int x0 = std::max(0, static_cast<int>(std::floor(std::min(s.ax, s.bx) - reach)));
    const int x1 = std::min(maskWidth_ - 1, static_cast<int>(std::ceil(std::max(s.ax, s.bx) + reach)));
    const int y0 = std::max(0, static_cast<int>(std::floor(std::min(s.ay, s.by) - reach)));
    const int y1 = std::min(maskHeight_ - 1, static_cast<int>(std::ceil(std::max(s.ay, s.by) + reach)));
    for (int y = y0; y <= y1; ++y) {
      for (int x = x0; x <= x1; ++x) {
        double& d = distance[static_cast<size_t>(y) * static_cast<size_t>(maskWidth_) + static_cast<size_t>(x)];
        d = std::min(d, SegmentDistance(x + 0.5, y + 0.5, s.ax, s.ay, s.bx, s.by));
      }
    }
  }
  glyph.stroke.resize(size);
  glyph.rim.resize(size);
  for (size_t i = 0; i < size; ++i) {
    glyph.stroke[i] = Coverage(radius_ + 0.5 - distance[i]);
    glyph.rim[i] = rimWidth_ > 0 ? Coverage(radius_ + rimWidth_ + 0.5 - distance[i]) : 0;
  }
}

const GlyphFont::Glyph* GlyphFont::Find(char c) const {
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  const auto index = static_cast<unsigned char>(c);
  if (index >= glyphs_.size() || glyphs_[index].stroke.empty()) return nullptr;
  return &glyphs_[index];
}

int GlyphFont::TextWidth(std::string_view text) const {
  if (text.empty()) return 0;
  // The last character ends at its fifth dot; the gap of the sixth is not part of the text.
  return static_cast<int>(text.size() - 1) * advance_ + static_cast<int>(std::ceil(5 * dot_));
}

void GlyphFont::Draw(Canvas& canvas, int x, int y, std::string_view text, Bgr color, Bgr rimColor) const {
  // All rims first, so that no rim covers the stroke of a neighbour.
  if (rimWidth_ > 0) {
    int at = x;
    for (char c : text) {
      if (const Glyph* g = Find(c))
        canvas.DrawMask(g->rim.data(), maskWidth_, maskHeight_, at - margin_, y - margin_, rimColor);
      at += advance_;
    }
  }
  int at = x;
  for (char c : text) {
    if (const Glyph* g = Find(c))
      canvas.DrawMask(g->stroke.data(), maskWidth_, maskHeight_, at - margin_, y - margin_, color);
    at += advance_;
  }
}

}  // namespace strixc::sim
