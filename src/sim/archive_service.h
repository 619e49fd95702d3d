#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/archive_reader.h"
#include "archive/archive_records.h"
#include "archive/archive_time.h"
#include "net/messages.h"
#include "sim/sim_archive.h"

namespace strixc::sim {

// One client's remote playback of the server's archive: answers the archive map, the playback
// requests of the five modes and the bookmark title questions of a video channel, keeping where the
// client's playback stands between requests.
//
// Answers (all times on the wire are wall-clock times):
// - Positioning (modes 1, 4, 5): for each asked camera, its records from the key frame at or before
//   the time up to its last record at or before it, oldest first; a camera with nothing there gets
//   one frame of time 0 without picture. Mode 1 asks the camera of its argument or, with -1, every
//   camera of the mask; modes 4 and 5 position every camera of the mask at the first bookmark
//   after / the last one before the time, or at the time itself when there is none.
// - Forward continuation (mode 3): the next records of the mask's cameras in time order, from where
//   the last answer left them, up to kForwardBatch after the first one.
// - Backward continuation (mode 2): earlier key frames of the mask's cameras, newest first, each
//   decodable alone, up to kBackwardSpan before the first one.
// - Every frame carries the request's token and the remote flag, and the last frame of an answer the
//   last-frame flag; an answer with nothing to send (a continuation at either end of the archive)
//   is one frame of time 0 without picture, so that the client knows the request is over.
// Requests the service cannot make sense of (unknown mode, camera out of range) get no answer.
//
// Answers are bounded (kMaxAnswerFrames, kMaxAnswerBytes), so that one request never holds the
// server's thread for long. Not thread-safe: lives on the server's thread inside its video session.
class ArchiveService {
 public:
  // Receives each Frame payload of an answer, in order.
  using FrameSink = std::function<void(const net::Payload& frame)>;

  static constexpr uint32_t kAllCameras = 0xFFFF;
  static constexpr uint32_t kAllShownCameras = 0xFFFFFFFF;
  static constexpr uint64_t kForwardBatch = archive::kUnitsPerSecond;
  static constexpr uint64_t kBackwardSpan = 4 * archive::kUnitsPerSecond;
  static constexpr size_t kMaxAnswerFrames = 2000;
  static constexpr size_t kMaxAnswerBytes = 16u << 20;
  // A positioning answer for one camera: its key frame and the deltas after it. Longer groups
  // than this are damage, not recordings.
  static constexpr size_t kMaxGroupFrames = 1000;
  // The widest map: three lists of this many values and as many bookmarks fit a message well.
  static constexpr uint32_t kMaxMapWidth = 32768;
  // Records looked at, per camera and backward step, before giving up finding a key frame.
  static constexpr int kMaxKeySearch = 64;

  // PlaybackRequest modes.
  enum Mode : uint8_t {
    kPosition = 1,
    kBackward = 2,
    kForward = 3,
    kNextBookmark = 4,
    kPreviousBookmark = 5,
  };

  explicit ArchiveService(std::shared_ptr<SimArchive> archive);
  ArchiveService(const ArchiveService&) = delete;
  ArchiveService& operator=(const ArchiveService&) = delete;

  // ArchiveOpen: opening or closing forgets where the playback stood.
  void OnArchiveOpen(bool open);
  // The ArchiveMap payload for a request; nothing for a width of 0 or above kMaxMapWidth or a
  // period that does not run forward.
  std::optional<net::Payload> AnswerMap(const net::ArchiveMapRequest& request);
  // Sends the answer's frames to `sink`; returns how many, 0 when the request was refused.
  size_t AnswerPlayback(const net::PlaybackRequestRecord& request, const FrameSink& sink);
  // The BookmarkNotice payload for a PlaybackControl; nothing for another operation than 1 or a
  // time without a bookmark.
  std::optional<net::Payload> AnswerPlaybackControl(uint8_t operation, uint64_t time);

  bool IsOpen() const { return open_; }

 private:
  class Answer;

  void Position(uint64_t archiveTime, uint32_t asked, uint32_t mask, Answer& answer);
  // The records of `camera` from the key frame `last` needs up to `last`.
  bool SendGroup(int camera, const archive::RecordHeader& last, Answer& answer);
  void Forward(Answer& answer);
  void Backward(Answer& answer);
  // The latest key frame of `camera` before `time`; false when none (within kMaxKeySearch steps).
  bool PrevKeyFrame(int camera, uint64_t time, archive::RecordHeader* key);
  void Log(const std::string& line) const { archive_->Log(line); }

  // First: the reader gives its slot back to the archive's database before the archive may go.
  const std::shared_ptr<SimArchive> archive_;
  archive::ArchiveReader reader_;
  bool open_ = false;
  // Where the client's playback stands: per camera the last record it was sent (all zero: none),
  // for the cameras of walkMask_; walking_ once a positioning has set them.
  std::array<archive::RecordHeader, archive::kCameraSlots> headers_{};
  uint32_t walkMask_ = 0;
  bool walking_ = false;
  std::vector<uint8_t> payload_;
};

}  // namespace strixc::sim
