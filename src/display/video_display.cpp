#include "display/video_display.h"

#include <QPainter>
#include <QRegion>
#include <algorithm>
#include <chrono>
#include <cstdio>

#include "display/frame_mapping.h"
#include "imaging/picture_view.h"
#include "settings/settings_key.h"
#include "video/region.h"

namespace strixc::display {

namespace {

uint32_t MonotonicMillis() {
  using namespace std::chrono;
  return static_cast<uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

QRect Exclusive(const video::Rect& r) { return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top); }

QRect Inclusive(const video::Rect& r) {
  return QRect(r.left, r.top, r.right - r.left + 1, r.bottom - r.top + 1);
}

bool HasPicture(const video::BitmapInfoHeader* header, const uint8_t* bits) {
  return header != nullptr && bits != nullptr && header->biBitCount == 24 && header->biWidth > 0 &&
         header->biHeight > 0 && imaging::SizeUsable(header->biWidth, header->biHeight);
}

std::string CameraKey(const std::string& basePath, int camera) {
  char name[16];
  std::snprintf(name, sizeof name, "\\Camera%02d", camera);
  return basePath + name;
}

constexpr char kName[] = "Name";
constexpr char kTextColor[] = "TextColor";
constexpr char kShowName[] = "ShowName";
constexpr char kShowTime[] = "ShowTime";
constexpr char kShowFps[] = "ShowFPS";
constexpr char kSharpen[] = "Sharpen";

int WrapTextColor(int colour) {
  const int n = static_cast<int>(kTextColors.size());
  return ((colour % n) + n) % n;
}

}  // namespace

VideoDisplay::VideoDisplay(TickClock tickClock)
    : tickClock_(tickClock ? std::move(tickClock) : TickClock(MonotonicMillis)),
      overlays_(QColor(74, 79, 85)) {
  for (int camera = 0; camera < kCameras; ++camera) views_[camera].name = DefaultCameraName(camera);
}

VideoDisplay::~VideoDisplay() = default;

bool VideoDisplay::Attach(DisplayTarget* target, const video::Rect& rect, uint32_t background) {
  std::lock_guard<std::mutex> guard(lock_);
  overlays_.SetBackground(QColor::fromRgb(background));
  target_ = target;
  bool made = true;
  if (target == nullptr || rect.Empty()) {
    composition_ = QImage();
    layouts_.ComputeLayouts({});
  } else {
    const int width = rect.right - rect.left + 1;
    const int height = rect.bottom - rect.top + 1;
    composition_ = imaging::SizeUsable(width, height)
                       ? QImage(width, height, QImage::Format_RGB32)
                       : QImage();
    made = !composition_.isNull();
    if (made) composition_.fill(overlays_.Background());
    layouts_.ComputeLayouts(rect);
  }
  return made;
}

void VideoDisplay::DetachFrom(DisplayTarget* target) {
  std::lock_guard<std::mutex> guard(lock_);
  if (target_ != target) return;
  target_ = nullptr;
  composition_ = QImage();
  layouts_.ComputeLayouts({});
}

void VideoDisplay::SetFrameSource(video::FrameSource* source) {
  std::lock_guard<std::mutex> guard(lock_);
  frameSource_ = source;
}

video::FrameSource* VideoDisplay::GetFrameSource() {
  std::lock_guard<std::mutex> guard(lock_);
  return frameSource_;
}

void VideoDisplay::SetEnabled(bool enabled) {
  std::lock_guard<std::mutex> guard(lock_);
  enabled_ = enabled;
}

bool VideoDisplay::IsEnabled() {
  std::lock_guard<std::mutex> guard(lock_);
  return enabled_;
}

void VideoDisplay::SetFpsAllowed(bool allowed) {
  std::lock_guard<std::mutex> guard(lock_);
  fpsAllowed_ = allowed;
}

void VideoDisplay::SetTexts(const DisplayTexts& texts) {
  std::lock_guard<std::mutex> guard(lock_);
  overlays_.SetTexts(texts);
}

void VideoDisplay::SetTextCodec(const net::TextCodec& codec) {
  std::lock_guard<std::mutex> guard(lock_);
  overlays_.SetTextCodec(codec);
}

void VideoDisplay::OnFrame(int camera, bool marker) {
  if (camera < 0 || camera >= kCameras) return;
  std::lock_guard<std::mutex> guard(lock_);
  const uint32_t now = tickClock_();
  runtime_[camera].rate.Count(now);
  runtime_[camera].lastFrameTick = now;
  if (!enabled_ || layouts_.CellRect(camera).Empty()) return;
  runtime_[camera].marker = marker;
  DrawCameraLocked(camera);
}

void VideoDisplay::ResetFrameRate(int camera) {
  if (camera < 0 || camera >= kCameras) return;
  std::lock_guard<std::mutex> guard(lock_);
  runtime_[camera].rate.fps = 0;
  DrawCameraLocked(camera);
}

void VideoDisplay::SetStaleLimit(uint32_t milliseconds) {
  std::lock_guard<std::mutex> guard(lock_);
  staleLimitMs_ = std::max<uint32_t>(milliseconds, 1);
}

void VideoDisplay::WatchCameras(uint32_t cameras) {
  std::lock_guard<std::mutex> guard(lock_);
  const uint32_t joining = cameras & ~watched_;
  watched_ = cameras;
  const uint32_t now = tickClock_();
  for (int camera = 0; camera < kCameras; ++camera) {
    if ((joining >> camera) & 1) runtime_[camera].lastFrameTick = now;
  }
}

int VideoDisplay::StaleAge(int camera) const {
  if (!((watched_ >> camera) & 1)) return -1;
  // Unsigned difference: right across the tick counter's wrap-around.
  const uint32_t age = tickClock_() - runtime_[camera].lastFrameTick;
  return age > staleLimitMs_ ? static_cast<int>(age / 1000) : -1;
}

void VideoDisplay::CheckStale() {
  std::lock_guard<std::mutex> guard(lock_);
  for (int camera = 0; camera < kCameras; ++camera) {
    if (StaleAge(camera) != runtime_[camera].staleSeconds) DrawCameraLocked(camera);
  }
}

int VideoDisplay::StaleSeconds(int camera) {
  if (camera < 0 || camera >= kCameras) return -1;
  std::lock_guard<std::mutex> guard(lock_);
  return StaleAge(camera);
}

void VideoDisplay::RedrawAll() {
  std::lock_guard<std::mutex> guard(lock_);
  RedrawAllLocked();
}

void VideoDisplay::DrawCamera(int camera) {
  std::lock_guard<std::mutex> guard(lock_);
  DrawCameraLocked(camera);
}

bool VideoDisplay::Drawable() const { return enabled_ && !composition_.isNull(); }

void VideoDisplay::RedrawAllLocked() {
  if (!Drawable()) return;
  {
    uint8_t* bits = composition_.bits();
    QPainter painter(&composition_);
    painter.fillRect(composition_.rect(), overlays_.Background());
    for (int camera = 0; camera < kCameras; ++camera) {
      const video::Rect cell = layouts_.CellRect(camera);
      if (!cell.Empty()) ComposeCamera(painter, bits, camera, cell);
    }
  }
  Present(layouts_.DisplayRect());
}

void VideoDisplay::DrawCameraLocked(int camera) {
  if (camera < 0 || camera >= kCameras || !Drawable()) return;
  const video::Rect cell = layouts_.CellRect(camera);
  if (cell.Empty()) return;
  {
    uint8_t* bits = composition_.bits();
    QPainter painter(&composition_);
    ComposeCamera(painter, bits, camera, cell);
  }
  Present(cell);
}

void VideoDisplay::DrawMask(uint32_t cameras) {
  for (int camera = 0; camera < kCameras; ++camera) {
    if (cameras & (1u << camera)) DrawCameraLocked(camera);
  }
}

video::Rect VideoDisplay::ToCanvas(const video::Rect& r) const {
  const video::Rect d = layouts_.DisplayRect();
  return {r.left - d.left, r.top - d.top, r.right - d.left, r.bottom - d.top};
}

void VideoDisplay::ComposeCamera(QPainter& painter, uint8_t* bits, int camera,
                                 const video::Rect& windowCell) {
  const video::Rect cell = ToCanvas(windowCell);
  CellRenderer::Canvas canvas{&painter, bits, static_cast<int>(composition_.bytesPerLine())};

  // In the layouts with small pictures over a large one, the large camera must not paint over
  // the small ones whenever it gets a frame: its drawing is clipped to what lies uncovered. A
  // cell's picture fills its rectangle without the last column and row, so only that much is cut
  // out: the large picture shows up to the small one's edge, with no background seam around it.
  const int layout = layouts_.Layout();
  const int cellIndex = layouts_.CellOfCamera(camera);
  QRegion visible(Inclusive(cell));
  bool covered = false;
  for (int above = cellIndex + 1; above < kCameras; ++above) {
    const video::Rect other = layouts_.Cell(layout, above);
    if (other.Empty()) continue;
    const QRect otherCanvas = Exclusive(ToCanvas(other));
    if (!otherCanvas.intersects(visible.boundingRect())) continue;
    visible -= otherCanvas;
    covered = true;
  }
  if (covered) {
    painter.setClipRegion(visible);
    canvas.bits = nullptr;  // the direct copy would ignore the clip
  }

  const CameraView& view = views_[camera];
  OverlayInput in;
  in.camera = camera;
  in.cell = cell;
  in.view = &view;
  in.marker = runtime_[camera].marker;
  in.fps = runtime_[camera].rate.fps;
  in.fpsAllowed = fpsAllowed_;
  in.selected = layouts_.Selected() == camera;
  in.highlighted = layouts_.Highlighted() == camera;
  in.largeFont = layout == 0;
  in.staleSeconds = StaleAge(camera);
  runtime_[camera].staleSeconds = in.staleSeconds;
  if (!view.areaRect.Empty()) in.areaPixels = display::FrameToCell(view.areaRect, view.zoomRect, cell);
  if (!view.trackRect.Empty()) in.trackPixels = display::FrameToCell(view.trackRect, view.zoomRect, cell);

  if (frameSource_ == nullptr) {
    overlays_.Paint(painter, in);
  } else {
    frameSource_->LockFrame(camera);
    const video::BitmapInfoHeader* header = frameSource_->GetFrameHeader(camera);
    const uint8_t* bits = frameSource_->GetFrameBits(camera);
    in.hasPicture = HasPicture(header, bits);
    if (in.hasPicture) {
      renderer_.Render(canvas, Exclusive(cell), *header, bits, view, sharpen_);
      in.time = frameSource_->GetFrameTime(camera);
    }
    in.text = frameSource_->GetFrameText(camera);
    overlays_.Paint(painter, in);
    frameSource_->UnlockFrame(camera);
  }
  if (covered) painter.setClipping(false);
}

void VideoDisplay::Present(const video::Rect& windowArea) {
  if (target_ != nullptr) target_->RepaintArea(windowArea);
}

bool VideoDisplay::Paint(QPainter& painter, const QRect& area) {
  std::lock_guard<std::mutex> guard(lock_);
  if (composition_.isNull()) return false;
  const QRect whole = Inclusive(layouts_.DisplayRect());
  const QRect part = area.intersected(whole);
  if (!part.isEmpty()) painter.drawImage(part, composition_, part.translated(-whole.topLeft()));
  return true;
}

QImage VideoDisplay::Grab() {
  std::lock_guard<std::mutex> guard(lock_);
  return composition_.copy();
}

CameraView* VideoDisplay::View(int camera) {
  return camera >= 0 && camera < kCameras ? &views_[camera] : nullptr;
}

// --- Camera view settings ---

template <class T>
T VideoDisplay::ReadView(int camera, T CameraView::*field) {
  std::lock_guard<std::mutex> guard(lock_);
  const CameraView* v = View(camera);
  return v != nullptr ? v->*field : T{};
}

template <class T>
void VideoDisplay::WriteView(int camera, T CameraView::*field, T value, bool redraw) {
  std::lock_guard<std::mutex> guard(lock_);
  CameraView* v = View(camera);
  if (v == nullptr) return;
  v->*field = std::move(value);
  if (redraw) DrawCameraLocked(camera);
}

int VideoDisplay::ReadColour(int camera, int imaging::ColourAdjustment::*field) {
  std::lock_guard<std::mutex> guard(lock_);
  const CameraView* v = View(camera);
  return v != nullptr ? v->colour.*field : 0;
}

void VideoDisplay::WriteColour(int camera, int imaging::ColourAdjustment::*field, int value) {
  std::lock_guard<std::mutex> guard(lock_);
  CameraView* v = View(camera);
  if (v == nullptr) return;
  v->colour.*field = std::clamp(value, -100, 100);
  DrawCameraLocked(camera);
}

void VideoDisplay::SetName(int camera, const std::string& name) { WriteView(camera, &CameraView::name, name, false); }
std::string VideoDisplay::GetName(int camera) { return ReadView(camera, &CameraView::name); }
void VideoDisplay::SetCaption2(int camera, const std::string& caption) {
  WriteView(camera, &CameraView::caption2, caption, false);
}
std::string VideoDisplay::GetCaption2(int camera) { return ReadView(camera, &CameraView::caption2); }
void VideoDisplay::SetShowName(int camera, bool show) { WriteView(camera, &CameraView::showName, show, false); }
bool VideoDisplay::GetShowName(int camera) { return ReadView(camera, &CameraView::showName); }
void VideoDisplay::SetShowTime(int camera, bool show) { WriteView(camera, &CameraView::showTime, show, false); }
bool VideoDisplay::GetShowTime(int camera) { return ReadView(camera, &CameraView::showTime); }
void VideoDisplay::SetShowFps(int camera, bool show) { WriteView(camera, &CameraView::showFps, show, false); }
bool VideoDisplay::GetShowFps(int camera) { return ReadView(camera, &CameraView::showFps); }

// A negative value would index before the table; it wraps like a positive one.
void VideoDisplay::SetTextColor(int camera, int colour) {
  WriteView(camera, &CameraView::textColor, WrapTextColor(colour), false);
}
int VideoDisplay::GetTextColor(int camera) { return ReadView(camera, &CameraView::textColor); }

void VideoDisplay::SetAreaRect(int camera, const video::Rect& rect) {
  WriteView(camera, &CameraView::areaRect, video::NormaliseFrameRect(rect), true);
}
video::Rect VideoDisplay::GetAreaRect(int camera) { return ReadView(camera, &CameraView::areaRect); }
void VideoDisplay::SetZoomRect(int camera, const video::Rect& rect) {
  WriteView(camera, &CameraView::zoomRect, video::NormaliseFrameRect(rect), true);
}
video::Rect VideoDisplay::GetZoomRect(int camera) { return ReadView(camera, &CameraView::zoomRect); }
void VideoDisplay::SetTrackRect(int camera, const video::Rect& rect) {
  WriteView(camera, &CameraView::trackRect, video::NormaliseFrameRect(rect), true);
}
video::Rect VideoDisplay::GetTrackRect(int camera) { return ReadView(camera, &CameraView::trackRect); }

void VideoDisplay::SetFilterMode(int camera, int mode) {
  WriteView(camera, &CameraView::filterMode, mode > 0 ? 1 : (mode < 0 ? -1 : 0), true);
}
int VideoDisplay::GetFilterMode(int camera) { return ReadView(camera, &CameraView::filterMode); }

void VideoDisplay::SetContrast(int camera, int value) {
  WriteColour(camera, &imaging::ColourAdjustment::contrast, value);
}
int VideoDisplay::GetContrast(int camera) { return ReadColour(camera, &imaging::ColourAdjustment::contrast); }
void VideoDisplay::SetBrightness(int camera, int value) {
  WriteColour(camera, &imaging::ColourAdjustment::brightness, value);
}
int VideoDisplay::GetBrightness(int camera) {
  return ReadColour(camera, &imaging::ColourAdjustment::brightness);
}
void VideoDisplay::SetColourfulness(int camera, int value) {
  WriteColour(camera, &imaging::ColourAdjustment::colourfulness, value);
}
int VideoDisplay::GetColourfulness(int camera) {
  return ReadColour(camera, &imaging::ColourAdjustment::colourfulness);
}

void VideoDisplay::SetSharpen(bool sharpen) {
  std::lock_guard<std::mutex> guard(lock_);
  sharpen_ = sharpen;
}

bool VideoDisplay::GetSharpen() {
  std::lock_guard<std::mutex> guard(lock_);
  return sharpen_;
}

// --- Regions and mapping ---

bool VideoDisplay::ExtractRegion(int camera, const video::Rect& rect, std::vector<uint8_t>& out) {
  if (camera < 0 || camera >= kCameras) return false;
  std::lock_guard<std::mutex> guard(lock_);
  if (frameSource_ == nullptr) return false;
  return video::ExtractRegion(*frameSource_, camera, rect, out);
}

video::Rect VideoDisplay::FrameToCell(int camera, const video::Rect& frame) {
  std::lock_guard<std::mutex> guard(lock_);
  const CameraView* v = View(camera);
  if (v == nullptr) return {};
  return display::FrameToCell(frame, v->zoomRect, layouts_.CellRect(camera));
}

QPoint VideoDisplay::FrameToCell(int camera, QPoint frame) {
  const video::Rect r = FrameToCell(camera, video::Rect{frame.x(), frame.y(), frame.x(), frame.y()});
  return {r.left, r.top};
}

video::Rect VideoDisplay::CellToFrame(int camera, const video::Rect& pixels) {
  std::lock_guard<std::mutex> guard(lock_);
  const CameraView* v = View(camera);
  if (v == nullptr) return {};
  return display::CellToFrame(pixels, v->zoomRect, layouts_.CellRect(camera));
}

QPoint VideoDisplay::CellToFrame(int camera, QPoint pixel) {
  const video::Rect r = CellToFrame(camera, video::Rect{pixel.x(), pixel.y(), pixel.x(), pixel.y()});
  return {r.left, r.top};
}

// --- Layouts ---

void VideoDisplay::SetLayout(int layout) {
  std::lock_guard<std::mutex> guard(lock_);
  if (layouts_.SetLayout(layout)) RedrawAllLocked();
}

int VideoDisplay::GetLayout() {
  std::lock_guard<std::mutex> guard(lock_);
  return layouts_.Layout();
}

video::Rect VideoDisplay::GetDisplayRect() {
  std::lock_guard<std::mutex> guard(lock_);
  return layouts_.DisplayRect();
}

video::Rect VideoDisplay::CellRect(int camera) {
  std::lock_guard<std::mutex> guard(lock_);
  return layouts_.CellRect(camera);
}

int VideoDisplay::CellOfCamera(int camera) {
  std::lock_guard<std::mutex> guard(lock_);
  return layouts_.CellOfCamera(camera);
}

int VideoDisplay::CameraInCell(int cell) {
  std::lock_guard<std::mutex> guard(lock_);
  return layouts_.CameraInCell(cell);
}

int VideoDisplay::CameraInCell(int layout, int cell) {
  std::lock_guard<std::mutex> guard(lock_);
  return layouts_.CameraInCell(layout, cell);
}

int VideoDisplay::CameraAt(QPoint point) {
  std::lock_guard<std::mutex> guard(lock_);
  return layouts_.CameraAt(point.x(), point.y());
}

void VideoDisplay::PlaceCamera(int camera, int cell) {
  std::lock_guard<std::mutex> guard(lock_);
  DrawMask(layouts_.PlaceCamera(camera, cell));
}

void VideoDisplay::PlaceCamera(int layout, int camera, int cell) {
  std::lock_guard<std::mutex> guard(lock_);
  DrawMask(layouts_.PlaceCamera(layout, camera, cell));
}

void VideoDisplay::SelectCamera(int camera) {
  std::lock_guard<std::mutex> guard(lock_);
  DrawMask(layouts_.SelectCamera(camera));
}

int VideoDisplay::GetSelectedCamera() {
  std::lock_guard<std::mutex> guard(lock_);
  return layouts_.Selected();
}

void VideoDisplay::SetHighlightedCamera(int camera) {
  std::lock_guard<std::mutex> guard(lock_);
  DrawMask(layouts_.SetHighlightedCamera(camera));
}

int VideoDisplay::GetHighlightedCamera() {
  std::lock_guard<std::mutex> guard(lock_);
  return layouts_.Highlighted();
}

void VideoDisplay::SingleView() {
  std::lock_guard<std::mutex> guard(lock_);
  if (layouts_.SingleView()) RedrawAllLocked();
}

void VideoDisplay::LayoutForButton(int cameraCount, int button) {
  std::lock_guard<std::mutex> guard(lock_);
  if (layouts_.LayoutForButton(cameraCount, button)) RedrawAllLocked();
}

uint32_t VideoDisplay::VisibleCameras() {
  std::lock_guard<std::mutex> guard(lock_);
  return layouts_.VisibleMask();
}

// --- Settings ---

bool VideoDisplay::SaveSettings(settings::SettingsDatabase& db, const std::string& basePath) {
  std::lock_guard<std::mutex> guard(lock_);
  return db.Transaction([&] {
    settings::SettingsKey base(db, basePath);
    if (!base.Clear()) return false;
    layouts_.SaveLayouts(db, basePath);
    for (int camera = 0; camera < kCameras; ++camera) {
      const CameraView& v = views_[camera];
      settings::SettingsKey key(db, CameraKey(basePath, camera));
      const bool written = key.WriteString(kName, v.name) &&
                           key.WriteDword(kTextColor, static_cast<uint32_t>(v.textColor)) &&
                           key.WriteDword(kShowName, v.showName) &&
                           key.WriteDword(kShowTime, v.showTime) &&
                           key.WriteDword(kShowFps, v.showFps) && key.WriteDword(kSharpen, sharpen_);
      if (!written) return false;
    }
    return true;
  });
}

void VideoDisplay::LoadSettings(settings::SettingsDatabase& db, const std::string& basePath) {
  std::lock_guard<std::mutex> guard(lock_);
  layouts_.LoadLayouts(db, basePath);
  for (int camera = 0; camera < kCameras; ++camera) {
    CameraView& v = views_[camera];
    settings::SettingsKey key(db, CameraKey(basePath, camera));
    key.ReadString(kName, &v.name);
    uint32_t value = 0;
    if (key.ReadDword(kTextColor, &value)) v.textColor = WrapTextColor(static_cast<int>(value % 10));
    if (key.ReadDword(kShowName, &value)) v.showName = value != 0;
    if (key.ReadDword(kShowTime, &value)) v.showTime = value != 0;
    if (key.ReadDword(kShowFps, &value)) v.showFps = value != 0;
    if (key.ReadDword(kSharpen, &value)) sharpen_ = value != 0;
  }
}

}  // namespace strixc::display
