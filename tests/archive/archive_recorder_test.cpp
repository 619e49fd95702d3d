#include "archive/archive_recorder.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <chrono>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "archive/archive_database.h"
#include "archive/archive_format.h"
#include "archive/archive_reader.h"
#include "archive/archive_records.h"
#include "archive/archive_verifier.h"

namespace strixc::archive {
namespace {

constexpr uint64_t kBase = uint64_t{1} << 56;  // aligned to every summary slot
constexpr uint64_t kSlot0 = uint64_t{1} << kLevel0SlotShift;

// A self-describing frame: camera, sequence number, length, checksum, then bytes derived from the
// sequence number. Any torn or misplaced byte shows in CheckFrame.
std::vector<uint8_t> MakeFrame(int camera, uint32_t sequence, size_t size) {
  size = std::max<size_t>(size, 16);
  std::vector<uint8_t> frame(size);
  frame[0] = static_cast<uint8_t>(camera);
  PutU32(frame.data() + 4, sequence);
  PutU32(frame.data() + 8, static_cast<uint32_t>(size));
  uint32_t sum = 0;
  for (size_t i = 16; i < size; ++i) {
    frame[i] = static_cast<uint8_t>(sequence * 31 + i * 7);
    sum = sum * 131 + frame[i];
  }
  PutU32(frame.data() + 12, sum);
  return frame;
}

bool CheckFrame(const std::vector<uint8_t>& payload, const RecordHeader& h) {
  const auto size = static_cast<size_t>(h.payloadSize);
  if (size < 16 || payload.size() < size || payload[0] != h.camera || GetU32(payload.data() + 8) != size) {
    return false;
  }
  return MakeFrame(h.camera, GetU32(payload.data() + 4), size) ==
         std::vector<uint8_t>(payload.begin(), payload.begin() + static_cast<ptrdiff_t>(size));
}

struct Walk {
  std::vector<RecordHeader> headers;
  std::vector<std::vector<uint8_t>> payloads;
};

// Every record from the earliest on, following the record chain through the files.
Walk WalkAll(ArchiveDatabase& db, size_t limit = 100000) {
  Walk walk;
  ArchiveReader reader(&db);
  RecordHeader h;
  if (db.Earliest() == 0 || !reader.Seek(db.Earliest(), &h)) return walk;
  std::vector<uint8_t> payload;
  while (walk.headers.size() < limit && reader.ReadRecord(&payload, &h, false)) {
    walk.headers.push_back(h);
    walk.payloads.emplace_back(payload.begin(), payload.begin() + h.payloadSize);
  }
  return walk;
}

// A data folder with one location of `files` archive files of 1 MiB, open for recording, and a
// recorder attached and enabled with a clock the test steps by hand.
class ArchiveRecorderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "archive_rec_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    data_ = pattern;
    folder_ = data_ + "/loc";
    ASSERT_EQ(::mkdir(folder_.c_str(), 0700), 0);
  }
  void TearDown() override {
    recorder_.Detach();
    db_.reset();
    std::filesystem::remove_all(data_);
  }

  void MakeArchive(int files) {
    db_ = std::make_unique<ArchiveDatabase>(data_);
    db_->MarkLocationDeleted(0);
    ASSERT_TRUE(db_->ApplyLocation(0, {}, {}, {}, {}, true));
    ASSERT_EQ(db_->AddLocation(folder_, files * kMiB, kMiB, 0), 0);
    std::vector<ArchiveFileInfo> remove, create;
    ASSERT_TRUE(db_->PlanLocation(0, &remove, &create));
    ASSERT_EQ(create.size(), static_cast<size_t>(files));
    ASSERT_TRUE(db_->ApplyLocation(0, remove, create, {}, {}, true));
    ASSERT_TRUE(db_->Open(false));
    recorder_.Attach(db_.get());
    recorder_.SetEnabled(true);
    recorder_.SetClock([this] { return now_; });
  }

  bool Frame(int camera, size_t size, bool key = true) {
    const std::vector<uint8_t> frame = MakeFrame(camera, sequence_++, size);
    return recorder_.RecordFrame(camera, frame.data(), frame.size(), key);
  }

  FileTables TablesOf(const std::string& path) {
    ArchiveFile file;
    FileTables tables;
    EXPECT_TRUE(file.Open(path, ArchiveFile::Access::kReadOnly));
    EXPECT_TRUE(file.ReadTables(&tables));
    return tables;
  }

  std::string data_;
  std::string folder_;
  std::unique_ptr<ArchiveDatabase> db_;
  ArchiveRecorder recorder_;
  uint64_t now_ = kBase;
  uint32_t sequence_ = 0;
};

// ---- Writing records

TEST_F(ArchiveRecorderTest, FirstRecordInResetFile) {
  MakeArchive(2);
  ASSERT_TRUE(Frame(3, 1000));
  EXPECT_TRUE(recorder_.LastWriteOk());
  EXPECT_TRUE(recorder_.IsIndicatorOn());
  const std::string path = db_->Files()[0].path;
  const FileTables t = TablesOf(path);
  EXPECT_EQ(t.header.firstTime, kBase);
  EXPECT_EQ(t.header.lastTime, kBase);
  EXPECT_EQ(t.header.recordCount, 1u);
  EXPECT_EQ(t.header.cameraMask, 1u << 3);
  const uint64_t record = kDataStart + kSummaryChunkSize;
  EXPECT_EQ(t.last.lastRecordOffsetAny, record);
  EXPECT_EQ(t.first.firstRecordOffset[3], record);
  for (int level = 0; level < kSummaryLevels; ++level) {
    EXPECT_EQ(t.first.firstBlockOffset[level], kDataStart + kSummaryBlockSize * level);
  }
  ArchiveFile file;
  ASSERT_TRUE(file.Open(path, ArchiveFile::Access::kReadOnly));
  uint64_t append = 0;
  ASSERT_TRUE(file.AppendPosition(t.last, &append));
  EXPECT_EQ(append, kDataStart + kSummaryChunkSize + kRecordHeaderSize + 1000);
  IndexEntry entry;
  ASSERT_TRUE(file.ReadIndexEntry(0, 1, &entry));
  EXPECT_EQ(entry.time, kBase);
  EXPECT_EQ(entry.offset, record);
  uint8_t raw[kIndexEntrySize];
  ASSERT_TRUE(file.ReadAt(file.Length() - 17, raw, sizeof raw));
  EXPECT_EQ(GetU64(raw), kBase);
  EXPECT_EQ(db_->Files()[0].firstTime, kBase);
  EXPECT_EQ(db_->Latest(), kBase);
}

TEST_F(ArchiveRecorderTest, EqualClockValuesGetIncreasingTimes) {
  MakeArchive(2);
  ASSERT_TRUE(Frame(0, 100));
  ASSERT_TRUE(Frame(1, 100));
  now_ -= 5;  // a clock stepping back changes nothing either
  ASSERT_TRUE(Frame(0, 100));
  const Walk walk = WalkAll(*db_);
  ASSERT_EQ(walk.headers.size(), 3u);
  EXPECT_EQ(walk.headers[0].time, kBase);
  EXPECT_EQ(walk.headers[1].time, kBase + 1);
  EXPECT_EQ(walk.headers[2].time, kBase + 2);
  EXPECT_EQ(walk.headers[2].lastRecordTime[1], kBase + 1);
}

TEST_F(ArchiveRecorderTest, RecordsReadBackByteExactWithLinksAndKeyTimes) {
  MakeArchive(2);
  for (int i = 0; i < 40; ++i) {
    now_ += 1000;
    ASSERT_TRUE(Frame(i % 4, 200 + i, i % 8 < 4));
  }
  const Walk walk = WalkAll(*db_);
  ASSERT_EQ(walk.headers.size(), 40u);
  uint64_t keyTime[4] = {};
  for (size_t i = 0; i < walk.headers.size(); ++i) {
    const RecordHeader& h = walk.headers[i];
    EXPECT_TRUE(CheckFrame(walk.payloads[i], h)) << i;
    EXPECT_EQ(GetU32(walk.payloads[i].data() + 4), i);
    if (h.type == 1) keyTime[h.camera] = h.time;
    EXPECT_EQ(h.keyTime, keyTime[h.camera]) << i;
  }
}

TEST_F(ArchiveRecorderTest, SwitchRecordingWritesEventsPerCamera) {
  MakeArchive(2);
  recorder_.SetEnabled(false);
  ASSERT_TRUE(recorder_.SwitchRecording(true, 4));
  EXPECT_TRUE(recorder_.IsEnabled());
  ASSERT_TRUE(Frame(2, 100));
  ASSERT_TRUE(recorder_.SwitchRecording(false, 4));
  EXPECT_FALSE(recorder_.IsEnabled());
  EXPECT_FALSE(Frame(2, 100));
  const Walk walk = WalkAll(*db_);
  ASSERT_EQ(walk.headers.size(), 9u);
  for (size_t i : {0u, 1u, 2u, 3u, 5u, 6u, 7u, 8u}) {
    const RecordHeader& h = walk.headers[i];
    ASSERT_EQ(h.type, 3);
    ASSERT_EQ(h.payloadSize, static_cast<int32_t>(kEventPayloadSize));
    const EventPayload e = EventPayload::Decode(walk.payloads[i].data());
    EXPECT_EQ(e.flag, 1u);
    EXPECT_EQ(e.text, i < 4 ? "Recording enabled" : "Recording disabled");
    EXPECT_EQ(e.lastSetEventTime[h.camera], h.time);
    EXPECT_EQ(h.lastEventTime, h.time);
  }
  EXPECT_EQ(walk.headers[4].lastEventTime, walk.headers[3].time);
  uint32_t cams[1], clears[1], sets[1];
  ArchiveReader reader(db_.get());
  reader.Activity(kBase - kSlot0, kBase + kSlot0, cams, clears, sets);
  EXPECT_EQ(sets[0], 0xFu);
}

TEST_F(ArchiveRecorderTest, EventTextIsCutAt99Characters) {
  MakeArchive(2);
  ASSERT_TRUE(recorder_.RecordEvent(0, 0, std::string(150, 'x')));
  const Walk walk = WalkAll(*db_);
  ASSERT_EQ(walk.headers.size(), 1u);
  const EventPayload e = EventPayload::Decode(walk.payloads[0].data());
  EXPECT_EQ(e.text, std::string(99, 'x'));
  EXPECT_EQ(e.lastClearEventTime[0], walk.headers[0].time);
}

TEST_F(ArchiveRecorderTest, DroppedWhenDisabledStoppedOrDetached) {
  MakeArchive(2);
  recorder_.SetEnabled(false);
  EXPECT_FALSE(Frame(0, 10));
  EXPECT_FALSE(recorder_.IsIndicatorOn());
  recorder_.SetEnabled(true);
  db_->Close();
  EXPECT_FALSE(Frame(0, 10));
  EXPECT_FALSE(recorder_.IsIndicatorOn());
  ASSERT_TRUE(db_->Open(false));
  EXPECT_TRUE(Frame(0, 10));
  recorder_.Detach();
  EXPECT_FALSE(Frame(0, 10));
  EXPECT_FALSE(recorder_.IsIndicatorOn());
  // Refused arguments.
  recorder_.Attach(db_.get());
  EXPECT_FALSE(Frame(kCameraSlots, 10));
  EXPECT_FALSE(recorder_.WriteRecord(RecordType::kEvent, 0, now_, "x", 1));
}

TEST_F(ArchiveRecorderTest, ReopenContinuesFromTheFile) {
  MakeArchive(2);
  ASSERT_TRUE(Frame(0, 100));
  ASSERT_TRUE(Frame(1, 100));
  db_->Close();
  ASSERT_TRUE(db_->Open(false));
  ArchiveRecorder second;
  second.Attach(db_.get());
  second.SetEnabled(true);
  second.SetClock([] { return kBase; });
  recorder_.Detach();
  const std::vector<uint8_t> frame = MakeFrame(0, sequence_++, 100);
  ASSERT_TRUE(second.RecordFrame(0, frame.data(), frame.size(), false));
  second.Detach();
  const Walk walk = WalkAll(*db_);
  ASSERT_EQ(walk.headers.size(), 3u);
  EXPECT_EQ(walk.headers[2].time, kBase + 2);
  EXPECT_EQ(walk.headers[2].keyTime, kBase);
  for (size_t i = 0; i < 3; ++i) EXPECT_TRUE(CheckFrame(walk.payloads[i], walk.headers[i]));
}

// ---- Summary blocks

TEST_F(ArchiveRecorderTest, The1001stSummaryBlockStartsANewChunk) {
  MakeArchive(2);
  // The first record takes 16 blocks; then each step of one level-0 slot takes one block per level
  // whose slot changes.
  int blocks = 0;
  uint64_t previous = 0;
  int records = 0;
  while (blocks < 1001) {
    for (int level = 0; level < kSummaryLevels; ++level) {
      if (previous == 0 || SlotStart(now_, level) != SlotStart(previous, level)) ++blocks;
    }
    ASSERT_TRUE(Frame(records % 2, 16));
    ++records;
    previous = now_;
    now_ += kSlot0;
  }
  ASSERT_TRUE(Frame(0, 16));
  const FileTables t = TablesOf(db_->Files()[0].path);
  ArchiveFile file;
  ASSERT_TRUE(file.Open(db_->Files()[0].path, ArchiveFile::Access::kReadOnly));
  // Collect every block of every level; the first 1000 fill the first chunk.
  std::vector<uint64_t> offsets;
  for (int level = 0; level < kSummaryLevels; ++level) {
    for (uint64_t at = t.first.firstBlockOffset[level]; at != 0;) {
      SummaryBlock b;
      ASSERT_TRUE(file.ReadSummaryBlock(at, &b));
      offsets.push_back(at);
      at = b.next;
    }
  }
  std::sort(offsets.begin(), offsets.end());
  ASSERT_GE(offsets.size(), 1001u);
  for (size_t i = 0; i < 1000; ++i) ASSERT_EQ(offsets[i], kDataStart + kSummaryBlockSize * i) << i;
  // The 1001st starts a chunk at the append position: right after the record before it, and the
  // record that needed it lies right after the chunk.
  SummaryBlock b;
  ASSERT_TRUE(file.ReadSummaryBlock(offsets[1000], &b));
  EXPECT_EQ(b.sequence, 0u);
  bool before = false, after = false;
  for (uint64_t at = t.first.firstRecordOffset[0] < t.first.firstRecordOffset[1] ? t.first.firstRecordOffset[0]
                                                                                 : t.first.firstRecordOffset[1];
       at != 0;) {
    RecordHeader h;
    ASSERT_TRUE(file.ReadRecordHeader(at, &h));
    if (at + kRecordHeaderSize + static_cast<uint64_t>(h.payloadSize) == offsets[1000]) before = true;
    if (at == offsets[1000] + kSummaryChunkSize) after = true;
    at = h.nextRecord;
  }
  EXPECT_TRUE(before);
  EXPECT_TRUE(after);
  EXPECT_EQ(WalkAll(*db_).headers.size(), static_cast<size_t>(records + 1));
}

// ---- Moving through the ring

TEST_F(ArchiveRecorderTest, DeltaFrameKeyTimeFromThePreviousFile) {
  MakeArchive(3);
  ASSERT_TRUE(Frame(5, 100, true));
  const uint64_t keyTime = kBase;
  int frames = 0;
  while (db_->CurrentRecordIndex() == 0) {
    now_ += 10;
    ASSERT_TRUE(Frame(5, 30000, false));
    ASSERT_LT(++frames, 100);
  }
  const FileTables t = TablesOf(db_->Files()[1].path);
  ASSERT_EQ(t.header.recordCount, 1u);
  ArchiveFile file;
  ASSERT_TRUE(file.Open(db_->Files()[1].path, ArchiveFile::Access::kReadOnly));
  RecordHeader h;
  ASSERT_TRUE(file.ReadRecordHeader(t.last.lastRecordOffsetAny, &h));
  EXPECT_EQ(h.type, 2);
  EXPECT_EQ(h.keyTime, keyTime);
  EXPECT_EQ(h.lastRecordTime[5], h.time);
  EXPECT_EQ(t.last.lastKeyTime[5], keyTime);
  EXPECT_EQ(t.header.firstTime, h.time);
  const Walk walk = WalkAll(*db_);
  ASSERT_EQ(walk.headers.size(), static_cast<size_t>(frames + 1));
  for (size_t i = 1; i < walk.headers.size(); ++i) {
    EXPECT_GT(walk.headers[i].time, walk.headers[i - 1].time);
    EXPECT_TRUE(CheckFrame(walk.payloads[i], walk.headers[i]));
  }
}

TEST_F(ArchiveRecorderTest, RingWrapMovesOldestFileToTheEndAndReadersStay) {
  MakeArchive(3);
  const std::vector<ArchiveFileInfo> before = db_->Files();
  // Fill the first two files and part of the third.
  while (db_->CurrentRecordIndex() < 2) {
    now_ += 10;
    ASSERT_TRUE(Frame(sequence_ % 3, 30000));
  }
  ASSERT_TRUE(Frame(0, 30000));
  // A reader in the second file, another in the third.
  ArchiveReader second(db_.get()), third(db_.get());
  RecordHeader h2, h3;
  ASSERT_TRUE(second.Seek(db_->Files()[1].firstTime, &h2));
  ASSERT_TRUE(third.Seek(db_->Files()[2].firstTime, &h3));
  const std::string path2 = db_->Files()[1].path, path3 = db_->Files()[2].path;
  while (db_->Files().back().path != before[0].path) {
    now_ += 10;
    ASSERT_TRUE(Frame(sequence_ % 3, 30000));
  }
  const std::vector<ArchiveFileInfo> after = db_->Files();
  EXPECT_EQ(after[0].path, path2);
  EXPECT_EQ(after[1].path, path3);
  EXPECT_EQ(after[2].path, before[0].path);
  EXPECT_EQ(db_->CurrentRecordIndex(), 2);
  // The readers read on in the files they were in.
  std::vector<uint8_t> payload;
  RecordHeader h;
  ASSERT_TRUE(second.ReadRecord(&payload, &h, false));
  EXPECT_EQ(h.time, h2.time);
  EXPECT_TRUE(CheckFrame(payload, h));
  ASSERT_TRUE(third.ReadRecord(&payload, &h, false));
  EXPECT_EQ(h.time, h3.time);
  EXPECT_TRUE(CheckFrame(payload, h));
  // The whole archive walks in time order into the reused file.
  const Walk walk = WalkAll(*db_);
  ASSERT_GT(walk.headers.size(), 2u);
  EXPECT_EQ(walk.headers.front().time, after[0].firstTime);
  EXPECT_EQ(walk.headers.back().time, recorder_.LastWrittenTime());
  for (size_t i = 1; i < walk.headers.size(); ++i) {
    ASSERT_GT(walk.headers[i].time, walk.headers[i - 1].time);
    ASSERT_TRUE(CheckFrame(walk.payloads[i], walk.headers[i]));
  }
}

TEST_F(ArchiveRecorderTest, OneFileArchiveStopsWhenFull) {
  MakeArchive(1);
  int written = 0;
  while (Frame(0, 30000)) ++written;
  EXPECT_GT(written, 20);
  EXPECT_FALSE(recorder_.LastWriteOk());
  EXPECT_FALSE(recorder_.IsIndicatorOn());
  EXPECT_NE(recorder_.MessageLog().Summary().find("Archive file already full !"), std::string::npos);
  EXPECT_EQ(WalkAll(*db_).headers.size(), static_cast<size_t>(written));
  EXPECT_TRUE(Frame(0, 10));  // a small one still fits
}

TEST_F(ArchiveRecorderTest, RecordLargerThanAnEmptyFileIsRefusedWithoutMovingTheRing) {
  MakeArchive(2);
  while (db_->CurrentRecordIndex() < 1) {
    now_ += 10;
    ASSERT_TRUE(Frame(0, 30000));
  }
  const std::vector<ArchiveFileInfo> before = db_->Files();
  const size_t records = WalkAll(*db_).headers.size();
  // Every attempt is refused where it stands: none resets the oldest file to make room in vain.
  for (int attempt = 0; attempt < 3; ++attempt) {
    EXPECT_FALSE(Frame(1, kMiB));
    EXPECT_EQ(db_->CurrentRecordIndex(), 1);
    EXPECT_NE(recorder_.MessageLog().Summary().find("record larger than an empty archive file"), std::string::npos);
  }
  EXPECT_EQ(db_->Files()[0].path, before[0].path);
  EXPECT_EQ(db_->Files()[0].firstTime, before[0].firstTime);
  EXPECT_EQ(WalkAll(*db_).headers.size(), records);
  EXPECT_TRUE(Frame(1, 10));
  EXPECT_TRUE(recorder_.LastWriteOk());
}

TEST_F(ArchiveRecorderTest, ReadersNeverReadAClosedOrRebuiltArchive) {
  MakeArchive(2);
  for (int i = 0; i < 20; ++i) {
    now_ += 10;
    ASSERT_TRUE(Frame(i % 2, 1000));
  }
  ArchiveReader reader(db_.get());
  RecordHeader h;
  std::vector<uint8_t> payload;
  ASSERT_TRUE(reader.Seek(kBase + 50, &h));
  ASSERT_TRUE(reader.ReadRecord(&payload, &h, false));

  // The operator rebuilds the location with another file size: every file is deleted and made anew.
  db_->Close();
  ASSERT_TRUE(db_->UpdateLocation(0, 4 * kMiB, 2 * kMiB, 0));
  std::vector<ArchiveFileInfo> remove, create;
  ASSERT_TRUE(db_->PlanLocation(0, &remove, &create));
  ASSERT_EQ(remove.size(), 2u);
  ASSERT_TRUE(db_->ApplyLocation(0, remove, create, {}, {}, true));
  // No descriptor keeps a deleted file (and its space) alive.
  for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    const std::string target = std::filesystem::read_symlink(fd.path(), error).string();
    EXPECT_FALSE(target.starts_with(folder_) && target.ends_with("(deleted)")) << target;
  }
  EXPECT_FALSE(reader.Seek(kBase + 50, &h)) << "read from the closed archive";
  EXPECT_FALSE(reader.ReadRecord(&payload, &h, false));

  ASSERT_TRUE(db_->Open(false));
  EXPECT_FALSE(reader.Seek(kBase + 50, &h)) << "the new files are empty";
  now_ += 10;
  ASSERT_TRUE(Frame(0, 1000));
  ASSERT_TRUE(reader.Seek(now_, &h));
  EXPECT_EQ(h.time, now_);
}

// The timeline asks the database while the network thread records: the database's own reader
// takes its lock and then the database's, the recorder its own and then the database's.
TEST_F(ArchiveRecorderTest, DatabaseActivityAnswersWhileRecordingAndIsEmptyWhenClosed) {
  MakeArchive(3);
  // Camera c has one frame in the middle of level-0 slot c.
  for (int c = 0; c < 3; ++c) {
    now_ = kBase + c * kSlot0 + kSlot0 / 2;
    ASSERT_TRUE(Frame(c, 1000));
  }
  const std::vector<uint32_t> expected = {1, 2, 4};
  std::vector<uint32_t> cams(3), clears(3), sets(3);
  db_->Activity(kBase, kBase + 3 * kSlot0, cams, clears, sets);
  EXPECT_EQ(cams, expected);

  // Camera 3 records into slot 3 meanwhile; the first three slots read the same all along.
  constexpr int kFrames = 400;
  std::thread writer([this] {
    now_ = kBase + 3 * kSlot0 + kSlot0 / 2;
    for (int i = 0; i < kFrames; ++i) {
      now_ += 10;
      EXPECT_TRUE(Frame(3, 1000));
    }
  });
  for (int i = 0; i < 200; ++i) {
    std::fill(cams.begin(), cams.end(), 0xFFFFFFFFu);
    db_->Activity(kBase, kBase + 3 * kSlot0, cams, clears, sets);
    ASSERT_EQ(cams, expected) << "round " << i;
  }
  writer.join();
  std::vector<uint32_t> four(4), clears4(4), sets4(4);
  db_->Activity(kBase, kBase + 4 * kSlot0, four, clears4, sets4);
  EXPECT_EQ(four, (std::vector<uint32_t>{1, 2, 4, 8}));

  db_->Close();
  std::fill(cams.begin(), cams.end(), 0xFFFFFFFFu);
  std::fill(sets.begin(), sets.end(), 0xFFFFFFFFu);
  db_->Activity(kBase, kBase + 3 * kSlot0, cams, clears, sets);
  EXPECT_EQ(cams, (std::vector<uint32_t>(3, 0)));
  EXPECT_EQ(sets, (std::vector<uint32_t>(3, 0)));
  ASSERT_TRUE(db_->Open(false));
  db_->Activity(kBase, kBase + 3 * kSlot0, cams, clears, sets);
  EXPECT_EQ(cams, expected);
}

// ---- Failing writes

TEST_F(ArchiveRecorderTest, FailingWritesKeepEarlierRecords) {
  MakeArchive(2);
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(Frame(i % 2, 5000));
  // Fail the n-th write of a record, for every n the record makes; then recover.
  for (int failAt = 0; failAt < 8; ++failAt) {
    int count = 0;
    recorder_.SetWriteFault([&count, failAt](uint64_t, size_t) { return count++ == failAt ? ENOSPC : 0; });
    now_ += kSlot0 * (failAt + 1);  // a new summary slot: a record of several writes
    const bool ok = Frame(failAt % 3, 5000);
    if (count <= failAt) {
      EXPECT_TRUE(ok);
      continue;
    }
    EXPECT_FALSE(ok) << failAt;
    EXPECT_FALSE(recorder_.LastWriteOk());
    EXPECT_FALSE(recorder_.IsIndicatorOn());
    EXPECT_NE(recorder_.MessageLog().Summary().find("Record to " + db_->Files()[0].path + " : " +
                                                    std::strerror(ENOSPC)),
              std::string::npos);
    const Walk walk = WalkAll(*db_);
    for (size_t i = 0; i < walk.headers.size(); ++i) ASSERT_TRUE(CheckFrame(walk.payloads[i], walk.headers[i]));
    recorder_.SetWriteFault({});
  }
  const size_t before = WalkAll(*db_).headers.size();
  ASSERT_TRUE(Frame(0, 5000));
  EXPECT_TRUE(recorder_.LastWriteOk());
  const Walk walk = WalkAll(*db_);
  ASSERT_EQ(walk.headers.size(), before + 1);
  for (size_t i = 0; i < walk.headers.size(); ++i) {
    EXPECT_TRUE(CheckFrame(walk.payloads[i], walk.headers[i]));
    if (i > 0) {
      EXPECT_GT(walk.headers[i].time, walk.headers[i - 1].time);
    }
  }
}

// A process killed between any two writes of an append, of every shape of append: the file
// verifies as it stands, readers see exactly the records its tables describe, and the next
// process's first record repairs the tail, so the file still verifies after it.
TEST_F(ArchiveRecorderTest, KilledBetweenAnyTwoWritesLeavesAFileThatVerifiesAndReadsAsDescribed) {
  struct Append {
    uint64_t after;  // time after the first record
    int camera;
    bool event;
  };
  const Append appends[] = {
      {10, 3, false},           // a camera new in every slot: its bit OR-ed into each level
      {kSlot0 * 33, 1, false},  // new blocks in six levels
      {kSlot0, 2, true},        // a new level-0 block, set-event bits OR-ed above it
  };
  uint64_t round = 0;
  for (const Append& append : appends) {
    for (int killAt = 0;; ++killAt) {
      SCOPED_TRACE("append at +" + std::to_string(append.after) + ", killed after " + std::to_string(killAt) +
                   " writes");
      TearDown();
      SetUp();
      MakeArchive(2);
      // The recorder keeps its times increasing: each round starts in a slot of its own in every level.
      const uint64_t base = kBase + (++round << 39);
      now_ = base;
      const std::string path = db_->Files()[0].path;
      ASSERT_TRUE(recorder_.RecordEvent(0, 1, "Recording enabled"));
      for (int camera : {1, 2, 0}) {
        ++now_;
        ASSERT_TRUE(Frame(camera, 3000, camera != 0));
      }
      // Everything from the killAt-th write on is lost, the writes of the recorder's own repair
      // after the failure too: the file is left as a kill leaves it.
      int writes = 0;
      recorder_.SetWriteFault([&writes, killAt](uint64_t, size_t) { return writes++ >= killAt ? EIO : 0; });
      now_ = base + append.after;
      const bool written = append.event ? recorder_.RecordEvent(append.camera, 1, "Event") : Frame(append.camera, 3000);
      recorder_.SetWriteFault({});
      const uint32_t described = TablesOf(path).header.recordCount;
      std::vector<ArchiveViolation> violations = ArchiveVerifier::VerifyFile(path);
      EXPECT_TRUE(violations.empty()) << violations.front().offset << ": " << violations.front().problem;
      if (written) {
        EXPECT_EQ(described, 5u);
        break;
      }
      EXPECT_EQ(WalkAll(*db_).headers.size(), described);
      ArchiveReader reader(db_.get());
      RecordHeader h;
      size_t ofCamera = 0;
      std::vector<uint8_t> payload;
      if (reader.SeekCamera(append.camera, base, &h)) {
        while (reader.ReadRecord(&payload, &h, true)) ++ofCamera;
      }
      EXPECT_EQ(ofCamera, append.camera == 3 ? 0u : 1u + (append.camera == 0 ? 1u : 0u));

      now_ = base + kSlot0 * 100;
      ASSERT_TRUE(Frame(4, 3000));
      violations = ArchiveVerifier::VerifyFile(path);
      EXPECT_TRUE(violations.empty()) << violations.front().offset << ": " << violations.front().problem;
      EXPECT_EQ(WalkAll(*db_).headers.size(), described + 1);
    }
  }
}

TEST_F(ArchiveRecorderTest, RecorderAndOperatorKeepTheirMessagesApart) {
  MakeArchive(2);
  ASSERT_TRUE(Frame(0, 100));
  // An operator's archive operation fails: its error waits in the database's log for the window,
  // while frames keep arriving; one even lands in the middle of a write.
  EXPECT_EQ(db_->AddLocation(data_ + "/other", kMiB, kMiB, 0), -1);
  ASSERT_EQ(db_->MessageLog().Errors(), 1);
  recorder_.SetWriteFault([this](uint64_t, size_t) {
    db_->MessageLog().Add("an operator's operation", true);
    return 0;
  });
  ASSERT_TRUE(Frame(1, 100));
  recorder_.SetWriteFault({});
  ASSERT_TRUE(Frame(2, 100));
  EXPECT_NE(db_->MessageLog().Summary().find("Not permited database modification !"), std::string::npos);
  EXPECT_TRUE(recorder_.LastWriteOk()) << "the operator's errors are not the recorder's";
  EXPECT_TRUE(recorder_.IsIndicatorOn());
  EXPECT_EQ(recorder_.MessageLog().Count(), 0);

  // And the recorder's failure stays in its own log.
  const int operatorMessages = db_->MessageLog().Count();
  recorder_.SetWriteFault([](uint64_t, size_t) { return EIO; });
  EXPECT_FALSE(Frame(3, 100));
  EXPECT_FALSE(recorder_.IsIndicatorOn());
  EXPECT_EQ(recorder_.MessageLog().Errors(), 1);
  EXPECT_EQ(db_->MessageLog().Count(), operatorMessages);
}

TEST_F(ArchiveRecorderTest, FullDiskFromSomeOffsetOn) {
  MakeArchive(2);
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(Frame(0, 5000));
  // Everything past 200 KiB fails: records stop, the index at the end of the file too.
  recorder_.SetWriteFault([](uint64_t offset, size_t n) { return offset + n > 200 * 1024 ? ENOSPC : 0; });
  int failed = 0;
  for (int i = 0; i < 60; ++i) failed += Frame(i % 3, 5000) ? 0 : 1;
  EXPECT_EQ(failed, 60);
  EXPECT_FALSE(recorder_.LastWriteOk());
  const Walk walk = WalkAll(*db_);
  ASSERT_EQ(walk.headers.size(), 5u);
  for (size_t i = 0; i < walk.headers.size(); ++i) EXPECT_TRUE(CheckFrame(walk.payloads[i], walk.headers[i]));
}

// ---- Crashes

// Records frames of varying sizes and cameras until killed; never returns.
[[noreturn]] void RecordUntilKilled(const std::string& data, const std::string& folder, uint32_t firstSequence) {
  ArchiveDatabase db(data);
  db.MarkLocationDeleted(0);
  db.ApplyLocation(0, {}, {}, {}, {}, true);
  db.AddLocation(folder, 3 * kMiB, kMiB, 0);
  if (!db.Open(false)) ::_exit(2);
  ArchiveRecorder recorder;
  recorder.Attach(&db);
  recorder.SetEnabled(true);
  std::mt19937 random(firstSequence);
  for (uint32_t sequence = firstSequence;; ++sequence) {
    const int camera = static_cast<int>(random() % 16);
    if (sequence % 50 == 0) {
      recorder.RecordEvent(camera, sequence % 2, "Recording enabled");
      continue;
    }
    const std::vector<uint8_t> frame = MakeFrame(camera, sequence, 16 + random() % 40000);
    if (!recorder.RecordFrame(camera, frame.data(), frame.size(), sequence % 7 == 0)) ::_exit(3);
  }
}

TEST_F(ArchiveRecorderTest, KilledAtRandomMomentsLosesNothingWritten) {
  MakeArchive(3);
  recorder_.Detach();
  db_->Close();
  std::mt19937 random(20261207);
  size_t previousCount = 0;
  for (int round = 0; round < 12; ++round) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) RecordUntilKilled(data_, folder_, static_cast<uint32_t>(round) * 1000000);
    std::this_thread::sleep_for(std::chrono::microseconds(2000 + random() % 150000));
    ASSERT_EQ(::kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "child exited with " << WEXITSTATUS(status);

    std::unique_ptr<ArchiveDatabase> db = ArchiveDatabase::ForFolder(folder_, data_);
    ASSERT_TRUE(db->IsOpen());
    const Walk walk = WalkAll(*db);
    ASSERT_GT(walk.headers.size(), 0u) << "round " << round;
    for (size_t i = 0; i < walk.headers.size(); ++i) {
      const RecordHeader& h = walk.headers[i];
      if (i > 0) {
        ASSERT_GT(h.time, walk.headers[i - 1].time) << "round " << round << " record " << i;
      }
      if (h.type == 3) {
        ASSERT_EQ(EventPayload::Decode(walk.payloads[i].data()).text, "Recording enabled");
      } else {
        ASSERT_TRUE(CheckFrame(walk.payloads[i], h)) << "round " << round << " record " << i;
      }
    }
    // Every described record is reached; at most one more, complete but not yet described, when
    // the kill came between its links and its tables.
    size_t described = 0;
    for (const ArchiveFileInfo& f : db->Files()) {
      ArchiveFile file;
      FileHeader header;
      ASSERT_TRUE(file.Open(f.path, ArchiveFile::Access::kReadOnly));
      ASSERT_TRUE(file.ReadHeader(&header));
      described += header.recordCount;
    }
    EXPECT_TRUE(walk.headers.size() == described || walk.headers.size() == described + 1)
        << "round " << round << ": " << walk.headers.size() << " of " << described;
    previousCount = walk.headers.size();
  }
  EXPECT_GT(previousCount, 0u);
}

}  // namespace
}  // namespace strixc::archive
