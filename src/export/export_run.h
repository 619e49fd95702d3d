#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <string>

#include "playback/export_writer.h"
#include "playback/local_playback_source.h"
#include "playback/playback_display.h"
#include "playback/playback_receiver.h"

namespace strixc::archive {
class ArchiveDatabase;
}

namespace strixc::exporting {

// Exports one camera of a local archive to the end without a window: a LocalPlaybackSource in
// export mode, its notifications taken in a local event loop. For commands and benchmarks.
//
// Lives on a thread with a Qt event loop available (a QCoreApplication exists); `database` must
// outlive it.
class ExportRun : public QObject, public playback::PlaybackReceiver, public playback::PlaybackDisplay {
 public:
  explicit ExportRun(archive::ArchiveDatabase* database);
  ~ExportRun() override;

  // Exports `camera` over [from, to] to `fileName` through writers of `factory`; `onProgress`
  // (may be empty) gets each new percentage on this thread. Returns the export's result (0
  // completed, 1 cancelled, 2 write error), or -1 when it did not start (the writer's Open failed).
  int Run(const std::string& fileName, int camera, uint64_t from, uint64_t to, playback::ExportWriterFactory factory,
          const std::function<void(int)>& onProgress);

  // PlaybackReceiver, on this thread.
  void OnPlaybackStatus(int code, int64_t value) override;
  void OnPlaybackPosition(uint64_t) override {}
  // PlaybackDisplay: nothing is shown.
  void SetFrameSource(video::FrameSource*) override {}
  void ResetFrameRate(int) override {}
  void OnFrame(int, bool) override {}
  uint32_t PlacedCameras() override { return 0; }

 private:
  playback::LocalPlaybackSource source_;
  std::function<void(int)> onProgress_;
  int result_ = -1;
  bool finished_ = false;
};

}  // namespace strixc::exporting
