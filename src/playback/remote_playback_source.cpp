#include "playback/remote_playback_source.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "archive/archive_time.h"
#include "net/protocol.h"
#include "playback/arch_browser_timer.h"
#include "playback/remote_archive_forwarder.h"
#include "playback/remote_archive_link.h"

namespace strixc::playback {

namespace {

using Guard = std::lock_guard<SourceLock>;
using RequestGuard = std::lock_guard<std::mutex>;

constexpr int kCameras = video::FrameStore::kCameras;

bool ValidCamera(int camera) { return camera >= 0 && camera < kCameras; }

// A bookmark title holds at most 99 characters where it is edited; a notice may claim up to a whole
// message. Cut at a character boundary of the UTF-8 text.
constexpr size_t kMaxTitleCharacters = 99;

std::string CutTitle(const std::string& title) {
  size_t characters = 0;
  for (size_t i = 0; i < title.size(); ++i) {
    const bool continuation = (static_cast<uint8_t>(title[i]) & 0xC0) == 0x80;
    if (!continuation && ++characters > kMaxTitleCharacters) return title.substr(0, i);
  }
  return title;
}

}  // namespace

RemotePlaybackSource::RemotePlaybackSource(video::RemotePlaybackFrameBuffer* buffer,
                                           video::PlaybackFrameStore* frames)
    : buffer_(buffer), frames_(frames) {
  earliest_ = latest_ = archive::WallClockNow();
}

RemotePlaybackSource::~RemotePlaybackSource() {
  // No tick may run into the members below once destruction starts.
  ShutdownTimer();
  Detach();
  Close();
  Guard guard(lock_);
  if (displayAttached_ && display_ != nullptr) display_->SetFrameSource(nullptr);
  displayAttached_ = false;
}

uint32_t RemotePlaybackSource::NextToken(uint32_t counter) {
  // The server tells requests apart by token alone; 0 would be taken for "none".
  return counter >= std::numeric_limits<uint32_t>::max() ? 1 : counter + 1;
}

// ---- The connection.

bool RemotePlaybackSource::Attach(RemoteArchiveLink* link, RemoteArchiveForwarder* forwarder) {
  Detach();
  Guard guard(lock_);
  link_ = link;
  forwarder_ = forwarder;
  net::ArchiveRange range;
  const bool answered = link_ != nullptr && link_->GetArchiveRange(&range);
  if (answered) {
    serverMask_ = range.cameraMask;
    // A server that names its range the wrong way round still has one.
    earliest_ = std::min(range.first, range.second);
    latest_ = std::max(range.first, range.second);
  }
  if (forwarder_ != nullptr) forwarder_->Attach(this);
  return answered;
}

void RemotePlaybackSource::Detach() {
  Guard guard(lock_);
  if (link_ == nullptr && forwarder_ == nullptr) return;
  Close();
  // Waits for a frame the network thread is handing over right now; requestLock_ is not held, so
  // that frame can finish.
  if (forwarder_ != nullptr) forwarder_->Detach(this);
  forwarder_ = nullptr;
  link_ = nullptr;
  serverMask_ = 0;
  earliest_ = latest_ = archive::WallClockNow();
}

// ---- Opening and closing.

void RemotePlaybackSource::SetTimeline(Timeline* timeline) {
  Guard guard(lock_);
  PlaybackSource::SetTimeline(timeline);
  RequestGuard request(requestLock_);
  if (open_) requestTimeline_ = timeline;
}

void RemotePlaybackSource::SetDisplay(PlaybackDisplay* display) {
  Guard guard(lock_);
  PlaybackSource::SetDisplay(display);
  RequestGuard request(requestLock_);
  if (open_) requestDisplay_ = display;
}

bool RemotePlaybackSource::Open(QObject* context, PlaybackReceiver* receiver) {
  Guard guard(lock_);
  Close();
  for (int c = 0; c < kCameras; ++c) {
    frames_->ResetCamera(c);
    if (display_ != nullptr) display_->ResetFrameRate(c);
  }
  buffer_->Clear();
  if (display_ != nullptr) {
    display_->SetFrameSource(buffer_);
    displayAttached_ = true;
  }
  BindReceiver(context, receiver);
  {
    RequestGuard request(requestLock_);
    open_ = true;
    requestDisplay_ = display_;
    requestTimeline_ = timeline_;
    currentTime_ = 0;
    record_ = {};
    direction_ = kIdle;
  }
  if (link_ != nullptr) link_->ArchiveOpen(true);
  mode_ = kModeStopped;
  return true;
}

void RemotePlaybackSource::Close() {
  Guard guard(lock_);
  bool wasOpen = false;
  {
    RequestGuard request(requestLock_);
    wasOpen = open_;
  }
  if (!wasOpen) return;
  if (Exporting()) EndExport(kExportCancelled);
  StopLocked();
  if (link_ != nullptr) link_->ArchiveOpen(false);
  UnbindReceiver();
  {
    RequestGuard request(requestLock_);
    open_ = false;
    record_ = {};
    direction_ = kIdle;
    requestDisplay_ = nullptr;
    requestTimeline_ = nullptr;
  }
  buffer_->Clear();
}

// ---- Requests.

void RemotePlaybackSource::IssueRequestLocked(uint8_t mode, uint32_t argument, uint64_t time) {
  direction_ = kPositioning;
  // What was buffered belongs to the old position; the slots keep showing it until the answer.
  buffer_->ClearPending();
  tokenCounter_ = NextToken(tokenCounter_);
  record_ = net::PlaybackRequestRecord{mode, tokenCounter_, cameraMask_, argument, time};
  PostRequest(tokenCounter_);
}

void RemotePlaybackSource::ContinueLocked(uint8_t mode) {
  tokenCounter_ = NextToken(tokenCounter_);
  record_ = net::PlaybackRequestRecord{mode, tokenCounter_, cameraMask_, 0, 0};
  PostRequest(tokenCounter_);
}

void RemotePlaybackSource::SendRequest(uint32_t token) {
  Guard guard(lock_);
  net::PlaybackRequestRecord record;
  {
    RequestGuard request(requestLock_);
    // A request superseded while its notification was queued is not sent: the newer one follows.
    if (!open_ || record_.token == 0 || token != record_.token) return;
    record = record_;
  }
  if (link_ != nullptr) link_->PlaybackRequest(record);
}

void RemotePlaybackSource::SetTokenCounter(uint32_t counter) {
  RequestGuard request(requestLock_);
  tokenCounter_ = counter;
}

// ---- From the network thread.

void RemotePlaybackSource::OnFrameLocked(int camera) {
  if (requestDisplay_ != nullptr && ValidCamera(camera)) requestDisplay_->OnFrame(camera, false);
}

void RemotePlaybackSource::OnArchiveFrame(const net::FrameHeader& frame) {
  RequestGuard request(requestLock_);
  // Token 0 means no request is outstanding: a frame that claims it answers nothing of ours.
  if (!open_ || record_.token == 0 || frame.token != record_.token) return;
  const bool last = (frame.flags & net::frame_flag::kLast) != 0;
  switch (record_.mode) {
    case kRequestPosition:
    case kRequestNextBookmark:
    case kRequestPrevBookmark: {
      buffer_->Enqueue(frame.time);
      int camera = frame.camera;
      if (frame.time == 0) {
        buffer_->ResetCamera(camera);
      } else {
        const int shown = buffer_->BringCameraTo(frame.time);
        if (shown >= 0) camera = shown;
      }
      OnFrameLocked(camera);
      if (last) {
        currentTime_ = buffer_->LatestTime(cameraMask_);
        PostPosition(currentTime_, true);
        buffer_->ClearPending();
        direction_ = kIdle;
      }
      break;
    }
    case kRequestBackward:
    case kRequestForward:
      ++record_.argument;
      buffer_->Enqueue(frame.time);
      break;
    default:
      break;
  }
  if (last) record_ = {};
}

void RemotePlaybackSource::OnArchiveMap(const net::ArchiveMap& map) {
  RequestGuard request(requestLock_);
  if (!open_ || requestTimeline_ == nullptr) return;
  // An answer for a period the timeline no longer shows (it scrolled since) would paint the wrong
  // columns.
  if (map.start != mapStart_ || map.end != mapEnd_ || map.start >= map.end) return;
  for (const auto& list : map.lists) {
    if (list.size() > net::kMaxExpandedList) return;
  }
  // The timeline's three activity arrays: per time slot a mask of cameras, 16 of them.
  std::array<std::vector<uint32_t>, 3> masks;
  const size_t count = std::min({map.lists[0].size(), map.lists[1].size(), map.lists[2].size()});
  for (size_t k = 0; k < 3; ++k) masks[k].assign(map.lists[k].begin(), map.lists[k].begin() + count);
  requestTimeline_->SetMapData(map.start, map.end, masks[0], masks[1], masks[2]);
  // The values after the lists are the period's bookmarks.
  std::vector<uint64_t> bookmarks;
  for (uint64_t v : map.values) {
    if (v >= map.start && v <= map.end) bookmarks.push_back(v);
  }
  if (!bookmarks.empty()) requestTimeline_->AddBookmarks(bookmarks);
}

void RemotePlaybackSource::OnBookmarkNotice(uint64_t time, const std::string& title) {
  RequestGuard request(requestLock_);
  if (!open_ || requestTimeline_ == nullptr || time == 0) return;
  requestTimeline_->SetTitle(time, CutTitle(title));
}

// ---- Position and modes.

void RemotePlaybackSource::SeekCamera(int camera, uint64_t time) {
  Guard guard(lock_);
  if (Exporting()) return;
  RequestGuard request(requestLock_);
  if (!open_) return;
  IssueRequestLocked(kRequestPosition, ValidCamera(camera) ? static_cast<uint32_t>(camera) : kAllCameras,
                     time);
}

void RemotePlaybackSource::StopLocked() {
  PostStatus(kStatusStopped, 0);
  Timer().Cancel();
  mode_ = kModeStopped;
  uint64_t time = 0;
  {
    RequestGuard request(requestLock_);
    time = currentTime_;
  }
  PostPosition(time, true);
}

void RemotePlaybackSource::Stop() {
  Guard guard(lock_);
  if (Exporting()) return;
  StopLocked();
}

void RemotePlaybackSource::StartMode(int mode, int status) {
  if (Exporting()) return;
  {
    RequestGuard request(requestLock_);
    if (!open_) return;
  }
  if (status >= 0) PostStatus(status, 0);
  mode_ = mode;
  shownTime_ = 0;
  Timer().Schedule(0);
}

void RemotePlaybackSource::SetCameraMaskLocked(uint32_t mask) {
  mask &= kCameraBits;
  RequestGuard request(requestLock_);
  if (!open_ || mask == cameraMask_) return;
  cameraMask_ = mask;
  IssueRequestLocked(kRequestPosition, kAllCameras, currentTime_);
}

void RemotePlaybackSource::SetCameraMask(uint32_t mask) {
  Guard guard(lock_);
  if (Exporting()) return;
  SetCameraMaskLocked(mask);
}

void RemotePlaybackSource::SetMotionDetection(int camera, int sensitivity, const video::Rect& area) {
  Guard guard(lock_);
  if (Exporting() || !ValidCamera(camera)) return;
  motion_[camera].SetSettings(sensitivity, area);
}

uint64_t RemotePlaybackSource::CurrentTime() {
  RequestGuard request(requestLock_);
  return currentTime_;
}

uint32_t RemotePlaybackSource::CameraMask() {
  RequestGuard request(requestLock_);
  return cameraMask_;
}

int RemotePlaybackSource::CurrentDirection() {
  RequestGuard request(requestLock_);
  return direction_;
}

net::PlaybackRequestRecord RemotePlaybackSource::CurrentRequest() {
  RequestGuard request(requestLock_);
  return record_;
}

// ---- Taking frames.

bool RemotePlaybackSource::TakeFrame(bool forward, bool* shown, int* camera) {
  const int way = forward ? kForward : kBackward;
  const int otherWay = forward ? kBackward : kForward;
  const uint8_t continuation = forward ? kRequestForward : kRequestBackward;
  *shown = false;
  *camera = -1;
  RequestGuard request(requestLock_);
  if (!open_) return false;
  bool atEnd = false;
  if (direction_ == way) {
    const video::RemotePlaybackFrameBuffer::Taken taken = buffer_->TakeNext(cameraMask_);
    if (taken.taken) {
      // An end marker (time 0), or a picture of a camera no longer shown, is where the archive
      // ends: the position stays on the last picture shown, for the Stop that follows to report.
      if (taken.time == 0) {
        atEnd = true;
      } else {
        currentTime_ = taken.time;
        *shown = true;
        *camera = taken.camera;
        OnFrameLocked(taken.camera);
        PostPosition(currentTime_, false);
      }
    }
  }
  if (direction_ != kPositioning && direction_ != way) {
    if (direction_ == otherWay && buffer_->HasPictures() > 0) {
      // The buffered pictures lie the other way: start again from where the playback stands.
      IssueRequestLocked(kRequestPosition, kAllCameras, currentTime_);
    } else {
      buffer_->ClearPending();
      direction_ = way;
    }
  }
  if (direction_ == way && buffer_->HasPictures() == 0 && record_.mode != continuation) {
    ContinueLocked(continuation);
  }
  return !atEnd;
}

int64_t RemotePlaybackSource::ShortDelay(bool forward) {
  // Until pictures of the way being played are buffered the tick only looks whether the server's
  // answer came: no reason to spin the timer thread, but soon enough that a picture is not held up.
  // (While a positioning answer arrives the buffer fills too, but those pictures are not played.)
  RequestGuard request(requestLock_);
  const bool ready = direction_ == (forward ? kForward : kBackward) && buffer_->HasPictures() > 0;
  return ready ? kMinDelay : kWaitDelay;
}

int64_t RemotePlaybackSource::PlayDelay() {
  // The recording's own spacing to the next buffered picture; the timer cuts long gaps.
  int64_t delay = 0;
  const uint64_t next = buffer_->NextPictureTime();
  const uint64_t now = CurrentTime();
  if (next > now) delay = static_cast<int64_t>(std::min<uint64_t>(next - now, ArchBrowserTimer::kMaxDelay));
  if (mode_ == kModePlayDouble) delay /= 2;
  return std::max(delay, kMinDelay);
}

bool RemotePlaybackSource::HoldUntilDue() {
  // Pictures that arrive while the tick waits for the server (at the end of each batch) are not
  // shown the moment they come: the first is due when the recording says, counted from the deadline
  // that showed the picture before it. Late ones go at once. After a seek, or at the start of play,
  // there is no picture before it to count from.
  if (shownTime_ == 0 || shownTime_ != CurrentTime() || ShortDelay(true) == kWaitDelay) return false;
  const auto due = shownAt_ + std::chrono::nanoseconds(PlayDelay() * 100);
  const auto fired = Timer().FiredDeadline();
  if (due <= fired) return false;
  Timer().Schedule(std::chrono::duration_cast<std::chrono::nanoseconds>(due - fired).count() / 100);
  return true;
}

bool RemotePlaybackSource::MotionIn(int camera) {
  if (!ValidCamera(camera)) return false;
  buffer_->LockFrame(camera);
  const video::BitmapInfoHeader* header = buffer_->GetFrameHeader(camera);
  const bool motion = motion_[camera].Compare(*header, buffer_->GetFrameBits(camera));
  buffer_->UnlockFrame(camera);
  return motion;
}

// ---- The tick.

void RemotePlaybackSource::OnTimer() {
  Guard guard(lock_);
  bool shown = false;
  int camera = -1;
  switch (mode_) {
    case kModePlay:
    case kModePlayDouble: {
      if (HoldUntilDue()) return;
      if (!TakeFrame(true, &shown, &camera)) {
        StopLocked();
        PostBeep();
        return;
      }
      if (shown) {
        shownAt_ = Timer().FiredDeadline();
        shownTime_ = CurrentTime();
      }
      // Nothing shown, or nothing more buffered: waiting for the server, not pacing a recording.
      const int64_t shortDelay = ShortDelay(true);
      if (!shown || shortDelay == kWaitDelay) {
        Timer().Schedule(shortDelay);
        return;
      }
      Timer().Schedule(PlayDelay());
      return;
    }
    case kModeFastForward: {
      const bool ok = TakeFrame(true, &shown, &camera);
      if (shown && MotionIn(camera)) {
        PostStatus(kStatusMotionFound, camera);
        StopLocked();
        PostBeep();
        return;
      }
      if (!ok) {
        StopLocked();
        PostBeep();
        return;
      }
      Timer().Schedule(ShortDelay(true));
      return;
    }
    case kModeFastBackward:
      if (!TakeFrame(false, &shown, &camera)) {
        StopLocked();
        PostBeep();
        return;
      }
      Timer().Schedule(ShortDelay(false));
      return;
    case kModeStepForward:
    case kModeStepBackward:
      if (!TakeFrame(mode_ == kModeStepForward, &shown, &camera)) {
        PostBeep();
        StopLocked();
      } else if (shown) {
        StopLocked();
      } else {
        Timer().Schedule(ShortDelay(mode_ == kModeStepForward));
      }
      return;
    case kModeExport:
      ExportTick();
      return;
    default:
      return;
  }
}

// ---- Export.

bool RemotePlaybackSource::StartExport(QObject* owner, const std::string& fileName, int camera, uint64_t start,
                                       uint64_t end, int64_t tag) {
  Guard guard(lock_);
  if (Exporting() || !writerFactory_ || !ValidCamera(camera)) return false;
  uint32_t previousMask = 0;
  {
    RequestGuard request(requestLock_);
    if (!open_) return false;
    previousMask = cameraMask_;
  }
  // A tick of the mode played until now must not run as an export tick.
  Timer().Cancel();
  SetCameraMaskLocked(1u << camera);
  {
    RequestGuard request(requestLock_);
    IssueRequestLocked(kRequestPosition, static_cast<uint32_t>(camera), start);
  }
  lastPercent_ = -1;
  writer_ = writerFactory_(camera, start, end, fileName);
  mode_ = kModeExport;
  exportCamera_ = camera;
  if (!writer_ || !writer_->Open(owner, kExportFramesPerSecond)) {
    writer_.reset();
    mode_ = kModeStopped;
    exportCamera_ = -1;
    // Nothing was exported: the cameras shown before stay shown.
    SetCameraMaskLocked(previousMask);
    return false;
  }
  if (display_ != nullptr) display_->SetFrameSource(nullptr);
  PostStatus(kStatusExportStarted, tag);
  Timer().Schedule(0);
  return true;
}

void RemotePlaybackSource::ExportTick() {
  bool shown = false;
  int camera = -1;
  if (!TakeFrame(true, &shown, &camera)) {
    // A file the writer cannot complete (a full disk at its end) is a write error.
    EndExport(writer_ && !writer_->Finish() ? kExportWriteError : kExportCompleted);
    return;
  }
  // Waiting for the server, or a picture of another camera (an answer still on its way when the
  // mask changed): the export camera's slot did not change, so nothing new to write.
  if (!shown || camera != exportCamera_) {
    Timer().Schedule(ShortDelay(true));
    return;
  }
  // The picture is copied out under the buffer's lock and written without it: the network thread
  // files the next pictures while the writer encodes.
  video::BitmapInfoHeader header;
  std::vector<uint8_t> bits;
  buffer_->LockFrame(camera);
  const uint64_t time = buffer_->GetFrameTime(camera);
  header = *buffer_->GetFrameHeader(camera);
  const uint8_t* source = buffer_->GetFrameBits(camera);
  const bool picture = source != nullptr && header.biWidth != 0 && header.biHeight != 0;
  if (picture) bits.assign(source, source + header.biSizeImage);
  buffer_->UnlockFrame(camera);
  if (time > writer_->EndTime()) {
    // A file the writer cannot complete (a full disk at its end) is a write error.
    EndExport(writer_ && !writer_->Finish() ? kExportWriteError : kExportCompleted);
    return;
  }
  Timer().Schedule(kMinDelay);
  if (picture && !writer_->Write(header, bits.data(), time)) {
    EndExport(kExportWriteError);
    return;
  }
  const int percent = writer_->Percent();
  if (percent != lastPercent_) {
    lastPercent_ = percent;
    PostStatus(kStatusExportProgress, percent);
  }
}

void RemotePlaybackSource::EndExport(int result) {
  Timer().Cancel();
  // The writer completes its file as it goes: "finished" only reaches the window once the file is.
  writer_.reset();
  mode_ = kModeStopped;
  lastPercent_ = -1;
  exportCamera_ = -1;
  uint32_t placed = kCameraBits;
  if (display_ != nullptr) {
    display_->SetFrameSource(buffer_);
    displayAttached_ = true;
    placed = display_->PlacedCameras() & kCameraBits;
  }
  if (timeline_ != nullptr) {
    for (int c = 0; c < kCameras; ++c) timeline_->SetRowEnabled(c, (placed >> c) & 1u);
  }
  SetCameraMaskLocked(placed);
  // Last: a window told "finished" finds the display and the cameras as they stay.
  PostStatus(kStatusExportFinished, result);
}

void RemotePlaybackSource::CancelExport() {
  Guard guard(lock_);
  if (Exporting()) EndExport(kExportCancelled);
}

// ---- Timeline and archive summary.

void RemotePlaybackSource::FillTimeline(uint64_t t0, uint64_t t1, int width) {
  Guard guard(lock_);
  if (Exporting() || link_ == nullptr || t1 <= t0 || width <= 0) return;
  {
    RequestGuard request(requestLock_);
    mapStart_ = t0;
    mapEnd_ = t1;
  }
  link_->ArchiveMapRequest(static_cast<uint32_t>(width), t0, t1);
}

int RemotePlaybackSource::HighestCamera() {
  Guard guard(lock_);
  const uint32_t mask = serverMask_ & kCameraBits;
  for (int c = kCameras - 1; c > 0; --c) {
    if (mask & (1u << c)) return c;
  }
  return 0;
}

uint32_t RemotePlaybackSource::ArchiveCameraMask() {
  Guard guard(lock_);
  return serverMask_;
}

uint64_t RemotePlaybackSource::Earliest() {
  Guard guard(lock_);
  return earliest_;
}

uint64_t RemotePlaybackSource::Latest() {
  Guard guard(lock_);
  return latest_;
}

bool RemotePlaybackSource::DayHasRecordings(uint64_t time) {
  Guard guard(lock_);
  // The server's times are its wall clock: the day is the count's own calendar day.
  const uint64_t first = time - time % archive::kUnitsPerDay;
  const uint64_t last = first + (archive::kUnitsPerDay - 1);
  return latest_ != 0 && first <= latest_ && earliest_ <= last;
}

// ---- Bookmarks.

bool RemotePlaybackSource::AddBookmark(uint64_t time, const std::string& title) {
  Guard guard(lock_);
  if (Exporting() || link_ == nullptr || time == 0) return false;
  bool refused2 = false;
  bool refused1 = false;
  if (!link_->AddBookmark(time, title, &refused2, &refused1) || refused2 || refused1) return false;
  if (timeline_ != nullptr) {
    timeline_->InsertBookmark(time);
    timeline_->SetTitle(time, title);
  }
  return true;
}

bool RemotePlaybackSource::DeleteBookmark(uint64_t time) {
  Guard guard(lock_);
  if (Exporting() || link_ == nullptr) return false;
  bool refused2 = false;
  bool refused1 = false;
  if (!link_->RemoveBookmark(time, &refused2, &refused1) || refused2 || refused1) return false;
  if (timeline_ != nullptr) timeline_->RemoveBookmark(time);
  return true;
}

void RemotePlaybackSource::ShowBookmarkText(uint64_t time) {
  Guard guard(lock_);
  if (Exporting() || link_ == nullptr) return;
  link_->PlaybackControl(time);
}

void RemotePlaybackSource::NextBookmark(uint64_t time) {
  Guard guard(lock_);
  if (Exporting()) return;
  RequestGuard request(requestLock_);
  if (open_) IssueRequestLocked(kRequestNextBookmark, kAllCameras, time);
}

void RemotePlaybackSource::PrevBookmark(uint64_t time) {
  Guard guard(lock_);
  if (Exporting()) return;
  RequestGuard request(requestLock_);
  if (open_) IssueRequestLocked(kRequestPrevBookmark, kAllCameras, time);
}

}  // namespace strixc::playback
