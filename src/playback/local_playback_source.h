#pragma once

#include <memory>

#include "playback/playback_source.h"
#include "video/frame_store.h"

namespace strixc::playback {

class ArchivePlayer;

// Plays the local archive: an ArchivePlayer over the database's files, decoding into its own
// PlaybackFrameStore, which the display reads while the source is open.
//
// Threads as PlaybackSource: operations on the user-interface thread, ticks on the timer thread,
// both under lock_. The display given to SetDisplay reads FrameStore() from Open on; the
// destructor detaches it (SetFrameSource(null)) when Open attached it, so a caller that puts
// another frame source on the display does so after destroying the source.
class LocalPlaybackSource : public PlaybackSource {
 public:
  // `database` must be open (or be opened before Open) and outlive the source.
  explicit LocalPlaybackSource(archive::ArchiveDatabase* database);
  ~LocalPlaybackSource() override;

  bool Open(QObject* context, PlaybackReceiver* receiver) override;
  void Close() override;
  void SendRequest(uint32_t token) override;
  void SeekCamera(int camera, uint64_t time) override;
  void Stop() override;
  void SetCameraMask(uint32_t mask) override;
  void SetMotionDetection(int camera, int sensitivity, const video::Rect& area) override;
  void FillTimeline(uint64_t t0, uint64_t t1, int width) override;
  int HighestCamera() override;
  archive::ArchiveDatabase* Database() override;
  uint64_t Earliest() override;
  uint64_t Latest() override;
  bool DayHasRecordings(uint64_t time) override;
  bool AddBookmark(uint64_t time, const std::string& title) override;
  bool DeleteBookmark(uint64_t time) override;
  void ShowBookmarkText(uint64_t time) override;
  void NextBookmark(uint64_t time) override;
  void PrevBookmark(uint64_t time) override;
  bool StartExport(QObject* owner, const std::string& fileName, int camera, uint64_t start,
                   uint64_t end, int64_t tag) override;
  void CancelExport() override;
  void OnTimer() override;

  // The pictures the source shows (for commands and tests that read them back).
  video::PlaybackFrameStore& FrameStore() { return frames_; }
  // The playback position and its camera (0 / -1 when none).
  uint64_t CurrentTime();
  int CurrentCamera();
  // The cameras played (bit c: camera c); all sixteen when closed.
  uint32_t CameraMask();

  // The number of columns a part of the timeline spans per activity bin, and the parts FillTimeline
  // splits a range into.
  static constexpr int kColumnsPerBin = 10;
  static constexpr int kTimelineParts = 10;
  // Export frame rate asked of the writer.
  static constexpr int kExportFramesPerSecond = 15;

 private:
  // All callers hold lock_.
  bool Exporting() const { return mode_ == kModeExport; }
  void StopLocked();
  void StartMode(int mode, int status) override;
  void SeekCameraLocked(int camera, uint64_t time);
  void SetCameraMaskLocked(uint32_t mask);
  // Redraws the cameras whose pictures are behind the position and tells the display.
  void RefreshLocked();
  void OnFrame(int camera);
  void NotifyPosition(bool force);
  // Failed step of a play mode: back to where the step started, beep, stop.
  void StepFailed(int camera, uint64_t time);
  void ExportTick();
  void EndExport(int result);

  archive::ArchiveDatabase* const database_;
  video::PlaybackFrameStore frames_;
  // Guarded by lock_:
  std::unique_ptr<ArchivePlayer> player_;  // between Open and Close
  bool displayAttached_ = false;
  bool exportFirst_ = false;  // the next export tick is the first
};

}  // namespace strixc::playback
