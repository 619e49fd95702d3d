#pragma once

#include <memory>

#include "playback/playback_source.h"
#include "video/frame_store.h"

namespace strixc::playback {

class ArchivePlayer;

// Plays the local archive: an ArchivePlayer over the database's files, decoding into its own
// PlaybackFrameStore, which the display reads while the source is open.
class LocalPlaybackSource : public PlaybackSource {
 public:
  // `database` must be open (or be opened before Open) and outlive the source.
  explicit LocalPlaybackSource(archive::ArchiveDatabase* database);
  ~LocalPlaybackSource() override;

  // ... every PlaybackSource operation ...

  // The pictures the source shows (for commands and tests that read them back).
  video::PlaybackFrameStore& FrameStore() { return frames_; }
  // The playback position and its camera (0 / -1 when none).
  uint64_t CurrentTime();
  int CurrentCamera();

 private:
  archive::ArchiveDatabase* const database_;
  video::PlaybackFrameStore frames_;
  std::unique_ptr<ArchivePlayer> player_;  // between Open and Close; guarded by lock_
};

}  // namespace strixc::playback
