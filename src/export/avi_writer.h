#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "export/export_compression.h"
#include "playback/export_writer.h"
#include "video/picture.h"

namespace strixc::exporting {

class ExportEncoder;

// What a writer did, handed to its close callback when it completes or removes its file.
struct ExportSummary {
  bool complete = false;  // a complete file with at least one picture is on disk
  std::string codec;
  uint64_t pictures = 0;  // pictures given
  uint64_t frames = 0;    // frames written, repeats included
  int width = 0;
  int height = 0;
  std::string error;      // why not complete
};

// Writes one camera's exported pictures to an AVI, Matroska or MPEG-4 file (by the extension, see
// ContainerOf), compressed with the chosen FFmpeg encoder.
//
// Timing: in AVI every sample lasts 1 / framesPerSecond, so before a picture recorded at t the
// previous one is written again k = (t - lastTime) x framesPerSecond / 10 000 000 - 1 times, at
// most kMaxRepeats, which keeps the file's time close to the recording's. Matroska and MPEG-4
// carry time stamps: each picture is written once with its own recording time (relative to the
// first picture's), so the file lasts as long as the recorded span.
//
// The stream's size is that of the first picture; a later picture of another size is refused
// (Write false), as no encoder changes size within a stream. A failed write leaves the writer
// failed: every later Write is false and the file is removed on destruction. Otherwise the
// destructor completes the file; a file without any picture is removed, having nothing to play.
//
// Threads: Open on the thread that starts the export, then Write, Percent, EndTime and the
// destructor on any one thread at a time (the playback source calls them under its lock).
class AviWriter : public playback::ExportWriter {
 public:
  // A writer whose Open compresses with `compression` (an empty codec name: DefaultExportCodec of
  // the file's container).
  AviWriter(int camera, uint64_t start, uint64_t end, const std::string& fileName, ExportCompression compression);
  // A writer whose Open asks `chooser` (the compression options dialog) first; a cancelled choice
  // makes Open fail.
  AviWriter(int camera, uint64_t start, uint64_t end, const std::string& fileName, CompressionChooser chooser,
            ExportCompression initial = {});
  ~AviWriter() override;
  AviWriter(const AviWriter&) = delete;
  AviWriter& operator=(const AviWriter&) = delete;

  // Deletes any existing file of the name (whatever happens next), settles the compression,
  // creates the file. False when the choice was cancelled, the codec is not available for the
  // container, or the file cannot be created (nothing is left on disk then).
  bool Open(QObject* owner, int framesPerSecond) override;
  bool Write(const video::BitmapInfoHeader& header, const uint8_t* bits, uint64_t time) override;
  int Percent() override;
  uint64_t EndTime() override { return end_; }
  // Close, judged as the end of a whole export: false only when a write or the completion failed
  // (the file is removed). Without any picture there is nothing to complete: true, and no file.
  bool Finish() override;

  // Completes the file (or removes it after a failure or when nothing was written). True when a
  // complete file with at least one picture is on disk. Further calls return the same answer.
  bool Close();

  // Called once by Close (so by the destructor at the latest), on the closing thread.
  void SetOnClosed(std::function<void(const ExportSummary&)> onClosed) { onClosed_ = std::move(onClosed); }

  // After Open: the compression in use. After writes: pictures given, frames written (repeats
  // included), the stream's size; the reason of the first failure.
  const ExportCompression& Compression() const { return compression_; }
  Container FileContainer() const { return container_; }
  int Camera() const { return camera_; }
  uint64_t Pictures() const { return pictures_; }
  uint64_t Frames() const { return frames_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  const std::string& Error() const { return error_; }

  static constexpr int kMaxRepeats = 5;
  // Recording time units (100 ns) per second, and the time base of the time-stamped containers.
  static constexpr int64_t kUnitsPerSecond = 10'000'000;
  static constexpr int kStampsPerSecond = 1000;

 private:
  bool Fail(const std::string& why);

  const int camera_;
  const uint64_t start_;
  const uint64_t end_;
  const std::string fileName_;
  const Container container_;
  CompressionChooser chooser_;
  std::function<void(const ExportSummary&)> onClosed_;
  ExportCompression compression_;
  std::unique_ptr<ExportEncoder> encoder_;
  int framesPerSecond_ = 0;
  int percent_ = 0;
  uint64_t firstTime_ = 0;
  uint64_t lastTime_ = 0;  // 0: no picture yet
  int64_t nextPts_ = 0;    // AVI: the next sample; time-stamped: one more than the last stamp
  uint64_t pictures_ = 0;
  uint64_t frames_ = 0;
  int width_ = 0;
  int height_ = 0;
  bool opened_ = false;
  bool failed_ = false;
  bool closed_ = false;
  bool closeResult_ = false;
  std::string error_;
};

// A factory for the playback sources making AviWriters with `compression` (or, with a chooser,
// asking it at each Open). `onClosed`, when set, is given to each writer (SetOnClosed).
playback::ExportWriterFactory MakeAviWriterFactory(ExportCompression compression,
                                                   std::function<void(const ExportSummary&)> onClosed = {});
playback::ExportWriterFactory MakeAviWriterFactory(CompressionChooser chooser, ExportCompression initial = {},
                                                   std::function<void(const ExportSummary&)> onClosed = {});

}  // namespace strixc::exporting
