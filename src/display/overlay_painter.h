#pragma once

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QStaticText>
#include <array>
#include <QString>
#include <cstdint>
#include <string>

#include "display/camera_view.h"
#include "net/text_codec.h"
#include "video/picture.h"

class QPainter;

namespace strixc::display {

// The display's texts in the current language: the time and date in strftime form and the frame
// rate with one "%d".
struct DisplayTexts {
  std::string timeFormat = "%I:%M:%S %p";
  std::string dateFormat = "%d.%m.%Y";
  std::string fpsFormat = "%d fps";
  std::string staleFormat = "%d s";  // the age of a stale picture
};

// What the overlays of one cell show.
struct OverlayInput {
  int camera = 0;
  video::Rect cell;  // R: the cell in canvas pixels, as the layouts give it
  const CameraView* view = nullptr;
  bool hasPicture = false;
  uint64_t time = 0;             // archive time of the picture
  const char* text = nullptr;    // the camera's event text (code-page bytes), or null
  bool marker = false;
  double fps = 0;                // 0: none computed yet
  bool fpsAllowed = true;
  bool selected = false;
  bool highlighted = false;
  bool largeFont = false;        // the single view draws bigger texts
  int staleSeconds = -1;         // the picture's age when it is stale (badge and red outline); -1: not
  video::Rect areaPixels;        // AreaRect mapped into the cell; empty: none
  video::Rect trackPixels;       // TrackRect mapped into the cell; empty: none
};

// Draws the texts, marks and frames over a camera's cell, and the no-video picture of a camera
// without one. Holds the fonts, brushes and pictures it needs, made once. Used under the
// display's lock; painting on a QImage, so any thread.
class OverlayPainter {
 public:
  explicit OverlayPainter(QColor background);

  void SetBackground(QColor background) { background_ = background; }
  QColor Background() const { return background_; }
  void SetTexts(const DisplayTexts& texts) { texts_ = texts; }
  const DisplayTexts& Texts() const { return texts_; }
  // Decodes the event texts, which arrive in the server's code page.
  void SetTextCodec(const net::TextCodec& codec) { codec_ = codec; }

  void Paint(QPainter& painter, const OverlayInput& in);

  // Texts are drawn only in cells wider than this (right - left) and at least kMinTextHeight
  // high (bottom - top).
  static constexpr int kMinTextWidth = 140;
  static constexpr int kMinTextHeight = 111;

 private:
  enum class Align { kLeftTop, kRightTop, kLeftBottom, kCentreBottom };

  // One text of a camera, laid out once and redrawn as long as it reads the same: laying text
  // out costs several times more than drawing it, and most texts change once a second at most.
  // A laid-out text holds the font engines of the thread that laid it out, which Qt keeps per
  // thread and drops with the thread: another thread lays the text out again for itself.
  struct CachedText {
    QString text;
    QStaticText laidOut;
    bool large = false;
    uint64_t thread = 0;  // ThreadToken() of the thread that laid it out
    void Set(const QString& value, bool largeFont, const QFont& font);
  };
  // A camera's texts, and the second its time texts were made for.
  struct CameraTexts {
    CachedText name, time, date, fps, event;
    int64_t second = -1;
    bool dateValid = false;
  };

  void PaintTexts(QPainter& painter, const OverlayInput& in);
  void PaintStaleBadge(QPainter& painter, const OverlayInput& in);
  void DrawText(QPainter& painter, int x, int y, Align align, const QStaticText& text, QColor colour);
  QString FormatTime(uint64_t time, const std::string& format, bool* dateValid) const;

  QColor background_;
  DisplayTexts texts_;
  net::TextCodec codec_;
  QFont small_;
  QFont large_;
  std::array<CameraTexts, kCameras> cache_;
  QBrush areaBrush_;   // yellow and black checks
  QBrush trackBrush_;  // red and white checks
  QImage noVideo_;
};

// Frames `r` (right and bottom exclusive, as Windows frames a rectangle) with a 1-pixel line.
void FrameRect(QPainter& painter, const QRect& r, const QBrush& brush);

}  // namespace strixc::display
