#include "archive/archive_reader.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "archive/archive_time.h"
#include "archive/index_cache.h"
#include "memory_file_list.h"
#include "archive_test_writer.h"

namespace strixc::archive {
namespace {

using testing::TestArchiveWriter;

constexpr uint64_t kSecond = kUnitsPerSecond;
// A time aligned to the slots of every summary level, in 2024, so that slot starts are easy to
// predict.
constexpr uint64_t kBase = (uint64_t{1} << 38) * 485000;
constexpr uint64_t At(double seconds) { return kBase + static_cast<uint64_t>(seconds * kSecond); }

constexpr auto kKey = RecordType::kKeyFrame;
constexpr auto kDelta = RecordType::kDeltaFrame;
constexpr auto kEvent = RecordType::kEvent;

// A scratch folder of archive files written with TestArchiveWriter, and readers over them.
class ArchiveReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "archive_reader_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // A new file; carries the recorder's state over from the previous file when there is one.
  TestArchiveWriter& NewFile() {
    paths_.push_back(dir_ + "/" + ArchiveFileName(static_cast<int32_t>(paths_.size() + 1)));
    writers_.push_back(std::make_unique<TestArchiveWriter>(paths_.back(), kMinFileLength,
                                                           writers_.empty() ? nullptr : writers_.back().get()));
    return *writers_.back();
  }

  ArchiveReader& Reader() {
    if (!list_) list_ = std::make_unique<MemoryFileList>(paths_);
    if (!reader_) reader_ = std::make_unique<ArchiveReader>(list_.get(), [this](const std::string& p) { loaded_.push_back(p); });
    return *reader_;
  }

  // Forgets the reader and the file list, so that the next Reader() sees the files as they are now.
  void Reopen() {
    reader_.reset();
    list_.reset();
  }

  // Every record from the one at or before `from`, as (camera, time), stopping after `limit`
  // records so that a walk that would not end fails instead of hanging.
  std::vector<std::pair<int, uint64_t>> Walk(uint64_t from, bool sameCamera, size_t limit = 10000) {
    std::vector<std::pair<int, uint64_t>> out;
    RecordHeader h;
    if (!Reader().Seek(from, &h)) return out;
    std::vector<uint8_t> payload;
    while (out.size() < limit && Reader().ReadRecord(&payload, &h, sameCamera)) out.emplace_back(h.camera, h.time);
    return out;
  }

  void WriteBytes(const std::string& path, uint64_t offset, const std::vector<uint8_t>& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)), static_cast<ssize_t>(bytes.size()));
    ::close(fd);
  }
  std::vector<uint8_t> ReadBytes(const std::string& path, uint64_t offset, size_t n) {
    std::vector<uint8_t> bytes(n);
    const int fd = ::open(path.c_str(), O_RDONLY);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::pread(fd, bytes.data(), n, static_cast<off_t>(offset)), static_cast<ssize_t>(n));
    ::close(fd);
    return bytes;
  }
  void WriteU64(const std::string& path, uint64_t offset, uint64_t value) {
    std::vector<uint8_t> raw(8);
    PutU64(raw.data(), value);
    WriteBytes(path, offset, raw);
  }
  void WriteU32(const std::string& path, uint64_t offset, uint32_t value) {
    std::vector<uint8_t> raw(4);
    PutU32(raw.data(), value);
    WriteBytes(path, offset, raw);
  }

  std::string dir_;
  std::vector<std::string> paths_;
  std::vector<std::unique_ptr<TestArchiveWriter>> writers_;
  std::unique_ptr<MemoryFileList> list_;
  std::unique_ptr<ArchiveReader> reader_;
  std::vector<std::string> loaded_;
};

using Seq = std::vector<std::pair<int, uint64_t>>;

// ---- Seek

TEST_F(ArchiveReaderTest, SeekFindsTheRecordAtOrBeforeTime) {
  TestArchiveWriter& f = NewFile();
  for (int i = 0; i < 9; ++i) f.Append(kKey, i % 3, At(i));
  RecordHeader h;
  ASSERT_TRUE(Reader().Seek(At(4), &h));
  EXPECT_EQ(h.time, At(4));
  ASSERT_TRUE(Reader().Seek(At(4.5), &h));
  EXPECT_EQ(h.time, At(4));
  ASSERT_TRUE(Reader().Seek(At(100), &h));  // after the archive: its last record
  EXPECT_EQ(h.time, At(8));
  // A time outside the loaded file asks the list again, which here gives the same file.
  EXPECT_EQ(loaded_, (std::vector<std::string>{paths_[0], paths_[0]}));
}

TEST_F(ArchiveReaderTest, SeekBeforeTheArchiveLandsOnTheFirstRecordOfTheFirstFile) {
  NewFile().Append(kKey, 0, At(10));
  NewFile().Append(kKey, 0, At(20));
  RecordHeader h;
  ASSERT_TRUE(Reader().Seek(At(1), &h));
  EXPECT_EQ(h.time, At(10));
}

TEST_F(ArchiveReaderTest, SeekBetweenFilesLandsOnTheLastRecordOfTheEarlierFile) {
  TestArchiveWriter& a = NewFile();
  a.Append(kKey, 0, At(1));
  a.Append(kKey, 1, At(2));
  NewFile().Append(kKey, 0, At(10));
  RecordHeader h;
  ASSERT_TRUE(Reader().Seek(At(5), &h));
  EXPECT_EQ(h.time, At(2));
  ASSERT_TRUE(Reader().Seek(At(10), &h));
  EXPECT_EQ(h.time, At(10));
}

TEST_F(ArchiveReaderTest, EqualClockValuesAtAFileBoundaryKeepEveryRecordInOrder) {
  TestArchiveWriter& a = NewFile();
  a.Append(kKey, 0, At(1));
  a.Append(kKey, 1, At(2));
  NewFile().Append(kKey, 2, At(2));
  RecordHeader h;
  ASSERT_TRUE(Reader().Seek(At(2), &h));  // the newest file starting at that time
  EXPECT_EQ(h.camera, 2);
  EXPECT_EQ(Walk(At(1), false), (Seq{{0, At(1)}, {1, At(2)}, {2, At(2)}}));
}

TEST_F(ArchiveReaderTest, SeekFailsForTimeZeroAndAnEmptyArchive) {
  NewFile();
  RecordHeader h;
  h.time = 77;
  EXPECT_FALSE(Reader().Seek(At(1), &h));
  EXPECT_EQ(h.time, 77u);
  std::vector<uint8_t> payload;
  EXPECT_FALSE(Reader().ReadRecord(&payload, &h, false));
  NewFile().Append(kKey, 0, At(1));
  Reopen();
  EXPECT_FALSE(Reader().Seek(0, &h));
  EXPECT_TRUE(Reader().Seek(At(1), &h));
}

// ---- Walks

TEST_F(ArchiveReaderTest, WalkContinuesInTheNextFileAndEndsAtTheNewest) {
  TestArchiveWriter& a = NewFile();
  a.Append(kKey, 0, At(1));
  a.Append(kKey, 1, At(2));
  TestArchiveWriter& b = NewFile();
  b.Append(kKey, 1, At(3));
  b.Append(kDelta, 1, At(4));
  NewFile();  // empty: sorted last, never entered
  EXPECT_EQ(Walk(At(1), false), (Seq{{0, At(1)}, {1, At(2)}, {1, At(3)}, {1, At(4)}}));
  EXPECT_EQ(loaded_, (std::vector<std::string>{paths_[0], paths_[1]}));
}

TEST_F(ArchiveReaderTest, WalkOfOneCameraSkipsFilesWithoutIt) {
  TestArchiveWriter& a = NewFile();
  a.Append(kKey, 0, At(1));
  a.Append(kKey, 1, At(2));
  a.Append(kKey, 0, At(3));
  NewFile().Append(kKey, 1, At(4));
  TestArchiveWriter& c = NewFile();
  c.Append(kKey, 1, At(5));
  c.Append(kKey, 0, At(6));
  EXPECT_EQ(Walk(At(1), true), (Seq{{0, At(1)}, {0, At(3)}, {0, At(6)}}));
}

// An append not yet described by the header and tables (a recorder writing right now, or one that
// was killed): every walk stops at the last record the tables describe, and follows on once they
// describe the new one.
TEST_F(ArchiveReaderTest, WalksStopAtTheRecordsTheTablesDescribeAndFollowOnceTheyDo) {
  TestArchiveWriter& w = NewFile();
  w.Append(kKey, 0, At(1));
  w.Append(kKey, 1, At(2));
  w.Append(kKey, 0, At(3));
  const std::vector<uint8_t> before = ReadBytes(paths_[0], 0, kDataStart);
  w.Append(kDelta, 0, At(4));  // linked from At(3) in both chains
  const std::vector<uint8_t> after = ReadBytes(paths_[0], 0, kDataStart);
  WriteBytes(paths_[0], 0, before);

  EXPECT_EQ(Walk(At(1), false), (Seq{{0, At(1)}, {1, At(2)}, {0, At(3)}}));
  EXPECT_EQ(Walk(At(1), true), (Seq{{0, At(1)}, {0, At(3)}}));
  std::vector<RecordHeader> headers(2);
  const bool selected[2] = {true, true};
  ASSERT_TRUE(Reader().SeekCamera(0, At(3), &headers[0]));
  EXPECT_EQ(Reader().NextTimeAmongCameras(headers, selected), 0u);
  std::vector<uint8_t> payload;
  int camera = -1;
  EXPECT_FALSE(Reader().NextAmongCameras(headers, selected, &payload, &camera));

  // The append completes: the same reader, its tables read before, goes on to the new record.
  RecordHeader h;
  ASSERT_TRUE(Reader().Seek(At(3), &h));
  WriteBytes(paths_[0], 0, after);
  EXPECT_TRUE(Reader().ReadRecord(&payload, &h, false));
  ASSERT_TRUE(Reader().ReadRecord(&payload, &h, false));
  EXPECT_EQ(h.time, At(4));
}

TEST_F(ArchiveReaderTest, ReadRecordGivesThePayload) {
  NewFile().Append(kEvent, 3, At(1), 0, 1);
  RecordHeader h;
  std::vector<uint8_t> payload;
  ASSERT_TRUE(Reader().Seek(At(1), &h));
  ASSERT_TRUE(Reader().ReadRecord(&payload, &h, false));
  ASSERT_EQ(payload.size(), kEventPayloadSize);
  const EventPayload e = EventPayload::Decode(payload.data());
  EXPECT_EQ(e.text, "Recording enabled");
  EXPECT_EQ(e.lastSetEventTime[3], At(1));
  EXPECT_FALSE(Reader().ReadRecord(&payload, &h, false));
}

// ---- Camera positioning

TEST_F(ArchiveReaderTest, PrevRecordOfCameraUsesTheSnapshotAlsoAcrossFiles) {
  TestArchiveWriter& a = NewFile();
  a.Append(kKey, 0, At(1));
  a.Append(kKey, 1, At(2));
  a.Append(kKey, 0, At(3));
  NewFile().Append(kKey, 0, At(10));
  RecordHeader h;
  ASSERT_TRUE(Reader().PrevRecordOfCamera(0, At(2.5), &h));
  EXPECT_EQ(h.time, At(1));
  ASSERT_TRUE(Reader().PrevRecordOfCamera(1, At(11), &h));  // its record is in the earlier file
  EXPECT_EQ(h.time, At(2));
  EXPECT_FALSE(Reader().PrevRecordOfCamera(1, At(1.5), &h));
  EXPECT_FALSE(Reader().PrevRecordOfCamera(5, At(11), &h));
  EXPECT_FALSE(Reader().PrevRecordOfCamera(18, At(11), &h));
}

TEST_F(ArchiveReaderTest, SeekCameraFindsTheExactRecordOrTheNextOne) {
  TestArchiveWriter& a = NewFile();
  a.Append(kKey, 0, At(1));
  a.Append(kKey, 1, At(2));
  a.Append(kKey, 0, At(3));
  a.Append(kKey, 1, At(4));
  RecordHeader h;
  ASSERT_TRUE(Reader().SeekCamera(0, At(3), &h));
  EXPECT_EQ(h.time, At(3));
  ASSERT_TRUE(Reader().SeekCamera(1, At(2.5), &h));
  EXPECT_EQ(h.time, At(4));
  ASSERT_TRUE(Reader().SeekCamera(1, At(0.5), &h));  // before the archive
  EXPECT_EQ(h.time, At(2));
  EXPECT_FALSE(Reader().SeekCamera(0, At(3.5), &h));  // no later record of camera 0
  EXPECT_EQ(h.time, 0u);
  EXPECT_FALSE(Reader().SeekCamera(7, At(1), &h));
}

TEST_F(ArchiveReaderTest, SeekCameraFindsACameraOnlyInALaterFile) {
  NewFile().Append(kKey, 0, At(1));
  NewFile().Append(kKey, 0, At(2));
  TestArchiveWriter& c = NewFile();
  c.Append(kKey, 0, At(3));
  c.Append(kKey, 4, At(4));
  RecordHeader h;
  ASSERT_TRUE(Reader().SeekCamera(4, At(1), &h));
  EXPECT_EQ(h.time, At(4));
  std::vector<uint8_t> payload;
  ASSERT_TRUE(Reader().ReadRecord(&payload, &h, true));  // the position is on the record found
  EXPECT_EQ(h.time, At(4));
}

TEST_F(ArchiveReaderTest, SeekCameraNeverAnswersWithARecordBeforeTheTimeAfterARingReuse) {
  TestArchiveWriter& c = NewFile();
  c.Append(kKey, 0, At(0.2));
  c.Append(kKey, 2, At(0.5));
  NewFile().Append(kKey, 0, At(1));  // reused by the ring below: its record is gone
  TestArchiveWriter& b = NewFile();
  b.Append(kKey, 1, At(5));
  b.Append(kKey, 0, At(20));
  paths_.erase(paths_.begin() + 1);
  RecordHeader h;
  // Camera 0's latest time as of 5 s is 1 s, which no longer exists.
  ASSERT_TRUE(Reader().SeekCamera(0, At(10), &h));
  EXPECT_EQ(h.time, At(20));
}

TEST_F(ArchiveReaderTest, DeltaFrameFindsItsKeyFrameInThePreviousFile) {
  TestArchiveWriter& a = NewFile();
  a.Append(kKey, 2, At(1));
  a.Append(kDelta, 2, At(2));
  TestArchiveWriter& b = NewFile();
  b.Append(kDelta, 2, At(3));
  b.Append(kKey, 2, At(4));
  RecordHeader delta;
  ASSERT_TRUE(Reader().Seek(At(3), &delta));
  ASSERT_EQ(delta.type, static_cast<uint8_t>(kDelta));
  EXPECT_EQ(delta.keyTime, At(1));
  RecordHeader key;
  ASSERT_TRUE(Reader().SeekCamera(2, delta.keyTime, &key));
  EXPECT_EQ(key.time, At(1));
  EXPECT_EQ(key.type, static_cast<uint8_t>(kKey));
  // Decoding from the key frame on crosses back into the delta frame's file.
  std::vector<uint8_t> payload;
  RecordHeader h;
  std::vector<uint64_t> times;
  while (times.size() < 10 && Reader().ReadRecord(&payload, &h, true)) times.push_back(h.time);
  EXPECT_EQ(times, (std::vector<uint64_t>{At(1), At(2), At(3), At(4)}));
}

// ---- Several cameras

TEST_F(ArchiveReaderTest, NextAmongCamerasMergesTheSelectedCamerasAcrossFiles) {
  TestArchiveWriter& a = NewFile();
  a.Append(kKey, 0, At(1));
  a.Append(kKey, 2, At(2));
  a.Append(kKey, 1, At(3));
  a.Append(kKey, 2, At(4));
  a.Append(kKey, 0, At(5));
  TestArchiveWriter& b = NewFile();
  b.Append(kKey, 1, At(6));
  b.Append(kKey, 2, At(7));
  b.Append(kKey, 0, At(8));
  std::vector<RecordHeader> headers(3);
  const bool selected[3] = {true, false, true};
  ASSERT_TRUE(Reader().SeekCamera(0, At(1), &headers[0]));
  ASSERT_TRUE(Reader().SeekCamera(2, At(1), &headers[2]));
  EXPECT_EQ(Reader().NextTimeAmongCameras(headers, selected), At(4));
  std::vector<uint8_t> payload;
  Seq seen;
  int camera = -1;
  while (seen.size() < 20 && Reader().NextAmongCameras(headers, selected, &payload, &camera)) {
    seen.emplace_back(camera, headers[camera].time);
  }
  EXPECT_EQ(seen, (Seq{{2, At(4)}, {0, At(5)}, {2, At(7)}, {0, At(8)}}));
  EXPECT_EQ(Reader().NextTimeAmongCameras(headers, selected), 0u);
}

// Playing at the newest record while the recorder appends: the walk's copies of the headers were
// taken before their next records existed, and a camera may start in the file only now.
TEST_F(ArchiveReaderTest, WalkAmongCamerasFollowsRecordsAppendedSinceItsHeadersWereRead) {
  TestArchiveWriter& w = NewFile();
  w.Append(kKey, 0, At(1));
  w.Append(kKey, 1, At(2));
  std::vector<RecordHeader> headers(3);
  const bool selected[3] = {true, true, true};
  ASSERT_TRUE(Reader().SeekCamera(0, At(1), &headers[0]));
  ASSERT_TRUE(Reader().SeekCamera(1, At(2), &headers[1]));
  std::vector<uint8_t> payload;
  int camera = -1;
  EXPECT_FALSE(Reader().NextAmongCameras(headers, selected, &payload, &camera));
  w.Append(kDelta, 0, At(3));
  w.Append(kKey, 2, At(4));
  w.Append(kDelta, 1, At(5));
  Seq seen;
  while (seen.size() < 10 && Reader().NextAmongCameras(headers, selected, &payload, &camera)) {
    seen.emplace_back(camera, headers[camera].time);
  }
  EXPECT_EQ(seen, (Seq{{0, At(3)}, {2, At(4)}, {1, At(5)}}));
}

TEST_F(ArchiveReaderTest, NextTimeAmongCamerasLooksIntoTheNextFileLikeNextAmongCameras) {
  TestArchiveWriter& a = NewFile();
  a.Append(kKey, 0, At(1));
  a.Append(kKey, 1, At(2));
  NewFile().Append(kKey, 0, At(3));
  std::vector<RecordHeader> headers(2);
  const bool selected[2] = {true, true};
  ASSERT_TRUE(Reader().SeekCamera(0, At(1), &headers[0]));
  ASSERT_TRUE(Reader().SeekCamera(1, At(1), &headers[1]));
  EXPECT_EQ(Reader().NextTimeAmongCameras(headers, selected), At(3));
  std::vector<uint8_t> payload;
  int camera = -1;
  ASSERT_TRUE(Reader().NextAmongCameras(headers, selected, &payload, &camera));
  EXPECT_EQ(camera, 0);
  EXPECT_EQ(headers[0].time, At(3));
  EXPECT_EQ(Reader().NextTimeAmongCameras(headers, selected), 0u);
}

// An archive of five files in which camera 2 starts two files after the others, camera 3 stops
// after the second file, camera 1 leaves out the fourth, and clock values repeat across every
// boundary from the second on (another camera's, then the same camera's). Every record is kept in
// the order it was written, with its file and offset, as the truth the reader is compared with.
class CrossFileArchiveTest : public ArchiveReaderTest {
 protected:
  struct Record {
    size_t file;
    uint64_t offset;
    int camera;
    uint64_t time;
  };

  void SetUp() override {
    ArchiveReaderTest::SetUp();
    const std::vector<std::vector<std::pair<int, double>>> files = {
        {{0, 1}, {1, 2}, {3, 3}, {0, 4}, {1, 5}, {3, 6}, {0, 7}, {1, 8}},
        {{3, 9}, {0, 10}, {1, 11}, {3, 12}, {0, 13}},
        {{2, 13}, {0, 14}, {2, 15}, {1, 16}, {2, 17}},
        {{2, 17}, {0, 18}, {2, 19}, {0, 20}},
        {{1, 20}, {2, 21}, {0, 22}, {1, 23}},
    };
    for (size_t f = 0; f < files.size(); ++f) {
      TestArchiveWriter& w = NewFile();
      for (const auto& [camera, seconds] : files[f]) {
        const RecordType type = records_.size() % 3 == 0 ? kKey : kDelta;
        records_.push_back(Record{f, w.Append(type, camera, At(seconds)), camera, At(seconds)});
      }
    }
  }

  // The record as the file holds it now, every link filled in.
  RecordHeader HeaderOf(const Record& r) {
    ArchiveFile file;
    RecordHeader h;
    EXPECT_TRUE(file.Open(paths_[r.file], ArchiveFile::Access::kReadOnly));
    EXPECT_TRUE(file.ReadRecordHeader(r.offset, &h));
    return h;
  }
  // Which record of the truth `h` is (by its whole header); -1 for none.
  int IndexOf(const RecordHeader& h) {
    if (headers_.empty()) {
      for (const Record& r : records_) headers_.push_back(Bytes(HeaderOf(r)));
    }
    const auto at = std::find(headers_.begin(), headers_.end(), Bytes(h));
    return at == headers_.end() ? -1 : static_cast<int>(at - headers_.begin());
  }
  static std::vector<uint8_t> Bytes(const RecordHeader& h) {
    std::vector<uint8_t> out(kRecordHeaderSize);
    h.Encode(out.data());
    return out;
  }
  // Whether `h`, just found by the reader, is record `r`, and the reader is in r's file.
  ::testing::AssertionResult IsRecord(const RecordHeader& h, const Record& r) {
    const int index = IndexOf(h);
    if (index < 0 || &records_[index] != &r || loaded_.empty() || loaded_.back() != paths_[r.file]) {
      return ::testing::AssertionFailure() << "found record " << index << " instead of " << (&r - records_.data());
    }
    return ::testing::AssertionSuccess();
  }

  std::vector<std::vector<uint8_t>> headers_;
  std::vector<Record> records_;
};

TEST_F(CrossFileArchiveTest, ForwardWalksDeliverEveryRecordOfTheSelectedCamerasInOrder) {
  const std::vector<std::array<bool, 4>> choices = {
      {true, true, true, true}, {false, false, true, true}, {false, true, true, false},
      {false, false, false, true}, {false, false, true, false}, {true, false, false, false}};
  MemoryFileList list(paths_);
  for (const auto& selected : choices) {
    // From before the archive (nothing delivered yet), then from every record as the position.
    for (int p = -1; p < static_cast<int>(records_.size()); ++p) {
      // As playback holds them after a seek: each selected camera's latest record up to the position.
      std::vector<RecordHeader> headers(4);
      for (int k = 0; k <= p; ++k) {
        if (selected[records_[k].camera]) headers[records_[k].camera] = HeaderOf(records_[k]);
      }
      std::vector<int> expected;
      for (size_t k = p + 1; k < records_.size(); ++k) {
        if (selected[records_[k].camera]) expected.push_back(static_cast<int>(k));
      }
      ArchiveReader walker(&list);
      ArchiveReader lookahead(&list);  // another reader, as playback asks for the next time
      std::vector<int> seen;
      std::vector<uint8_t> payload;
      int camera = -1;
      for (;;) {
        const uint64_t nextTime = lookahead.NextTimeAmongCameras(headers, selected);
        if (seen.size() > records_.size() || !walker.NextAmongCameras(headers, selected, &payload, &camera)) {
          EXPECT_EQ(nextTime, 0u);
          break;
        }
        EXPECT_EQ(nextTime, headers[camera].time);
        seen.push_back(IndexOf(headers[camera]));
      }
      EXPECT_EQ(seen, expected) << "from record " << p << ", cameras " << selected[0] << selected[1]
                                << selected[2] << selected[3];
    }
  }
}

TEST_F(CrossFileArchiveTest, CameraPositioningFindsTheRightRecordAtSharedClockValues) {
  for (const Record& at : records_) {
    for (const uint64_t t : {at.time - 1, at.time}) {
      for (int c = 0; c < 4; ++c) {
        // The truth: the camera's record written last at or before t; the one exactly at t (the
        // last written of several) or else its first after t.
        const Record* prev = nullptr;
        const Record* seek = nullptr;
        for (const Record& r : records_) {
          if (r.camera != c) continue;
          if (r.time <= t) prev = &r;
          if (r.time == t || (r.time > t && seek == nullptr)) seek = &r;
        }
        RecordHeader h;
        SCOPED_TRACE(::testing::Message() << "camera " << c << " at " << (t - kBase) / kSecond);
        ASSERT_EQ(Reader().PrevRecordOfCamera(c, t, &h), prev != nullptr);
        if (prev != nullptr) EXPECT_TRUE(IsRecord(h, *prev));
        ASSERT_EQ(Reader().SeekCamera(c, t, &h), seek != nullptr);
        if (seek != nullptr) EXPECT_TRUE(IsRecord(h, *seek));
      }
    }
  }
}

// ---- Activity

TEST_F(ArchiveReaderTest, SummaryLevelFollowsTheBinWidth) {
  EXPECT_EQ(ArchiveReader::SummaryLevelFor(At(0), At(60), 10), 2);  // 6 s bins, 3.36 s slots
  EXPECT_EQ(ArchiveReader::SummaryLevelFor(At(0), At(10), 100), -1);
  EXPECT_EQ(ArchiveReader::SummaryLevelFor(0, uint64_t{1} << 23, 1), -1);
  EXPECT_EQ(ArchiveReader::SummaryLevelFor(0, (uint64_t{1} << 23) + 1, 1), 0);
  EXPECT_EQ(ArchiveReader::SummaryLevelFor(0, ~uint64_t{0}, 1), 15);
  EXPECT_EQ(ArchiveReader::SummaryLevelFor(5, 5, 1), -1);
}

TEST_F(ArchiveReaderTest, ActivityOfTenBinsOverAMinuteComesFromTheSummaryBlocks) {
  TestArchiveWriter& a = NewFile();
  a.Append(kKey, 0, At(1));
  a.Append(kKey, 1, At(31));
  NewFile().Append(kEvent, 2, At(50), 0, 1);  // a set-event, in the next file
  NewFile().Append(kEvent, 3, At(70), 0, 0);  // after the range
  std::vector<uint32_t> cams(10), clears(10), sets(10);
  Reader().Activity(At(0), At(60), cams, clears, sets);
  // Slots of 2^25 units (3.36 s) at 0, 30.2 and 47.0 s: bins 0, 5, and 7 and 8, which the last
  // slot crosses.
  EXPECT_EQ(cams, (std::vector<uint32_t>{1, 0, 0, 0, 0, 2, 0, 4, 4, 0}));
  EXPECT_EQ(sets, (std::vector<uint32_t>{0, 0, 0, 0, 0, 0, 0, 4, 4, 0}));
  EXPECT_EQ(clears, std::vector<uint32_t>(10, 0));
}

// The walk over the blocks starts at the block of the record at or before the range: a slot that
// ended before the range counts nowhere (a record at 21:00 marked the next day).
TEST_F(ArchiveReaderTest, ActivityLeavesOutABlockThatEndedBeforeTheRange) {
  constexpr uint64_t kSlot15 = uint64_t{1} << 38;  // the coarsest slot, 7.6 hours
  NewFile().Append(kKey, 0, At(1));                // slot [kBase, kBase + kSlot15)
  uint32_t cams[1], clears[1], sets[1];
  Reader().Activity(kBase + kSlot15, kBase + 4 * kSlot15, cams, clears, sets);
  EXPECT_EQ(cams[0], 0u);
  Reader().Activity(kBase + kSlot15 - 1, kBase + 4 * kSlot15, cams, clears, sets);
  EXPECT_EQ(cams[0], 1u);  // its last unit is in the range

  EXPECT_TRUE(Reader().HasRecords(At(1), At(1)));
  EXPECT_FALSE(Reader().HasRecords(At(1.5), kBase + kSlot15));
  EXPECT_FALSE(Reader().HasRecords(At(0), At(0.5)));  // before the archive
}

TEST_F(ArchiveReaderTest, ActivityOfAHundredBinsOverTenSecondsScansTheRecords) {
  TestArchiveWriter& a = NewFile();
  a.Append(kKey, 2, At(0.05));
  a.Append(kKey, 3, At(2.55));
  a.Append(kKey, 3, At(2.56));
  a.Append(kEvent, 4, At(5.05), 0, 1);
  a.Append(kEvent, 5, At(7.05), 0, 0);
  a.Append(kKey, 6, At(12));
  std::vector<uint32_t> cams(100, 0xFFFF), clears(100), sets(100);
  Reader().Activity(At(0), At(10), cams, clears, sets);
  std::vector<uint32_t> wantCams(100), wantClears(100), wantSets(100);
  wantCams[0] = 1u << 2;
  wantCams[25] = 1u << 3;
  wantCams[50] = 1u << 4;
  wantSets[50] = 1u << 4;
  wantCams[70] = 1u << 5;
  wantClears[70] = 1u << 5;
  EXPECT_EQ(cams, wantCams);
  EXPECT_EQ(clears, wantClears);
  EXPECT_EQ(sets, wantSets);
}

TEST_F(ArchiveReaderTest, ActivityOfAnEmptyRangeOrArchiveIsEmpty) {
  std::vector<uint32_t> cams(4, 1), clears(4, 1), sets(4, 1);
  NewFile();
  Reader().Activity(At(0), At(100), cams, clears, sets);
  EXPECT_EQ(cams, std::vector<uint32_t>(4, 0));
  Reader().Activity(At(0), At(1), cams, clears, sets);
  EXPECT_EQ(cams, std::vector<uint32_t>(4, 0));
  std::vector<uint32_t> none;
  Reader().Activity(At(0), At(1), none, none, none);
}

// ---- Index cache

TEST(IndexCacheTest, EmptiesOnceWhenPastItsCapacityAndKeepsWorking) {
  IndexCache cache;
  for (uint32_t k = 0; k <= IndexCache::kCapacity; ++k) cache.Store(k, IndexEntry{k * 10ull, k});
  EXPECT_EQ(cache.Size(), IndexCache::kCapacity + 1);
  cache.Store(0, IndexEntry{5, 0});  // known entries never empty it
  EXPECT_EQ(cache.Flushes(), 0u);
  cache.Store(IndexCache::kCapacity + 1, IndexEntry{7, 70});
  EXPECT_EQ(cache.Flushes(), 1u);
  EXPECT_EQ(cache.Size(), 1u);
  EXPECT_EQ(cache.Find(IndexCache::kCapacity + 1)->offset, 70u);
  EXPECT_FALSE(cache.Find(3).has_value());
}

TEST_F(ArchiveReaderTest, IndexCacheIsFilledBySeeksAndClearedOnLoad) {
  TestArchiveWriter& a = NewFile();
  for (int i = 0; i < 64; ++i) a.Append(kKey, 0, At(i));
  NewFile().Append(kKey, 0, At(100));
  RecordHeader h;
  ASSERT_TRUE(Reader().Seek(At(17), &h));
  const size_t afterOne = Reader().CachedIndexEntries();
  EXPECT_GT(afterOne, 0u);
  ASSERT_TRUE(Reader().Seek(At(17), &h));
  EXPECT_EQ(Reader().CachedIndexEntries(), afterOne);
  ASSERT_TRUE(Reader().Seek(At(100), &h));
  // Emptied when the other file was loaded; it now holds that file's only entry.
  EXPECT_EQ(Reader().CachedIndexEntries(), 1u);
}

// ---- Damaged files: every operation ends, nothing crashes

class DamagedArchiveTest : public ArchiveReaderTest {
 protected:
  // Three files of mixed records.
  void WriteArchive() {
    for (int file = 0; file < 3; ++file) {
      TestArchiveWriter& w = NewFile();
      for (int i = 0; i < 40; ++i) {
        const double t = file * 100 + i * 0.5;
        w.Append(i % 7 == 0 ? kEvent : (i % 3 == 0 ? kKey : kDelta), i % 4, At(t), 40, i % 2);
      }
    }
  }

  // Runs every operation over the whole archive with bounded loops.
  void ExerciseEverything() {
    RecordHeader h;
    std::vector<uint8_t> payload;
    for (double t : {-1.0, 0.0, 3.0, 50.0, 110.0, 205.0, 400.0}) {
      (void)Reader().Seek(At(t), &h);
      size_t steps = 0;
      while (Reader().ReadRecord(&payload, &h, false)) ASSERT_LT(++steps, 1000u) << "walk does not end";
      for (int c = 0; c < 5; ++c) {
        (void)Reader().PrevRecordOfCamera(c, At(t), &h);
        if (Reader().SeekCamera(c, At(t), &h)) {
          steps = 0;
          while (Reader().ReadRecord(&payload, &h, true)) ASSERT_LT(++steps, 1000u) << "camera walk does not end";
        }
      }
      std::vector<RecordHeader> headers(4);
      const bool selected[4] = {true, true, true, true};
      for (int c = 0; c < 4; ++c) (void)Reader().SeekCamera(c, At(t), &headers[c]);
      int camera = 0;
      steps = 0;
      (void)Reader().NextTimeAmongCameras(headers, selected);
      while (Reader().NextAmongCameras(headers, selected, &payload, &camera)) {
        ASSERT_LT(++steps, 1000u) << "merge does not end";
        ASSERT_TRUE(camera >= 0 && camera < 4 && headers[camera].IsValid());
      }
      // From nothing delivered, asked of a reader that has loaded no file, as a look-ahead is.
      std::vector<RecordHeader> empty(4);
      ArchiveReader other(list_.get());
      (void)other.NextTimeAmongCameras(empty, selected);
      steps = 0;
      while (other.NextAmongCameras(empty, selected, &payload, &camera)) {
        ASSERT_LT(++steps, 1000u) << "merge from the start does not end";
      }
    }
    std::vector<uint32_t> cams(10), clears(10), sets(10);
    Reader().Activity(At(0), At(300), cams, clears, sets);
    Reader().Activity(At(0), At(5), cams, clears, sets);
    Reader().Activity(1, ~uint64_t{0}, cams, clears, sets);
  }
};

TEST_F(DamagedArchiveTest, RandomBytesOverTablesRecordsAndIndex) {
  WriteArchive();
  std::mt19937_64 random(20261206);
  for (int round = 0; round < 12; ++round) {
    for (const std::string& path : paths_) {
      std::vector<uint8_t> junk(64 + random() % 400);
      for (uint8_t& b : junk) b = static_cast<uint8_t>(random());
      const uint64_t where[] = {random() % kDataStart, kDataStart + random() % 50000,
                                kMinFileLength - 1 - random() % 700};
      const uint64_t at = where[round % 3];
      junk.resize(std::min<uint64_t>(junk.size(), kMinFileLength - 1 - at));
      WriteBytes(path, at, junk);
    }
    Reopen();
    ExerciseEverything();
  }
}

TEST_F(DamagedArchiveTest, TruncatedFiles) {
  WriteArchive();
  ASSERT_EQ(::truncate(paths_[0].c_str(), 5000), 0);
  ASSERT_EQ(::truncate(paths_[1].c_str(), 600), 0);  // shorter than its tables
  ExerciseEverything();
}

TEST_F(DamagedArchiveTest, OffsetsBeyondTheEndAndHugeCounts) {
  WriteArchive();
  for (int c = 0; c < kCameraSlots; ++c) WriteU64(paths_[0], kFirstRecordOffsets + 8 * c, ~uint64_t{0} - c);
  for (int l = 0; l < kSummaryLevels; ++l) WriteU64(paths_[1], kFirstBlockOffsets + 8 * l, kMinFileLength - 5);
  WriteU32(paths_[1], kHeaderRecordCount, 0xFFFFFFFF);  // more entries than the file can hold
  WriteU32(paths_[2], kHeaderRecordCount, 70000);       // index running into the data area
  WriteU64(paths_[2], kMinFileLength - 1 - 16 * 20 + 8, kMinFileLength + 100);  // entry 19's offset
  ExerciseEverything();
  RecordHeader h;
  EXPECT_FALSE(Reader().Seek(At(105), &h));
}

// Equal clock values make the reader look at neighbouring index entries and files: a damaged
// index of one repeated time must not make that search long or wrong.
TEST_F(DamagedArchiveTest, OneTimeRepeatedOverTheIndex) {
  WriteArchive();
  for (int entry = 0; entry < 40; ++entry) WriteU64(paths_[1], kMinFileLength - 1 - 16 * (entry + 1), At(120));
  WriteU64(paths_[1], kHeaderLastTime, At(120));
  WriteU64(paths_[2], kHeaderFirstTime, At(120));
  ExerciseEverything();
  RecordHeader h;
  for (int c = 0; c < 4; ++c) {
    if (Reader().PrevRecordOfCamera(c, At(120), &h)) EXPECT_EQ(h.camera, c);
  }
}

TEST_F(DamagedArchiveTest, LinkLoopsEndTheWalk) {
  TestArchiveWriter& a = NewFile();
  const uint64_t first = a.Append(kKey, 0, At(1));
  const uint64_t second = a.Append(kKey, 0, At(2));
  a.Append(kKey, 0, At(3));
  ArchiveFile file;
  ASSERT_TRUE(file.Open(paths_[0], ArchiveFile::Access::kReadWrite));
  ASSERT_TRUE(file.WriteLink(second, ArchiveFile::Link::kNextRecord, first));
  ASSERT_TRUE(file.WriteLink(second, ArchiveFile::Link::kNextSameCamera, second));
  EXPECT_EQ(Walk(At(1), false, 100), (Seq{{0, At(1)}}));
  EXPECT_EQ(Walk(At(1), true, 100), (Seq{{0, At(1)}}));
  // A summary block pointing back at itself.
  RecordHeader h;
  ASSERT_TRUE(file.ReadRecordHeader(first, &h));
  const int level = ArchiveReader::SummaryLevelFor(At(0), At(200), 10);
  ASSERT_GE(level, 0);
  SummaryBlock block;
  ASSERT_TRUE(file.ReadSummaryBlock(h.lastBlockOffset[level], &block));
  block.next = h.lastBlockOffset[level];
  ASSERT_TRUE(file.WriteSummaryBlock(h.lastBlockOffset[level], block));
  std::vector<uint32_t> cams(10), clears(10), sets(10);
  Reader().Activity(At(0), At(200), cams, clears, sets);
  EXPECT_EQ(cams[0], 0u);  // the damaged block is refused
  ExerciseEverything();
}

}  // namespace
}  // namespace strixc::archive
