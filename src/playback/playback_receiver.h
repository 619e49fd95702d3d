#pragma once

#include <cstdint>

namespace strixc::playback {

// The codes of a source's status notification (OnPlaybackStatus).
enum PlaybackStatus : int {
  kStatusStopped = 0,
  kStatusPlaying = 1,
  kStatusPlayingDouble = 2,
  kStatusFastForward = 3,
  kStatusFastBackward = 4,
  kStatusMotionFound = 5,     // value: the camera
  kStatusExportStarted = 6,   // value: the caller's tag
  kStatusExportProgress = 7,  // value: percent done, only when it changed
  kStatusExportFinished = 8,  // value: ExportResult
};

enum ExportResult : int { kExportCompleted = 0, kExportCancelled = 1, kExportWriteError = 2 };

// Where a playback source reports to: the browser window, the headless command, tests.
//
// A source never calls these directly: each notification is queued to the thread of the context
// object given with the receiver (PlaybackSource::Open) and runs there later, after the source's
// lock has long been let go. When the context object is destroyed first, notifications still
// queued are dropped.
class PlaybackReceiver {
 public:
  virtual ~PlaybackReceiver() = default;
  virtual void OnPlaybackStatus(int code, int64_t value) = 0;
  // The playback position (an archive time).
  virtual void OnPlaybackPosition(uint64_t time) = 0;
  // A step could not be taken (end or start of the archive, no bookmark): the window beeps.
  virtual void OnPlaybackBeep() {}
  // The remote source asks its window to send the request with this token (the window owns the
  // connection, and requests leave from the user-interface thread).
  virtual void OnRemoteRequest(uint32_t token) { (void)token; }
};

}  // namespace strixc::playback
