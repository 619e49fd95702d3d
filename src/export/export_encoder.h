#pragma once

#include <cstdint>
#include <string>

#include "export/export_compression.h"
#include "export/ffmpeg_handles.h"

namespace strixc::exporting {

// One video stream compressed into a file through libavcodec and libavformat: pictures in our
// layout (24-bit BGR, bottom-up rows of `stride` bytes) are converted with libswscale to the
// encoder's pixel format, encoded and muxed with the time stamps the caller gives.
//
// One thread at a time. Create opens the file; Start adds the stream once the picture size is
// known; Finish completes the file. An encoder destroyed without a successful Finish leaves an
// incomplete file, which the owner removes.
class ExportEncoder {
 public:
  ExportEncoder() = default;
  ExportEncoder(const ExportEncoder&) = delete;
  ExportEncoder& operator=(const ExportEncoder&) = delete;

  // Creates `fileName` as `container`. False with Error() set when it cannot be created.
  bool Create(const std::string& fileName, Container container);
  // Opens `compression.codec` for width x height pictures and writes the file header. Time stamps
  // are counted in 1 / timeBase seconds; `framesPerSecond` is the nominal rate. False with Error().
  bool Start(const ExportCompression& compression, int width, int height, int framesPerSecond, int timeBase);
  bool Started() const { return codec_ != nullptr; }
  // Encodes one picture of the started size at `pts`; pts must grow. False with Error() on a write
  // or encoder failure, after which only destruction is left.
  bool Encode(const uint8_t* bits, int stride, int64_t pts);
  // Encodes the previous picture again at `pts`.
  bool Repeat(int64_t pts);
  // Drains the encoder, writes the trailer and closes the file. False with Error() when any of it
  // failed.
  bool Finish();

  const std::string& Error() const { return error_; }
  int Width() const { return width_; }
  int Height() const { return height_; }

 private:
  bool Fail(const std::string& what, int code);
  // Sends `frame` (null: drain) and writes every packet the encoder gives back.
  bool Send(const AVFrame* frame);

  OutputFormatPtr format_;
  CodecContextPtr codec_;
  AVStream* stream_ = nullptr;  // owned by format_
  SwsPtr sws_;
  FramePtr frame_;
  PacketPtr packet_;
  int width_ = 0;
  int height_ = 0;
  bool failed_ = false;
  std::string error_;
};

}  // namespace strixc::exporting
