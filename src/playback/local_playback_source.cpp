#include "playback/local_playback_source.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "archive/archive_database.h"
#include "archive/archive_reader.h"
#include "playback/arch_browser_timer.h"
#include "playback/archive_player.h"

namespace strixc::playback {

namespace {

using Guard = std::lock_guard<SourceLock>;

constexpr int kCameras = ArchivePlayer::kCameras;
constexpr uint32_t kAllCameras = (1u << kCameras) - 1;

// Bookmarks are stored as signed times; archive times beyond their range have none.
int64_t BookmarkTime(uint64_t time) {
  return time > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) ? 0 : static_cast<int64_t>(time);
}

// t0 + (t1 - t0) * part / parts without overflow.
uint64_t PartStart(uint64_t t0, uint64_t t1, int part, int parts) {
  const unsigned __int128 span = t1 - t0;
  return t0 + static_cast<uint64_t>(span * static_cast<unsigned>(part) / static_cast<unsigned>(parts));
}

}  // namespace

LocalPlaybackSource::LocalPlaybackSource(archive::ArchiveDatabase* database) : database_(database) {}

LocalPlaybackSource::~LocalPlaybackSource() {
  // No tick may run into the members below once destruction starts.
  ShutdownTimer();
  Close();
  Guard guard(lock_);
  if (displayAttached_ && display_ != nullptr) display_->SetFrameSource(nullptr);
  displayAttached_ = false;
}

// ---- Opening and closing.

bool LocalPlaybackSource::Open(QObject* context, PlaybackReceiver* receiver) {
  Guard guard(lock_);
  Close();
  for (int c = 0; c < kCameras; ++c) {
    frames_.ResetCamera(c);
    if (display_ != nullptr) display_->ResetFrameRate(c);
  }
  if (display_ != nullptr) {
    display_->SetFrameSource(&frames_);
    displayAttached_ = true;
  }
  BindReceiver(context, receiver);
  player_ = std::make_unique<ArchivePlayer>(database_, &frames_);
  mode_ = kModeStopped;
  return true;
}

void LocalPlaybackSource::Close() {
  Guard guard(lock_);
  if (Exporting()) EndExport(kExportCancelled);
  if (player_) StopLocked();
  Timer().Cancel();
  mode_ = kModeStopped;
  player_.reset();
  UnbindReceiver();
}

void LocalPlaybackSource::SendRequest(uint32_t token) {}

// ---- Position and modes.

void LocalPlaybackSource::NotifyPosition(bool force) {
  PostPosition(player_ ? player_->CurrentTime() : 0, force);
}

void LocalPlaybackSource::OnFrame(int camera) {
  if (display_ != nullptr && camera >= 0 && camera < kCameras) display_->OnFrame(camera, false);
}

void LocalPlaybackSource::RefreshLocked() {
  if (!player_) return;
  const uint32_t shown = player_->Refresh();
  for (int c = 0; c < kCameras; ++c) {
    if (shown & (1u << c)) OnFrame(c);
  }
}

void LocalPlaybackSource::SeekCameraLocked(int camera, uint64_t time) {
  if (!player_) return;
  player_->SeekCamera(camera, time);
  RefreshLocked();
  NotifyPosition(true);
}

void LocalPlaybackSource::SeekCamera(int camera, uint64_t time) {
  Guard guard(lock_);
  if (Exporting()) return;
  SeekCameraLocked(camera, time);
}

void LocalPlaybackSource::StopLocked() {
  NotifyPosition(true);
  PostStatus(kStatusStopped, 0);
  Timer().Cancel();
  mode_ = kModeStopped;
}

void LocalPlaybackSource::Stop() {
  Guard guard(lock_);
  if (Exporting() || !player_) return;
  StopLocked();
}

void LocalPlaybackSource::StartMode(int mode, int status) {
  if (Exporting() || !player_) return;
  if (status >= 0) PostStatus(status, 0);
  mode_ = mode;
  Timer().Schedule(0);
}

void LocalPlaybackSource::SetCameraMaskLocked(uint32_t mask) {
  if (!player_) return;
  player_->SetCameraMask(mask & kAllCameras);
  RefreshLocked();
  NotifyPosition(true);
}

void LocalPlaybackSource::SetCameraMask(uint32_t mask) {
  Guard guard(lock_);
  if (Exporting()) return;
  SetCameraMaskLocked(mask);
}

void LocalPlaybackSource::SetMotionDetection(int camera, int sensitivity, const video::Rect& area) {
  Guard guard(lock_);
  if (Exporting()) return;
  frames_.SetMotionDetection(camera, sensitivity, area);
}

uint64_t LocalPlaybackSource::CurrentTime() {
  Guard guard(lock_);
  return player_ ? player_->CurrentTime() : 0;
}

int LocalPlaybackSource::CurrentCamera() {
  Guard guard(lock_);
  return player_ ? player_->CurrentCamera() : -1;
}

uint32_t LocalPlaybackSource::CameraMask() {
  Guard guard(lock_);
  return player_ ? player_->CameraMask() : kAllCameras;
}

// ---- The tick.

void LocalPlaybackSource::StepFailed(int camera, uint64_t time) {
  PostBeep();
  // Back to the last frame that was shown: the step may have emptied the position.
  if (camera >= 0) SeekCameraLocked(camera, time);
  StopLocked();
}

void LocalPlaybackSource::OnTimer() {
  Guard guard(lock_);
  if (!player_) return;
  const int previousCamera = player_->CurrentCamera();
  const uint64_t previousTime = player_->CurrentTime();
  switch (mode_) {
    case kModePlay:
    case kModePlayDouble: {
      if (!player_->Next()) {
        StepFailed(previousCamera, previousTime);
        return;
      }
      const uint64_t now = player_->CurrentTime();
      const uint64_t next = player_->NextFrameTime();
      // The recording's own spacing; unknown (the next frame lies in another file) or out of order
      // means at once, the timer cuts long gaps.
      int64_t delay = next > now ? static_cast<int64_t>(std::min<uint64_t>(next - now, ArchBrowserTimer::kMaxDelay)) : 0;
      if (mode_ == kModePlayDouble) delay /= 2;
      Timer().Schedule(delay);
      RefreshLocked();
      NotifyPosition(false);
      OnFrame(player_->CurrentCamera());
      return;
    }
    case kModeFastForward: {
      if (!player_->Next()) {
        StepFailed(previousCamera, previousTime);
        return;
      }
      const int camera = player_->CurrentCamera();
      RefreshLocked();
      OnFrame(camera);
      if (frames_.HasMotion(camera)) {
        PostStatus(kStatusMotionFound, camera);
        StopLocked();
      } else {
        Timer().Schedule(0);
        NotifyPosition(false);
      }
      return;
    }
    case kModeFastBackward:
      if (!player_->Previous()) {
        StepFailed(previousCamera, previousTime);
        return;
      }
      RefreshLocked();
      OnFrame(player_->CurrentCamera());
      Timer().Schedule(0);
      NotifyPosition(false);
      return;
    case kModeStepForward:
      if (!player_->Next()) {
        if (previousCamera >= 0) player_->SeekCamera(previousCamera, previousTime);
        PostBeep();
      }
      RefreshLocked();
      OnFrame(player_->CurrentCamera());
      StopLocked();
      return;
    case kModeStepBackward:
      if (!player_->Previous()) {
        if (previousCamera >= 0) player_->SeekCamera(previousCamera, previousTime);
        PostBeep();
      }
      RefreshLocked();
      StopLocked();
      return;
    case kModeExport:
      ExportTick();
      return;
    default:
      return;
  }
}

// ---- Export.

bool LocalPlaybackSource::StartExport(QObject* owner, const std::string& fileName, int camera,
                                      uint64_t start, uint64_t end, int64_t tag) {
  Guard guard(lock_);
  if (!player_ || Exporting() || !writerFactory_ || camera < 0 || camera >= kCameras) return false;
  // A tick of the mode played until now must not run as an export tick.
  Timer().Cancel();
  const uint32_t previousMask = player_->CameraMask();
  SetCameraMaskLocked(1u << camera);
  player_->SeekCamera(camera, start);
  player_->RefreshCamera(camera, nullptr);
  lastPercent_ = -1;
  writer_ = writerFactory_(camera, start, end, fileName);
  mode_ = kModeExport;
  if (!writer_ || !writer_->Open(owner, kExportFramesPerSecond)) {
    writer_.reset();
    mode_ = kModeStopped;
    // Nothing was exported: the cameras shown before stay shown.
    SetCameraMaskLocked(previousMask);
    return false;
  }
  if (display_ != nullptr) display_->SetFrameSource(nullptr);
  exportFirst_ = true;
  PostStatus(kStatusExportStarted, tag);
  Timer().Schedule(0);
  return true;
}

void LocalPlaybackSource::ExportTick() {
  // The first tick writes the frame the export was positioned on (the camera's frame at the start
  // or its first one after), when the range holds it; the walk goes on from there.
  const bool first = exportFirst_;
  exportFirst_ = false;
  const bool onStartFrame = first && player_->CurrentTime() != 0 && writer_ &&
                            player_->CurrentTime() <= writer_->EndTime();
  if (!writer_ || (!onStartFrame && !player_->Next()) || writer_->EndTime() < player_->CurrentTime()) {
    EndExport(writer_ && !writer_->Finish() ? kExportWriteError : kExportCompleted);
    return;
  }
  const int camera = player_->CurrentCamera();
  bool written = true;
  frames_.LockFrame(camera);
  const video::BitmapInfoHeader* header = frames_.GetFrameHeader(camera);
  const uint8_t* bits = frames_.GetFrameBits(camera);
  const uint64_t time = frames_.GetFrameTime(camera);
  Timer().Schedule(1);
  if (header != nullptr && bits != nullptr && header->biWidth != 0 && header->biHeight != 0) {
    written = writer_->Write(*header, bits, time);
  }
  frames_.UnlockFrame(camera);
  if (!written) {
    EndExport(kExportWriteError);
    return;
  }
  const int percent = writer_->Percent();
  if (percent != lastPercent_) {
    lastPercent_ = percent;
    PostStatus(kStatusExportProgress, percent);
  }
}

void LocalPlaybackSource::EndExport(int result) {
  Timer().Cancel();
  // The writer completes its file as it goes: "finished" only reaches the window once the file is.
  writer_.reset();
  PostStatus(kStatusExportFinished, result);
  mode_ = kModeStopped;
  lastPercent_ = -1;
  exportFirst_ = false;
  uint32_t placed = kAllCameras;
  if (display_ != nullptr) {
    display_->SetFrameSource(&frames_);
    displayAttached_ = true;
    placed = display_->PlacedCameras() & kAllCameras;
  }
  if (timeline_ != nullptr) {
    for (int c = 0; c < kCameras; ++c) timeline_->SetRowEnabled(c, (placed >> c) & 1u);
  }
  SetCameraMaskLocked(placed);
}

void LocalPlaybackSource::CancelExport() {
  Guard guard(lock_);
  if (Exporting()) EndExport(kExportCancelled);
}

// ---- Timeline and archive summary.

void LocalPlaybackSource::FillTimeline(uint64_t t0, uint64_t t1, int width) {
  Guard guard(lock_);
  if (Exporting() || timeline_ == nullptr || t1 <= t0 || width <= 0) return;
  const size_t bins = static_cast<size_t>(width / kColumnsPerBin + 1);
  std::vector<uint32_t> recorded(bins), red(bins), yellow(bins);
  std::vector<int64_t> marks;
  std::vector<uint64_t> times;
  const int columns = std::max(1, width / kTimelineParts);
  // Both ends of [t0, t1] are shown (the map's last column stands for t1 itself), while the parts
  // are half-open: they run to just past t1, or that column would never get its recordings.
  const uint64_t end = t1 < std::numeric_limits<uint64_t>::max() ? t1 + 1 : t1;
  for (int part = 0; part < kTimelineParts; ++part) {
    const uint64_t a = PartStart(t0, end, part, kTimelineParts);
    const uint64_t b = PartStart(t0, end, part + 1, kTimelineParts);
    database_->Activity(a, b, recorded, red, yellow);
    timeline_->SetMapData(a, b, recorded, red, yellow);
    database_->Bookmarks().InRange(BookmarkTime(a), BookmarkTime(b), columns, &marks);
    times.assign(marks.begin(), marks.end());
    if (!times.empty()) timeline_->AddBookmarks(times);
  }
}

int LocalPlaybackSource::HighestCamera() {
  Guard guard(lock_);
  const uint32_t mask = database_->CameraMask() & kAllCameras;
  for (int c = kCameras - 1; c > 0; --c) {
    if (mask & (1u << c)) return c;
  }
  return 0;
}

archive::ArchiveDatabase* LocalPlaybackSource::Database() { return database_; }

uint64_t LocalPlaybackSource::Earliest() {
  Guard guard(lock_);
  return database_->Earliest();
}

uint64_t LocalPlaybackSource::Latest() {
  Guard guard(lock_);
  return database_->Latest();
}

bool LocalPlaybackSource::DayHasRecordings(uint64_t time) {
  Guard guard(lock_);
  return database_->DayHasRecordings(time);
}

// ---- Bookmarks.

bool LocalPlaybackSource::AddBookmark(uint64_t time, const std::string& title) {
  Guard guard(lock_);
  const int64_t t = BookmarkTime(time);
  if (Exporting() || t <= 0) return false;
  database_->Bookmarks().Add(t, title);
  if (timeline_ != nullptr) {
    timeline_->InsertBookmark(time);
    timeline_->SetTitle(time, title);
  }
  return true;
}

bool LocalPlaybackSource::DeleteBookmark(uint64_t time) {
  Guard guard(lock_);
  if (Exporting()) return false;
  const bool removed = database_->Bookmarks().Remove(BookmarkTime(time));
  if (timeline_ != nullptr) timeline_->RemoveBookmark(time);
  return removed;
}

void LocalPlaybackSource::ShowBookmarkText(uint64_t time) {
  Guard guard(lock_);
  if (Exporting()) return;
  const std::string title = database_->Bookmarks().GetTitle(BookmarkTime(time));
  if (timeline_ != nullptr) timeline_->SetTitle(time, title);
}

void LocalPlaybackSource::NextBookmark(uint64_t time) {
  Guard guard(lock_);
  if (Exporting() || !player_) return;
  archive::BookmarkStore& store = database_->Bookmarks();
  const uint64_t before = player_->CurrentTime();
  int64_t mark = store.Next(BookmarkTime(time));
  const bool found = mark > 0;
  // Bookmarks closer together than two frames land on the same frame: go on to the next one that
  // moves the position. The store's times only grow, so this ends.
  while (mark > 0) {
    player_->SeekTime(static_cast<uint64_t>(mark));
    if (player_->CurrentTime() != before) break;
    mark = store.Next(mark);
  }
  RefreshLocked();
  if (!found || player_->CurrentTime() == before) PostBeep();
  NotifyPosition(false);
}

void LocalPlaybackSource::PrevBookmark(uint64_t time) {
  Guard guard(lock_);
  if (Exporting() || !player_) return;
  const uint64_t before = player_->CurrentTime();
  const int64_t mark = database_->Bookmarks().Previous(BookmarkTime(time));
  if (mark > 0) player_->SeekTime(static_cast<uint64_t>(mark));
  RefreshLocked();
  if (mark <= 0 || player_->CurrentTime() == before) PostBeep();
  NotifyPosition(false);
}

}  // namespace strixc::playback
