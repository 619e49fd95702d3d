#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "imaging/scaler.h"
#include "video/jpeg_codec.h"

namespace strixc::video {

// What the operator sees when the snapshot file cannot be created.
inline constexpr char kCantCreateFileText[] = "Can't create file !";

struct SnapshotResult {
  bool ok = false;
  // The picture written: the bitmap's width and three quarters of it as height.
  int width = 0;
  int height = 0;
  // Empty on success; kCantCreateFileText when the file cannot be created.
  std::string error;
};

// Saves pictures as JPEG snapshot files: the picture is brought to a 4:3 shape (width kept, height
// = width * 3 / 4, bicubic) and encoded at quality 80.
//
// Keeps its scaler, codec and buffers between calls, so repeated snapshots of one size allocate
// once. Not thread-safe: one instance per thread.
class SnapshotWriter {
 public:
  static constexpr int kQuality = 80;

  // `dib` is a packed bitmap (40-byte header, then rows in our layout) of dibSize bytes, as
  // ExtractRegion makes it; nothing outside dib[0, dibSize) is read. The file at `path` is created
  // or truncated. Nothing is created when the bitmap is refused; a file whose writing fails is
  // removed again.
  SnapshotResult Save(const uint8_t* dib, size_t dibSize, const std::string& path);

 private:
  imaging::Scaler scaler_;
  JpegCodec codec_;
  std::vector<uint8_t> scaled_;
  std::vector<uint8_t> stream_;
};

// A one-off SnapshotWriter::Save.
SnapshotResult SaveSnapshot(const uint8_t* dib, size_t dibSize, const std::string& path);

}  // namespace strixc::video
