#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "archive/archive_file.h"
#include "archive/archive_records.h"

namespace strixc::archive {

// One place where a file breaks a rule of the format: the byte offset of the structure concerned
// (0 for the file as a whole) and what is wrong, in words.
struct ArchiveViolation {
  uint64_t offset = 0;
  std::string problem;
};

// Checks every structure of one archive file against the records it holds: the header and both
// tables, every record header, both link chains, the index, the summary blocks of every level and
// the placement of records and summary chunks in the data area. The records are taken from the
// next-record chain; every other structure is compared with them.
//
// Reads go through ArchiveFile with its bounds checks, links are only followed forward and every
// walk is also bounded by what the file can hold, so a damaged file (random bytes, truncation,
// offsets beyond the end, link loops) yields violations and never a crash or an endless walk. The
// file is opened read-only and never written. One object per check; not thread-safe.
class ArchiveVerifier {
 public:
  // At most this many violations are listed per file; one more entry then says that the list is
  // cut, so a file of random bytes cannot flood the output.
  static constexpr size_t kMaxViolations = 1000;

  // Checks the file at `path`. Empty when the file is sound (an empty file is sound when its header
  // is all zero).
  static std::vector<ArchiveViolation> VerifyFile(const std::string& path);

 private:
  struct Record {
    uint64_t offset = 0;
    RecordHeader header;
    bool event = false;     // an event record with a readable payload
    uint32_t eventFlag = 0;
  };
  struct Block {
    int level = 0;
    SummaryBlock block;
  };

  explicit ArchiveVerifier(const std::string& path) : path_(path) {}
  void Run();

  void Add(uint64_t offset, std::string problem);
  void CheckEmptyHeader();
  void CheckHeaderLimits();
  void CheckFillMarker();
  void WalkRecords();
  bool ReadRecord(uint64_t offset, Record* record);
  void WalkBlocks();
  void CheckRecordSnapshots();
  void CheckCameraChains();
  void CheckTablesAgainstRecords();
  void CheckIndex();
  void CheckSummaryAgainstRecords();
  void CheckPlacement();

  // Whether [offset, offset + n) lies in the data area, before the fill marker.
  bool InData(uint64_t offset, uint64_t n) const;

  const std::string path_;
  ArchiveFile file_;
  FileTables tables_;
  uint64_t length_ = 0;
  uint32_t recordCount_ = 0;  // the header's count, cut to what the file can hold
  std::vector<Record> records_;          // the next-record chain, in order
  std::map<uint64_t, size_t> recordAt_;  // record offset -> position in records_
  std::map<uint64_t, Block> blocks_;     // every block reached from a level's first block
  std::vector<uint64_t> levelChain_[kSummaryLevels];
  std::vector<ArchiveViolation> violations_;
  bool cut_ = false;
};

}  // namespace strixc::archive
