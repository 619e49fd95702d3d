#include "sim/scene.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>

#include "archive/archive_time.h"

namespace strixc::sim {

namespace {

constexpr uint64_t kSecond = archive::kUnitsPerSecond;
constexpr Bgr kWhite{255, 255, 255};
constexpr Bgr kBlack{0, 0, 0};
// Darkness of the boxes behind the captions, out of 256.
constexpr int kCaptionShade = 150;
constexpr int kBandShade = 140;

// How much larger than the standard 352 x 288 picture everything is drawn.
double ScaleOf(int width, int height) { return std::min(width / 352.0, height / 288.0); }

int Px(double v) { return static_cast<int>(std::lround(v)); }
int AtLeast(int low, double v) { return std::max(low, Px(v)); }

Bgr Mix(Bgr a, Bgr b, double t) {
  const auto m = [t](uint8_t x, uint8_t y) { return static_cast<uint8_t>(std::lround(x + (y - x) * t)); };
  return Bgr{m(a.b, b.b), m(a.g, b.g), m(a.r, b.r)};
}

Bgr Times(Bgr c, double f) {
  const auto m = [f](uint8_t x) { return static_cast<uint8_t>(std::clamp(std::lround(x * f), 0L, 255L)); };
  return Bgr{m(c.b), m(c.g), m(c.r)};
}

double Smooth(double t) { return t * t * (3.0 - 2.0 * t); }

// A soft elliptic shadow: black, darkest in the middle.
void MakeShadow(Sprite& shadow, int w, int h, double darkness) {
  shadow.Resize(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const double ex = (x + 0.5 - w / 2.0) / (w / 2.0), ey = (y + 0.5 - h / 2.0) / (h / 2.0);
      const double r2 = ex * ex + ey * ey;
      if (r2 < 1.0) shadow.Set(x, y, kBlack, darkness * (1.0 - r2));
    }
  }
}

}  // namespace

SceneFonts::SceneFonts(int width, int height)
    : number(std::max(1.0, 6.5 * ScaleOf(width, height)), std::max(0.8, 1.6 * ScaleOf(width, height))),
      caption(std::max(1.0, 2.0 * ScaleOf(width, height)), std::max(0.6, 1.1 * ScaleOf(width, height))),
      clock(std::max(1.0, 2.6 * ScaleOf(width, height)), std::max(0.7, 1.3 * ScaleOf(width, height))) {}

Scene::Scene(int camera, int width, int height, const std::string& name, std::shared_ptr<const SceneFonts> fonts)
    : camera_(camera), name_(name), fonts_(std::move(fonts)) {
  if (!fonts_) fonts_ = std::make_shared<SceneFonts>(width, height);
  background_.Resize(width, height);
  blockWidth_ = width / 8 * 8;
  blockHeight_ = height / 8 * 8;
  // The golden angle spreads the hues of any number of cameras evenly around the circle.
  hue_ = std::fmod(camera * 137.508, 360.0);
  accent_ = BgrFromHsv(hue_, 0.70, 1.0);

  const double k = ScaleOf(width, height);
  const int margin = AtLeast(1, 6 * k), pad = AtLeast(1, 5 * k), gap = AtLeast(1, 3 * k);
  const GlyphFont& clock = fonts_->clock;
  barHeight_ = AtLeast(1, 3 * k);
  bandTop_ = std::max(0, blockHeight_ - (pad + clock.Height() + gap + barHeight_ + pad));
  clockX_ = margin + pad;
  clockY_ = bandTop_ + pad;
  barX_ = clockX_;
  barY_ = clockY_ + clock.Height() + gap;
  barWidth_ = clock.TextWidth("00:00:00.0");
  // The date, smaller, at the right end of the band, on the clock's baseline; left out where the
  // band is too short for both.
  const GlyphFont& date = fonts_->caption;
  dateX_ = blockWidth_ - margin - pad - date.TextWidth("0000-00-00");
  dateY_ = clockY_ + clock.Height() - date.Height();
  if (dateX_ < clockX_ + barWidth_ + clock.Advance()) dateX_ = -1;
  horizon_ = std::clamp(Px(blockHeight_ * (0.40 + 0.05 * (camera % 3))), 1, std::max(1, bandTop_));

  PaintRoom();
  Canvas canvas(background_);
  PaintDecoration(canvas);
  ApplyVignette(canvas);
  PaintCaptions(canvas);
  MakeMovers();
}

void Scene::PaintRoom() {
  const int width = background_.Width(), height = background_.Height();
  const double k = ScaleOf(width, height);
  Canvas canvas(background_);

  // The wall: a gradient in the camera's hue, cut into panels, with a skirting board.
  const Bgr top = BgrFromHsv(hue_, 0.30, 0.82), low = BgrFromHsv(hue_, 0.50, 0.50);
  const int panel = std::max(8, width / (4 + camera_ % 3));
  const int seam = AtLeast(1, 2 * k);
  const int skirting = AtLeast(1, 8 * k);
  const Bgr skirtingColour = BgrFromHsv(hue_, 0.35, 0.28);
  for (int y = 0; y < horizon_; ++y) {
    const Bgr row = Mix(top, low, static_cast<double>(y) / horizon_);
    const Bgr dark = Times(row, 0.78), light = Times(row, 1.08);
    for (int x = 0; x < width; ++x) {
      const int inPanel = (x + camera_ * 13) % panel;
      const Bgr c = y >= horizon_ - skirting ? skirtingColour : inPanel < seam ? dark : inPanel == seam ? light : row;
      uint8_t* p = canvas.Pixel(x, y);
      p[0] = c.b, p[1] = c.g, p[2] = c.r;
    }
  }

  // The floor: tiles in perspective, sampled four times a pixel, fading into haze at the horizon.
  const double floorHue = camera_ % 2 ? 30.0 : hue_ + 180.0;
  const Bgr tileA = BgrFromHsv(floorHue, 0.28, 0.62), tileB = BgrFromHsv(floorHue, 0.32, 0.44);
  const Bgr haze = Mix(low, kWhite, 0.15);
  const double depth = std::max(1, height - horizon_);
  const double across = 5.0 + camera_ % 4, along = 2.0 + 0.3 * (camera_ % 3);
  for (int y = horizon_; y < height; ++y) {
    // Depth depends on the row only: 1 at the bottom of the picture, growing towards the horizon.
    double depthOf[2];
    for (int i = 0; i < 2; ++i) depthOf[i] = 1.0 / std::max((y + 0.25 + 0.5 * i - horizon_) / depth, 0.02);
    const double mist = std::pow(1.0 - std::min(1.0, (y + 0.5 - horizon_) / depth), 4.0) * 0.9;
    for (int x = 0; x < width; ++x) {
      int b = 0, g = 0, r = 0;
      for (const double z : depthOf) {
        const long row = static_cast<long>(std::floor(z * along + camera_ * 0.37));
        for (const double sx : {0.25, 0.75}) {
          const double wx = (x + sx - width / 2.0) / width * across * z;
          const Bgr c = (static_cast<long>(std::floor(wx)) + row) & 1 ? tileA : tileB;
          b += c.b, g += c.g, r += c.r;
        }
      }
      uint8_t* p = canvas.Pixel(x, y);
      p[0] = static_cast<uint8_t>(std::lround(b / 4.0 + (haze.b - b / 4.0) * mist));
      p[1] = static_cast<uint8_t>(std::lround(g / 4.0 + (haze.g - g / 4.0) * mist));
      p[2] = static_cast<uint8_t>(std::lround(r / 4.0 + (haze.r - r / 4.0) * mist));
    }
  }
}

void Scene::PaintDecoration(Canvas& canvas) {
  const int width = blockWidth_ > 0 ? blockWidth_ : background_.Width();
  const double k = ScaleOf(background_.Width(), background_.Height());
  const int frame = AtLeast(1, 3 * k);
  const int left = Px(width * 0.58), right = Px(width * 0.86);
  const int top =
      std::max(Px(horizon_ * 0.22), AtLeast(1, 6 * k) * 2 + fonts_->number.Height() + AtLeast(1, 5 * k) * 2);
  const int bottom = Px(horizon_ * 0.80);
  const int w = right - left, h = bottom - top;
  switch (camera_ % 4) {
    case 0: {  // a window with sky behind it
      canvas.Fill(left - frame, top - frame, w + 2 * frame, h + 2 * frame, BgrFromHsv(hue_, 0.25, 0.25));
      for (int y = 0; y < h; ++y)
        canvas.Fill(
            left, top + y, w, 1,
            Mix(BgrFromHsv(208, 0.55, 0.95), BgrFromHsv(195, 0.18, 1.0), static_cast<double>(y) / std::max(1, h)));
      canvas.Fill(left + w / 2 - frame / 2, top, frame, h, BgrFromHsv(hue_, 0.25, 0.25));
      canvas.Fill(left, top + h / 2 - frame / 2, w, frame, BgrFromHsv(hue_, 0.25, 0.25));
      break;
    }
    case 1: {  // a door down to the floor
      const int doorLeft = Px(width * 0.64), doorWidth = Px(width * 0.16);
      const int doorTop = top, doorHeight = horizon_ - top;
      canvas.Fill(doorLeft - frame, doorTop - frame, doorWidth + 2 * frame, doorHeight + frame,
                  BgrFromHsv(28, 0.35, 0.22));
      canvas.Fill(doorLeft, doorTop, doorWidth, doorHeight, BgrFromHsv(28, 0.55, 0.45));
      const int inset = AtLeast(1, 5 * k);
      const int panelHeight = (doorHeight - 3 * inset) / 2;
      for (int i = 0; i < 2; ++i)
        canvas.Fill(doorLeft + inset, doorTop + inset + i * (panelHeight + inset), doorWidth - 2 * inset, panelHeight,
                    BgrFromHsv(28, 0.60, 0.36));
      const int knob = AtLeast(1, 4 * k);
      canvas.Fill(doorLeft + doorWidth - inset - knob, doorTop + doorHeight / 2, knob, knob, BgrFromHsv(45, 0.6, 0.9));
      break;
    }
    case 2: {  // three posters
      const int posterWidth = w / 4, space = (w - 3 * posterWidth) / 2;
      for (int i = 0; i < 3; ++i) {
        const int x = left + i * (posterWidth + space), y = top + (i % 2) * frame * 2;
        canvas.Fill(x - frame, y - frame, posterWidth + 2 * frame, h * 2 / 3 + 2 * frame, Mix(kWhite, kBlack, 0.08));
        canvas.Fill(x, y, posterWidth, h * 2 / 3, BgrFromHsv(hue_ + 90 + 70 * i, 0.6, 0.75));
        canvas.Fill(x + frame, y + h / 3, posterWidth - 2 * frame, frame, kWhite);
      }
      break;
    }
    default: {  // a hazard stripe along the whole wall
      const int stripeTop = Px(horizon_ * 0.55), stripeHeight = std::max(2, Px(horizon_ * 0.12));
      const int period = AtLeast(4, 16 * k);
      const Bgr yellow = BgrFromHsv(48, 0.85, 0.95), black = BgrFromHsv(0, 0, 0.12);
      for (int y = 0; y < stripeHeight; ++y) {
        for (int x = 0; x < background_.Width(); ++x) {
          const Bgr c = ((x + y) / (period / 2)) % 2 ? yellow : black;
          if (stripeTop + y >= 0 && stripeTop + y < background_.Height()) {
            uint8_t* p = canvas.Pixel(x, stripeTop + y);
            p[0] = c.b, p[1] = c.g, p[2] = c.r;
          }
        }
      }
      break;
    }
  }
}

void Scene::ApplyVignette(Canvas& canvas) {
  // Darker corners, as real lenses give.
  const int fullWidth = background_.Width(), fullHeight = background_.Height();
  for (int y = 0; y < fullHeight; ++y) {
    const double ry = (y + 0.5) / fullHeight * 2.0 - 1.0;
    for (int x = 0; x < fullWidth; ++x) {
      const double rx = (x + 0.5) / fullWidth * 2.0 - 1.0;
      const double f = 1.0 - 0.14 * (rx * rx + ry * ry);
      uint8_t* p = canvas.Pixel(x, y);
      for (int i = 0; i < 3; ++i) p[i] = static_cast<uint8_t>(std::lround(p[i] * f));
    }
  }
}

void Scene::PaintCaptions(Canvas& canvas) {
  const double k = ScaleOf(background_.Width(), background_.Height());
  const int margin = AtLeast(1, 6 * k), pad = AtLeast(1, 5 * k), accentWidth = AtLeast(1, 4 * k);
  const GlyphFont& number = fonts_->number;
  const GlyphFont& caption = fonts_->caption;

  // The camera number, big, on a dark box with a stripe of the camera's colour.
  const std::string numberText = std::to_string(camera_ + 1);
  const int boxHeight = pad + number.Height() + pad;
  const int numberBox = accentWidth + pad + number.TextWidth(numberText) + pad;
  canvas.Blend(margin, margin, numberBox, boxHeight, kBlack, kCaptionShade);
  canvas.Fill(margin, margin, accentWidth, boxHeight, accent_);
  number.Draw(canvas, margin + accentWidth + pad, margin + pad, numberText, kWhite, kBlack);

  // Beside it the name and "CAMERA n", centred on the number's box.
  char cameraText[24];
  std::snprintf(cameraText, sizeof cameraText, "CAMERA %d", camera_ + 1);
  const int lineGap = AtLeast(1, 4 * k);
  const int textWidth = std::max(caption.TextWidth(name_), caption.TextWidth(cameraText));
  const int captionLeft = margin + numberBox + std::max(1, margin / 2);
  canvas.Blend(captionLeft, margin, pad + textWidth + pad, boxHeight, kBlack, kCaptionShade);
  const int firstLine = margin + (boxHeight - (2 * caption.Height() + lineGap)) / 2;
  caption.Draw(canvas, captionLeft + pad, firstLine, name_, kWhite, kBlack);
  caption.Draw(canvas, captionLeft + pad, firstLine + caption.Height() + lineGap, cameraText,
               BgrFromHsv(hue_, 0.30, 1.0), kBlack);

  // The band the clock is drawn on, and the track of the seconds bar.
  canvas.Blend(0, bandTop_, background_.Width(), blockHeight_ - bandTop_, kBlack, kBandShade);
  canvas.Fill(barX_, barY_, barWidth_, barHeight_, Bgr{70, 70, 70});
}

void Scene::MakeMovers() {
  const int size = std::min(blockWidth_, blockHeight_);
  const double floorDepth = std::max(1, bandTop_ - horizon_);

  // A shaded ball hopping across the front of the room.
  Mover& ball = movers_[0];
  const int radius = AtLeast(2, size * 0.075);
  const int side = 2 * radius + 2;
  ball.sprite.Resize(side, side);
  const Bgr base = BgrFromHsv(hue_ + 180.0, 0.75, 0.95);
  const double lx = -0.45, ly = -0.55, lz = 0.70;
  const double centre = side / 2.0;
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      const double nx = (x + 0.5 - centre) / radius, ny = (y + 0.5 - centre) / radius;
      const double r = std::sqrt(nx * nx + ny * ny);
      const double coverage = radius + 0.5 - r * radius;
      if (coverage <= 0) continue;
      const double nz = r < 1.0 ? std::sqrt(1.0 - r * r) : 0.0;
      const double diffuse = std::max(0.0, (nx * lx + ny * ly + nz * lz) / std::sqrt(lx * lx + ly * ly + lz * lz));
      const double shine = std::pow(diffuse, 30.0) * 0.7;
      ball.sprite.Set(x, y, Mix(Times(base, 0.25 + 0.8 * diffuse), kWhite, shine), coverage);
    }
  }
  MakeShadow(ball.shadow, AtLeast(2, side * 1.1), AtLeast(2, radius * 0.7), 0.55);
  const int ballGround = Px(horizon_ + floorDepth * 0.75);
  ball.ax = Px(blockWidth_ * 0.10);
  ball.bx = Px(blockWidth_ * 0.90) - side;
  ball.ay = ball.by = ballGround - side;
  ball.shadowDx = (side - ball.shadow.width) / 2;
  ball.shadowDy = side - ball.shadow.height / 2 - 1;
  ball.hop = Px(radius * 0.9);

  // A crate on wheels sliding along the back of the room, the other way.
  Mover& crate = movers_[1];
  const int w = AtLeast(3, size * 0.17), h = AtLeast(2, w * 0.62);
  crate.sprite.Resize(w, h);
  const Bgr body = BgrFromHsv(hue_ + 120.0, 0.55, 0.80);
  const int border = AtLeast(1, w * 0.06);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      Bgr c = y < h / 4 ? Times(body, 1.18) : body;
      if (x < border || y < border || x >= w - border || y >= h - border) c = Times(body, 0.45);
      if (y >= h * 0.45 && y < h * 0.65 && x >= w * 0.2 && x < w * 0.8) c = Mix(kWhite, body, 0.15);
      crate.sprite.Set(x, y, c, 1.0);
    }
  }
  MakeShadow(crate.shadow, AtLeast(2, w * 1.2), AtLeast(2, h * 0.35), 0.5);
  const int crateGround = Px(horizon_ + floorDepth * 0.33);
  crate.ax = Px(blockWidth_ * 0.80) - w;
  crate.bx = Px(blockWidth_ * 0.16);
  crate.ay = crate.by = crateGround - h;
  crate.shadowDx = (w - crate.shadow.width) / 2;
  crate.shadowDy = h - crate.shadow.height / 2;

  // Every camera has its own rhythm, so that a wall of cameras is never in step.
  for (int i = 0; i < kObjects; ++i) {
    Mover& m = movers_[i];
    const uint64_t seconds = 8 + static_cast<uint64_t>((camera_ * 5 + i * 3) % 7);
    m.period = seconds * kSecond;
    m.travel = m.period * 45 / 100;
    m.offset = static_cast<uint64_t>((camera_ * 17 + i * 31) % 100) * kSecond / 10;
  }
}

Scene::Place Scene::PlaceOf(const Mover& m, uint64_t time) const {
  // Out and back: A to B, rest, B to A, rest. The remainder keeps the arithmetic exact however large
  // the time is.
  const uint64_t u = (time % (2 * m.period) + m.offset) % (2 * m.period);
  const bool back = u >= m.period;
  const uint64_t v = u % m.period;
  Place place;
  double f = 1.0;
  if (v < m.travel) {
    place.moving = true;
    f = Smooth(static_cast<double>(v) / static_cast<double>(m.travel));
  }
  if (back) f = 1.0 - f;
  place.x = Px(m.ax + (m.bx - m.ax) * f);
  place.y = Px(m.ay + (m.by - m.ay) * f);
  place.shadowX = place.x + m.shadowDx;
  place.shadowY = place.y + m.shadowDy;
  if (place.moving && m.hop > 0) place.y -= Px(m.hop * std::fabs(std::sin(std::numbers::pi * 3.0 * f)));
  return place;
}

bool Scene::Moving(uint64_t time) const {
  for (const Mover& m : movers_) {
    if (PlaceOf(m, time).moving) return true;
  }
  return false;
}

void Scene::Render(uint64_t time, video::PictureBuffer& out) const {
  out.Resize(background_.Width(), background_.Height());
  std::memcpy(out.Bits(), background_.Bits(), background_.ImageSize());
  Canvas canvas(out);
  canvas.SetClip(0, 0, blockWidth_, blockHeight_);

  // The crate is further back: it and its shadow go first.
  const Place crate = PlaceOf(movers_[1], time), ball = PlaceOf(movers_[0], time);
  canvas.DrawSprite(movers_[1].shadow, crate.shadowX, crate.shadowY);
  canvas.DrawSprite(movers_[1].sprite, crate.x, crate.y);
  canvas.DrawSprite(movers_[0].shadow, ball.shadowX, ball.shadowY);
  canvas.DrawSprite(movers_[0].sprite, ball.x, ball.y);

  const archive::TimeFields f = archive::FieldsOfTime(time);
  char text[48];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%d", f.hour, f.minute, f.second, f.millisecond / 100);
  fonts_->clock.Draw(canvas, clockX_, clockY_, text, kWhite, kBlack);
  if (dateX_ >= 0) {
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", f.year, f.month, f.day);
    fonts_->caption.Draw(canvas, dateX_, dateY_, text, Bgr{215, 215, 215}, kBlack);
  }
  const auto fill = static_cast<int>(static_cast<uint64_t>(barWidth_) * (time % kSecond) / kSecond);
  canvas.Fill(barX_, barY_, fill, barHeight_, accent_);
}

}  // namespace strixc::sim
