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
// The file is judged as the recorder and the readers see it: the header and the tables say which
// records and blocks exist. A process killed while it appended a record leaves the file as it was
// before that record, plus the record's interrupted tail past what the tables describe: forward
// links out of the last record of the file and of its camera, and out of a level's current
// summary block, to the complete record or block written before them, and one camera's bit OR-ed
// into current blocks. The recorder clears that tail when it next loads the file and readers stop
// at the tables; it is no violation. Links anywhere else, or a tail that is not what one
// interrupted record can leave, are.
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
  bool IsClaimedWithoutRecords() const;
  void CheckClaimedHeader();
  void CheckHeaderLimits();
  void CheckFillMarker();
  void WalkRecords();
  bool ReadRecord(uint64_t offset, Record* record);
  // Whether a link out of the last described record or block points at what one interrupted
  // append leaves there: a complete record (or block) in the room past everything described.
  bool IsPendingRecord(uint64_t offset, const Record& last, RecordHeader* pending);
  bool IsPendingBlock(uint64_t offset, int level, const SummaryBlock& current);
  // End of the data the tables describe (after the last record); 0 without records.
  uint64_t DescribedEnd() const;
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
  // The record that the last record links to past the tables (an interrupted append), 0 for none.
  uint64_t pendingRecord_ = 0;
  RecordHeader pending_;
  // The camera bit that an interrupted append OR-ed into current summary blocks, 0 for none.
  uint32_t strayBit_ = 0;
  std::vector<ArchiveViolation> violations_;
  bool cut_ = false;
};

}  // namespace strixc::archive
