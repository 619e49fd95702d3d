#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "video/picture.h"

class QObject;

namespace strixc::playback {

// The file an export writes: one camera's pictures over a time range. The real writer (AVI, MKV,
// MP4 over FFmpeg) lives in the export library; the sources only see this.
//
// Used from the thread that started the export (Open) and then from the source's timer thread
// (Write, Percent), always inside the source's lock.
class ExportWriter {
 public:
  virtual ~ExportWriter() = default;
  // Asks for the compression (through a dialog parented to `owner`, a window or null) and creates
  // the file. False when the user cancels or the file cannot be made.
  virtual bool Open(QObject* owner, int framesPerSecond) = 0;
  // One picture (24-bit, bottom-up, as the frame store holds it) recorded at `time`. False on a
  // write failure.
  virtual bool Write(const video::BitmapInfoHeader& header, const uint8_t* bits, uint64_t time) = 0;
  // 0..100 of the time range written.
  virtual int Percent() = 0;
  virtual uint64_t EndTime() = 0;
  // Completes the file when the range is exhausted, before the writer is destroyed. False when it
  // could not be completed (the last writes or the index would not go to disk): the export then
  // ends as a write error. A writer destroyed without it (a cancel) completes what it can.
  virtual bool Finish() { return true; }
};

// Makes the writer for one camera, a time range and a file name.
using ExportWriterFactory = std::function<std::unique_ptr<ExportWriter>(
    int camera, uint64_t start, uint64_t end, const std::string& fileName)>;

}  // namespace strixc::playback
