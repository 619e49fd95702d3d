#include "archive/archive_backup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "archive/archive_database.h"
#include "archive/archive_format.h"
#include "archive/archive_reader.h"
#include "archive/archive_recorder.h"
#include "archive/archive_time.h"
#include "archive/archive_verifier.h"
#include "sim/scene_archive_writer.h"

namespace strixc::archive {
namespace {

namespace fs = std::filesystem;

struct Record {
  RecordHeader header;
  std::vector<uint8_t> payload;
};

std::vector<Record> ReadAll(ArchiveDatabase* db) {
  std::vector<Record> records;
  ArchiveReader reader(db);
  Record r;
  if (!reader.Seek(1, &r.header)) return records;
  while (reader.ReadRecord(&r.payload, &r.header, false)) {
    records.push_back(r);
    records.back().payload.resize(static_cast<size_t>(r.header.payloadSize));
  }
  return records;
}

// Answers the copy's questions as told and notes what it was asked.
class ScriptedListener : public ArchiveBackup::Listener {
 public:
  bool createFile = true;
  int refuseCancel = 0;  // "Cancel the operation ?" is answered No this many times
  ArchiveBackup* cancelAt = nullptr;
  uint64_t cancelRecords = 0;
  std::vector<ArchiveBackup::Question> asked;
  std::vector<std::string> shown;

  bool Ask(ArchiveBackup::Question q, const std::string&) override {
    asked.push_back(q);
    if (q == ArchiveBackup::Question::kCreateFile) return createFile;
    if (q == ArchiveBackup::Question::kCancelOperation) return refuseCancel-- <= 0;
    return true;
  }
  void Show(const std::string& text) override { shown.push_back(text); }
  void SetStatus(ArchiveBackup::Status) override {}
  void Progress(uint64_t records, int, int) override {
    if (cancelAt != nullptr && records >= cancelRecords) cancelAt->Cancel();
  }
};

class ArchiveBackupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "archive_backup_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    scene_.folder = dir_ + "/source";
    scene_.space = 32 * kMiB;
    scene_.fileSize = 4 * kMiB;
    scene_.cameraMask = 0xF;
    scene_.movingMask = 0xF;
    scene_.fps = 10;
    scene_.keyInterval = 10;
    scene_.start = *TimeOfFields(TimeFields{2026, 12, 6, 10, 0, 0, 0});
    scene_.duration = 30 * kUnitsPerSecond;
    const sim::SceneArchiveResult written = sim::WriteSceneArchive(scene_);
    ASSERT_TRUE(written.ok) << written.error;
    source_ = ArchiveDatabase::ForFolder(scene_.folder, dir_);
    ASSERT_TRUE(source_->IsOpen());
    ArchiveReader reader(source_.get());
    RecordHeader h;
    ASSERT_TRUE(reader.SeekCamera(1, sim::SceneFrameTime(scene_, 1, 190), &h));
    to_ = h.time;
  }
  void TearDown() override { fs::remove_all(dir_); }

  ArchiveBackup::Options Options(const std::string& dest) const {
    ArchiveBackup::Options o;
    o.from = sim::SceneFrameTime(scene_, 1, 43);  // three frames after a key frame
    o.to = to_;  // a record of camera 1 at exactly `to`
    o.cameraMask = 0b0110;
    o.destination = dest;
    o.fileSize = kMiB;
    o.askBeforeFile = false;
    o.progressEvery = 10;
    return o;
  }

  // What the destination must hold: the chosen cameras' records from their key frames through `to`.
  std::vector<Record> Expected(const ArchiveBackup::Options& o) {
    std::vector<Record> expected;
    for (const Record& r : ReadAll(source_.get())) {
      const int c = r.header.camera;
      if (((o.cameraMask >> c) & 1) == 0 || r.header.time > o.to) continue;
      uint64_t index = 0;
      while (sim::SceneFrameTime(scene_, c, index + 1) <= o.from) ++index;
      if (r.header.time >= sim::SceneFrameTime(scene_, c, index / 10 * 10)) expected.push_back(r);
    }
    return expected;
  }

  static void ExpectVerifiesClean(const std::vector<std::string>& files) {
    for (const std::string& f : files) EXPECT_TRUE(ArchiveVerifier::VerifyFile(f).empty()) << f;
  }

  std::string dir_;
  sim::SceneArchiveOptions scene_;
  uint64_t to_ = 0;
  std::unique_ptr<ArchiveDatabase> source_;
};

TEST_F(ArchiveBackupTest, CopiesChosenCamerasFromTheirKeyFramesThroughTo) {
  const ArchiveBackup::Options o = Options(dir_ + "/dest");
  fs::create_directory(o.destination);
  ArchiveBackup backup(source_.get());
  ScriptedListener listener;
  const ArchiveBackup::Result result = backup.Run(o, &listener);
  ASSERT_EQ(result.outcome, ArchiveBackup::Outcome::kFinished);
  ASSERT_GE(result.files.size(), 2u);  // the 1 MiB files fill up
  EXPECT_TRUE(listener.asked.empty());
  ExpectVerifiesClean(result.files);

  const std::vector<Record> expected = Expected(o);
  auto dest = ArchiveDatabase::ForFolder(o.destination, dir_);
  ASSERT_TRUE(dest->IsOpen());
  const std::vector<Record> copied = ReadAll(dest.get());
  ASSERT_EQ(copied.size(), expected.size());
  EXPECT_EQ(result.records, copied.size());
  for (size_t i = 0; i < copied.size(); ++i) {
    EXPECT_EQ(copied[i].header.camera, expected[i].header.camera) << i;
    EXPECT_EQ(copied[i].header.type, expected[i].header.type) << i;
    EXPECT_EQ(copied[i].header.time, expected[i].header.time) << i;
    EXPECT_TRUE(copied[i].payload == expected[i].payload) << i;
  }
  bool keyed[16] = {};
  for (const Record& r : copied) {
    if (!keyed[r.header.camera]) EXPECT_EQ(r.header.type, static_cast<uint8_t>(RecordType::kKeyFrame));
    keyed[r.header.camera] = true;
  }
  EXPECT_EQ(result.last, expected.back().header.time);
  EXPECT_TRUE(std::any_of(copied.begin(), copied.end(), [&](const Record& r) { return r.header.time == o.to; }));
  EXPECT_LT(result.first, o.from);
}

TEST_F(ArchiveBackupTest, LaterBackupsAreNumberedAfterTheHighestFile) {
  const std::string dest = dir_ + "/dest";
  fs::create_directory(dest);
  std::ofstream(dest + "/" + ArchiveFileName(41)) << "not an archive";
  ArchiveBackup backup(source_.get());
  ScriptedListener listener;
  ArchiveBackup::Options o = Options(dest);
  const ArchiveBackup::Result first = backup.Run(o, &listener);
  ASSERT_EQ(first.outcome, ArchiveBackup::Outcome::kFinished);
  ASSERT_FALSE(first.files.empty());
  EXPECT_EQ(first.files.front(), dest + "/" + ArchiveFileName(42));
  const uint64_t firstSize = fs::file_size(first.files.back());

  o.cameraMask = 0b1000;
  const ArchiveBackup::Result second = backup.Run(o, &listener);
  ASSERT_EQ(second.outcome, ArchiveBackup::Outcome::kFinished);
  EXPECT_EQ(second.files.front(), dest + "/" + ArchiveFileName(42 + static_cast<int32_t>(first.files.size())));
  EXPECT_EQ(fs::file_size(first.files.back()), firstSize);
  ExpectVerifiesClean(first.files);
  ExpectVerifiesClean(second.files);
  auto db = ArchiveDatabase::ForFolder(dest, dir_);
  ASSERT_TRUE(db->IsOpen());
  EXPECT_EQ(db->CameraMask(), 0b1110u);
}

TEST_F(ArchiveBackupTest, RefusalsAndQuestions) {
  ArchiveBackup::Options o = Options(dir_ + "/dest");
  EXPECT_EQ(ArchiveBackup::Check(o), ArchiveBackup::Refusal::kNone);
  o.to = o.from;
  EXPECT_EQ(ArchiveBackup::Check(o), ArchiveBackup::Refusal::kEmptyRange);
  o = Options(o.destination);
  o.cameraMask = 1u << 16;
  EXPECT_EQ(ArchiveBackup::Check(o), ArchiveBackup::Refusal::kNoCamera);
  o = Options("");
  EXPECT_EQ(ArchiveBackup::Check(o), ArchiveBackup::Refusal::kNoDestination);
  o = Options(dir_ + "/dest");
  o.fileSize = kMiB - 1;
  EXPECT_EQ(ArchiveBackup::Check(o), ArchiveBackup::Refusal::kSmallFile);
  ArchiveBackup backup(source_.get());
  ScriptedListener listener;
  EXPECT_EQ(backup.Run(o, &listener).outcome, ArchiveBackup::Outcome::kCancelled);
  EXPECT_FALSE(fs::exists(o.destination));

  // Asked before the first file and refused: the copy offers to cancel, and No tries again.
  o = Options(dir_ + "/dest");
  fs::create_directory(o.destination);
  o.askBeforeFile = true;
  listener.createFile = false;
  listener.refuseCancel = 1;
  const ArchiveBackup::Result result = backup.Run(o, &listener);
  EXPECT_EQ(result.outcome, ArchiveBackup::Outcome::kCancelled);
  EXPECT_EQ(result.records, 0u);
  using Q = ArchiveBackup::Question;
  EXPECT_EQ(listener.asked, (std::vector<Q>{Q::kCreateFile, Q::kCancelOperation, Q::kCreateFile, Q::kCancelOperation}));
  EXPECT_TRUE(fs::is_empty(o.destination));
}

TEST_F(ArchiveBackupTest, BreakStopsWithinAHundredRecordsAndKeepsTheFiles) {
  const ArchiveBackup::Options o = Options(dir_ + "/dest");
  fs::create_directory(o.destination);
  ArchiveBackup backup(source_.get());
  ScriptedListener listener;
  listener.cancelAt = &backup;
  listener.cancelRecords = 50;
  const ArchiveBackup::Result result = backup.Run(o, &listener);
  EXPECT_EQ(result.outcome, ArchiveBackup::Outcome::kCancelled);
  EXPECT_GE(result.records, 50u);
  EXPECT_LE(result.records, 150u);
  ExpectVerifiesClean(result.files);
  auto dest = ArchiveDatabase::ForFolder(o.destination, dir_);
  EXPECT_EQ(ReadAll(dest.get()).size(), result.records);
}

TEST_F(ArchiveBackupTest, FailuresKeepWhatWasWritten) {
  // A destination that cannot hold a folder's files: the archive's message, then "cancel?".
  ArchiveBackup::Options o = Options(dir_ + "/plain-file");
  std::ofstream(o.destination) << "x";
  ArchiveBackup backup(source_.get());
  ScriptedListener listener;
  ArchiveBackup::Result result = backup.Run(o, &listener);
  EXPECT_EQ(result.outcome, ArchiveBackup::Outcome::kCancelled);
  EXPECT_EQ(result.records, 0u);
  EXPECT_FALSE(result.error.empty());
  ASSERT_EQ(listener.shown.size(), 1u);
  EXPECT_EQ(listener.asked, std::vector<ArchiveBackup::Question>{ArchiveBackup::Question::kCancelOperation});

  // The disk fills up in the middle of the second file: the copy stops with the write's message.
  o = Options(dir_ + "/dest");
  fs::create_directory(o.destination);
  int writes = 0;
  o.writeFault = [&writes](uint64_t, size_t) { return ++writes > 600 ? ENOSPC : 0; };
  listener.shown.clear();
  result = backup.Run(o, &listener);
  EXPECT_EQ(result.outcome, ArchiveBackup::Outcome::kWriteError);
  EXPECT_NE(result.error.find("No space left on device"), std::string::npos) << result.error;
  ASSERT_EQ(listener.shown.size(), 1u);
  ASSERT_GE(result.files.size(), 1u);
  ExpectVerifiesClean(result.files);
  auto dest = ArchiveDatabase::ForFolder(o.destination, dir_);
  const std::vector<Record> copied = ReadAll(dest.get());
  const std::vector<Record> expected = Expected(o);
  ASSERT_EQ(copied.size(), result.records);
  ASSERT_GT(copied.size(), 0u);
  for (size_t i = 0; i < copied.size(); ++i) EXPECT_TRUE(copied[i].payload == expected[i].payload) << i;
}

TEST_F(ArchiveBackupTest, RecordingGoesOnWhileTheSameArchiveIsBackedUp) {
  // The source as the station holds it: open for recording, the recorder writing camera 5 on its
  // own thread while the backup reads the same files.
  source_.reset();
  ArchiveDatabase live(dir_);
  live.MarkLocationDeleted(0);
  live.ApplyLocation(0, {}, {}, {}, {}, true);
  live.AddLocation(scene_.folder, scene_.space, scene_.fileSize, 0);
  ASSERT_TRUE(live.Open(false));
  const ArchiveBackup::Options o = Options(dir_ + "/dest");
  fs::create_directory(o.destination);
  source_ = ArchiveDatabase::ForFolder(scene_.folder, dir_);
  const std::vector<Record> expected = Expected(o);
  source_.reset();

  ArchiveRecorder recorder;
  recorder.Attach(&live);
  recorder.SetEnabled(true);
  constexpr int kWrites = 1500;
  int written = 0;
  const uint64_t after = live.Latest();
  std::thread writer([&] {
    const std::vector<uint8_t> frame(3000, 0x5A);
    for (int i = 1; i <= kWrites; ++i) {
      written += recorder.WriteRecord(RecordType::kKeyFrame, 5, after + static_cast<uint64_t>(i) * 10000,
                                      frame.data(), frame.size());
    }
  });
  ArchiveBackup backup(&live);
  ScriptedListener listener;
  const ArchiveBackup::Result result = backup.Run(o, &listener);
  writer.join();
  recorder.Detach();

  EXPECT_EQ(result.outcome, ArchiveBackup::Outcome::kFinished);
  EXPECT_EQ(written, kWrites);
  auto dest = ArchiveDatabase::ForFolder(o.destination, dir_);
  const std::vector<Record> copied = ReadAll(dest.get());
  ASSERT_EQ(copied.size(), expected.size());
  for (size_t i = 0; i < copied.size(); ++i) EXPECT_TRUE(copied[i].payload == expected[i].payload) << i;
  int camera5 = 0;
  for (const Record& r : ReadAll(&live)) camera5 += r.header.camera == 5;
  EXPECT_EQ(camera5, kWrites);
}

}  // namespace
}  // namespace strixc::archive
