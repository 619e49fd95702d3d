#include "playback/archive_player.h"

#include <algorithm>

#include "archive/archive_database.h"

namespace strixc::playback {

using archive::RecordHeader;

ArchivePlayer::ArchivePlayer(archive::ArchiveDatabase* database, video::PlaybackFrameStore* frames)
    : database_(database), frames_(frames), readerA_(database), readerB_(database) {
  selected_.fill(true);
}

void ArchivePlayer::Empty() {
  current_ = RecordHeader{};
  for (int c = 0; c < kCameras; ++c) {
    cameraHeaders_[c] = RecordHeader{};
    frames_->ResetCamera(c);
  }
}

// ---- The archive walks.
//
// The reader walks among cameras exactly across files: given each shown camera's latest frame at
// or before the position (what a seek followed by Refresh leaves in cameraHeaders_, all zero for a
// camera without one), it delivers the next frame of the shown cameras in time order, in whatever
// file it lies, and tells its time without reading it. Every walk of the archive by camera goes
// through the helpers below.

bool ArchivePlayer::ReadNextAmongCameras(int* camera) {
  return readerA_.NextAmongCameras(cameraHeaders_, selected_, &payload_, camera);
}

bool ArchivePlayer::ReadPrevOfCamera(int camera, uint64_t time, RecordHeader* header) {
  return readerA_.PrevRecordOfCamera(camera, time, header);
}

// The record of `camera` at `time`, else its first after. Used for seeks and, with an exact-time
// check by the caller, to find a given frame of one camera: unlike a plain seek by time it lands on
// that camera's record also when another camera recorded at the same instant.
bool ArchivePlayer::FindCameraRecord(int camera, uint64_t time, RecordHeader* header) {
  return readerA_.SeekCamera(camera, time, header);
}

// ---- Positioning.

bool ArchivePlayer::SeekCamera(int camera, uint64_t time) {
  Empty();
  // Any camera slot of the files: going back to a position on a record of slot 16 or 17 works too.
  if (camera < 0 || camera >= archive::kCameraSlots || time == 0) return false;
  RecordHeader found;
  if (!FindCameraRecord(camera, time, &found)) return false;
  current_ = found;
  return true;
}

bool ArchivePlayer::SeekTime(uint64_t time) {
  Empty();
  RecordHeader found;
  if (time == 0 || !readerA_.Seek(time, &found)) return false;
  current_ = found;
  return true;
}

bool ArchivePlayer::Next() {
  if (current_.time == 0) return false;
  int camera = -1;
  if (!ReadNextAmongCameras(&camera) || !Valid(camera)) {
    current_ = RecordHeader{};
    return false;
  }
  current_ = cameraHeaders_[camera];
  const size_t size = std::min<size_t>(payload_.size(), static_cast<size_t>(current_.payloadSize));
  frames_->Decode(camera, payload_.data(), size, current_.type, current_.time);
  return true;
}

bool ArchivePlayer::Previous() {
  if (current_.time == 0) return false;
  const int camera = current_.camera;
  const uint64_t time = current_.time;
  // The position may be a record of a camera the player does not show (a time seek lands on any
  // record, the mask may have changed since): only the shown cameras' frames are stepped back to.
  RecordHeader back;
  if (IsSelected(camera)) {
    if (!ReadPrevOfCamera(camera, time - 1, &back) || back.camera != camera || back.time >= time) {
      back = RecordHeader{};
    }
    // The frame store still shows `camera` as it was at `time`: its header is emptied so that the
    // next Refresh redraws it at the new position, from its key frame.
    cameraHeaders_[camera] = RecordHeader{};
    frames_->ResetCamera(camera);
  }
  // Another camera's frame of the same instant is passed over too: it cannot become a position
  // earlier than `time`, and the Refresh after the step redraws that camera as well.
  const RecordHeader* latest = back.time != 0 ? &back : nullptr;
  for (int c = 0; c < kCameras; ++c) {
    const RecordHeader& h = cameraHeaders_[c];
    if (!selected_[c] || h.time == 0 || h.time >= time) continue;
    if (latest == nullptr || h.time > latest->time) latest = &h;
  }
  if (latest == nullptr) {
    current_ = RecordHeader{};
    return false;
  }
  current_ = *latest;
  return true;
}

uint64_t ArchivePlayer::NextFrameTime() {
  if (current_.time == 0) return 0;
  // The look-ahead reader: readerA keeps its position.
  return readerB_.NextTimeAmongCameras(cameraHeaders_, selected_);
}

bool ArchivePlayer::NeedsRefresh() {
  if (current_.time == 0) return false;
  for (int c = 0; c < kCameras; ++c) {
    if (selected_[c] && cameraHeaders_[c].time != current_.lastRecordTime[c]) return true;
  }
  return false;
}

bool ArchivePlayer::RefreshCamera(int camera, bool* shown) {
  if (shown) *shown = false;
  if (!Valid(camera)) return false;
  const uint64_t target = current_.lastRecordTime[camera];
  if (current_.time == 0 || cameraHeaders_[camera].time == target) return true;
  frames_->ResetCamera(camera);
  cameraHeaders_[camera] = RecordHeader{};
  if (target == 0) return false;

  bool ok = false;
  RecordHeader frame;
  RecordHeader key;
  if (FindCameraRecord(camera, target, &frame) && frame.camera == camera && frame.time == target &&
      frame.keyTime != 0 && frame.keyTime <= target &&
      FindCameraRecord(camera, frame.keyTime, &key) && key.camera == camera && key.time == frame.keyTime) {
    // From the key frame forward, one camera's records only, up to the target. The reader only
    // moves forward, so a damaged chain ends the loop instead of repeating it.
    RecordHeader read;
    while (readerA_.ReadRecord(&payload_, &read, true) && read.camera == camera) {
      const size_t size = std::min<size_t>(payload_.size(), static_cast<size_t>(read.payloadSize));
      frames_->Decode(camera, payload_.data(), size, read.type, read.time);
      if (read.time >= target) {
        ok = true;
        break;
      }
    }
    if (ok) cameraHeaders_[camera] = read;
  }
  if (!ok) frames_->ResetCamera(camera);
  Reposition();
  if (shown) *shown = ok;
  return ok;
}

void ArchivePlayer::Reposition() {
  if (current_.time == 0) return;
  RecordHeader at;
  // Only the reader moves: another camera's record at the same instant must not become the
  // position.
  if (!readerA_.Seek(current_.time, &at)) current_ = RecordHeader{};
}

uint32_t ArchivePlayer::Refresh() {
  uint32_t shownMask = 0;
  if (!NeedsRefresh()) return 0;
  for (int c = 0; c < kCameras; ++c) {
    if (!selected_[c]) continue;
    bool shown = false;
    RefreshCamera(c, &shown);
    if (shown) shownMask |= 1u << c;
  }
  return shownMask;
}

void ArchivePlayer::SetCameraMask(uint32_t mask) {
  for (int c = 0; c < kCameras; ++c) selected_[c] = (mask >> c) & 1u;
}

uint32_t ArchivePlayer::CameraMask() const {
  uint32_t mask = 0;
  for (int c = 0; c < kCameras; ++c) {
    if (selected_[c]) mask |= 1u << c;
  }
  return mask;
}

bool ArchivePlayer::IsSelected(int camera) const { return Valid(camera) && selected_[camera]; }

}  // namespace strixc::playback
