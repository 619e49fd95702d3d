#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "archive/archive_file.h"
#include "archive/archive_file_list.h"
#include "archive/archive_records.h"
#include "archive/index_cache.h"

namespace strixc::archive {

// A reading cursor over the whole local archive: finds the record at a time, walks records forward
// (all cameras, one camera or a set of cameras) crossing from file to file by itself, finds a
// camera's latest record before a time, and answers activity questions for the timeline and the
// calendar. Each reader has its own file (through its slot in the file list) and its own copy of
// the loaded file's tables, so any number of readers and the recorder work side by side. Readers
// never write.
//
// Every operation takes the reader's lock; any thread may call. A damaged file never makes an
// operation crash or loop: record and block links are only followed forward (ArchiveFile checks
// them), files only forward through the list, and an invalid header counts as no record. The
// tables of a file say which records and blocks exist: a link past them (a record being appended
// now, or what an append that never completed left) is not followed until the tables describe it.
class ArchiveReader {
 public:
  // Receives the path of every file the reader loads. The caller drops it when the window showing
  // it has gone. Called with the reader's lock held: it must not call back into the reader.
  using StatusText = std::function<void(const std::string& path)>;

  // Registers a reader slot in `files`, which must outlive the reader. Without a slot (IsUsable()
  // false) every operation fails.
  explicit ArchiveReader(ArchiveFileList* files, StatusText status = {});
  // Releases the slot.
  ~ArchiveReader();
  ArchiveReader(const ArchiveReader&) = delete;
  ArchiveReader& operator=(const ArchiveReader&) = delete;

  bool IsUsable() const { return slot_ >= 0; }

  // Positions on the record at or before `time` (the first record of the first file when `time`
  // precedes the archive) and reads its header. False for time 0, an empty archive or an invalid
  // header; the position is then none and `header` unchanged.
  bool Seek(uint64_t time, RecordHeader* header);

  // Reads the record at the position (header and payload; the buffer grows as needed, it is never
  // shrunk) and moves the position to the next record: of the same camera when `sameCamera`, else
  // of any camera, continuing in the following files. False when there is no position or the
  // record cannot be read (the position is then none).
  bool ReadRecord(std::vector<uint8_t>* payload, RecordHeader* header, bool sameCamera);

  // The latest record of `camera` at or before `time`, found by two index searches through the
  // per-record snapshot of each camera's latest time. Records with equal times in neighbouring files
  // (a clock value shared across a file boundary) are told apart by camera; when the camera itself
  // has several records at that time, the one written last is the answer. The position is left on
  // that record. False (header unchanged) when the camera has no record at or before `time`.
  bool PrevRecordOfCamera(int camera, uint64_t time, RecordHeader* header);

  // The record of `camera` exactly at `time` (of several there, the one written last), else its first
  // record after `time`, in this or a later file. `header` is cleared first. On success the position
  // is on the record found.
  bool SeekCamera(int camera, uint64_t time, RecordHeader* header);

  // The next record in time among the selected cameras, across files. headers[i] is the last record
  // delivered for camera i, or all zero when camera i has no record at or before the walk's
  // position; for each selected camera the next record is the one after headers[i] in that camera's
  // own sequence (for an empty header its first record after the walk point), and the earliest of
  // them, in the order the records were written, is delivered: its header replaces headers[camera],
  // its payload goes to `payload`, `camera` receives the camera. The walk point is the newest of the
  // selected headers; nothing written at or before it is delivered. So a caller keeping, for every
  // selected camera, its latest record at or before the position (as a playback refresh does) gets
  // every record of the selected cameras in time order, whatever files they lie in.
  //
  // The headers alone say where the walk is: the reader finds each header's record again (by time,
  // told apart from equal-time records by its content), so the caller keeps nothing but `headers`
  // and `selected`, and any reader can be asked. Repeated calls on one reader with the headers it
  // delivered cost no search. False at the end of the archive, when the walk point's record no
  // longer exists (its file was reused) or on a record that cannot be read; `headers` unchanged
  // then. `headers` and `selected` have the same size, at most kCameraSlots are looked at.
  bool NextAmongCameras(std::span<RecordHeader> headers, std::span<const bool> selected,
                        std::vector<uint8_t>* payload, int* camera);

  // The time of the record NextAmongCameras would deliver next for the same headers, in this or a
  // later file; 0 when none. Leaves the headers alone.
  uint64_t NextTimeAmongCameras(std::span<const RecordHeader> headers, std::span<const bool> selected);

  // Splits [t0, t1] into n bins (n = size of the spans, which must be equal) and sets, per bin, the
  // cameras with records, with clear-events and with set-events. Bins are cleared first. Wide bins
  // are answered from the summary blocks, narrow ones from the records (SummaryLevelFor).
  void Activity(uint64_t t0, uint64_t t1, std::span<uint32_t> cameraBins, std::span<uint32_t> clearBins,
                std::span<uint32_t> setBins);

  // Whether any camera has a record in [from, to]. Exact, at the cost of one index search: the
  // record at or before `to` carries every camera's latest record time.
  bool HasRecords(uint64_t from, uint64_t to);

  // The summary level that Activity uses for n bins over [t0, t1], or -1 when it scans records:
  // levels are used when a bin is wider than a level-0 slot, and then the coarsest level whose
  // slot is still narrower than a bin.
  static int SummaryLevelFor(uint64_t t0, uint64_t t1, size_t n);

  // Index cache statistics, for tests.
  size_t CachedIndexEntries() const;
  uint64_t IndexCacheFlushes() const;

 private:
  static constexpr uint64_t kNoPosition = ~uint64_t{0};

  bool LoadFile();
  bool SeekLocked(uint64_t time, RecordHeader* header);
  bool PrevRecordOfCameraLocked(int camera, uint64_t time, RecordHeader* header);
  // Finds the record of `camera` at exactly `time`, loads its file and positions on it. With
  // `exact`, only a record with that content is taken; otherwise of several the one written last.
  // Looks in the newest file that can hold `time` and, when that file starts at `time`, in the files
  // before it that end there.
  bool LocateRecord(int camera, uint64_t time, const RecordHeader* exact, RecordHeader* out);
  // The same within the loaded file only: scans back over the index entries with that time.
  bool FindInFile(int camera, uint64_t time, const RecordHeader* exact, uint64_t* offset, RecordHeader* out);
  // The last index entry whose time is not later than `time`; false when all are later or none.
  bool LastEntryAtOrBefore(uint64_t time, uint32_t* entry);
  // Reads the loaded file's tables again (the recorder appends to the newest file). False when they
  // cannot be read or the ring has reused the file: then nothing known of it holds any more.
  bool RereadTables();

  // Where the record a caller's header stands for lies relative to the loaded file.
  enum class Place : uint8_t { kBefore, kIn, kAfter };
  // What the reader found out about one camera's header in NextAmongCameras, kept while the same
  // file stays loaded so that repeated calls need no search.
  struct Lane {
    RecordHeader header;    // the caller's header this describes
    uint64_t load = 0;      // loads_ when placed; another value means: place again
    Place place = Place::kBefore;
    uint64_t offset = 0;    // kIn: the record's offset
    // The camera's next record in the loaded file (0: none known yet), and the last one passed
    // (0: none), from which a link appended later is followed.
    uint64_t next = 0;
    uint64_t last = 0;
    uint64_t passed = 0;    // the walk point `next` was moved beyond
  };
  Lane& PlaceLane(size_t camera, const RecordHeader& header);
  // The common part of NextAmongCameras and NextTimeAmongCameras: loads the file of the next record
  // among the selected cameras and gives its offset and camera.
  bool FindNextAmong(std::span<const RecordHeader> headers, std::span<const bool> selected,
                     uint64_t* offset, size_t* camera);
  // Index entry `entry` of the loaded file, from the cache when it is there.
  bool Entry(uint32_t entry, IndexEntry* out);
  // A summary block of the loaded file, read through a window of the following bytes: one level's
  // blocks lie close together in the same chunk, so a walk over them reads each chunk once.
  bool ReadBlock(uint64_t offset, SummaryBlock* block);
  // The offset of the next record after `header`, of any camera or of header.camera only, loading
  // the following files as needed; 0 when none.
  uint64_t NextRecordAfter(const RecordHeader& header);
  uint64_t NextSameCameraAfter(const RecordHeader& header);
  uint64_t FirstRecordOffset() const;
  // Whether the tables describe the record (or, with `block`, the summary block) at `offset` of
  // the loaded file; records and blocks are appended in order, so those past the last one are not
  // described yet. The tables are read again before saying no: the recorder may have appended since.
  bool Describes(uint64_t offset, bool block);
  void ActivityByBlocks(int level, uint64_t t0, uint64_t t1, std::span<uint32_t> cameraBins,
                        std::span<uint32_t> clearBins, std::span<uint32_t> setBins);
  void ActivityByRecords(uint64_t t0, uint64_t t1, std::span<uint32_t> cameraBins,
                         std::span<uint32_t> clearBins, std::span<uint32_t> setBins);
  // Holds the slot's file for one public operation and lets go of it at the end, so that a file
  // the database has dropped (closed, rebuilt) closes as soon as the operation using it is over.
  // When the slot's generation moved on since the file was loaded, the loaded state is forgotten
  // and the operation seeks anew.
  class Pinned {
   public:
    explicit Pinned(ArchiveReader* reader);
    ~Pinned() { reader_->file_.reset(); }
    Pinned(const Pinned&) = delete;
    Pinned& operator=(const Pinned&) = delete;

   private:
    ArchiveReader* const reader_;
  };
  void Unload();
  // The pinned file, nullptr without one.
  ArchiveFile* File();

  ArchiveFileList* const files_;
  const StatusText status_;
  const int slot_;

  mutable std::mutex lock_;
  // Guarded by lock_:
  bool loaded_ = false;
  uint64_t loads_ = 1;  // moves on whenever the loaded file or what is known of it changes
  std::array<Lane, kCameraSlots> lanes_;
  int lastLane_ = -1;   // the camera NextAmongCameras delivered last
  std::shared_ptr<ArchiveFile> file_;  // held during an operation only (Pinned)
  uint64_t generation_ = 0;            // the slot's generation when the file was loaded
  uint64_t position_ = kNoPosition;
  uint64_t fileLength_ = 0;
  FileTables tables_;  // header, first-offset and last-state table of the loaded file
  IndexCache cache_;
  // ReadBlock's window: bytes of the loaded file from blockWindowStart_ on.
  std::vector<uint8_t> blockWindow_;
  uint64_t blockWindowStart_ = 0;
  std::vector<uint8_t> eventPayload_;
};

}  // namespace strixc::archive
