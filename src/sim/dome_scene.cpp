#include "sim/dome_scene.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <vector>

#include "archive/archive_time.h"

namespace strixc::sim {

namespace {

constexpr Bgr kWhite{255, 255, 255};
constexpr Bgr kBlack{0, 0, 0};
constexpr int kCaptionShade = 150;
// The towers at the compass points: their names, and heights in degrees above the horizon.
constexpr int kTowers = 8;
constexpr std::array<const char*, kTowers> kTowerNames = {"N", "NE", "E", "SE", "S", "SW", "W", "NW"};
constexpr std::array<double, kTowers> kTowerHeights = {6, 12, 18, 9, 15, 6, 12, 18};
constexpr double kTowerHalfWidth = 4.0;  // degrees

double ScaleOf(int width, int height) { return std::min(width / 352.0, height / 288.0); }
int AtLeast(int low, double v) { return std::max(low, static_cast<int>(std::lround(v))); }

Bgr Mix(Bgr a, Bgr b, double t) {
  const auto m = [t](uint8_t x, uint8_t y) { return static_cast<uint8_t>(std::lround(x + (y - x) * t)); };
  return Bgr{m(a.b, b.b), m(a.g, b.g), m(a.r, b.r)};
}

double Radians(double degrees) { return degrees * std::numbers::pi / 180.0; }

// Bearing in 0..360.
double Wrap360(double degrees) {
  const double w = std::fmod(degrees, 360.0);
  return w < 0 ? w + 360.0 : w;
}

// The ridge of the hills, in degrees above the horizon; periodic over the whole turn.
double Ridge(double bearing) {
  const double b = Radians(bearing);
  return 3.0 + 1.5 * std::sin(2 * b) + 1.0 * std::sin(5 * b + 1.0) + 0.6 * std::sin(11 * b + 2.0);
}

// Distance in pixels from `value` to the nearest multiple of `step`, at `f` pixels a degree.
double OffGrid(double value, double step, double f) {
  return std::fabs(value - std::round(value / step) * step) * f;
}

}  // namespace

DomeScene::DomeScene(int camera, int width, int height, const std::string& name,
                     std::shared_ptr<const SceneFonts> fonts)
    : camera_(camera),
      width_(std::max(width, 1)),
      height_(std::max(height, 1)),
      name_(name),
      fonts_(std::move(fonts)),
      hue_(std::fmod(camera * 137.508, 360.0)) {
  if (!fonts_) fonts_ = std::make_shared<SceneFonts>(width_, height_);
}

void DomeScene::Render(uint64_t time, const DomeView& view, video::PictureBuffer& out) const {
  out.Resize(width_, height_);
  PaintLandscape(view, out);
  Canvas canvas(out);
  PaintLabels(canvas, view);
  PaintCaptions(canvas, time, view);
}

void DomeScene::PaintLandscape(const DomeView& view, video::PictureBuffer& out) const {
  // A flat projection is plenty for a test picture: every pixel is the same angle wide.
  const double f = width_ / (kWideFieldOfView / std::max(view.zoom, 1.0));
  const double centreBearing = -view.pan;  // a dome turned left looks at smaller bearings
  const double centreElevation = -view.tilt;

  // What depends on the column only: the bearing's ridge, tower and grid lines.
  struct Column {
    double bearing;
    double ridge;
    int tower;  // -1: none
    int grid;   // 0 none, 1 a 10-degree line, 2 a 90-degree line
    bool windows;
  };
  std::vector<Column> columns(static_cast<size_t>(width_));
  for (int x = 0; x < width_; ++x) {
    Column& c = columns[static_cast<size_t>(x)];
    c.bearing = Wrap360(centreBearing + (x + 0.5 - width_ / 2.0) / f);
    c.ridge = Ridge(c.bearing);
    const int nearest = static_cast<int>(std::lround(c.bearing / 45.0)) % kTowers;
    const double fromTower = std::remainder(c.bearing - nearest * 45.0, 360.0);
    c.tower = std::fabs(fromTower) < kTowerHalfWidth ? nearest : -1;
    c.windows = c.tower >= 0 && static_cast<int>(std::floor((fromTower + kTowerHalfWidth) / 1.0)) % 2 == 1;
    c.grid = OffGrid(c.bearing, 90.0, f) < 1.0 ? 2 : OffGrid(c.bearing, 10.0, f) < 0.5 ? 1 : 0;
  }

  const Bgr skyLow = BgrFromHsv(200, 0.25, 0.98), skyHigh = BgrFromHsv(215, 0.65, 0.80);
  const Bgr hillNear = BgrFromHsv(hue_ * 0.25 + 90, 0.45, 0.45), hillFar = BgrFromHsv(hue_ * 0.25 + 100, 0.30, 0.62);
  const Bgr tileA = BgrFromHsv(hue_ + 30, 0.30, 0.60), tileB = BgrFromHsv(hue_ + 30, 0.35, 0.42);
  const Bgr haze = Mix(skyLow, kWhite, 0.2);
  std::array<Bgr, kTowers> towerColours;
  for (int i = 0; i < kTowers; ++i) towerColours[static_cast<size_t>(i)] = BgrFromHsv(i * 45.0 + hue_, 0.55, 0.70);

  Canvas canvas(out);
  for (int y = 0; y < height_; ++y) {
    const double e = centreElevation + (height_ / 2.0 - y - 0.5) / f;
    const bool skyLine = e > 0 && OffGrid(e, 10.0, f) < 0.5;
    const Bgr sky = Mix(skyLow, skyHigh, std::min(1.0, e / 45.0));
    // The plain: rings of tiles that grow denser towards the horizon, fading into haze there.
    const double distance = 1.0 / std::tan(Radians(std::max(-e, 0.2)));
    const long ring = static_cast<long>(std::floor(distance * 2.0));
    const double mist = std::pow(std::max(0.0, 1.0 - (-e) / 12.0), 3.0) * 0.8;
    const bool windowRow = static_cast<long>(std::floor(e / 1.5)) % 2 == 1;
    uint8_t* p = canvas.Pixel(0, y);
    for (int x = 0; x < width_; ++x, p += 3) {
      const Column& c = columns[static_cast<size_t>(x)];
      Bgr colour;
      if (e >= 0) {
        if (c.tower >= 0 && e < kTowerHeights[static_cast<size_t>(c.tower)]) {
          colour = towerColours[static_cast<size_t>(c.tower)];
          if (c.windows && windowRow) colour = Mix(colour, kWhite, 0.45);
        } else if (e < c.ridge) {
          colour = Mix(hillNear, hillFar, e / std::max(c.ridge, 0.1));
        } else {
          colour = skyLine ? Mix(sky, kWhite, 0.5) : sky;
        }
      } else {
        const long sector = static_cast<long>(std::floor(c.bearing / 5.0));
        colour = Mix((sector + ring) & 1 ? tileA : tileB, haze, mist);
      }
      if (c.grid == 2) colour = Mix(colour, kWhite, 0.7);
      if (c.grid == 1) colour = Mix(colour, kWhite, 0.35);
      p[0] = colour.b, p[1] = colour.g, p[2] = colour.r;
    }
  }
}

void DomeScene::PaintLabels(Canvas& canvas, const DomeView& view) const {
  const double f = width_ / (kWideFieldOfView / std::max(view.zoom, 1.0));
  const GlyphFont& font = fonts_->caption;
  const auto screenX = [&](double bearing) { return width_ / 2.0 + std::remainder(bearing + view.pan, 360.0) * f; };
  const auto screenY = [&](double elevation) { return height_ / 2.0 - (elevation + view.tilt) * f; };
  char text[16];
  for (int i = 0; i < kTowers; ++i) {
    std::snprintf(text, sizeof text, "%s %d", kTowerNames[static_cast<size_t>(i)], i * 45);
    const int x = static_cast<int>(std::lround(screenX(i * 45.0))) - font.TextWidth(text) / 2;
    const int y = static_cast<int>(std::lround(screenY(kTowerHeights[static_cast<size_t>(i)]))) - font.Height() - 2;
    font.Draw(canvas, x, y, text, kWhite, kBlack);
  }
  // The other bearings every 30 degrees, just below the horizon.
  for (int bearing = 30; bearing < 360; bearing += 30) {
    if (bearing % 45 == 0) continue;
    std::snprintf(text, sizeof text, "%d", bearing);
    const int x = static_cast<int>(std::lround(screenX(bearing))) - font.TextWidth(text) / 2;
    font.Draw(canvas, x, static_cast<int>(std::lround(screenY(0))) + 2, text, kWhite, kBlack);
  }
}

void DomeScene::PaintCaptions(Canvas& canvas, uint64_t time, const DomeView& view) const {
  const double k = ScaleOf(width_, height_);
  const int margin = AtLeast(1, 6 * k), pad = AtLeast(1, 5 * k), lineGap = AtLeast(1, 4 * k);
  const GlyphFont& caption = fonts_->caption;
  const GlyphFont& clock = fonts_->clock;

  char lines[4][48];
  std::snprintf(lines[0], sizeof lines[0], "CAMERA %d DOME", camera_ + 1);
  std::snprintf(lines[1], sizeof lines[1], "%.29s", name_.c_str());
  std::snprintf(lines[2], sizeof lines[2], "PAN %.1f TILT %.1f", view.pan, view.tilt);
  std::snprintf(lines[3], sizeof lines[3], "ZOOM %.1fX", view.zoom);
  int textWidth = 0;
  for (const char* line : lines) textWidth = std::max(textWidth, caption.TextWidth(line));
  const int boxHeight = pad + 4 * caption.Height() + 3 * lineGap + pad;
  // A line lower than the rooms' captions: the station writes the camera's title over the top
  // left corner of every picture, and these lines are read while the dome turns.
  const int top = margin + caption.Height() + lineGap;
  canvas.Blend(margin, top, pad + textWidth + pad, boxHeight, kBlack, kCaptionShade);
  for (int i = 0; i < 4; ++i) {
    caption.Draw(canvas, margin + pad, top + pad + i * (caption.Height() + lineGap), lines[i],
                 i == 0 ? BgrFromHsv(hue_, 0.30, 1.0) : kWhite, kBlack);
  }

  const archive::TimeFields t = archive::FieldsOfTime(time);
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%d", t.hour, t.minute, t.second, t.millisecond / 100);
  const int bandHeight = pad + clock.Height() + pad;
  const int bandTop = std::max(0, height_ - bandHeight - margin);
  canvas.Blend(margin, bandTop, pad + clock.TextWidth(text) + pad, bandHeight, kBlack, kCaptionShade);
  clock.Draw(canvas, margin + pad, bandTop + pad, text, kWhite, kBlack);
}

}  // namespace strixc::sim
