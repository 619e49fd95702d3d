#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "archive/archive_reader.h"
#include "archive/archive_records.h"
#include "video/frame_store.h"

namespace strixc::archive {
class ArchiveDatabase;
}

namespace strixc::playback {

// Walks the local archive for playback: keeps the playback position (the current record), the
// last frame given to the frame store for every camera, and the set of shown cameras, and decodes
// the frames it steps over into the frame store.
//
// Two readers: A positions, reads and redraws; B only looks ahead for the next frame's time, so
// the look-ahead never moves A.
//
// Not thread-safe: its playback source's lock guards every call. The database and the frame store
// must outlive the player. A damaged or vanished archive makes steps fail (false, position
// emptied); nothing here loops on bad links, since the readers only move forward.
class ArchivePlayer {
 public:
  static constexpr int kCameras = video::FrameStore::kCameras;

  ArchivePlayer(archive::ArchiveDatabase* database, video::PlaybackFrameStore* frames);
  ArchivePlayer(const ArchivePlayer&) = delete;
  ArchivePlayer& operator=(const ArchivePlayer&) = delete;

  // Forget every camera's frame (and the frame store's pictures), then position on `camera`'s
  // record at `time`, else its first one after. False (position empty) when there is none.
  bool SeekCamera(int camera, uint64_t time);
  // The same emptying, then position on the record at or before `time` of any camera.
  bool SeekTime(uint64_t time);
  // The next frame among the shown cameras, decoded into the frame store. False at the end of the
  // archive, on an unreadable record or from an empty position; the position is then empty.
  bool Next();
  // Back to the latest frame of the shown cameras before the position. The camera that moved back
  // loses its picture until the next Refresh redraws it from its key frame. False (position empty)
  // when there is none.
  bool Previous();
  // The time of the frame Next would give, in whatever file it lies; 0 at the end of the archive.
  uint64_t NextFrameTime();
  // Whether a shown camera's picture is not the one it had at the playback position.
  bool NeedsRefresh();
  // Brings `camera`'s picture to the playback position, decoding from its key frame when needed.
  // `shown` (may be null) tells whether a picture was decoded. False when the frames cannot be
  // read; the camera then has no picture.
  bool RefreshCamera(int camera, bool* shown);
  // RefreshCamera for every shown camera when NeedsRefresh; bit c of the result: camera c got a
  // new picture.
  uint32_t Refresh();

  uint64_t CurrentTime() const { return current_.time; }
  // -1 when the position is empty. A time seek may land on a record of any camera slot of the
  // file (0..17); only 0..15 are ever shown.
  int CurrentCamera() const { return current_.time == 0 ? -1 : current_.camera; }
  void SetCameraMask(uint32_t mask);
  uint32_t CameraMask() const;
  bool IsSelected(int camera) const;

 private:
  static bool Valid(int camera) { return camera >= 0 && camera < kCameras; }
  void Empty();
  // Puts readerA back on the playback position after a redraw; an archive that lost the
  // position's record empties it.
  void Reposition();

  // The archive walks (the .cpp explains them).
  bool ReadNextAmongCameras(int* camera);
  bool ReadPrevOfCamera(int camera, uint64_t time, archive::RecordHeader* header);
  bool FindCameraRecord(int camera, uint64_t time, archive::RecordHeader* header);

  archive::ArchiveDatabase* const database_;
  video::PlaybackFrameStore* const frames_;
  archive::ArchiveReader readerA_;
  archive::ArchiveReader readerB_;
  std::array<archive::RecordHeader, kCameras> cameraHeaders_{};
  archive::RecordHeader current_;
  std::array<bool, kCameras> selected_;
  std::vector<uint8_t> payload_;
};

}  // namespace strixc::playback
