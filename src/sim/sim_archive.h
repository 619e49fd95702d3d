#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "archive/archive_database.h"
#include "archive/archive_recorder.h"
#include "archive/archive_time.h"
#include "net/messages.h"
#include "sim/frame_streamer.h"
#include "sim/sim_config.h"
#include "sim/video_session.h"

namespace strixc::sim {

class CameraFeeds;

// The recording server's own archive, shared by all sessions: the archive files of one folder (our
// own archive format), read by each video session's ArchiveService; the recorder that writes the
// server's cameras into it while the server runs (SimConfig::record); and the server's bookmarks.
//
// Times: the archive stores times on the archive's clock (standard time, archive/archive_time.h);
// everything on the wire, bookmarks included, is on the wall clock. The conversions happen here and
// in ArchiveService, nowhere else.
//
// Bookmarks live in memory and in <folder>/bookmarks.txt, one "TIME TITLE" line each (TIME in
// wall-clock units, the title's bytes as received with backslash, tab, CR and LF escaped), written
// again after every change so that a restart keeps them. A damaged line is skipped when loading.
//
// Threads: Open and the destructor on any one thread; RecordTick and EditBookmark on the server's
// thread. The bookmark look-ups, Range, Database and Log may be called from any thread (the database
// and the bookmark store lock themselves; the file is written under fileLock_). The archive must
// outlive every ArchiveService reading it (they share its ownership).
class SimArchive {
 public:
  static constexpr char kBookmarkFileName[] = "bookmarks.txt";
  // BookmarkEditReply: done, refused (bookmarks are read-only), not possible (no bookmark at that
  // time to remove, a time the list cannot hold, an unknown operation).
  static constexpr uint8_t kEditDone = 0;
  static constexpr uint8_t kEditRefused = 1;
  static constexpr uint8_t kEditNotPossible = 2;
  // The recorder's frames: better than the live default, as a recorder keeps them for later.
  static constexpr int kRecordKeyQuality = 50;
  static constexpr int kRecordDeltaQuality = 40;
  // Key frames of the recording when the live ones have no period (keyFrameIntervalMs 0): playback
  // needs them to position anywhere.
  static constexpr int kRecordKeyIntervalMs = 2000;
  // A synthetic history loops its moving pictures after this long, to cost little more than writes.
  // A looped picture shows the clock of its first round: a history of at most this long (the
  // demonstration's) shows its own time in every picture.
  static constexpr uint64_t kHistoryLoop = 60 * archive::kUnitsPerSecond;
  // Beyond this many bookmarks the oldest one goes for each new one.
  static constexpr size_t kMaxBookmarks = 10000;

  using LogSink = std::function<void(const std::string& line)>;

  // Opens the archive of config.archiveDir (created when missing): an archive without files gets
  // files of config.archiveSpace / archiveFileSize first; one without recordings gets
  // config.history of synthetic recordings ending now (all cameras, moving). Opened read-only unless
  // the server records or had to create the files. Loads the bookmarks. Null with `error` set when
  // the folder cannot be made, opened or filled. `log` receives the verbose lines (none when empty
  // or config.verbose is off).
  static std::unique_ptr<SimArchive> Open(const SimConfig& config, LogSink log, std::string* error);
  ~SimArchive();
  SimArchive(const SimArchive&) = delete;
  SimArchive& operator=(const SimArchive&) = delete;

  archive::ArchiveDatabase& Database() { return *db_; }
  const std::string& Folder() const { return folder_; }

  // ArchiveRange: the cameras with recordings and the first and last recorded time (wall clock).
  net::ArchiveRange Range();

  // --- Recording (server thread) ------------------------------------------------------------
  bool Recording() const { return recorder_ != nullptr; }
  // The cameras the recorder wants rendered on every tick; 0 when not recording.
  uint32_t RecordedCameras() const { return Recording() ? recordState_.visibleMask : 0; }
  // Encodes this tick's pictures of the recorded cameras as the recorder's own key and delta frames
  // (and events) and appends them, at the tick's time, to the archive.
  void RecordTick(const CameraFeeds& feeds);
  // Records written so far (any thread).
  uint64_t RecordedFrames() const { return recordedFrames_.load(); }

  // --- Bookmarks (times on the wall clock) --------------------------------------------------
  // Carries out a control-channel edit and gives the reply byte (kEdit...).
  uint8_t EditBookmark(const net::BookmarkEditRecord& edit);
  // The title of the bookmark at `time`; false when there is none.
  bool BookmarkTitle(uint64_t time, std::string* title);
  // The bookmarks in [t0, t1), at most one per column of `columns`.
  std::vector<uint64_t> BookmarksIn(uint64_t t0, uint64_t t1, int columns);
  // The first bookmark after `time` / the last one before it; 0 when none.
  uint64_t NextBookmark(uint64_t time);
  uint64_t PreviousBookmark(uint64_t time);
  size_t BookmarkCount();

  // One line for the verbose log; dropped unless verbose.
  bool Verbose() const { return static_cast<bool>(log_); }
  void Log(const std::string& line) const {
    if (log_) log_(line);
  }

 private:
  SimArchive(const SimConfig& config, LogSink log);
  void LoadBookmarks();
  void AddLocked(uint64_t time, std::string title);
  // Writes the whole list to the bookmark file; false when it could not be written.
  bool SaveBookmarks();
  void WriteFrame(const net::Payload& frame);

  const std::string folder_;
  const bool bookmarksReadOnly_;
  const LogSink log_;
  std::unique_ptr<archive::ArchiveDatabase> db_;
  // After db_: destroyed (and detached) before it.
  std::unique_ptr<archive::ArchiveRecorder> recorder_;
  std::unique_ptr<FrameStreamer> streamer_;
  VideoSessionState recordState_;
  bool writeFailed_ = false;
  std::atomic<uint64_t> recordedFrames_{0};
  std::vector<uint8_t> eventPayload_;

  std::mutex fileLock_;  // one writer of the bookmark file at a time; taken before lock_

  mutable std::mutex lock_;
  // Guarded by lock_:
  std::map<uint64_t, std::string> bookmarks_;  // wall-clock time -> title
};

}  // namespace strixc::sim
