// The synthetic archive writer, read back through the archive's own reader and decoded as the
// playback decodes it.

#include "sim/scene_archive_writer.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <map>
#include <vector>

#include "archive/archive_database.h"
#include "archive/archive_reader.h"
#include "archive/archive_records.h"
#include "video/frame_store.h"

namespace strixc::sim {
namespace {

using archive::kUnitsPerSecond;
using archive::RecordHeader;
using archive::RecordType;

struct Record {
  RecordHeader header;
  std::vector<uint8_t> payload;
};

class SceneArchiveWriterTest : public ::testing::Test {
 protected:
  static uint64_t Start() { return *archive::TimeOfFields({2026, 3, 2, 10, 0, 0, 0}); }

  SceneArchiveOptions Options() const {
    SceneArchiveOptions o;
    o.folder = dir_.filePath("archive").toStdString();
    o.start = Start();
    return o;
  }

  // Every record of the folder's archive in time order.
  std::vector<Record> ReadAll(const std::string& folder) {
    const auto db = archive::ArchiveDatabase::ForFolder(folder, dir_.path().toStdString());
    std::vector<Record> records;
    if (!db->IsOpen()) return records;
    archive::ArchiveReader reader(db.get());
    Record r;
    if (!reader.Seek(1, &r.header)) return records;
    while (reader.ReadRecord(&r.payload, &r.header, false)) {
      // The reader's buffer only ever grows.
      r.payload.resize(static_cast<size_t>(r.header.payloadSize));
      records.push_back(r);
    }
    return records;
  }

  QTemporaryDir dir_;
};

TEST_F(SceneArchiveWriterTest, WritesEveryCameraInTimeOrderWithKeyFramesAndLateStarts) {
  SceneArchiveOptions o = Options();
  o.cameraMask = 0b1011;  // cameras 0, 1 and 3
  o.movingMask = 0b0001;
  o.fps = 10;
  o.cameraFps[1] = 4;
  o.duration = 6 * kUnitsPerSecond;
  o.startOffset[3] = 2 * kUnitsPerSecond;
  o.keyInterval = 3;
  o.keyQuality = 95;
  o.space = 4 * archive::kMiB;
  o.fileSize = archive::kMiB;
  o.events.push_back({1, Start() + kUnitsPerSecond * 11 / 10, true, "Door opened"});
  const SceneArchiveResult result = WriteSceneArchive(o);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.cameraFrames[0], 60u);
  EXPECT_EQ(result.cameraFrames[1], 24u);
  EXPECT_EQ(result.cameraFrames[3], 40u);
  EXPECT_EQ(result.firstTime[3], Start() + 2 * kUnitsPerSecond);
  EXPECT_EQ(result.events, 1u);

  const std::vector<Record> records = ReadAll(o.folder);
  ASSERT_EQ(records.size(), result.frames + result.events);
  std::map<int, std::vector<const Record*>> byCamera;
  uint64_t last = 0;
  for (const Record& r : records) {
    EXPECT_GT(r.header.time, last);
    last = r.header.time;
    if (r.header.type != static_cast<uint8_t>(RecordType::kEvent)) byCamera[r.header.camera].push_back(&r);
  }
  ASSERT_EQ(byCamera.size(), 3u);
  // The event empties camera 1's picture in a player, as it does a live client's: its next frame
  // is a key frame, out of turn (1.25 s is its sixth frame).
  for (const Record* f : byCamera[1]) {
    if (f->header.time <= Start() + kUnitsPerSecond * 11 / 10) continue;
    EXPECT_EQ(f->header.type, static_cast<uint8_t>(RecordType::kKeyFrame));
    EXPECT_EQ(f->header.time, Start() + kUnitsPerSecond * 5 / 4);
    break;
  }
  for (const auto& [camera, frames] : byCamera) {
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.front()->header.type, static_cast<uint8_t>(RecordType::kKeyFrame)) << camera;
    // Every third frame is a key frame (the moving camera's encoder may add one where most of the
    // picture changed).
    for (size_t i = 0; i < frames.size(); i += 3)
      EXPECT_EQ(frames[i]->header.type, static_cast<uint8_t>(RecordType::kKeyFrame)) << camera << " " << i;
    // Spacing as recorded: 100 ms, 250 ms for camera 1 (a record may be moved by 100 ns when two
    // cameras are due at once).
    const uint64_t step = camera == 1 ? kUnitsPerSecond / 4 : kUnitsPerSecond / 10;
    for (size_t i = 1; i < frames.size(); ++i) {
      const uint64_t d = frames[i]->header.time - frames[i - 1]->header.time;
      EXPECT_LE(d > step ? d - step : step - d, 2u) << camera << " " << i;
    }
  }
  // The still camera's delta frames are all the same bytes.
  const auto& still = byCamera[1];
  EXPECT_EQ(still[1]->payload, still[2]->payload);
  EXPECT_EQ(still[0]->payload, still[3]->payload);
  // 124 frames of CIF, a third of them key frames, do not fit one 1 MiB file.
  EXPECT_GE(result.files, 2) << result.payloadBytes;
  EXPECT_EQ(result.earliest, records.front().header.time);
}

TEST_F(SceneArchiveWriterTest, MotionDetectionFiresOnMovingCamerasOnly) {
  SceneArchiveOptions o = Options();
  o.cameraMask = 0b11;
  o.movingMask = 0b01;
  o.duration = 20 * kUnitsPerSecond;
  o.fps = 5;
  o.space = 16 * archive::kMiB;
  o.fileSize = 4 * archive::kMiB;
  ASSERT_TRUE(WriteSceneArchive(o).ok);

  video::PlaybackFrameStore store;
  for (int c = 0; c < 2; ++c) store.SetMotionDetection(c, 50, video::Rect{0, 0, 10000, 10000});
  int motion[2] = {0, 0};
  int decoded[2] = {0, 0};
  for (const Record& r : ReadAll(o.folder)) {
    store.Decode(r.header.camera, r.payload.data(), r.payload.size(), r.header.type, r.header.time);
    ASSERT_EQ(store.GetFrameHeader(r.header.camera)->biWidth, 352);
    ++decoded[r.header.camera];
    motion[r.header.camera] += store.HasMotion(r.header.camera) ? 1 : 0;
  }
  EXPECT_EQ(decoded[0], 100);
  EXPECT_EQ(decoded[1], 100);
  EXPECT_GT(motion[0], 10);
  EXPECT_EQ(motion[1], 0);
}

TEST_F(SceneArchiveWriterTest, LoopingCameraRepeatsItsFirstRound) {
  SceneArchiveOptions o = Options();
  o.cameraMask = 1;
  o.movingMask = 1;
  o.fps = 2;
  o.keyInterval = 4;
  o.duration = 20 * kUnitsPerSecond;
  o.loop = 3 * kUnitsPerSecond;  // 6 frames, rounded up to 8
  ASSERT_TRUE(WriteSceneArchive(o).ok);
  const std::vector<Record> records = ReadAll(o.folder);
  ASSERT_EQ(records.size(), 40u);
  for (size_t i = 8; i < records.size(); ++i) EXPECT_EQ(records[i].payload, records[i % 8].payload) << i;
  EXPECT_NE(records[1].payload, records[2].payload);
}

TEST_F(SceneArchiveWriterTest, RefusesBadOptionsAndWritingIntoRecordedTime) {
  const auto refused = [](SceneArchiveOptions o) {
    const SceneArchiveResult r = WriteSceneArchive(o);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.empty());
    return r.frames;
  };
  SceneArchiveOptions o = Options();
  o.start = 0;
  EXPECT_EQ(refused(o), 0u);
  o = Options();
  o.cameraMask = 1u << 16;
  refused(o);
  o = Options();
  o.fps = 0;
  refused(o);
  o = Options();
  o.startOffset[0] = o.duration;
  refused(o);
  o = Options();
  o.width = 4;
  refused(o);
  o = Options();
  o.fileSize = o.space * 2;
  refused(o);

  // A second archive over the same time would move every record after the first archive's end.
  o = Options();
  o.cameraMask = 1;
  o.duration = kUnitsPerSecond;
  ASSERT_TRUE(WriteSceneArchive(o).ok);
  EXPECT_EQ(refused(o), 0u);
  // Continuing after it is fine.
  o.start += 2 * kUnitsPerSecond;
  const SceneArchiveResult more = WriteSceneArchive(o);
  ASSERT_TRUE(more.ok) << more.error;
  EXPECT_EQ(ReadAll(o.folder).size(), 50u);
}

}  // namespace
}  // namespace strixc::sim
