#include "archive/archive_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "archive/archive_records.h"

namespace strixc::archive {
namespace {

// A scratch folder per test with the few raw file operations the cases need to set up damage.
class ArchiveFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "archive_file_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string PathOf(const std::string& name) const { return dir_ + "/" + name; }

  // A freshly formatted file, opened read/write.
  void CreateAndOpen(uint64_t size, ArchiveFile::Formatting formatting = ArchiveFile::Formatting::kFast) {
    std::string error;
    ASSERT_TRUE(ArchiveFile::Create(path_, size, formatting, {}, &error)) << error;
    ASSERT_TRUE(file_.Open(path_, ArchiveFile::Access::kReadWrite)) << file_.LastError();
  }

  void WriteBytes(uint64_t offset, const std::vector<uint8_t>& bytes) {
    const int fd = ::open(path_.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)),
              static_cast<ssize_t>(bytes.size()));
    ::close(fd);
  }

  uint8_t ReadByte(uint64_t offset) {
    uint8_t b = 0xEE;
    const int fd = ::open(path_.c_str(), O_RDONLY);
    EXPECT_EQ(::pread(fd, &b, 1, static_cast<off_t>(offset)), 1);
    ::close(fd);
    return b;
  }

  void Truncate(uint64_t length) { ASSERT_EQ(::truncate(path_.c_str(), static_cast<off_t>(length)), 0); }

  // Writes a record of `size` payload bytes the way the recorder lays it out.
  RecordHeader WriteRecord(uint64_t offset, uint8_t camera, uint64_t time, int32_t size) {
    RecordHeader h;
    h.type = static_cast<uint8_t>(RecordType::kKeyFrame);
    h.camera = camera;
    h.time = time;
    h.keyTime = time;
    h.lastRecordTime[camera] = time;
    h.payloadSize = size;
    const std::vector<uint8_t> payload(static_cast<size_t>(size), 0xA5);
    EXPECT_TRUE(file_.WriteRecord(offset, h, payload.data())) << file_.LastError();
    return h;
  }

  void ExpectError(bool ok, const std::string& text) {
    EXPECT_FALSE(ok);
    EXPECT_EQ(file_.LastError().rfind(text, 0), 0u) << "error was: " << file_.LastError();
  }

  std::string dir_;
  std::string path_ = "";
  ArchiveFile file_;
};

class ArchiveFileDataTest : public ArchiveFileTest {
 protected:
  void SetUp() override {
    ArchiveFileTest::SetUp();
    path_ = PathOf(ArchiveFileName(1));
    CreateAndOpen(kMiB);
  }
};

// ---- File names

TEST(ArchiveFileNameTest, NumberFormatsToTwentyDigits) {
  EXPECT_EQ(ArchiveFileName(7), "00000000000000000007.vsd");
  EXPECT_EQ(ArchiveFileName(0), "00000000000000000000.vsd");
  EXPECT_EQ(ArchiveFileName(INT32_MAX), "00000000002147483647.vsd");
  EXPECT_EQ(ParseArchiveFileName("00000000000000000007.vsd"), 7);
  EXPECT_EQ(ParseArchiveFileName("00000000002147483647.vsd"), INT32_MAX);
}

TEST(ArchiveFileNameTest, OnlyTheExactFormIsAName) {
  for (const char* name : {"7.vsd", "12.vsd", "00000000000000000007.VSD", "00000000000000000007.Vsd",
                           "0000000000000000007.vsd", "000000000000000000007.vsd",
                           "00000000000000000007.vsd.bak", "00000000000000000007", "+0000000000000000007.vsd",
                           " 0000000000000000007.vsd", "0000000000000000000x.vsd", "99999999999999999999.vsd",
                           "00000000002147483648.vsd", ".vsd", "", "-"}) {
    EXPECT_FALSE(ParseArchiveFileName(name)) << name;
  }
}

TEST(ArchiveFileNameTest, RecognitionNeedsNumberAndLength) {
  const std::string name = ArchiveFileName(10);
  EXPECT_EQ(ArchiveFileNumber(name, kMiB, 10), 10);
  EXPECT_EQ(ArchiveFileNumber(name, kMiB, 0), 10);
  EXPECT_FALSE(ArchiveFileNumber(name, kMiB, 11)) << "below MinFileNumber";
  EXPECT_FALSE(ArchiveFileNumber(name, kMiB - 1, 0)) << "shorter than 1 MiB";
  EXPECT_FALSE(ArchiveFileNumber("10.vsd", kMiB, 0));
  // A negative number round-trips as a name but is below every MinFileNumber.
  EXPECT_EQ(ParseArchiveFileName("-0000000000000000007.vsd"), -7);
  EXPECT_FALSE(ArchiveFileNumber("-0000000000000000007.vsd", kMiB, 0));
  EXPECT_FALSE(ArchiveFileNumber(ArchiveFileName(5), kMiB, 0x80000000u)) << "huge MinFileNumber";
}

// ---- Positions and the room test

TEST(ArchiveFormatTest, EmptyFilePositions) {
  EXPECT_EQ(IndexPosition(kMiB, 0), static_cast<int64_t>(kMiB - 17));
  EXPECT_EQ(IndexPosition(kMiB, 2), static_cast<int64_t>(kMiB - 49));
  EXPECT_EQ(IndexEntryPosition(kMiB, 0), static_cast<int64_t>(kMiB - 17));
  EXPECT_LT(IndexPosition(kMiB, UINT32_MAX), 0) << "a damaged count gives no position inside the file";
}

TEST(ArchiveFormatTest, RoomTestAtItsBoundary) {
  const int64_t append = 5000;
  for (int64_t s : {0, 1, 322, 1000000}) {
    EXPECT_FALSE(HasRoomFor(append, append + 1 + s + 32338, s)) << "gap = s + 32338, s = " << s;
    EXPECT_TRUE(HasRoomFor(append, append + 1 + s + 32339, s)) << "gap = s + 32339, s = " << s;
  }
  EXPECT_FALSE(HasRoomFor(append, append - 100, 0)) << "negative gap";
  EXPECT_FALSE(HasRoomFor(append, append + 1'000'000, -1)) << "negative payload size";
  EXPECT_FALSE(HasRoomFor(kDataStart, IndexPosition(kMiB, 0), INT32_MAX));
  // An empty 1 MiB file: gap = (2^20 - 17) - 1152 - 1 = 1047406, so at most 1015067 payload bytes.
  const int64_t index = IndexPosition(kMiB, 0);
  EXPECT_TRUE(HasRoomFor(kDataStart, index, 1015067));
  EXPECT_FALSE(HasRoomFor(kDataStart, index, 1015068));
}

TEST(ArchiveFormatTest, SummarySlots) {
  const uint64_t t = 0x0123'4567'89AB'CDEFull;
  EXPECT_EQ(SlotStart(t, 0), t & ~((uint64_t{1} << 23) - 1));
  EXPECT_EQ(SlotStart(t, 15), t & ~((uint64_t{1} << 38) - 1));
  EXPECT_EQ(SlotStart(UINT64_MAX, 15), UINT64_MAX << 38);
}

// ---- Structures at their byte positions

TEST(ArchiveFormatTest, TablesEncodeAtTheirOffsets) {
  FileTables t;
  t.header = {11, 12, 3, 0x20001};
  t.first.firstRecordOffset[17] = 0x1111;
  t.first.firstBlockOffset[0] = 0x2222;
  t.last.lastRecordOffset[0] = 0x3333;
  t.last.lastSetEventTime[17] = 0x4444;
  t.last.lastBlockOffset[15] = 0x5555;
  t.last.lastRecordOffsetAny = 0x6666;
  uint8_t raw[kDataStart] = {};
  t.header.Encode(raw);
  t.first.Encode(raw + kFirstTableOffset);
  t.last.Encode(raw + kLastTableOffset);
  EXPECT_EQ(GetU32(raw + 16), 3u);
  EXPECT_EQ(GetU32(raw + 20), 0x20001u);
  EXPECT_EQ(GetU64(raw + 24 + 8 * 17), 0x1111u);
  EXPECT_EQ(GetU64(raw + 168), 0x2222u);
  EXPECT_EQ(GetU64(raw + 296), 0x3333u);
  EXPECT_EQ(GetU64(raw + 872 + 8 * 17), 0x4444u);
  EXPECT_EQ(GetU64(raw + 1016 + 8 * 15), 0x5555u);
  EXPECT_EQ(GetU64(raw + 1144), 0x6666u);
  EXPECT_EQ(LastTable::Decode(raw + kLastTableOffset).lastSetEventTime[17], 0x4444u);
}

TEST(ArchiveFormatTest, RecordHeaderLayoutAndValidity) {
  RecordHeader h;
  h.type = 2;
  h.camera = 17;
  h.time = 0x0102030405060708ull;
  h.lastBlockOffset[0] = 0xABCD;
  h.payloadSize = -2;
  uint8_t raw[kRecordHeaderSize];
  std::fill(std::begin(raw), std::end(raw), 0xFF);
  h.Encode(raw);
  EXPECT_EQ(raw[0], 2);
  EXPECT_EQ(raw[1], 17);
  EXPECT_EQ(raw[2], 0x08);
  EXPECT_EQ(GetU64(raw + 186), 0xABCDu);
  EXPECT_EQ(GetI32(raw + 314), -2);
  EXPECT_EQ(GetU32(raw + 318), 0u) << "reserved bytes are zero";
  EXPECT_FALSE(RecordHeader::Decode(raw).IsValid()) << "negative size";
  h.payloadSize = 0;
  EXPECT_TRUE(h.IsValid());
  for (auto bad : {RecordHeader{0, 0, 1}, RecordHeader{4, 0, 1}, RecordHeader{1, 18, 1}, RecordHeader{3, 0, 0}}) {
    EXPECT_FALSE(bad.IsValid()) << int(bad.type) << " " << int(bad.camera) << " " << bad.time;
  }
}

TEST(ArchiveFormatTest, EventPayloadTextIsCutAndTerminated) {
  EventPayload e;
  e.flag = 1;
  e.text = std::string(150, 'x');
  e.lastClearEventTime[0] = 5;
  e.lastSetEventTime[17] = 6;
  uint8_t raw[kEventPayloadSize];
  std::fill(std::begin(raw), std::end(raw), 0xFF);
  e.Encode(raw);
  EXPECT_EQ(raw[4 + 99], 0);
  EXPECT_EQ(GetU64(raw + 104), 5u);
  EXPECT_EQ(GetU64(raw + 248 + 8 * 17), 6u);
  EXPECT_EQ(EventPayload::Decode(raw).text, std::string(99, 'x'));
  // A text field without any terminator is still read within its field.
  std::fill(raw + 4, raw + 104, 'y');
  EXPECT_EQ(EventPayload::Decode(raw).text, std::string(99, 'y'));
}

// ---- Formatting

TEST_F(ArchiveFileTest, FormatsOneMiBFile) {
  path_ = PathOf(ArchiveFileName(7));
  std::vector<std::string> progress;
  std::string error;
  ASSERT_TRUE(ArchiveFile::Create(path_, kMiB, ArchiveFile::Formatting::kNormal,
                                  [&](const std::string& t) { progress.push_back(t); }, &error))
      << error;
  EXPECT_EQ(progress, (std::vector<std::string>{"0MB", ""})) << "one byte, at 1024, then cleared";
  ASSERT_TRUE(file_.Open(path_, ArchiveFile::Access::kReadOnly));
  EXPECT_EQ(file_.Length(), kMiB);
  EXPECT_EQ(ReadByte(kMiB - 1), kFillMarkerNormal);

  FileTables t;
  ASSERT_TRUE(file_.ReadTables(&t)) << file_.LastError();
  EXPECT_TRUE(t.header.IsEmpty());
  EXPECT_EQ(t.header.recordCount, 0u);
  // The reserved space reads as zeros, except the formatting byte at 1024, which lands in the low
  // byte of lastBlockOffset[1]: only the empty header says that the tables mean nothing yet.
  for (uint64_t o : t.first.firstRecordOffset) EXPECT_EQ(o, 0u);
  for (uint64_t o : t.first.firstBlockOffset) EXPECT_EQ(o, 0u);
  for (int level = 0; level < kSummaryLevels; ++level) {
    EXPECT_LT(t.last.lastBlockOffset[level], level == 1 ? 256u : 1u) << level;
  }
  EXPECT_EQ(t.last.lastRecordOffsetAny, 0u);
  uint64_t append = 0;
  ASSERT_TRUE(file_.AppendPosition(t.last, &append));
  EXPECT_EQ(append, kDataStart);
  EXPECT_EQ(IndexPosition(file_.Length(), t.header.recordCount), static_cast<int64_t>(kMiB - 17));
}

TEST_F(ArchiveFileTest, FormattingReservesTheWholeFile) {
  path_ = PathOf(ArchiveFileName(1));
  const uint64_t size = 3 * kMiB + 2000;
  CreateAndOpen(size, ArchiveFile::Formatting::kFast);
  struct stat st {};
  ASSERT_EQ(::stat(path_.c_str(), &st), 0);
  EXPECT_EQ(static_cast<uint64_t>(st.st_size), size);
  EXPECT_GE(static_cast<uint64_t>(st.st_blocks) * 512, size) << "the file must not be sparse";
  for (uint64_t at : {uint64_t{1024}, kMiB + 1024, 2 * kMiB + 1024, 3 * kMiB + 1024, size - 1}) {
    EXPECT_EQ(ReadByte(at), 0) << "fast formatting writes zeros, at " << at;
  }
}

TEST_F(ArchiveFileTest, ProgressCountsWholeMiB) {
  path_ = PathOf(ArchiveFileName(2));
  std::vector<std::string> progress;
  std::string error;
  ASSERT_TRUE(ArchiveFile::Create(path_, 3 * kMiB + 1025, ArchiveFile::Formatting::kFast,
                                  [&](const std::string& t) { progress.push_back(t); }, &error));
  EXPECT_EQ(progress, (std::vector<std::string>{"0MB", "1MB", "2MB", "3MB", ""}));
  progress.clear();
  ASSERT_TRUE(ArchiveFile::Create(path_, 3 * kMiB + 1024, ArchiveFile::Formatting::kFast,
                                  [&](const std::string& t) { progress.push_back(t); }, &error));
  EXPECT_EQ(progress, (std::vector<std::string>{"0MB", "1MB", "2MB", ""})) << "3 MiB + 1024 is not below S";
}

TEST_F(ArchiveFileTest, FormattingOverAnOldFileEmptiesIt) {
  path_ = PathOf(ArchiveFileName(3));
  CreateAndOpen(2 * kMiB, ArchiveFile::Formatting::kNormal);
  ASSERT_TRUE(file_.WriteHeader({100, 200, 1, 1}));
  file_.Close();
  CreateAndOpen(kMiB, ArchiveFile::Formatting::kFast);
  EXPECT_EQ(file_.Length(), kMiB);
  FileHeader h{1, 1, 1, 1};
  ASSERT_TRUE(file_.ReadHeader(&h));
  EXPECT_TRUE(h.IsEmpty());
  EXPECT_EQ(h.recordCount, 0u);
  EXPECT_EQ(ReadByte(kMiB - 1), kFillMarkerFast);
}

TEST_F(ArchiveFileTest, FormattingFailures) {
  std::string error;
  EXPECT_FALSE(ArchiveFile::Create(PathOf("small.vsd"), kMiB - 1, ArchiveFile::Formatting::kFast, {}, &error));
  EXPECT_EQ(error, "file size below 1 MiB");
  EXPECT_FALSE(std::filesystem::exists(PathOf("small.vsd")));
  EXPECT_FALSE(ArchiveFile::Create(PathOf("missing/x.vsd"), kMiB, ArchiveFile::Formatting::kFast, {}, &error));
  EXPECT_EQ(error, "No such file or directory");
  // A device is never formatted (nor removed after the failure).
  if (::access("/dev/null", W_OK) == 0) {
    EXPECT_FALSE(ArchiveFile::Create("/dev/null", kMiB, ArchiveFile::Formatting::kFast, {}, &error));
    EXPECT_EQ(error, "not a regular file");
    EXPECT_TRUE(std::filesystem::exists("/dev/null"));
  }
}

// ---- Reset, tables, index, summary blocks

TEST_F(ArchiveFileDataTest, ResetEmptiesOnlyTheHeader) {
  FileTables t;
  t.header = {1000, 2000, 1, 1};
  t.first.firstRecordOffset[0] = 40000;
  t.last.lastRecordOffsetAny = 40000;
  ASSERT_TRUE(file_.WriteTables(t));
  ASSERT_TRUE(file_.Reset());
  FileTables back;
  ASSERT_TRUE(file_.ReadTables(&back));
  EXPECT_TRUE(back.header.IsEmpty());
  EXPECT_EQ(back.header.lastTime, 0u);
  EXPECT_EQ(back.header.recordCount, 0u);
  EXPECT_EQ(back.first.firstRecordOffset[0], 40000u) << "the rest is left as it is";
  EXPECT_EQ(back.last.lastRecordOffsetAny, 40000u);
}

TEST_F(ArchiveFileDataTest, TablesRoundTrip) {
  FileTables t;
  t.header = {1000, 2000, 2, 0x3FFFF};
  for (int c = 0; c < kCameraSlots; ++c) t.last.lastKeyTime[c] = 500 + c;
  t.first.firstBlockOffset[15] = 1152;
  ASSERT_TRUE(file_.WriteTables(t));
  FirstTable first;
  LastTable last;
  FileHeader header;
  ASSERT_TRUE(file_.ReadHeader(&header));
  ASSERT_TRUE(file_.ReadFirstTable(&first));
  ASSERT_TRUE(file_.ReadLastTable(&last));
  EXPECT_EQ(header.cameraMask, 0x3FFFFu);
  EXPECT_EQ(first.firstBlockOffset[15], 1152u);
  EXPECT_EQ(last.lastKeyTime[17], 517u);
}

TEST_F(ArchiveFileDataTest, RecordsAndAppendPosition) {
  const uint64_t r0 = kDataStart + kSummaryChunkSize;
  WriteRecord(r0, 3, 1000, 100);
  const uint64_t r1 = r0 + kRecordHeaderSize + 100;
  WriteRecord(r1, 4, 1001, 0);
  ASSERT_TRUE(file_.WriteLink(r0, ArchiveFile::Link::kNextRecord, r1));

  RecordHeader h;
  ASSERT_TRUE(file_.ReadRecordHeader(r0, &h)) << file_.LastError();
  EXPECT_EQ(h.camera, 3);
  EXPECT_EQ(h.nextRecord, r1);
  EXPECT_EQ(h.nextSameCamera, 0u);
  std::vector<uint8_t> payload;
  ASSERT_TRUE(file_.ReadPayload(r0, h, &payload));
  EXPECT_EQ(payload, std::vector<uint8_t>(100, 0xA5));

  LastTable last;
  last.lastRecordOffsetAny = r1;
  uint64_t append = 0;
  ASSERT_TRUE(file_.AppendPosition(last, &append));
  EXPECT_EQ(append, r1 + kRecordHeaderSize);
}

TEST_F(ArchiveFileDataTest, IndexGrowsDownFromTheFillMarker) {
  ASSERT_TRUE(file_.WriteIndexEntry(0, {10, 2000}));
  ASSERT_TRUE(file_.WriteIndexEntry(1, {11, 3000}));
  IndexEntry e;
  ASSERT_TRUE(file_.ReadIndexEntry(1, 2, &e));
  EXPECT_EQ(e.time, 11u);
  EXPECT_EQ(e.offset, 3000u);
  EXPECT_EQ(ReadByte(kMiB - 17), 10) << "entry 0 lies at size - 17";
  EXPECT_EQ(ReadByte(kMiB - 33), 11) << "entry 1 lies at size - 33";
  EXPECT_EQ(ReadByte(kMiB - 1), kFillMarkerFast) << "the fill marker is untouched";
}

TEST_F(ArchiveFileDataTest, SummaryBlocksRoundTrip) {
  SummaryBlock b{999, SlotStart(123456789, 2), 0x5, 0x1, 0x4, 0};
  ASSERT_TRUE(file_.WriteSummaryBlock(kDataStart + 999 * kSummaryBlockSize, b));
  SummaryBlock back;
  ASSERT_TRUE(file_.ReadSummaryBlock(kDataStart + 999 * kSummaryBlockSize, &back));
  EXPECT_EQ(back.sequence, 999u);
  EXPECT_EQ(back.slotStart, b.slotStart);
  EXPECT_EQ(back.setEventMask, 0x4u);
}

// ---- Damage: every check has its own case

TEST_F(ArchiveFileDataTest, RecordHeaderOutsideTheDataArea) {
  RecordHeader h;
  ExpectError(file_.ReadRecordHeader(0, &h), "record header inside the file tables");
  ExpectError(file_.ReadRecordHeader(kDataStart - 1, &h), "record header inside the file tables");
  ExpectError(file_.ReadRecordHeader(kMiB - kRecordHeaderSize, &h), "record header beyond end of file");
  ExpectError(file_.ReadRecordHeader(UINT64_MAX, &h), "record header beyond end of file");
  ExpectError(file_.ReadRecordHeader(UINT64_MAX - 100, &h), "record header beyond end of file");
  // The last header that fits ends just before the fill marker.
  WriteRecord(kMiB - 1 - kRecordHeaderSize, 0, 5, 0);
  EXPECT_TRUE(file_.ReadRecordHeader(kMiB - 1 - kRecordHeaderSize, &h)) << file_.LastError();
}

TEST_F(ArchiveFileDataTest, InvalidRecordHeaders) {
  RecordHeader h;
  h.time = 42;
  ExpectError(file_.ReadRecordHeader(kDataStart, &h), "invalid record header");  // zeros: type 0
  for (const std::vector<uint8_t>& bad : {std::vector<uint8_t>{4, 0, 1}, std::vector<uint8_t>{1, 18, 1},
                                          std::vector<uint8_t>{3, 0, 0}}) {
    WriteBytes(kDataStart, bad);
    ExpectError(file_.ReadRecordHeader(kDataStart, &h), "invalid record header");
  }
  WriteRecord(kDataStart, 0, 9, 0);
  WriteBytes(kDataStart + kRecordPayloadSize, {0xFF, 0xFF, 0xFF, 0xFF});
  ExpectError(file_.ReadRecordHeader(kDataStart, &h), "invalid record header");  // size -1
  EXPECT_EQ(h.time, 42u) << "output unchanged on failure";
}

TEST_F(ArchiveFileDataTest, PayloadBeyondEndOfFile) {
  RecordHeader h;
  WriteRecord(kDataStart, 0, 9, 0);
  WriteBytes(kDataStart + kRecordPayloadSize, {0xFF, 0xFF, 0xFF, 0x7F});
  ExpectError(file_.ReadRecordHeader(kDataStart, &h), "record payload beyond end of file");
  const uint64_t last = kMiB - 1 - kRecordHeaderSize - 10;
  WriteRecord(last, 0, 9, 10);
  EXPECT_TRUE(file_.ReadRecordHeader(last, &h));
  WriteBytes(last + kRecordPayloadSize, {11, 0, 0, 0});
  ExpectError(file_.ReadRecordHeader(last, &h), "record payload beyond end of file");  // onto the marker
  std::vector<uint8_t> payload;
  h.payloadSize = 11;
  ExpectError(file_.ReadPayload(last, h, &payload), "record payload beyond end of file");
  EXPECT_TRUE(payload.empty());
}

TEST_F(ArchiveFileDataTest, LinksThatPointBackwards) {
  RecordHeader h;
  const uint64_t r = kDataStart + 5000;
  WriteRecord(r, 0, 9, 8);
  for (uint64_t target : {r, r - 322, r + kRecordHeaderSize + 7, uint64_t{1}}) {
    ASSERT_TRUE(file_.WriteLink(r, ArchiveFile::Link::kNextRecord, target));
    ExpectError(file_.ReadRecordHeader(r, &h), "record link points backwards");
  }
  ASSERT_TRUE(file_.WriteLink(r, ArchiveFile::Link::kNextRecord, r + kRecordHeaderSize + 8));
  EXPECT_TRUE(file_.ReadRecordHeader(r, &h)) << "a record right after its payload";
  ASSERT_TRUE(file_.WriteLink(r, ArchiveFile::Link::kNextSameCamera, r));
  ExpectError(file_.ReadRecordHeader(r, &h), "record link points backwards");
}

TEST_F(ArchiveFileDataTest, DamagedLastRecordOffset) {
  LastTable last;
  uint64_t append = 77;
  for (uint64_t bad : {uint64_t{1}, kMiB, UINT64_MAX}) {
    last.lastRecordOffsetAny = bad;
    EXPECT_FALSE(file_.AppendPosition(last, &append));
    EXPECT_EQ(file_.LastError().rfind("last record: record header", 0), 0u) << file_.LastError();
  }
  EXPECT_EQ(append, 77u);
}

TEST_F(ArchiveFileDataTest, IndexEntriesOutsideTheIndex) {
  IndexEntry e{1, 2};
  ExpectError(file_.ReadIndexEntry(0, 0, &e), "index entry beyond the record count");
  ExpectError(file_.ReadIndexEntry(UINT32_MAX - 1, UINT32_MAX, &e), "index entry inside the file tables");
  const auto firstBad = static_cast<uint32_t>((kMiB - 1 - kDataStart) / kIndexEntrySize);
  ExpectError(file_.ReadIndexEntry(firstBad, UINT32_MAX, &e), "index entry inside the file tables");
  EXPECT_TRUE(file_.ReadIndexEntry(firstBad - 1, UINT32_MAX, &e)) << file_.LastError();
  ExpectError(file_.WriteIndexEntry(firstBad, {1, 2}), "index entry inside the file tables");
}

TEST_F(ArchiveFileDataTest, DamagedSummaryBlocks) {
  SummaryBlock b;
  ExpectError(file_.ReadSummaryBlock(1000, &b), "summary block inside the file tables");
  ExpectError(file_.ReadSummaryBlock(kMiB - 32, &b), "summary block beyond end of file");
  const uint64_t at = kDataStart + 64;
  ASSERT_TRUE(file_.WriteSummaryBlock(at, {1000, 0, 0, 0, 0, 0}));
  ExpectError(file_.ReadSummaryBlock(at, &b), "summary block sequence number above 999");
  ASSERT_TRUE(file_.WriteSummaryBlock(at, {2, 0, 0, 0, 0, at + 31}));
  ExpectError(file_.ReadSummaryBlock(at, &b), "summary block link points backwards");
  ASSERT_TRUE(file_.WriteSummaryBlock(at, {2, 0, 0, 0, 0, at + 32}));
  EXPECT_TRUE(file_.ReadSummaryBlock(at, &b));
}

TEST_F(ArchiveFileDataTest, WritesNeverReachTheFillMarker) {
  const uint8_t byte = 1;
  ExpectError(file_.WriteAt(kMiB - 1, &byte, 1), "write beyond the data area");
  ExpectError(file_.WriteAt(UINT64_MAX, &byte, 1), "write beyond the data area");
  std::vector<uint8_t> payload(100);
  RecordHeader h{1, 0, 5};
  h.payloadSize = 100;
  ExpectError(file_.WriteRecord(kMiB - 1 - kRecordHeaderSize - 99, h, payload.data()), "record beyond end of file");
  EXPECT_EQ(ReadByte(kMiB - 1), kFillMarkerFast);
}

TEST_F(ArchiveFileTest, OpenFailures) {
  EXPECT_FALSE(file_.Open(PathOf("absent.vsd"), ArchiveFile::Access::kReadOnly));
  EXPECT_EQ(file_.LastError(), "No such file or directory");
  EXPECT_FALSE(file_.Open(dir_, ArchiveFile::Access::kReadOnly));
  EXPECT_EQ(file_.LastError(), "not a regular file");
  FileHeader h;
  EXPECT_FALSE(file_.ReadHeader(&h));
}

TEST_F(ArchiveFileTest, TruncatedFiles) {
  path_ = PathOf(ArchiveFileName(4));
  for (uint64_t length : {uint64_t{0}, uint64_t{10}, uint64_t{kDataStart - 1}, uint64_t{kDataStart},
                          uint64_t{kDataStart + 200}, uint64_t{kDataStart + 400}}) {
    CreateAndOpen(kMiB);
    FileTables t;
    t.header = {5, 6, 3, 1};
    t.last.lastRecordOffsetAny = kDataStart;
    ASSERT_TRUE(file_.WriteTables(t));
    WriteRecord(kDataStart, 0, 5, 40);
    ASSERT_TRUE(file_.WriteIndexEntry(0, {5, kDataStart}));
    file_.Close();
    Truncate(length);

    ASSERT_TRUE(file_.Open(path_, ArchiveFile::Access::kReadOnly));
    FileTables back;
    const bool tables = file_.ReadTables(&back);
    EXPECT_EQ(tables, length >= kDataStart) << length;
    if (!tables) {
      EXPECT_EQ(file_.LastError(), "file tables beyond end of file");
    }
    RecordHeader h;
    uint64_t append = 0;
    EXPECT_EQ(file_.ReadRecordHeader(kDataStart, &h), length >= kDataStart + 1 + kRecordHeaderSize + 40);
    EXPECT_EQ(file_.AppendPosition(t.last, &append), length >= kDataStart + 1 + kRecordHeaderSize + 40);
    IndexEntry e;
    EXPECT_EQ(file_.ReadIndexEntry(2, 3, &e), IndexEntryPosition(length, 2) >= static_cast<int64_t>(kDataStart))
        << "inside the file or refused, at length " << length;
    file_.Close();
  }
}

TEST_F(ArchiveFileDataTest, FileShrunkWhileOpen) {
  WriteRecord(kDataStart + 1000, 0, 5, 40);
  Truncate(kDataStart + 1100);
  RecordHeader h;
  ExpectError(file_.ReadRecordHeader(kDataStart + 1000, &h), "unexpected end of file");
  FileTables t;
  EXPECT_TRUE(file_.ReadTables(&t));
}

// Random bytes over the tables and the index, and records and summary blocks whose links and
// sizes point anywhere (forwards, backwards, at themselves, out of the file): every read either
// fails with a reason or gives values inside the file, and every walk along links ends.
TEST_F(ArchiveFileDataTest, RandomDamageNeverReadsOutOfBounds) {
  std::mt19937_64 random(20240601);
  for (int round = 0; round < 60; ++round) {
    std::vector<uint64_t> records(24), blocks(24);
    for (auto& at : records) at = kDataStart + random() % (kMiB - kDataStart - kRecordHeaderSize - 1);
    for (auto& at : blocks) at = kDataStart + random() % (kMiB - kDataStart - kSummaryBlockSize - 1);
    auto pick = [&](const std::vector<uint64_t>& pool) -> uint64_t {
      switch (random() % 5) {
        case 0: return 0;
        case 1: return random();
        case 2: return random() % kMiB;
        default: return pool[random() % pool.size()];
      }
    };

    std::vector<uint8_t> tables(kDataStart);
    for (auto& b : tables) b = static_cast<uint8_t>(random());
    for (int c = 0; c < kCameraSlots; ++c) {
      PutU64(tables.data() + kFirstRecordOffsets + 8 * c, pick(records));
      PutU64(tables.data() + kLastRecordOffsets + 8 * c, pick(records));
    }
    for (int level = 0; level < kSummaryLevels; ++level) {
      PutU64(tables.data() + kFirstBlockOffsets + 8 * level, pick(blocks));
    }
    PutU64(tables.data() + kLastRecordOffsetAny, pick(records));
    WriteBytes(0, tables);
    for (uint64_t at : records) {
      std::vector<uint8_t> raw(kRecordHeaderSize);
      for (auto& b : raw) b = static_cast<uint8_t>(random());
      raw[kRecordType] = static_cast<uint8_t>(1 + random() % 3);
      raw[kRecordCamera] = static_cast<uint8_t>(random() % kCameraSlots);
      PutU64(raw.data() + kRecordNextRecord, pick(records));
      PutU64(raw.data() + kRecordNextSameCamera, pick(records));
      PutI32(raw.data() + kRecordPayloadSize,
             static_cast<int32_t>(random() % 4 == 0 ? random() : random() % 2000));
      WriteBytes(at, raw);
      std::vector<uint8_t> index(kIndexEntrySize);
      PutU64(index.data() + kIndexTime, random());
      PutU64(index.data() + kIndexOffset, pick(records));
      WriteBytes(kMiB - 1 - kIndexEntrySize * (1 + random() % 64), index);
    }
    for (uint64_t at : blocks) {
      std::vector<uint8_t> raw(kSummaryBlockSize);
      for (auto& b : raw) b = static_cast<uint8_t>(random());
      PutU32(raw.data() + kBlockSequence, static_cast<uint32_t>(random() % 1100));
      PutU64(raw.data() + kBlockNext, pick(blocks));
      WriteBytes(at, raw);
    }

    FileTables t;
    ASSERT_TRUE(file_.ReadTables(&t));
    uint64_t append = 0;
    if (file_.AppendPosition(t.last, &append)) {
      EXPECT_LT(append, kMiB);
    }
    std::vector<uint8_t> payload;
    int recordsRead = 0;
    auto walk = [&](uint64_t offset, bool sameCamera) {
      int steps = 0;
      RecordHeader h;
      while (offset != 0 && file_.ReadRecordHeader(offset, &h)) {
        ASSERT_TRUE(file_.ReadPayload(offset, h, &payload)) << file_.LastError();
        ASSERT_LT(++steps, static_cast<int>(kMiB / kRecordHeaderSize)) << "a walk goes round";
        ++recordsRead;
        offset = sameCamera ? h.nextSameCamera : h.nextRecord;
      }
    };
    walk(t.last.lastRecordOffsetAny, false);
    for (uint64_t o : t.first.firstRecordOffset) walk(o, true);
    for (uint64_t o : t.last.lastRecordOffset) walk(o, false);
    for (uint32_t k = 0; k < std::min<uint32_t>(t.header.recordCount, 200); ++k) {
      IndexEntry e;
      if (file_.ReadIndexEntry(k, t.header.recordCount, &e)) walk(e.offset, k % 2 == 0);
    }
    for (uint32_t k = 0; k < 64; ++k) {
      IndexEntry e;
      if (file_.ReadIndexEntry(k, UINT32_MAX, &e)) walk(e.offset, false);
    }
    EXPECT_GT(recordsRead, 0) << "the damage must leave something to walk";
    for (uint64_t o : t.first.firstBlockOffset) {
      SummaryBlock b;
      int steps = 0;
      while (o != 0 && file_.ReadSummaryBlock(o, &b)) {
        ASSERT_LT(++steps, static_cast<int>(kMiB / kSummaryBlockSize)) << "a block list goes round";
        o = b.next;
      }
    }
  }
}

}  // namespace
}  // namespace strixc::archive
