#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "archive/archive_records.h"

namespace strixc::archive {

// One open archive file: owns its descriptor and closes it on destruction. Reads and writes go to
// explicit offsets (pread/pwrite), so the recorder's object and any number of readers' objects on
// the same file never disturb each other. One thread at a time per object.
//
// The length is taken when the file is opened: archive files are preallocated and never grow.
// Every read checks offsets, lengths and counts taken from the file against that length, so a
// damaged or truncated file gives an error, never a read out of bounds. Writes never reach the
// fill marker (the last byte).
//
// Operations return false on failure and then leave their outputs unchanged; LastError() says why:
// the system's text for a failed system call, otherwise a precise description of the damage
// ("record header beyond end of file").
class ArchiveFile {
 public:
  enum class Access { kReadOnly, kReadWrite };
  // Normal formatting writes pseudo-random bytes and the fill marker 0x7F, fast formatting zeros
  // and the fill marker 0x00.
  enum class Formatting { kNormal, kFast };
  // Receives the progress text while a file is formatted: "<n>MB", and "" at the end. The caller
  // drops it when the window that shows it has gone.
  using ProgressText = std::function<void(const std::string& text)>;

  // Which link of a record header WriteLink fills in.
  enum class Link { kNextSameCamera, kNextRecord };

  ArchiveFile() = default;
  ~ArchiveFile();
  ArchiveFile(ArchiveFile&& other) noexcept;
  ArchiveFile& operator=(ArchiveFile&& other) noexcept;
  ArchiveFile(const ArchiveFile&) = delete;
  ArchiveFile& operator=(const ArchiveFile&) = delete;

  // Creates (or truncates) and formats the file at `path` to exactly `size` bytes, at least
  // kMinFileLength: the whole size is reserved on disk first, so that a full disk shows now and
  // not later while recording; then one byte every MiB from offset 1024, the fill marker, and an
  // empty header. `progress` may be empty. On failure `error` gets the system's text (or the
  // reason) and a file that was already truncated is removed again.
  static bool Create(const std::string& path, uint64_t size, Formatting formatting,
                     const ProgressText& progress, std::string* error);

  // Opens an existing file; an object that is open is closed first. Refuses what is not a regular
  // file.
  bool Open(const std::string& path, Access access);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }
  const std::string& Path() const { return path_; }
  uint64_t Length() const { return length_; }
  const std::string& LastError() const { return error_; }

  // Makes the file empty for reuse: 24 zero bytes at offset 0, the rest left as it is.
  bool Reset();
  bool Sync();

  // How many pread calls all archive files of this process have made (for measurements).
  static uint64_t ReadCalls();

  // Exactly n bytes or failure. Writes must end before the fill marker.
  bool ReadAt(uint64_t offset, void* data, size_t n);
  bool WriteAt(uint64_t offset, const void* data, size_t n);
  // `first` then `second` back to back at `offset`, in one system call where the kernel takes it
  // whole (a record header and its payload).
  bool WriteAt(uint64_t offset, const void* first, size_t firstSize, const void* second, size_t secondSize);

  bool ReadHeader(FileHeader* header);
  bool WriteHeader(const FileHeader& header);
  bool ReadFirstTable(FirstTable* table);
  bool WriteFirstTable(const FirstTable& table);
  bool ReadLastTable(LastTable* table);
  bool WriteLastTable(const LastTable& table);
  // Header and both tables in one read, and in one write.
  bool ReadTables(FileTables* tables);
  bool WriteTables(const FileTables& tables);

  // Where the next record goes: kDataStart when the file has no last record, else just after the
  // last record (header read and checked like ReadRecordHeader).
  bool AppendPosition(const LastTable& last, uint64_t* position);

  // The record header at `offset`, accepted only when it is valid (RecordHeader::IsValid), lies
  // with its payload inside the data area, and its links point forward past its payload (so a
  // walk along them always ends).
  bool ReadRecordHeader(uint64_t offset, RecordHeader* header);
  // The payload of the record whose checked header is `header` at `offset`; the buffer grows as
  // needed and is never shrunk.
  bool ReadPayload(uint64_t offset, const RecordHeader& header, std::vector<uint8_t>* payload);
  // Writes header and payload (header.payloadSize bytes) at `offset`.
  bool WriteRecord(uint64_t offset, const RecordHeader& header, const void* payload);
  // Fills in one link of the record header at `recordOffset`.
  bool WriteLink(uint64_t recordOffset, Link link, uint64_t target);

  // Index entry `entry` of a file holding `recordCount` records.
  bool ReadIndexEntry(uint32_t entry, uint32_t recordCount, IndexEntry* out);
  bool WriteIndexEntry(uint32_t entry, const IndexEntry& in);

  // The summary block at `offset`: inside the data area, sequence number below 1000, and a next
  // link of 0 or past the block.
  // The checks ReadSummaryBlock makes of a block read from `offset`; false with `why` set when it
  // cannot be right (callers that read many blocks at once decode them themselves).
  static bool CheckSummaryBlock(uint64_t offset, const SummaryBlock& block, std::string* why);
  bool ReadSummaryBlock(uint64_t offset, SummaryBlock* block);
  bool WriteSummaryBlock(uint64_t offset, const SummaryBlock& block);

 private:
  bool Fail(std::string text);
  bool FailSystem(int error);
  // Whether [offset, offset + n) lies before the fill marker; sets the error `what` + " beyond end
  // of file" when not.
  bool InsideData(uint64_t offset, uint64_t n, const char* what);

  int fd_ = -1;
  std::string path_;
  uint64_t length_ = 0;
  std::string error_;
};

}  // namespace strixc::archive
