#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "display/camera_view.h"
#include "display/cell_renderer.h"
#include "display/frame_rate.h"
#include "display/overlay_painter.h"
#include "display/screen_layouts.h"
#include "net/frame_path.h"
#include "net/text_codec.h"
#include "settings/settings_database.h"
#include "video/frame_source.h"
#include "video/picture.h"

class QPainter;

namespace strixc::display {

// The window that shows the display's video area. RepaintArea is called from any thread, with the
// display's lock held: it must only queue a repaint (never paint or wait).
class DisplayTarget {
 public:
  virtual ~DisplayTarget() = default;
  // `area`: window pixels, right and bottom inclusive.
  virtual void RepaintArea(const video::Rect& area) = 0;
};

// Draws up to 16 camera pictures, with their overlays, into the video area of one window, in one
// of 17 screen layouts.
//
// Pictures are not pushed: a producer stores a camera's picture in the frame source and calls
// OnFrame, which composes that camera's cell into the composition image on the calling thread
// and asks the target window to repaint the cell; the window paints from the composition (Paint).
//
// Thread-safe: one lock guards everything. Frames arrive on the network and playback threads,
// settings and layout calls on the UI thread. Lock order: this lock, then the frame source's
// per-camera lock; a producer must not hold its camera lock when it calls OnFrame.
// Camera indices outside 0..15 make every call do nothing (getters answer 0 or empty).
class VideoDisplay : public net::LiveFrameObserver {
 public:
  using TickClock = std::function<uint32_t()>;

  // `tickClock` gives milliseconds on a monotonic clock (wrap-around allowed); tests pass their
  // own.
  explicit VideoDisplay(TickClock tickClock = {});
  ~VideoDisplay() override;
  VideoDisplay(const VideoDisplay&) = delete;
  VideoDisplay& operator=(const VideoDisplay&) = delete;

  // Shows the display in `rect` (window pixels, inclusive) of `target`, on `background`
  // (0xRRGGBB). A null target or an empty rect detaches: the composition is released and nothing
  // is drawn until the next Attach. False when the composition image cannot be made (the display
  // then draws nothing). Either way the layout cells are rebuilt for the new area. `target` must
  // stay alive until the next Attach.
  bool Attach(DisplayTarget* target, const video::Rect& rect, uint32_t background);
  // Detaches only when `target` is the one attached (another window may have taken over).
  void DetachFrom(DisplayTarget* target);
  // `source` must stay alive while set.
  void SetFrameSource(video::FrameSource* source);
  video::FrameSource* GetFrameSource();
  void SetEnabled(bool enabled);
  bool IsEnabled();
  void SetFpsAllowed(bool allowed);
  void SetTexts(const DisplayTexts& texts);
  // The code page of the event texts in the frames (the server's, kept as received in the
  // archive); default Windows-1252. Shows with the next picture drawn.
  void SetTextCodec(const net::TextCodec& codec);

  // Camera `camera` has a new picture in the frame source; `marker` is the frame's motion mark.
  void OnFrame(int camera, bool marker) override;
  void ResetFrameRate(int camera);
  // Stale pictures: a watched camera whose last picture (OnFrame) is older than the limit shows the
  // picture's age in whole seconds and a red outline. WatchCameras replaces the watched set (the
  // cameras the server is asked to send); a camera that joins it counts its age from now, so a
  // connection start first watches none. CheckStale, called about once a second, redraws the cells
  // whose age text changed.
  static constexpr uint32_t kDefaultStaleLimitMs = 3000;
  void SetStaleLimit(uint32_t milliseconds);
  void WatchCameras(uint32_t cameras);
  void CheckStale();
  // The age shown in the camera's cell, in seconds; -1 while it shows none.
  int StaleSeconds(int camera);
  void RedrawAll();
  void DrawCamera(int camera);

  // The window paints `area` (window pixels) of the video area from the composition; false, nothing
  // painted, while there is no composition.
  bool Paint(QPainter& painter, const QRect& area);
  // A copy of the whole composition (null when detached).
  QImage Grab();

  // The camera's view settings. Setters that change the picture (rectangles, filter, colours)
  // redraw the camera; the others only store, and the caller redraws.
  void SetName(int camera, const std::string& name);
  std::string GetName(int camera);
  void SetCaption2(int camera, const std::string& caption);
  std::string GetCaption2(int camera);
  void SetShowName(int camera, bool show);
  bool GetShowName(int camera);
  void SetShowTime(int camera, bool show);
  bool GetShowTime(int camera);
  void SetShowFps(int camera, bool show);
  bool GetShowFps(int camera);
  // Stored modulo 10.
  void SetTextColor(int camera, int colour);
  int GetTextColor(int camera);
  // Rectangles in frame units; normalised before they are stored.
  void SetAreaRect(int camera, const video::Rect& rect);
  video::Rect GetAreaRect(int camera);
  void SetZoomRect(int camera, const video::Rect& rect);
  video::Rect GetZoomRect(int camera);
  void SetTrackRect(int camera, const video::Rect& rect);
  video::Rect GetTrackRect(int camera);
  // Above 1 becomes 1, below 0 becomes -1.
  void SetFilterMode(int camera, int mode);
  int GetFilterMode(int camera);
  // Each clamped to -100..100.
  void SetContrast(int camera, int value);
  int GetContrast(int camera);
  void SetBrightness(int camera, int value);
  int GetBrightness(int camera);
  void SetColourfulness(int camera, int value);
  int GetColourfulness(int camera);
  void SetSharpen(bool sharpen);
  bool GetSharpen();

  // Copies the part `rect` (frame units; empty: all) of the camera's current picture into `out`
  // as a bitmap (header and rows). False, `out` untouched, without a picture or for a degenerate
  // region.
  bool ExtractRegion(int camera, const video::Rect& rect, std::vector<uint8_t>& out);
  // Between frame units and the camera's cell (window pixels), through its zoom area.
  video::Rect FrameToCell(int camera, const video::Rect& frame);
  QPoint FrameToCell(int camera, QPoint frame);
  video::Rect CellToFrame(int camera, const video::Rect& pixels);
  QPoint CellToFrame(int camera, QPoint pixel);

  // Screen layouts (see ScreenLayouts); changes redraw what they change.
  void SetLayout(int layout);
  int GetLayout();
  video::Rect GetDisplayRect();
  video::Rect CellRect(int camera);
  int CellOfCamera(int camera);
  int CameraInCell(int cell);
  int CameraInCell(int layout, int cell);
  int CameraAt(QPoint point);
  void PlaceCamera(int camera, int cell);
  void PlaceCamera(int layout, int camera, int cell);
  void SelectCamera(int camera);
  int GetSelectedCamera();
  void SetHighlightedCamera(int camera);
  int GetHighlightedCamera();
  void SingleView();
  void LayoutForButton(int cameraCount, int button);
  // Bit c set when camera c has a cell in the current layout: what the server must send.
  uint32_t VisibleCameras();

  // The layouts and every camera's view settings under `basePath` of the program key
  // ("MainDisplay"): saving replaces the key's whole content in one transaction (false when the
  // database refuses); loading takes what is stored and valid over the current values and does
  // not redraw.
  bool SaveSettings(settings::SettingsDatabase& db, const std::string& basePath);
  void LoadSettings(settings::SettingsDatabase& db, const std::string& basePath);

 private:
  struct Runtime {
    bool marker = false;
    FrameRate rate;
    uint32_t lastFrameTick = 0;
    int staleSeconds = -1;  // as last drawn
  };
  // The age to show for `camera` now, or -1.
  int StaleAge(int camera) const;

  bool Drawable() const;
  void RedrawAllLocked();
  void DrawCameraLocked(int camera);
  void DrawMask(uint32_t cameras);
  // `bits`: the composition's pixels, taken before `painter` began on it (asking for them while a
  // painter is active makes Qt copy the whole image).
  void ComposeCamera(QPainter& painter, uint8_t* bits, int camera, const video::Rect& cell);
  video::Rect ToCanvas(const video::Rect& r) const;
  void Present(const video::Rect& windowArea);
  CameraView* View(int camera);
  template <class T>
  T ReadView(int camera, T CameraView::*field);
  template <class T>
  void WriteView(int camera, T CameraView::*field, T value, bool redraw);
  int ReadColour(int camera, int imaging::ColourAdjustment::*field);
  void WriteColour(int camera, int imaging::ColourAdjustment::*field, int value);

  TickClock tickClock_;
  std::mutex lock_;
  // Guarded by lock_:
  bool enabled_ = true;
  bool fpsAllowed_ = true;
  bool sharpen_ = false;
  uint32_t watched_ = 0;
  uint32_t staleLimitMs_ = kDefaultStaleLimitMs;
  video::FrameSource* frameSource_ = nullptr;
  DisplayTarget* target_ = nullptr;
  std::array<Runtime, kCameras> runtime_;
  std::array<CameraView, kCameras> views_;
  ScreenLayouts layouts_;
  QImage composition_;  // the video area; null when detached
  OverlayPainter overlays_;
  CellRenderer renderer_;
};

}  // namespace strixc::display
