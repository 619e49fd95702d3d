#include "browser/browser_commands.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "browser/bookmark_title_dialog.h"
#include "browser/browser_clock.h"
#include "shell/string_ids.h"
#include "shell/texts.h"

namespace strixc::browser {

namespace text = shell::text;
using shell::Tr;

namespace {

constexpr uint64_t kLatestTime = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
constexpr int kFrameUnits = 10000;
constexpr uint32_t kAllCameras = 0xFFFF;

uint64_t Earlier(uint64_t time, uint64_t step) { return time > step ? time - step : 0; }
uint64_t Later(uint64_t time, uint64_t step) { return step < kLatestTime - time ? time + step : kLatestTime; }

std::string Utf8(const QString& text) { return text.toStdString(); }

}  // namespace

BrowserCommands::BrowserCommands(playback::PlaybackSource* source, display::VideoDisplay* display,
                                 ArchiveMapControl* map, BrowserView* view)
    : source_(source), display_(display), map_(map), view_(view), adapter_(*display) {
  sensitivity_.fill(kDefaultSensitivity);
}

BrowserCommands::~BrowserCommands() { Close(); }

// ---------------------------------------------------------------------------------------------
// Opening and closing

int BrowserCommands::CameraCountFor(int highestCamera) {
  // The count of cameras present, rounded up to whole groups of four: rounding the highest index
  // plus three down would leave out the last camera whenever it starts a new group (index 4, 8
  // or 12).
  const int present = std::clamp(highestCamera, 0, kCameras - 1) + 1;
  return std::clamp((present + 3) / 4 * 4, 4, kCameras);
}

bool BrowserCommands::Open(const QRect& mapRect) {
  Close();
  wallClock_ = source_->Database() == nullptr;
  summary_ = MakeSummary();
  cameraCount_ = CameraCountFor(source_->HighestCamera());

  const bool mapMade = map_->Create(mapRect, this, this);
  map_->SetWallClockTimes(wallClock_);

  dragCamera_ = areaCamera_ = zoomCamera_ = -1;
  sensitivity_.fill(kDefaultSensitivity);
  motionFound_.fill(false);
  pressedMode_ = 0;
  mouseMode_ = kMouseNormal;
  searchRunning_ = false;
  menuTime_ = 0;
  display_->SetFpsAllowed(false);
  source_->SetDisplay(&adapter_);
  source_->SetTimeline(map_);
  source_->Open(this, this);
  open_ = true;

  SelectLayout(kLayoutButtons);
  SelectCamera(display_->GetSelectedCamera());
  ShowDayOf(NowOn(wallClock_));
  return mapMade;
}

void BrowserCommands::Relayout(const QRect& mapRect) {
  if (!open_) return;
  const uint64_t start = map_->GetViewStart(), end = map_->GetViewEnd(), cursor = map_->GetCursor();
  const int row = map_->SelectedRow();
  if (!map_->Create(mapRect, this, this)) return;
  map_->SetWallClockTimes(wallClock_);
  // The cells are laid out on the display's area: a window opened before it had its size showed
  // no camera until now, and the source must hear of the cameras it shows at last.
  const uint32_t visible = display_->VisibleCameras() & kAllCameras;
  for (int c = 0; c < kCameras; ++c) map_->SetRowEnabled(c, (visible >> c) & 1u);
  source_->SetCameraMask(visible);
  map_->SetSelectedRow(row);
  // A window first shown too small for a map had no view yet: it gets today's.
  if (start != 0) {
    map_->SetView(start, end);
  } else {
    ShowDayOf(NowOn(wallClock_));
  }
  if (cursor != 0) map_->SetCursor(cursor);
  map_->Redraw();
}

void BrowserCommands::Close() {
  if (!open_) return;
  open_ = false;
  source_->Close();
  // The adapter goes with this object: no source may keep it.
  source_->SetDisplay(nullptr);
  map_->Reset();
  for (int c = 0; c < kCameras; ++c) {
    display_->SetContrast(c, 0);
    display_->SetBrightness(c, 0);
    display_->SetColourfulness(c, 0);
    display_->SetFilterMode(c, 0);
    display_->SetAreaRect(c, {});
    display_->SetTrackRect(c, {});
    display_->SetZoomRect(c, {});
    display_->SetCaption2(c, {});
  }
  display_->SetHighlightedCamera(-1);
  display_->SetFpsAllowed(true);
}

QString BrowserCommands::MakeSummary() {
  const uint64_t first = source_->Earliest(), last = source_->Latest();
  if (first == 0 || last == 0) return Tr(text::kNoRecordings);
  const uint64_t seconds = (last > first ? last - first : 0) / archive::kUnitsPerSecond;
  const auto days = static_cast<int>(seconds / 86400);
  const auto hours = static_cast<int>(seconds / 3600 - static_cast<uint64_t>(days) * 24);
  const QByteArray when = TimeAndDateText(first, wallClock_).toUtf8();
  return shell::TrFormat(text::kArchiveSummary, when.constData(), days, hours);
}

// ---------------------------------------------------------------------------------------------
// Playback

void BrowserCommands::Stop() { source_->Stop(); }

void BrowserCommands::StartMode(int mode) {
  if (mode >= playback::kModeFastBackward) source_->Stop();
  switch (mode) {
    case playback::kModePlay: source_->Play(); break;
    case playback::kModePlayDouble: source_->PlayDouble(); break;
    case playback::kModeFastForward: source_->FastForward(); break;
    case playback::kModeFastBackward: source_->FastBackward(); break;
    case playback::kModeStepForward: source_->StepForward(); break;
    case playback::kModeStepBackward: source_->StepBackward(); break;
    default: break;
  }
}

// ---------------------------------------------------------------------------------------------
// The visible period

std::optional<std::pair<uint64_t, uint64_t>> BrowserCommands::MovedView(ViewMove move, uint64_t start,
                                                                         uint64_t end) {
  const uint64_t span = end > start ? end - start : 0;
  // A step below 2 becomes 1, so a move always moves.
  const auto step = [](uint64_t s) { return s < 2 ? uint64_t{1} : s; };
  switch (move) {
    case ViewMove::kEarlierHalf: return std::pair{Earlier(start, step(span / 2)), Earlier(end, step(span / 2))};
    case ViewMove::kEarlierEighth: return std::pair{Earlier(start, step(span / 8)), Earlier(end, step(span / 8))};
    case ViewMove::kLaterEighth: return std::pair{Later(start, step(span / 8)), Later(end, step(span / 8))};
    case ViewMove::kLaterHalf: return std::pair{Later(start, step(span / 2)), Later(end, step(span / 2))};
    case ViewMove::kZoomIn:
      if (span < 4) return std::nullopt;
      return std::pair{start + span / 4, end - span / 4};
    case ViewMove::kZoomOut: {
      const uint64_t d = step(span / 2);
      return std::pair{Earlier(start, d), Later(end, d)};
    }
  }
  return std::nullopt;
}

void BrowserCommands::SetView(uint64_t start, uint64_t end) { map_->SetView(start, end); }

void BrowserCommands::MoveView(ViewMove move) {
  if (const auto view = MovedView(move, map_->GetViewStart(), map_->GetViewEnd())) {
    SetView(view->first, view->second);
  }
}

void BrowserCommands::ShowWholeDay() {
  const uint64_t start = map_->GetViewStart(), end = map_->GetViewEnd();
  ShowDayOf(start == end ? NowOn(wallClock_) : start);
}

void BrowserCommands::ShowDayOf(uint64_t time) {
  if (time == 0) return;
  const archive::ArchiveDay day = WholeDayOf(time, wallClock_);
  SetView(day.first, day.last);
}

void BrowserCommands::Calendar() {
  uint64_t from = 0, to = 0;
  if (!view_->AskDays(map_->GetViewStart(), map_->GetViewEnd(), &from, &to)) return;
  if (from == 0 || to == 0) return;
  if (to < from) std::swap(from, to);
  source_->Stop();
  SetView(WholeDayOf(from, wallClock_).first, WholeDayOf(to, wallClock_).last);
}

void BrowserCommands::WheelZoom(int x, int steps) {
  const QRect rect = map_->GetRect();
  const uint64_t start = map_->GetViewStart(), end = map_->GetViewEnd();
  if (steps == 0 || rect.width() < 2 || end <= start) return;
  // The time under the pointer stays where it is; each step is a quarter in or a third out.
  const __int128 span = end - start;
  const __int128 offset = span * std::clamp(x - rect.left(), 0, rect.width() - 1) / (rect.width() - 1);
  __int128 newSpan = span;
  for (int i = 0; i < std::abs(std::clamp(steps, -8, 8)); ++i) {
    newSpan = steps > 0 ? newSpan * 3 / 4 : newSpan * 4 / 3 + 1;
  }
  const __int128 anchor = start + offset;
  const __int128 newStart = std::max<__int128>(anchor - offset * newSpan / span, 0);
  const __int128 newEnd = std::min<__int128>(newStart + newSpan, kLatestTime);
  SetView(static_cast<uint64_t>(newStart), static_cast<uint64_t>(newEnd));
}

void BrowserCommands::PanStart(int x) {
  panning_ = true;
  panX_ = x;
}

void BrowserCommands::PanMove(int x) {
  const int columns = map_->GetColumns();
  if (!panning_ || columns < 2 || x == panX_) return;
  const __int128 span = map_->GetViewEnd() - map_->GetViewStart();
  // Dragging to the right brings earlier times into view.
  const __int128 delta = -span * (x - panX_) / (columns - 1);
  panX_ = x;
  if (delta != 0) map_->Shift(static_cast<int64_t>(delta));
}

void BrowserCommands::PanEnd() { panning_ = false; }

// ---------------------------------------------------------------------------------------------
// Layouts and cameras

void BrowserCommands::SelectLayout(int k) {
  if (k < 1 || k > kLayoutButtons) return;
  layoutButton_ = k;
  display_->LayoutForButton(cameraCount_, k - 1);
  UpdateVisibleSet();
  view_->StateChanged();
}

void BrowserCommands::UpdateVisibleSet() {
  const uint32_t visible = display_->VisibleCameras() & kAllCameras;
  for (int c = 0; c < kCameras; ++c) map_->SetRowEnabled(c, (visible >> c) & 1u);
  source_->SetCameraMask(visible);
  map_->Redraw();
}

void BrowserCommands::PutCamera(int camera) {
  if (camera < 0 || camera >= cameraCount_) return;
  display_->PlaceCamera(camera, display_->CellOfCamera(display_->GetSelectedCamera()));
  UpdateVisibleSet();
}

void BrowserCommands::SelectCamera(int camera) {
  if (camera < 0 || camera >= kCameras) return;
  display_->SelectCamera(camera);
  map_->SetSelectedRow(display_->GetSelectedCamera());
  view_->CameraSelected(display_->GetSelectedCamera());
}

int BrowserCommands::SelectedCamera() const { return display_->GetSelectedCamera(); }

// ---------------------------------------------------------------------------------------------
// Bookmarks

bool BrowserCommands::SetBookmark(uint64_t time, const QString& initialTitle) {
  if (time == 0) return true;
  QString title;
  if (!view_->AskBookmarkTitle(time, initialTitle, &title)) return true;
  return source_->AddBookmark(time, Utf8(title));
}

void BrowserCommands::AddBookmarkAtCursor() { SetBookmark(map_->GetCursor(), {}); }

void BrowserCommands::NextBookmark() { source_->NextBookmark(map_->GetCursor()); }

void BrowserCommands::PreviousBookmark() { source_->PrevBookmark(map_->GetCursor()); }

void BrowserCommands::OpenMapMenu(int x) { menuTime_ = map_->TimeAt(x); }

std::optional<QString> BrowserCommands::RemoveBookmarkText() {
  if (menuTime_ == 0 || !map_->HasBookmark(menuTime_)) return std::nullopt;
  return Tr(text::kMenuRemoveBookmark) + QStringLiteral(" '") + map_->Title(menuTime_) + QStringLiteral("' ");
}

void BrowserCommands::SetBookmarkAtMenuTime() {
  const uint64_t time = menuTime_;
  menuTime_ = 0;
  // An existing bookmark's title is offered for editing; none is an empty field.
  if (!SetBookmark(time, time != 0 && map_->HasBookmark(time) ? map_->Title(time) : QString())) {
    view_->ShowMessage(text::kServerRefused);
  }
}

void BrowserCommands::RemoveBookmarkAtMenuTime() {
  const uint64_t time = menuTime_;
  menuTime_ = 0;
  if (time != 0 && !source_->DeleteBookmark(time)) view_->ShowMessage(text::kServerRefused);
}

// ---------------------------------------------------------------------------------------------
// Motion search, mouse modes, tools

void BrowserCommands::StartMotionSearch() {
  ClearMotionFound();
  bool armed = false;
  const std::string detecting = Utf8(Tr(text::kMotionDetecting));
  for (int c = 0; c < kCameras; ++c) {
    const video::Rect area = display_->GetAreaRect(c);
    if (!area.Empty() && sensitivity_[static_cast<size_t>(c)] != 0) {
      display_->SetCaption2(c, detecting);
      armed = true;
    }
    source_->SetMotionDetection(c, sensitivity_[static_cast<size_t>(c)], area);
  }
  if (!armed) {
    view_->ShowMessage(text::kSearchError);
    return;
  }
  searchRunning_ = true;
  blinkOff_ = false;
  view_->StateChanged();
  source_->FastForward();
}

int BrowserCommands::Sensitivity(int camera) const {
  return camera >= 0 && camera < kCameras ? sensitivity_[static_cast<size_t>(camera)] : 0;
}

void BrowserCommands::SetSensitivity(int camera, int value) {
  if (camera >= 0 && camera < kCameras) sensitivity_[static_cast<size_t>(camera)] = std::clamp(value, 0, 100);
}

QString BrowserCommands::MotionText(int camera) const {
  return camera >= 0 && camera < kCameras && motionFound_[static_cast<size_t>(camera)] ? Tr(text::kMotion)
                                                                                       : QString();
}

void BrowserCommands::SwitchMouseMode(int mode) {
  if (mode != kMouseSelectArea && mode != kMouseZoomArea) return;
  mouseMode_ = mode == mouseMode_ ? kMouseNormal : mode;
  dragCamera_ = areaCamera_ = zoomCamera_ = -1;
  if (mouseMode_ != kMouseZoomArea) {
    for (int c = 0; c < kCameras; ++c) {
      display_->SetZoomRect(c, {});
      display_->SetTrackRect(c, {});
    }
  }
  view_->StateChanged();
}

bool BrowserCommands::HasDatabase() { return source_->Database() != nullptr; }

void BrowserCommands::ExportSelectedCamera() {
  source_->Stop();
  const int camera = display_->GetSelectedCamera();
  if (camera < 0 || camera >= kCameras) return;
  const uint64_t start = map_->GetViewStart(), end = map_->GetViewEnd();
  std::string fileName;
  int framesPerSecond = 0;
  if (!view_->AskExport(camera, start, end, &fileName, &framesPerSecond)) return;
  if (!source_->StartExport(this, fileName, camera, start, end, framesPerSecond)) {
    view_->ShowMessage(text::kAviError);
    return;
  }
  view_->SetInputEnabled(false);
}

void BrowserCommands::Backup() {
  source_->Stop();
  const uint32_t cameras = display_->VisibleCameras() & kAllCameras;
  if (archive::ArchiveDatabase* database = source_->Database()) {
    view_->RunBackup(*database, map_->GetViewStart(), map_->GetViewEnd(), cameras);
  }
}

// ---------------------------------------------------------------------------------------------
// Mouse in the video area

video::Rect BrowserCommands::MotionArea(QPoint start, QPoint end) {
  // Frame units to picture pixels, each corner down to the grid.
  const auto toGrid = [](int units, int pixels) {
    const int p = std::clamp(units, 0, kFrameUnits) * pixels / kFrameUnits;
    return p / kMotionGrid * kMotionGrid;
  };
  const int x1 = toGrid(start.x(), kMotionWidth), x2 = toGrid(end.x(), kMotionWidth);
  const int y1 = toGrid(start.y(), kMotionHeight), y2 = toGrid(end.y(), kMotionHeight);
  const int left = std::min(x1, x2), right = std::max(x1, x2) - 1;
  const int top = std::min(y1, y2), bottom = std::max(y1, y2) - 1;
  if (right - left + 1 < kMotionGrid || bottom - top + 1 < kMotionGrid) return {};
  return {left * kFrameUnits / kMotionWidth, top * kFrameUnits / kMotionHeight,
          right * kFrameUnits / kMotionWidth, bottom * kFrameUnits / kMotionHeight};
}

video::Rect BrowserCommands::ZoomArea(QPoint start, QPoint end) {
  const int sx = start.x(), sy = start.y();
  const int ex = std::clamp(end.x(), 0, kFrameUnits);
  int ey = std::clamp(end.y(), 0, kFrameUnits);
  if (ex != sx && ey != sy) {
    const int sign = ey > sy ? 1 : -1;
    ey = sy + sign * std::abs(ex - sx) * 3 / 4;
  }
  const auto clamp = [](int v) { return std::clamp(v, 0, kFrameUnits); };
  return {clamp(std::min(sx, ex)), clamp(std::min(sy, ey)), clamp(std::max(sx, ex)), clamp(std::max(sy, ey))};
}

void BrowserCommands::VideoPress(QPoint point) {
  const int camera = display_->CameraAt(point);
  SelectCamera(camera);
  if (camera < 0) return;
  switch (mouseMode_) {
    case kMouseNormal:
      if (display_->GetLayout() != 0) dragCamera_ = camera;
      break;
    case kMouseSelectArea:
      areaCamera_ = camera;
      areaStart_ = display_->CellToFrame(camera, point);
      break;
    case kMouseZoomArea:
      zoomCamera_ = camera;
      zoomStart_ = display_->CellToFrame(camera, point);
      break;
    default: break;
  }
}

void BrowserCommands::VideoMove(QPoint point) {
  hoverTicks_ = 0;
  if (mouseMode_ == kMouseNormal && dragCamera_ >= 0) {
    display_->SetHighlightedCamera(display_->CameraAt(point));
  } else if (mouseMode_ == kMouseSelectArea && areaCamera_ >= 0) {
    const video::Rect area = MotionArea(areaStart_, display_->CellToFrame(areaCamera_, point));
    display_->SetAreaRect(areaCamera_, area);
    display_->SetTrackRect(areaCamera_, area);
  } else if (mouseMode_ == kMouseZoomArea && zoomCamera_ >= 0) {
    display_->SetTrackRect(zoomCamera_, ZoomArea(zoomStart_, display_->CellToFrame(zoomCamera_, point)));
  }
}

void BrowserCommands::VideoRelease(QPoint point) {
  switch (mouseMode_) {
    case kMouseNormal: {
      const int other = display_->CameraAt(point);
      if (dragCamera_ >= 0 && other >= 0 && other != dragCamera_) {
        display_->PlaceCamera(dragCamera_, display_->CellOfCamera(other));
        UpdateVisibleSet();
      }
      display_->SetHighlightedCamera(-1);
      dragCamera_ = -1;
      break;
    }
    case kMouseSelectArea:
      if (areaCamera_ >= 0) {
        display_->SetAreaRect(areaCamera_, MotionArea(areaStart_, display_->CellToFrame(areaCamera_, point)));
        display_->SetTrackRect(areaCamera_, {});
        display_->DrawCamera(areaCamera_);
        areaCamera_ = -1;
      }
      break;
    case kMouseZoomArea:
      if (zoomCamera_ >= 0) {
        display_->SetZoomRect(zoomCamera_, ZoomArea(zoomStart_, display_->CellToFrame(zoomCamera_, point)));
        display_->SetTrackRect(zoomCamera_, {});
        zoomCamera_ = -1;
      }
      break;
    default: break;
  }
}

void BrowserCommands::VideoDoubleClick(QPoint point) {
  SelectCamera(display_->CameraAt(point));
  display_->SingleView();
  UpdateVisibleSet();
}

void BrowserCommands::VideoRightPress(QPoint point) { SelectCamera(display_->CameraAt(point)); }

// ---------------------------------------------------------------------------------------------
// Mouse in the map

bool BrowserCommands::InMap(QPoint point) { return map_->GetColumns() > 0 && map_->GetRect().contains(point); }

void BrowserCommands::MapPress(QPoint point) {
  if (!InMap(point)) return;
  SelectCamera(map_->RowAt(point));
  const uint64_t t = map_->TimeAt(point.x());
  map_->SetSelection(t, t);
  selecting_ = true;
  pressX_ = point.x();
}

void BrowserCommands::MapMove(QPoint point) {
  hoverTicks_ = 0;
  if (selecting_) map_->SetSelection(map_->GetSelectionStart(), map_->TimeAt(point.x()));
}

void BrowserCommands::MapRelease(QPoint point) {
  if (!selecting_) return;
  selecting_ = false;
  const uint64_t a = map_->GetSelectionStart(), b = map_->GetSelectionEnd();
  map_->SetSelection(0, 0);
  if (a != b && std::abs(point.x() - pressX_) > kClickSlop) {
    SetView(std::min(a, b), std::max(a, b));
    return;
  }
  const int row = InMap(point) ? map_->RowAt(point) : -1;
  if (row >= 0) source_->SeekCamera(row, map_->TimeAt(point.x()));
}

// ---------------------------------------------------------------------------------------------
// Timer

void BrowserCommands::Tick(QPoint pointer) {
  if (searchRunning_) {
    blinkOff_ = !blinkOff_;
    view_->StateChanged();
  }
  ++hoverTicks_;
  if (!InMap(pointer)) {
    hoverTicks_ = 0;
    return;
  }
  if (hoverTicks_ >= kHoverTicks) {
    SelectCamera(map_->RowAt(pointer));
    hoverTicks_ = 0;
  }
}

// ---------------------------------------------------------------------------------------------
// Notifications

void BrowserCommands::ClearPlaybackLook() {
  pressedMode_ = 0;
  searchRunning_ = false;
  blinkOff_ = false;
}

void BrowserCommands::OnPlaybackStatus(int code, int64_t value) {
  // What a closing source still reports (the end of an export it cancelled) has no window left.
  if (!open_) return;
  switch (code) {
    case playback::kStatusStopped: {
      ClearPlaybackLook();
      // A search that found motion stops right after reporting it: "Motion !" stays on that
      // camera's caption until playback goes on, in place of the search's own caption.
      const std::string motion = MotionCaption();
      for (int c = 0; c < kCameras; ++c) {
        source_->SetMotionDetection(c, 0, {});
        display_->SetCaption2(c, motionFound_[static_cast<size_t>(c)] ? motion : std::string());
      }
      // A stopped source draws no more frames: the new captions show only when drawn now.
      display_->RedrawAll();
      view_->StateChanged();
      break;
    }
    case playback::kStatusPlaying:
    case playback::kStatusPlayingDouble:
    case playback::kStatusFastForward:
    case playback::kStatusFastBackward:
      pressedMode_ = code;
      ClearMotionFound();
      view_->StateChanged();
      break;
    case playback::kStatusMotionFound: {
      if (value < 0 || value >= kCameras) break;
      const int camera = static_cast<int>(value);
      SelectCamera(camera);
      display_->SetHighlightedCamera(camera);
      motionFound_[static_cast<size_t>(camera)] = true;
      display_->DrawCamera(camera);
      view_->Beep();
      break;
    }
    case playback::kStatusExportStarted: view_->ExportProgress(0); break;
    case playback::kStatusExportProgress:
      view_->ExportProgress(static_cast<int>(std::clamp<int64_t>(value, 0, 100)));
      break;
    case playback::kStatusExportFinished:
      view_->SetInputEnabled(true);
      view_->ExportProgress(-1);
      view_->ShowMessage(value == playback::kExportCompleted   ? text::kAviCreated
                         : value == playback::kExportCancelled ? text::kAviCancelled
                                                               : text::kAviError);
      break;
    default: break;
  }
}

void BrowserCommands::OnPlaybackPosition(uint64_t time) {
  if (open_) map_->SetCursor(time);
}

void BrowserCommands::OnPlaybackBeep() { view_->Beep(); }

void BrowserCommands::OnRemoteRequest(uint32_t token) {
  if (open_) source_->SendRequest(token);
}

// Drawn straight after the camera's name, like the search's own " ( motion detecting ) ".
std::string BrowserCommands::MotionCaption() { return " " + Utf8(Tr(text::kMotion)); }

void BrowserCommands::ClearMotionFound() {
  for (int c = 0; c < kCameras; ++c) {
    if (!motionFound_[static_cast<size_t>(c)]) continue;
    motionFound_[static_cast<size_t>(c)] = false;
    // A search in progress keeps its own caption.
    if (display_->GetCaption2(c) == MotionCaption()) display_->SetCaption2(c, {});
  }
}

void BrowserCommands::OnMapNeedsData() {
  if (!open_) return;
  const uint64_t start = map_->GetViewStart(), end = map_->GetViewEnd();
  if (end > start) source_->FillTimeline(start, end, map_->GetColumns());
}

void BrowserCommands::OnMapNeedsTitle(uint64_t time) {
  if (open_) source_->ShowBookmarkText(time);
}

void BrowserCommands::OnMapCursorText(const QString& text) { view_->CursorText(text); }

void BrowserCommands::OnMapPicture(const QImage& picture, const QRect& area) { view_->MapPicture(picture, area); }

}  // namespace strixc::browser
