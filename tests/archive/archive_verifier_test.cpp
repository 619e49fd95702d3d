#include "archive/archive_verifier.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "archive/archive_time.h"
#include "archive_test_writer.h"

namespace strixc::archive {
namespace {

using testing::TestArchiveWriter;

constexpr uint64_t kFileSize = 2 * kMiB;

uint64_t Start() { return *TimeOfFields(TimeFields{2026, 12, 6, 10, 0, 0, 0}); }

std::string Describe(const std::vector<ArchiveViolation>& violations) {
  std::string text;
  for (const ArchiveViolation& v : violations) text += std::to_string(v.offset) + ": " + v.problem + "\n";
  return text;
}

bool Mentions(const std::vector<ArchiveViolation>& violations, const std::string& words) {
  for (const ArchiveViolation& v : violations) {
    if (v.problem.find(words) != std::string::npos) return true;
  }
  return false;
}

class ArchiveVerifierTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "archive_verify_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    path_ = dir_ + "/" + ArchiveFileName(1);
  }
  void TearDown() override {
    // A failing case keeps its file for a look.
    if (!HasFailure()) std::filesystem::remove_all(dir_);
  }

  // Three cameras, key and delta frames one second apart, an event at the start and one later:
  // enough blocks to fill the first summary chunk and start a second.
  void WriteArchive(int records = 700) {
    writer_ = std::make_unique<TestArchiveWriter>(path_, kFileSize);
    uint64_t t = Start();
    offsets_.push_back(writer_->Append(RecordType::kEvent, 0, t));
    for (int i = 1; i < records; ++i) {
      t += kUnitsPerSecond;
      const int camera = i % 3;
      const RecordType type = i == 350 ? RecordType::kEvent
                              : (i / 3) % 5 == 0 ? RecordType::kKeyFrame
                                                 : RecordType::kDeltaFrame;
      offsets_.push_back(writer_->Append(type, camera, t, 40 + i % 7, i == 350 ? 0 : 1));
      ASSERT_NE(offsets_.back(), 0u);
    }
  }

  std::vector<ArchiveViolation> Verify() { return ArchiveVerifier::VerifyFile(path_); }

  void PatchU64(uint64_t offset, uint64_t value) {
    uint8_t raw[8];
    PutU64(raw, value);
    Patch(offset, raw, sizeof raw);
  }
  void PatchU32(uint64_t offset, uint32_t value) {
    uint8_t raw[4];
    PutU32(raw, value);
    Patch(offset, raw, sizeof raw);
  }
  void Patch(uint64_t offset, const void* data, size_t n) {
    const int fd = ::open(path_.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, data, n, static_cast<off_t>(offset)), static_cast<ssize_t>(n));
    ::close(fd);
  }
  void CorruptBytes(uint64_t offset, size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(n);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
    Patch(offset, bytes.data(), n);
  }
  // The file as a process killed in the middle of an append leaves it: one more record (camera 1)
  // with its summary blocks and every link to it written, the header and tables still those of the
  // records before (kept in described_).
  void InterruptAppend() {
    std::array<uint8_t, kDataStart> tables;
    const int fd = ::open(path_.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pread(fd, tables.data(), tables.size(), 0), static_cast<ssize_t>(tables.size()));
    ::close(fd);
    described_ = writer_->Tables();
    offsets_.push_back(writer_->Append(RecordType::kKeyFrame, 1, Start() + 100 * kUnitsPerSecond));
    ASSERT_NE(offsets_.back(), 0u);
    Patch(kHeaderOffset, tables.data(), tables.size());
  }
  void Truncate(uint64_t length) { ASSERT_EQ(::truncate(path_.c_str(), static_cast<off_t>(length)), 0); }
  uint64_t IndexEntryAt(uint32_t k) const { return static_cast<uint64_t>(IndexEntryPosition(kFileSize, k)); }

  std::string dir_;
  std::string path_;
  std::unique_ptr<TestArchiveWriter> writer_;
  std::vector<uint64_t> offsets_;
  FileTables described_;
};

// ---- Sound files.

TEST_F(ArchiveVerifierTest, CleanArchiveHasNoViolation) {
  WriteArchive();
  const auto violations = Verify();
  EXPECT_TRUE(violations.empty()) << Describe(violations);
}

TEST_F(ArchiveVerifierTest, NewEmptyFileHasNoViolation) {
  std::string error;
  ASSERT_TRUE(ArchiveFile::Create(path_, kMiB, ArchiveFile::Formatting::kNormal, {}, &error)) << error;
  EXPECT_TRUE(Verify().empty());
}

TEST_F(ArchiveVerifierTest, FileContinuingAnotherHasNoViolation) {
  TestArchiveWriter before(dir_ + "/" + ArchiveFileName(0), kMiB);
  const uint64_t t = Start();
  before.Append(RecordType::kKeyFrame, 4, t);
  before.Append(RecordType::kEvent, 5, t + 1);
  TestArchiveWriter after(path_, kMiB, &before);
  after.Append(RecordType::kDeltaFrame, 4, t + 2);
  after.Append(RecordType::kKeyFrame, 7, t + 3);
  const auto violations = Verify();
  EXPECT_TRUE(violations.empty()) << Describe(violations);
}

TEST_F(ArchiveVerifierTest, EmptyHeaderWithCountIsViolation) {
  std::string error;
  ASSERT_TRUE(ArchiveFile::Create(path_, kMiB, ArchiveFile::Formatting::kFast, {}, &error)) << error;
  PatchU32(kHeaderRecordCount, 3);
  EXPECT_FALSE(Verify().empty());
}

TEST_F(ArchiveVerifierTest, HeaderClaimedByAFirstRecordThatNeverCameHasNoViolation) {
  std::string error;
  ASSERT_TRUE(ArchiveFile::Create(path_, kMiB, ArchiveFile::Formatting::kFast, {}, &error)) << error;
  PatchU64(kHeaderOffset, Start());
  PatchU64(kHeaderLastTime, Start());
  PatchU64(kLastRecordTimes, Start() - 5);  // carried over from the file before
  const auto violations = Verify();
  EXPECT_TRUE(violations.empty()) << Describe(violations);
  PatchU64(kLastKeyTimes, Start() + 5);
  EXPECT_TRUE(Mentions(Verify(), "later than the first time"));
}

// ---- An append interrupted before its header and tables: the tables say what exists.

TEST_F(ArchiveVerifierTest, InterruptedAppendHasNoViolation) {
  WriteArchive(20);
  InterruptAppend();
  const auto violations = Verify();
  EXPECT_TRUE(violations.empty()) << Describe(violations);
}

TEST_F(ArchiveVerifierTest, InterruptedAppendWithDamagedLinksOrTablesIsViolation) {
  // Record 19 is the last one described, of camera 1 like the interrupted one; record 18 is camera 0's.
  const std::pair<std::function<void()>, std::string> damages[] = {
      {[&] { PatchU32(kHeaderRecordCount, 21); }, "last record offset"},
      {[&] { PatchU64(offsets_[19] + kRecordNextRecord, offsets_[10]); }, "points backwards"},
      {[&] { PatchU64(offsets_[19] + kRecordNextRecord, kFileSize + kMiB); }, "outside the data area"},
      {[&] { PatchU64(offsets_[19] + kRecordNextSameCamera, offsets_[20] + 8); }, "last record of camera 1 links on"},
      {[&] { PatchU64(offsets_[18] + kRecordNextSameCamera, offsets_[20]); }, "last record of camera 0 links on"},
      // Level 0's current block linked to the new block of level 1.
      {[&] { PatchU64(described_.last.lastBlockOffset[0] + kBlockNext, writer_->Tables().last.lastBlockOffset[1]); },
       "last block of level 0"},
      {[&] { PatchU32(described_.last.lastBlockOffset[2] + kBlockCameraMask, 0x7 | 0x10); }, "claims cameras 0x10"},
  };
  for (const auto& [damage, words] : damages) {
    offsets_.clear();
    WriteArchive(20);
    InterruptAppend();
    ASSERT_NE(writer_->Tables().last.lastBlockOffset[1], described_.last.lastBlockOffset[1]);
    damage();
    const auto violations = Verify();
    EXPECT_TRUE(Mentions(violations, words)) << words << "\n" << Describe(violations);
  }
}

// ---- Chains.

TEST_F(ArchiveVerifierTest, NextRecordSkippingARecord) {
  WriteArchive(20);
  PatchU64(offsets_[3] + kRecordNextRecord, offsets_[5]);
  const auto violations = Verify();
  EXPECT_TRUE(Mentions(violations, "record count")) << Describe(violations);
  EXPECT_TRUE(Mentions(violations, "next-same-camera link")) << Describe(violations);
}

TEST_F(ArchiveVerifierTest, NextRecordIntoAPayload) {
  WriteArchive(20);
  PatchU64(offsets_[3] + kRecordNextRecord, offsets_[4] + kRecordHeaderSize + 2);
  EXPECT_TRUE(Mentions(Verify(), "invalid record header"));
}

TEST_F(ArchiveVerifierTest, NextSameCameraSkippingARecord) {
  WriteArchive(20);
  PatchU64(offsets_[1] + kRecordNextSameCamera, offsets_[7]);
  EXPECT_TRUE(Mentions(Verify(), "skips this record"));
}

TEST_F(ArchiveVerifierTest, NextRecordLoop) {
  WriteArchive(20);
  PatchU64(offsets_[6] + kRecordNextRecord, offsets_[2]);
  EXPECT_TRUE(Mentions(Verify(), "points backwards"));
}

TEST_F(ArchiveVerifierTest, NextRecordPointingAtItself) {
  WriteArchive(20);
  PatchU64(offsets_[6] + kRecordNextRecord, offsets_[6]);
  EXPECT_TRUE(Mentions(Verify(), "points backwards"));
}

TEST_F(ArchiveVerifierTest, NextSameCameraLoop) {
  WriteArchive(20);
  PatchU64(offsets_[9] + kRecordNextSameCamera, offsets_[0]);
  EXPECT_TRUE(Mentions(Verify(), "backwards"));
}

TEST_F(ArchiveVerifierTest, SummaryBlockLoop) {
  WriteArchive(20);
  const uint64_t first = writer_->Tables().first.firstBlockOffset[0];
  PatchU64(first + kBlockNext, first);
  EXPECT_TRUE(Mentions(Verify(), "summary block link points backwards"));
}

// ---- Index.

TEST_F(ArchiveVerifierTest, IndexEntryPointingAtTheWrongRecord) {
  WriteArchive(20);
  PatchU64(IndexEntryAt(2) + kIndexOffset, offsets_[3]);
  EXPECT_TRUE(Mentions(Verify(), "index entry 2 points at"));
}

TEST_F(ArchiveVerifierTest, IndexEntryWithTheWrongTime) {
  WriteArchive(20);
  PatchU64(IndexEntryAt(4) + kIndexTime, Start() + 1);
  EXPECT_FALSE(Verify().empty());
}

// ---- Header and tables.

TEST_F(ArchiveVerifierTest, RecordCountOneTooMany) {
  WriteArchive(20);
  PatchU32(kHeaderRecordCount, 21);
  EXPECT_TRUE(Mentions(Verify(), "record count 21"));
}

TEST_F(ArchiveVerifierTest, RecordCountLargerThanTheFileCanHold) {
  WriteArchive(20);
  PatchU32(kHeaderRecordCount, 0xFFFFFFF0);
  EXPECT_TRUE(Mentions(Verify(), "larger than the file can hold"));
}

TEST_F(ArchiveVerifierTest, HeaderCameraMaskWithAnExtraCamera) {
  WriteArchive(20);
  PatchU32(kHeaderCameraMask, 0x7 | 0x100);
  EXPECT_TRUE(Mentions(Verify(), "header camera mask"));
}

TEST_F(ArchiveVerifierTest, HeaderLastTimeNotTheLastRecords) {
  WriteArchive(20);
  PatchU64(kHeaderLastTime, Start() + 1000 * kUnitsPerSecond);
  EXPECT_TRUE(Mentions(Verify(), "header last time"));
}

TEST_F(ArchiveVerifierTest, LastRecordOffsetOfACamera) {
  WriteArchive(20);
  PatchU64(kLastRecordOffsets + 8 * 1, offsets_[4]);
  EXPECT_TRUE(Mentions(Verify(), "last record offset of camera 1"));
}

TEST_F(ArchiveVerifierTest, LastKeyTimeOfACamera) {
  WriteArchive(20);
  PatchU64(kLastKeyTimes + 8 * 2, Start() + 5);
  EXPECT_TRUE(Mentions(Verify(), "last key time of camera 2"));
}

TEST_F(ArchiveVerifierTest, FirstRecordOffsetBeyondTheEnd) {
  WriteArchive(20);
  PatchU64(kFirstRecordOffsets, kFileSize + 100);
  EXPECT_FALSE(Verify().empty());
}

TEST_F(ArchiveVerifierTest, FillMarkerOverwritten) {
  WriteArchive(5);
  const uint8_t marker = 0x55;
  Patch(kFileSize - 1, &marker, 1);
  EXPECT_TRUE(Mentions(Verify(), "fill marker"));
}

// ---- Records.

TEST_F(ArchiveVerifierTest, DeltaFrameWithAWrongKeyTime) {
  WriteArchive(20);
  // Record 4 (camera 1) is a delta frame; its key frame is record 1.
  PatchU64(offsets_[4] + kRecordKeyTime, Start() + 3);
  EXPECT_TRUE(Mentions(Verify(), "key time of a delta frame"));
}

TEST_F(ArchiveVerifierTest, EventRecordOfTheWrongSize) {
  WriteArchive(20);
  PatchU32(offsets_[0] + kRecordPayloadSize, 100);
  EXPECT_FALSE(Verify().empty());
}

// ---- Summary.

TEST_F(ArchiveVerifierTest, SummaryBlockClaimingACameraWithoutRecords) {
  WriteArchive(20);
  const uint64_t first = writer_->Tables().first.firstBlockOffset[0];
  PatchU32(first + kBlockCameraMask, 0x1 | 0x200);
  EXPECT_TRUE(Mentions(Verify(), "claims cameras 0x200"));
}

TEST_F(ArchiveVerifierTest, SummaryBlockMissingASetEvent) {
  WriteArchive(20);
  const uint64_t first = writer_->Tables().first.firstBlockOffset[3];
  PatchU32(first + kBlockSetEventMask, 0);
  EXPECT_TRUE(Mentions(Verify(), "misses set-event cameras"));
}

TEST_F(ArchiveVerifierTest, LastBlockOffsetNotTheChainsEnd) {
  WriteArchive(20);
  PatchU64(kLastBlockOffsets, writer_->Tables().first.firstBlockOffset[0]);
  EXPECT_TRUE(Mentions(Verify(), "last block of level 0"));
}

TEST_F(ArchiveVerifierTest, SummaryBlockDroppedFromItsChain) {
  WriteArchive(20);
  // Level 0 blocks: one per record (one-second steps); unlink the second.
  const uint64_t first = writer_->Tables().first.firstBlockOffset[0];
  SummaryBlock second;
  ArchiveFile file;
  ASSERT_TRUE(file.Open(path_, ArchiveFile::Access::kReadOnly));
  SummaryBlock block;
  ASSERT_TRUE(file.ReadSummaryBlock(first, &block));
  ASSERT_TRUE(file.ReadSummaryBlock(block.next, &second));
  PatchU64(first + kBlockNext, second.next);
  const auto violations = Verify();
  EXPECT_TRUE(Mentions(violations, "no summary block of level 0")) << Describe(violations);
  EXPECT_TRUE(Mentions(violations, "in no level's chain")) << Describe(violations);
}

// ---- Damage that must not crash or hang.

TEST_F(ArchiveVerifierTest, RandomBytesOverTheTables) {
  WriteArchive(50);
  for (unsigned seed = 1; seed <= 20; ++seed) {
    CorruptBytes(0, kDataStart, seed);
    EXPECT_FALSE(Verify().empty()) << "seed " << seed;
  }
}

TEST_F(ArchiveVerifierTest, RandomBytesOverRecordHeaders) {
  WriteArchive(50);
  for (unsigned seed = 1; seed <= 20; ++seed) {
    CorruptBytes(offsets_[seed], kRecordHeaderSize, seed);
    EXPECT_FALSE(Verify().empty()) << "seed " << seed;
  }
}

TEST_F(ArchiveVerifierTest, RandomBytesOverTheWholeDataAndIndex) {
  WriteArchive(50);
  CorruptBytes(kDataStart, kFileSize - kDataStart - 1, 7);
  const auto violations = Verify();
  EXPECT_FALSE(violations.empty());
  EXPECT_LE(violations.size(), ArchiveVerifier::kMaxViolations + 1);
}

TEST_F(ArchiveVerifierTest, RandomDamageAnywhereAlwaysEnds) {
  WriteArchive(300);
  std::mt19937 random(11);
  const uint64_t used = offsets_.back() + kRecordHeaderSize + 64;
  for (int round = 0; round < 60; ++round) {
    // Mostly where the structures are: the tables, the records and chunks, the index.
    const uint64_t zones[] = {0, kDataStart, IndexEntryAt(299)};
    const uint64_t spans[] = {kDataStart, used - kDataStart, kFileSize - IndexEntryAt(299)};
    const int zone = static_cast<int>(random() % 3);
    CorruptBytes(zones[zone] + random() % spans[zone], 1 + random() % 24, static_cast<unsigned>(random()));
    // Bytes of a frame's payload are nobody's structure; everything else shows.
    Verify();
  }
  EXPECT_FALSE(Verify().empty());
}

TEST_F(ArchiveVerifierTest, TruncatedBelowOneMiB) {
  WriteArchive(50);
  Truncate(kMiB / 2);
  EXPECT_TRUE(Mentions(Verify(), "shorter than 1 MiB"));
}

TEST_F(ArchiveVerifierTest, TruncatedIntoTheTables) {
  WriteArchive(5);
  Truncate(100);
  EXPECT_FALSE(Verify().empty());
}

TEST_F(ArchiveVerifierTest, TruncatedLosingTheIndex) {
  WriteArchive(50);
  Truncate(kFileSize - kMiB / 2);
  EXPECT_TRUE(Mentions(Verify(), "index entry"));
}

TEST_F(ArchiveVerifierTest, MissingFile) {
  EXPECT_TRUE(Mentions(Verify(), "cannot open"));
}

TEST_F(ArchiveVerifierTest, TooManyViolationsAreCut) {
  WriteArchive(700);
  // Every index entry wrong.
  CorruptBytes(IndexEntryAt(699), 700 * kIndexEntrySize, 3);
  const auto violations = Verify();
  ASSERT_EQ(violations.size(), ArchiveVerifier::kMaxViolations + 1);
  EXPECT_EQ(violations.back().problem, "more violations not listed");
}

}  // namespace
}  // namespace strixc::archive
