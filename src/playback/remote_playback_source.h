#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>

#include "net/messages.h"
#include "playback/arch_browser_timer.h"
#include "playback/motion_reference.h"
#include "playback/playback_source.h"
#include "video/frame_store.h"
#include "video/remote_playback_frame_buffer.h"

namespace strixc::playback {

class RemoteArchiveForwarder;
class RemoteArchiveLink;

// Plays the archive of the connected server. The source asks, the server answers with archive
// frames tagged with the request's token; the network thread decodes them into the playback frame
// store, files their pictures in the remote playback frame buffer and hands each frame to the source
// (OnArchiveFrame), which queues the wanted times; the timer's ticks take the pictures from the
// buffer in time order, paced by their recording times, and the display reads the buffer's slots.
//
// Requests: every seek, mask change, bookmark jump and change of direction makes a new request
// record with a new token, and the source asks its receiver to send it (OnRemoteRequest(token), on
// the user-interface thread); the window answers with SendRequest(token), which sends the record if
// it is still the current one. So requests always leave from the user-interface thread, a burst of
// requests sends only the last, and frames that carry an older token are ignored.
//
// Threads: operations on the user-interface thread, ticks on the timer thread, both under lock_;
// OnArchiveFrame, OnArchiveMap and OnBookmarkNotice on the network thread, under requestLock_ only
// (so the network thread never waits for a tick, an export write or a blocking control request).
// Lock order: lock_, then requestLock_, then the display's, the buffer's and the timeline's own
// locks. The link is used only from the user-interface thread. The display's OnFrame and the
// timeline are also called from the network thread (positioning answers, maps, bookmark titles).
//
// Pacing: a picture is shown when its recording time comes, on the ArchBrowserTimer's deadlines;
// while the server has not answered yet the tick looks again every kWaitDelay and nothing waits.
//
// Lifetime: `buffer` and `frames` outlive the source. The link and the forwarder given to Attach
// outlive the attachment (Detach, or the destructor, ends it). The display given to SetDisplay reads
// the buffer from Open on; the destructor detaches it (SetFrameSource(null)) when Open attached it.
class RemotePlaybackSource : public PlaybackSource {
 public:
  // Modes of the request record.
  enum RequestMode : uint8_t {
    kRequestNone = 0,
    kRequestPosition = 1,      // a: camera or kAllCameras, time: target
    kRequestBackward = 2,      // a: frames received so far
    kRequestForward = 3,       // a: frames received so far
    kRequestNextBookmark = 4,  // a: kAllCameras, time: reference
    kRequestPrevBookmark = 5,
  };
  // Where the playback is going.
  enum Direction : int { kIdle = 0, kPositioning = 1, kForward = 2, kBackward = 3 };

  static constexpr uint32_t kAllCameras = 0xFFFFFFFF;  // the request argument "every shown camera"
  static constexpr uint32_t kCameraBits = 0xFFFF;
  // The shortest delay between ticks while pictures are buffered (100 ns units).
  static constexpr int64_t kMinDelay = 10;
  // The delay while the buffer is empty and the source waits for the server: 1 ms.
  static constexpr int64_t kWaitDelay = 10000;
  static constexpr int kExportFramesPerSecond = 15;

  RemotePlaybackSource(video::RemotePlaybackFrameBuffer* buffer, video::PlaybackFrameStore* frames);
  ~RemotePlaybackSource() override;

  // Binds the source to a server: `link` carries its requests, `forwarder` (may be null) brings it the
  // server's answers from now on. Asks the server's archive range (blocking, user-interface thread):
  // camera mask, earliest and latest come from the answer. False when the server gave none; the
  // source then stays bound with the values of an unconnected source. Attach before Open: attaching
  // again detaches (and closes) first.
  bool Attach(RemoteArchiveLink* link, RemoteArchiveForwarder* forwarder);
  // Closes the source when open, detaches it from the forwarder (no answer reaches it afterwards) and
  // forgets the link; camera mask 0, earliest and latest the current time. Idempotent.
  void Detach();

  void SetTimeline(Timeline* timeline) override;
  void SetDisplay(PlaybackDisplay* display) override;
  bool Open(QObject* context, PlaybackReceiver* receiver) override;
  void Close() override;
  void SendRequest(uint32_t token) override;
  void SeekCamera(int camera, uint64_t time) override;
  void Stop() override;
  void SetCameraMask(uint32_t mask) override;
  void SetMotionDetection(int camera, int sensitivity, const video::Rect& area) override;
  void FillTimeline(uint64_t t0, uint64_t t1, int width) override;
  int HighestCamera() override;
  // The cameras with recordings in the server's archive (Attach's answer); 0 when unattached.
  uint32_t ArchiveCameraMask();
  archive::ArchiveDatabase* Database() override { return nullptr; }
  uint64_t Earliest() override;
  uint64_t Latest() override;
  // Whether the calendar day of `time` (on the server's clock) meets the server's archive range; asks
  // the server nothing.
  bool DayHasRecordings(uint64_t time) override;
  // The timeline shows the bookmark only when the server did the edit.
  bool AddBookmark(uint64_t time, const std::string& title) override;
  bool DeleteBookmark(uint64_t time) override;
  // Asks the server for the title; it arrives as OnBookmarkNotice.
  void ShowBookmarkText(uint64_t time) override;
  void NextBookmark(uint64_t time) override;
  void PrevBookmark(uint64_t time) override;
  bool StartExport(QObject* owner, const std::string& fileName, int camera, uint64_t start, uint64_t end,
                   int64_t tag) override;
  void CancelExport() override;
  void OnTimer() override;

  // From the network thread (through RemoteArchiveForwarder), after the frame's picture went to the
  // buffer. Frames of any token but the current request's are ignored.
  void OnArchiveFrame(const net::FrameHeader& frame);
  // An archive map (lists already expanded by the parser): given to the timeline when it maps the
  // period last asked for by FillTimeline; refused when a list exceeds net::kMaxExpandedList.
  void OnArchiveMap(const net::ArchiveMap& map);
  // The server's answer to ShowBookmarkText.
  void OnBookmarkNotice(uint64_t time, const std::string& title);

  // The token after `counter`: one more, 1 after the largest value, never 0.
  static uint32_t NextToken(uint32_t counter);

  // For the window, commands and tests.
  uint64_t CurrentTime();
  uint32_t CameraMask();
  int CurrentDirection();
  net::PlaybackRequestRecord CurrentRequest();
  // Sets the token counter (tests of the wrap).
  void SetTokenCounter(uint32_t counter);
  video::RemotePlaybackFrameBuffer& Buffer() { return *buffer_; }

 private:
  // Callers hold lock_.
  bool Exporting() const { return mode_ == kModeExport; }
  void StopLocked();
  void StartMode(int mode, int status) override;
  void SetCameraMaskLocked(uint32_t mask);
  void ExportTick();
  void EndExport(int result);
  // Fast forward: whether `camera`'s new picture shows motion against its reference.
  bool MotionIn(int camera);
  // The shortest delay while pictures of the way played are buffered, else the polling delay.
  int64_t ShortDelay(bool forward);
  // Play: the delay from the picture shown to the next buffered one, at the mode's speed.
  int64_t PlayDelay();
  // Play: reschedules the tick and returns true when the next buffered picture is not due yet.
  bool HoldUntilDue();

  // Callers hold requestLock_.
  void IssueRequestLocked(uint8_t mode, uint32_t argument, uint64_t time);
  void ContinueLocked(uint8_t mode);
  void OnFrameLocked(int camera);

  // Takes lock_ (the tick holds it) and requestLock_. The next (previous) picture in time order:
  // `shown` and `camera` tell whether one went to its slot. False only at the end (start) of the
  // archive; waiting for the server counts as success.
  bool TakeFrame(bool forward, bool* shown, int* camera);

  video::RemotePlaybackFrameBuffer* const buffer_;
  video::PlaybackFrameStore* const frames_;

  // Guarded by lock_:
  RemoteArchiveLink* link_ = nullptr;
  RemoteArchiveForwarder* forwarder_ = nullptr;
  uint32_t serverMask_ = 0;
  uint64_t earliest_ = 0;
  uint64_t latest_ = 0;
  std::array<MotionReference, video::FrameStore::kCameras> motion_;
  int exportCamera_ = -1;
  bool displayAttached_ = false;
  ArchBrowserTimer::Clock::time_point shownAt_;  // the deadline that showed the last picture of play
  uint64_t shownTime_ = 0;                       // and its time; 0: none to count from

  std::mutex requestLock_;
  // Guarded by requestLock_:
  bool open_ = false;
  net::PlaybackRequestRecord record_;  // token 0: no request outstanding
  uint32_t tokenCounter_ = 1;
  uint64_t currentTime_ = 0;
  uint32_t cameraMask_ = kCameraBits;
  int direction_ = kIdle;
  PlaybackDisplay* requestDisplay_ = nullptr;  // the display and timeline of the open source
  Timeline* requestTimeline_ = nullptr;
  uint64_t mapStart_ = 0;  // the period FillTimeline asked to map last
  uint64_t mapEnd_ = 0;
};

}  // namespace strixc::playback
