#pragma once

// What the playback tests play: an archive in a temporary folder written record by record with
// real key and delta frames, and stand-ins for the display, the timeline, the receiver and the
// export writer that note what the source told them.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <QObject>

#include "archive/archive_database.h"
#include "archive/archive_recorder.h"
#include "playback/export_writer.h"
#include "playback/playback_display.h"
#include "playback/playback_receiver.h"
#include "playback/timeline.h"
#include "support/colours.h"
#include "video/picture.h"

namespace strixc::playback::test {

using strixc::test::Bgr;
using Clock = std::chrono::steady_clock;

// Archive times of the recordings: 100 ns units from a day in 2021.
constexpr uint64_t kT0 = 132'600'000'000'000'000;
constexpr uint64_t kMs = 10'000;
constexpr int kWidth = 32;
constexpr int kHeight = 16;  // 4 x 2 blocks

// A QCoreApplication for the queued notifications (one per process).
void EnsureApplication();
// Runs the event loop until `done` or the limit (which only bounds a failing test).
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 10000);

std::vector<uint8_t> KeyFrame(Bgr colour);
// A delta frame that paints 8 x 8 block `block` (of the kWidth x kHeight picture) in `colour`.
std::vector<uint8_t> DeltaFrame(int block, Bgr colour);

class RecordingDisplay : public PlaybackDisplay {
 public:
  struct Frame {
    int camera;
    Clock::time_point at;
  };
  void SetFrameSource(video::FrameSource* source) override;
  void ResetFrameRate(int camera) override {}
  void OnFrame(int camera, bool marker) override;
  uint32_t PlacedCameras() override { return placed; }

  std::vector<Frame> Frames();
  video::FrameSource* Source();
  void Clear();

  uint32_t placed = 0xFFFF;

 private:
  std::mutex lock_;
  std::vector<Frame> frames_;
  video::FrameSource* source_ = nullptr;
};

class RecordingTimeline : public Timeline {
 public:
  void SetCursor(uint64_t) override {}
  void SetMapData(uint64_t t1, uint64_t t2, std::span<const uint32_t> recorded,
                  std::span<const uint32_t> red, std::span<const uint32_t> yellow) override;
  void AddBookmarks(std::span<const uint64_t> times) override;
  void InsertBookmark(uint64_t time) override;
  void RemoveBookmark(uint64_t time) override;
  void SetTitle(uint64_t, const std::string&) override {}
  void SetRowEnabled(int camera, bool enabled) override;

  std::mutex lock;
  struct Part {
    uint64_t t1, t2;
    std::vector<uint32_t> recorded;
  };
  std::vector<Part> parts;
  std::vector<uint64_t> bookmarks;
  uint32_t rows = 0;
};

// The receiver with its context object; lives on the test's thread.
class RecordingReceiver : public QObject, public PlaybackReceiver {
 public:
  void OnPlaybackStatus(int code, int64_t value) override { statuses.push_back({code, value}); }
  void OnPlaybackPosition(uint64_t time) override { positions.push_back(time); }
  void OnPlaybackBeep() override { ++beeps; }

  bool HasStatus(int code) const;
  int64_t LastValueOf(int code) const;

  std::vector<std::pair<int, int64_t>> statuses;
  std::vector<uint64_t> positions;
  int beeps = 0;
};

// An export writer that keeps the times it was given; `failAt` (0: never) makes that write fail.
class RecordingWriter : public ExportWriter {
 public:
  struct Log {
    std::mutex lock;
    std::vector<uint64_t> written;
    std::vector<std::vector<uint8_t>> pictures;
    bool opened = false;
    bool destroyed = false;
  };
  // `writeMs`: how long each write takes.
  RecordingWriter(std::shared_ptr<Log> log, uint64_t start, uint64_t end, int failAt, bool openOk,
                  int writeMs = 0)
      : log_(std::move(log)), start_(start), end_(end), failAt_(failAt), openOk_(openOk), writeMs_(writeMs) {}
  ~RecordingWriter() override;
  bool Open(QObject* owner, int framesPerSecond) override;
  bool Write(const video::BitmapInfoHeader& header, const uint8_t* bits, uint64_t time) override;
  int Percent() override;
  uint64_t EndTime() override { return end_; }

 private:
  std::shared_ptr<Log> log_;
  uint64_t start_, end_, last_ = 0;
  int failAt_;
  bool openOk_;
  int writeMs_;
  int count_ = 0;
};

// A data folder with one location of `files` archive files of 1 MiB, open, and a recorder.
class PlaybackArchive : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  void MakeArchive(int files = 2);

  void Key(int camera, uint64_t time, Bgr colour);
  void Delta(int camera, uint64_t time, int block, Bgr colour);
  // Makes the header of `camera`'s record at `time` invalid in whichever file holds it.
  void CorruptRecord(int camera, uint64_t time);
  // `count` key frames of one camera `spacing` apart from `start`, all in `colour`.
  void Keys(int camera, uint64_t start, int count, uint64_t spacing, Bgr colour);

  std::string data_;
  std::unique_ptr<archive::ArchiveDatabase> db_;
  archive::ArchiveRecorder recorder_;
};

// The picture `store` shows for `camera`, as bytes (empty when none).
std::vector<uint8_t> PictureOf(video::FrameSource& store, int camera);

}  // namespace strixc::playback::test
