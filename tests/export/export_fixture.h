#pragma once

// What the export tests work on: a synthetic archive (a moving camera at 25 pictures a second and
// a still one at 5), exports of it through the playback source, and the exported files read back
// with the ffprobe and ffmpeg programs.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive_database.h"
#include "export/avi_writer.h"
#include "sim/scene_archive_writer.h"

namespace strixc::exporting::test {

constexpr int kWidth = 352;
constexpr int kHeight = 288;
constexpr int kMoving = 0;  // 25 pictures a second
constexpr int kSlow = 1;    // 5 pictures a second

// One export's outcome: the source's result, the writer's summary, the first picture it was given
// (top-down BGR, as ffmpeg decodes) and the times of all pictures.
struct Exported {
  int result = -1;
  ExportSummary summary;
  std::vector<uint8_t> firstPicture;
  std::vector<uint64_t> times;
};

// ffprobe's view of a file's first video stream ("" for a missing field).
struct Probe {
  bool ok = false;
  std::string codec;
  int width = 0;
  int height = 0;
  long frames = -1;
  double duration = -1;
};

void EnsureApplication();
// Whether the ffmpeg and ffprobe programs are there.
bool HaveFfmpegTools();
Probe ProbeFile(const std::string& file);
// The file's first picture decoded by ffmpeg as top-down BGR (empty when it cannot).
std::vector<uint8_t> FirstPictureOf(const std::string& file, int width, int height);
double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);
bool FileExists(const std::string& file);

class ExportArchive : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();

  // Exports `camera` over [from, to] with `compression` through a LocalPlaybackSource.
  Exported Export(const std::string& file, int camera, uint64_t from, uint64_t to, ExportCompression compression);
  std::string Path(const std::string& name) const { return dir_.filePath(QString::fromStdString(name)).toStdString(); }

  static sim::SceneArchiveOptions options_;
  static sim::SceneArchiveResult archive_;
  static std::unique_ptr<QTemporaryDir> archiveDir_;
  static std::unique_ptr<archive::ArchiveDatabase> db_;
  QTemporaryDir dir_;
};

}  // namespace strixc::exporting::test
