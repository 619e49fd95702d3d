#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <QPointer>

#include "playback/export_writer.h"
#include "playback/playback_display.h"
#include "playback/playback_receiver.h"
#include "playback/timeline.h"
#include "video/region.h"

class QObject;

namespace strixc::archive {
class ArchiveDatabase;
}

namespace strixc::playback {

class ArchBrowserTimer;

// The lock of a playback source: recursive (operations call each other, and an export's writer
// may run a dialog's event loop inside StartExport), and fair to the user-interface thread. Ticks
// follow each other as fast as a fast forward or an export can go; an ordinary mutex would hand
// itself back to the timer thread again and again while a Stop or a Cancel waits. A tick therefore
// lets every operation already waiting go first (LockForTick).
class SourceLock {
 public:
  void lock() {
    waiting_.fetch_add(1);
    mutex_.lock();
    waiting_.fetch_sub(1);
  }
  void unlock() { mutex_.unlock(); }
  bool try_lock() { return mutex_.try_lock(); }
  // For the timer thread, outside any hold of the lock.
  void LockForTick() {
    while (waiting_.load() > 0) std::this_thread::yield();
    mutex_.lock();
  }

 private:
  std::recursive_mutex mutex_;
  std::atomic<int> waiting_{0};
};

// The modes of a playback source.
enum PlaybackMode : int {
  kModeStopped = 0,
  kModePlay = 1,
  kModePlayDouble = 2,
  kModeFastForward = 3,  // motion search
  kModeFastBackward = 4,
  kModeStepForward = 5,
  kModeStepBackward = 6,
  kModeExport = 7,
};

// What the archive browser plays recordings through: the local archive (LocalPlaybackSource) or a
// server's (the remote source). Each source owns a timer thread that paces the frames as they were
// recorded and runs OnTimer; every other operation runs on the user-interface thread. Both take the
// source's lock, so a tick never overlaps an operation.
//
// Lock order: the source's lock, then the reader and database locks; the frame store's camera locks
// and the display's lock only inside the source's lock (display before camera). Results reach the
// receiver only as queued calls (PlaybackReceiver), never while an operation runs. A tick that
// fired before an operation rescheduled or stopped the timer does nothing.
//
// Operations SeekCamera to SetMotionDetection, FillTimeline and the bookmark operations do nothing
// while exporting.
class PlaybackSource {
 public:
  // Starts the timer thread. The creating thread is where notifications run: it must run a Qt
  // event loop.
  PlaybackSource();
  // The derived class's destructor must call ShutdownTimer() first, so no tick runs into a
  // half-destroyed object. Notifications still queued are dropped.
  virtual ~PlaybackSource();
  PlaybackSource(const PlaybackSource&) = delete;
  PlaybackSource& operator=(const PlaybackSource&) = delete;

  // Both must outlive the source or be replaced (null: none).
  virtual void SetTimeline(Timeline* timeline);
  virtual void SetDisplay(PlaybackDisplay* display);
  // Closes first, then binds the receiver; notifications are queued to the thread that created
  // the source (the user-interface thread, where `context` must live too) and dropped once
  // `context` is gone. `receiver` must stay valid as long as `context` lives.
  virtual bool Open(QObject* context, PlaybackReceiver* receiver) = 0;
  virtual void Close() = 0;
  virtual void SendRequest(uint32_t token) = 0;
  virtual void SeekCamera(int camera, uint64_t time) = 0;
  virtual void Stop() = 0;
  // The play modes and steps, each through StartMode under the source's lock.
  virtual void Play();
  virtual void PlayDouble();
  virtual void FastForward();
  virtual void FastBackward();
  virtual void StepForward();
  virtual void StepBackward();
  virtual void SetCameraMask(uint32_t mask) = 0;
  // `area` in frame units (0..10000), `sensitivity` as the display's motion settings give it.
  virtual void SetMotionDetection(int camera, int sensitivity, const video::Rect& area) = 0;
  // Fills the timeline for [t0, t1] drawn `width` columns wide.
  virtual void FillTimeline(uint64_t t0, uint64_t t1, int width) = 0;
  virtual int HighestCamera() = 0;
  // Null for a source without a local database.
  virtual archive::ArchiveDatabase* Database() = 0;
  virtual uint64_t Earliest() = 0;
  virtual uint64_t Latest() = 0;
  virtual bool DayHasRecordings(uint64_t time) = 0;
  // False when the bookmark could not be set or removed (a server refusing it, an export running).
  virtual bool AddBookmark(uint64_t time, const std::string& title) = 0;
  virtual bool DeleteBookmark(uint64_t time) = 0;
  virtual void ShowBookmarkText(uint64_t time) = 0;
  virtual void NextBookmark(uint64_t time) = 0;
  virtual void PrevBookmark(uint64_t time) = 0;
  // Exports `camera` over [start, end] to `fileName` through a writer from the factory set by
  // SetExportWriterFactory; `owner` parents the writer's dialog. False when it did not start.
  virtual bool StartExport(QObject* owner, const std::string& fileName, int camera, uint64_t start,
                           uint64_t end, int64_t tag) = 0;
  virtual void CancelExport() = 0;
  // The tick, on the timer thread.
  virtual void OnTimer() = 0;

  void SetExportWriterFactory(ExportWriterFactory factory);
  int Mode();

 protected:
  // Enters `mode` and posts `status` first (none when negative); the caller holds lock_.
  virtual void StartMode(int mode, int status) = 0;
  // Queue a notification to the receiver. Nothing runs synchronously, and none of them takes lock_:
  // callers hold it or not, and threads that must not wait for it (the network thread of the remote
  // source) post too.
  void PostStatus(int code, int64_t value);
  // Posts the position when at least kPositionIntervalMs passed since the last one (by a monotonic
  // millisecond count), or always when `force`.
  void PostPosition(uint64_t time, bool force);
  void PostBeep();
  void PostRequest(uint32_t token);
  void BindReceiver(QObject* context, PlaybackReceiver* receiver);
  void UnbindReceiver();
  // Stops the timer thread, waiting for a running tick. Call without holding lock_.
  void ShutdownTimer();

  ArchBrowserTimer& Timer() { return *timer_; }

  SourceLock lock_;
  // Guarded by lock_:
  Timeline* timeline_ = nullptr;
  PlaybackDisplay* display_ = nullptr;
  int mode_ = kModeStopped;
  ExportWriterFactory writerFactory_;
  std::unique_ptr<ExportWriter> writer_;
  int lastPercent_ = -1;

 private:
  // The shortest spacing of position notifications: about 20 a second at most.
  static constexpr uint32_t kPositionIntervalMs = 51;

  // The timer thread's entry: takes lock_, drops a stale tick, runs OnTimer.
  void RunTick();

  // Where notifications are queued: an object of the source's own on the creating thread, so that
  // posting never touches a context that another thread may be destroying at that moment; the
  // context is checked when the notification runs, on its own thread.
  std::unique_ptr<QObject> mailbox_;
  std::unique_ptr<ArchBrowserTimer> timer_;
  // Taken last, after lock_ or any lock of a derived class; nothing is called while it is held
  // but the queuing itself.
  std::mutex notifyLock_;
  // Guarded by notifyLock_:
  QPointer<QObject> context_;
  PlaybackReceiver* receiver_ = nullptr;
  uint32_t lastNotifyTick_ = 0;
  bool notifiedOnce_ = false;
};

}  // namespace strixc::playback
