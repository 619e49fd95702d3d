#include "archive/archive_reader.h"

#include <algorithm>
#include <cmath>

namespace strixc::archive {

namespace {

// Exact (a * b) / c for the bin arithmetic, whose products may pass 64 bits for wide ranges.
// Truncates towards zero like 64-bit integer division.
__extension__ typedef __int128 Wide;

int64_t MulDiv(int64_t a, uint64_t b, uint64_t c) {
  const Wide q = static_cast<Wide>(a) * static_cast<Wide>(b) / static_cast<Wide>(c);
  if (q > INT64_MAX) return INT64_MAX;
  if (q < INT64_MIN) return INT64_MIN;
  return static_cast<int64_t>(q);
}

bool InRange(uint64_t t, uint64_t lo, uint64_t hi) { return t != 0 && t >= lo && t <= hi; }

// The bin of `t` when [t0, t1) is split into n equal bins; t0 <= t < t1.
uint64_t BinOf(uint64_t t, uint64_t t0, uint64_t t1, uint64_t n) {
  return static_cast<uint64_t>(static_cast<Wide>(t - t0) * n / (t1 - t0));
}

// Whether two headers stand for the same record. The links are left out: a copy taken before the
// camera's next record was appended still has them at 0.
bool SameRecord(const RecordHeader& a, const RecordHeader& b) {
  return a.type == b.type && a.camera == b.camera && a.time == b.time && a.keyTime == b.keyTime &&
         a.lastEventTime == b.lastEventTime && a.lastRecordTime == b.lastRecordTime &&
         a.lastBlockOffset == b.lastBlockOffset && a.payloadSize == b.payloadSize;
}

// In a sound file times increase strictly, so one entry has a given time; a damaged index may
// repeat one many times, and looking at more than this many is not worth it.
constexpr int kEqualTimeScan = 64;

}  // namespace

ArchiveReader::ArchiveReader(ArchiveFileList* files, StatusText status)
    : files_(files), status_(std::move(status)), slot_(files->RegisterReader()) {}

ArchiveReader::~ArchiveReader() {
  if (slot_ >= 0) files_->UnregisterReader(slot_);
}

size_t ArchiveReader::CachedIndexEntries() const {
  std::lock_guard<std::mutex> guard(lock_);
  return cache_.Size();
}

uint64_t ArchiveReader::IndexCacheFlushes() const {
  std::lock_guard<std::mutex> guard(lock_);
  return cache_.Flushes();
}

ArchiveReader::Pinned::Pinned(ArchiveReader* reader) : reader_(reader) {
  if (reader->slot_ < 0) return;
  uint64_t generation = 0;
  std::shared_ptr<ArchiveFile> file = reader->files_->ReaderFile(reader->slot_, &generation);
  if (file == nullptr || generation != reader->generation_) {
    reader->Unload();
    return;
  }
  reader->file_ = std::move(file);
}

void ArchiveReader::Unload() {
  ++loads_;
  position_ = kNoPosition;
  cache_.Clear();
  blockWindow_.clear();
  loaded_ = false;
  tables_ = FileTables{};
  fileLength_ = 0;
  file_.reset();
}

ArchiveFile* ArchiveReader::File() { return file_ != nullptr && file_->IsOpen() ? file_.get() : nullptr; }

bool ArchiveReader::LoadFile() {
  Unload();
  if (slot_ < 0) return false;
  file_ = files_->ReaderFile(slot_, &generation_);
  ArchiveFile* file = File();
  if (file == nullptr) return false;
  fileLength_ = file->Length();
  FileTables tables;
  // A file too short for its tables is loaded as empty: every walk then ends in it.
  if (file->ReadTables(&tables)) tables_ = tables;
  loaded_ = true;
  if (status_) status_(file->Path());
  return true;
}

bool ArchiveReader::Entry(uint32_t entry, IndexEntry* out) {
  if (const auto cached = cache_.Find(entry)) {
    *out = *cached;
    return true;
  }
  ArchiveFile* file = File();
  IndexEntry e;
  if (file == nullptr || !file->ReadIndexEntry(entry, tables_.header.recordCount, &e)) return false;
  cache_.Store(entry, e);
  *out = e;
  return true;
}

bool ArchiveReader::ReadBlock(uint64_t offset, SummaryBlock* block) {
  ArchiveFile* file = File();
  if (file == nullptr) return false;
  const bool inWindow = offset >= blockWindowStart_ && !blockWindow_.empty() &&
                        offset - blockWindowStart_ + kSummaryBlockSize <= blockWindow_.size();
  if (!inWindow) {
    // The first block is read on its own, with every check of its place in the file; the window
    // then holds what follows it, up to one chunk, never past the end of the file.
    if (!file->ReadSummaryBlock(offset, block)) return false;
    const uint64_t room = file->Length() - 1 - offset;
    blockWindow_.resize(static_cast<size_t>(std::min<uint64_t>(room, kSummaryChunkSize)));
    if (!file->ReadAt(offset, blockWindow_.data(), blockWindow_.size())) {
      blockWindow_.clear();
      return false;
    }
    blockWindowStart_ = offset;
    return true;
  }
  const SummaryBlock b = SummaryBlock::Decode(blockWindow_.data() + (offset - blockWindowStart_));
  std::string why;
  if (!ArchiveFile::CheckSummaryBlock(offset, b, &why)) return false;
  *block = b;
  return true;
}

bool ArchiveReader::Seek(uint64_t time, RecordHeader* header) {
  std::lock_guard<std::mutex> guard(lock_);
  const Pinned pinned(this);
  return SeekLocked(time, header);
}

bool ArchiveReader::SeekLocked(uint64_t time, RecordHeader* header) {
  position_ = kNoPosition;
  if (time == 0 || slot_ < 0) return false;
  const FileHeader& fh = tables_.header;
  // At the loaded file's last time the next file may start with the same clock value: only the list
  // knows, and the record wanted is the one written last.
  if (!loaded_ || File() == nullptr || time < fh.firstTime || time >= fh.lastTime) {
    if (!files_->SeekReader(slot_, time) || !LoadFile()) return false;
  }
  const uint32_t count = tables_.header.recordCount;
  if (count == 0) return false;
  // The last entry not later than `time`; entry 0 when all are later. A damaged index with unsorted
  // times still ends the search: the range shrinks on every step.
  uint32_t found = 0;
  uint32_t lo = 0;
  uint32_t hi = count - 1;
  while (count > 1 && lo <= hi) {
    const uint32_t mid = lo + (hi - lo) / 2;
    IndexEntry e;
    if (!Entry(mid, &e)) return false;
    const uint64_t t = e.time;
    if (t == time) {
      found = mid;
      break;
    }
    if (t < time) {
      found = mid;
      lo = mid + 1;
    } else {
      if (mid == 0) break;
      hi = mid - 1;
    }
  }
  ArchiveFile* file = File();
  IndexEntry entry;
  if (file == nullptr || !Entry(found, &entry)) return false;
  RecordHeader h;
  if (!file->ReadRecordHeader(entry.offset, &h)) return false;
  position_ = entry.offset;
  *header = h;
  return true;
}

uint64_t ArchiveReader::FirstRecordOffset() const {
  uint64_t first = 0;
  for (uint64_t offset : tables_.first.firstRecordOffset) {
    if (offset != 0 && (first == 0 || offset < first)) first = offset;
  }
  return first;
}

bool ArchiveReader::Describes(uint64_t offset, bool block) {
  const auto limit = [this, block] {
    const LevelTable& blocks = tables_.last.lastBlockOffset;
    return block ? *std::max_element(blocks.begin(), blocks.end()) : tables_.last.lastRecordOffsetAny;
  };
  if (offset <= limit()) return true;
  return RereadTables() && offset <= limit();
}

bool ArchiveReader::RereadTables() {
  ArchiveFile* file = File();
  FileTables fresh;
  if (file == nullptr || !file->ReadTables(&fresh)) return false;
  if (fresh.header.firstTime != tables_.header.firstTime) {
    // The ring has reused the file: nothing cached of it holds any more, nor does any link into it.
    tables_ = fresh;
    cache_.Clear();
    blockWindow_.clear();
    ++loads_;
    return false;
  }
  tables_ = fresh;
  return true;
}

uint64_t ArchiveReader::NextRecordAfter(const RecordHeader& header) {
  if (header.nextRecord != 0 && Describes(header.nextRecord, false)) return header.nextRecord;
  // Each step moves one file forward through the list, so this ends at the newest file.
  while (files_->NextFileForReader(slot_)) {
    if (!LoadFile() || tables_.header.IsEmpty()) return 0;
    if (const uint64_t first = FirstRecordOffset()) return first;
  }
  return 0;
}

uint64_t ArchiveReader::NextSameCameraAfter(const RecordHeader& header) {
  if (header.nextSameCamera != 0 && Describes(header.nextSameCamera, false)) return header.nextSameCamera;
  if (header.camera >= kCameraSlots) return 0;
  while (files_->NextFileForReader(slot_)) {
    if (!LoadFile() || tables_.header.IsEmpty()) return 0;
    if (const uint64_t first = tables_.first.firstRecordOffset[header.camera]) return first;
  }
  return 0;
}

bool ArchiveReader::ReadRecord(std::vector<uint8_t>* payload, RecordHeader* header, bool sameCamera) {
  std::lock_guard<std::mutex> guard(lock_);
  const Pinned pinned(this);
  ArchiveFile* file = File();
  if (position_ == kNoPosition || file == nullptr) return false;
  RecordHeader h;
  if (!file->ReadRecordHeader(position_, &h) || !file->ReadPayload(position_, h, payload)) {
    position_ = kNoPosition;
    return false;
  }
  *header = h;
  const uint64_t next = sameCamera ? NextSameCameraAfter(h) : NextRecordAfter(h);
  position_ = next == 0 ? kNoPosition : next;
  return true;
}

bool ArchiveReader::PrevRecordOfCamera(int camera, uint64_t time, RecordHeader* header) {
  std::lock_guard<std::mutex> guard(lock_);
  const Pinned pinned(this);
  return PrevRecordOfCameraLocked(camera, time, header);
}

bool ArchiveReader::PrevRecordOfCameraLocked(int camera, uint64_t time, RecordHeader* header) {
  if (camera < 0 || camera >= kCameraSlots) return false;
  RecordHeader h;
  if (!SeekLocked(time, &h)) return false;
  // Seek lands on the record written last at or before `time`, so its snapshot holds every
  // camera's latest time up to there. Another camera's record may carry the same time (in the file
  // before, or starting the file after), so the time alone does not find the camera's record.
  const uint64_t target = h.lastRecordTime[camera];
  if (target == 0 || target > time) return false;
  RecordHeader p;
  if (!LocateRecord(camera, target, nullptr, &p)) return false;
  *header = p;
  return true;
}

bool ArchiveReader::LastEntryAtOrBefore(uint64_t time, uint32_t* entry) {
  uint32_t lo = 0;
  uint32_t hi = tables_.header.recordCount;
  // Without an early exit on an equal time, so that it ends on the last of equal entries.
  while (lo < hi) {
    const uint32_t mid = lo + (hi - lo) / 2;
    IndexEntry e;
    if (!Entry(mid, &e)) return false;
    if (e.time <= time) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  if (lo == 0) return false;
  *entry = lo - 1;
  return true;
}

bool ArchiveReader::FindInFile(int camera, uint64_t time, const RecordHeader* exact, uint64_t* offset,
                               RecordHeader* out) {
  ArchiveFile* file = File();
  uint32_t entry = 0;
  if (file == nullptr || time == 0 || !LastEntryAtOrBefore(time, &entry)) return false;
  for (int scanned = 0; scanned < kEqualTimeScan; ++scanned, --entry) {
    IndexEntry e;
    if (!Entry(entry, &e) || e.time != time) return false;
    RecordHeader h;
    if (file->ReadRecordHeader(e.offset, &h) && h.camera == camera && h.time == time &&
        (exact == nullptr || SameRecord(h, *exact))) {
      *offset = e.offset;
      *out = h;
      return true;
    }
    if (entry == 0) return false;
  }
  return false;
}

bool ArchiveReader::LocateRecord(int camera, uint64_t time, const RecordHeader* exact, RecordHeader* out) {
  RecordHeader h;
  if (!SeekLocked(time, &h)) return false;
  uint64_t offset = 0;
  if (FindInFile(camera, time, exact, &offset, out)) {
    position_ = offset;
    return true;
  }
  // Only when this file starts at `time` can files before it end there: the one before the first
  // file starting at `time`, then those starting at it. Each step moves one file forward.
  if (tables_.header.firstTime != time || time <= 1) return false;
  if (!files_->SeekReader(slot_, time - 1) || !LoadFile()) return false;
  int steps = 0;
  int foundAt = -1;
  RecordHeader found;
  uint64_t foundOffset = 0;
  for (;;) {
    const FileHeader& fh = tables_.header;
    if (fh.IsEmpty() || fh.firstTime > time) break;
    RecordHeader r;
    if (FindInFile(camera, time, exact, &offset, &r)) {
      foundAt = steps;
      found = r;
      foundOffset = offset;
      if (exact != nullptr) break;
    }
    if (fh.lastTime > time || !files_->NextFileForReader(slot_)) break;
    ++steps;
    if (!LoadFile()) break;
  }
  if (foundAt < 0) return false;
  if (foundAt != steps) {
    // The last match lies in a file passed on the way: go back to it the same way.
    if (!files_->SeekReader(slot_, time - 1) || !LoadFile()) return false;
    for (int i = 0; i < foundAt; ++i) {
      if (!files_->NextFileForReader(slot_) || !LoadFile()) return false;
    }
  }
  position_ = foundOffset;
  *out = found;
  return true;
}

bool ArchiveReader::SeekCamera(int camera, uint64_t time, RecordHeader* header) {
  std::lock_guard<std::mutex> guard(lock_);
  const Pinned pinned(this);
  *header = RecordHeader{};
  if (camera < 0 || camera >= kCameraSlots) return false;
  RecordHeader work;
  uint64_t candidate = 0;
  if (!PrevRecordOfCameraLocked(camera, time, &work)) {
    work = RecordHeader{};
    work.camera = static_cast<uint8_t>(camera);
    // The failed search may have left an older file loaded (a snapshot time from a file the ring
    // has since reused); the camera's first record there could lie long before `time`. Take it from
    // the file holding `time`.
    RecordHeader at;
    (void)SeekLocked(time, &at);
    candidate = loaded_ ? tables_.first.firstRecordOffset[camera] : 0;
  }
  if (work.time == time && time != 0) {
    *header = work;
    return true;
  }
  if (candidate == 0) candidate = NextSameCameraAfter(work);
  ArchiveFile* file = File();
  RecordHeader h;
  if (candidate == 0 || file == nullptr || !file->ReadRecordHeader(candidate, &h) || h.camera != camera) {
    position_ = kNoPosition;
    return false;
  }
  position_ = candidate;
  *header = h;
  return true;
}

ArchiveReader::Lane& ArchiveReader::PlaceLane(size_t camera, const RecordHeader& header) {
  Lane& lane = lanes_[camera];
  if (lane.load == loads_ && SameRecord(lane.header, header)) return lane;
  lane = Lane{};
  lane.header = header;
  lane.load = loads_;
  // An empty header, or one not of this camera (the caller's damage), stands before every file.
  lane.next = tables_.first.firstRecordOffset[camera];
  if (header.time == 0 || header.camera != camera) return lane;
  const FileHeader& fh = tables_.header;
  if (header.time < fh.firstTime) return lane;
  // The tables may be older than the header (the recorder appends to the newest file).
  if (header.time > fh.lastTime && (!RereadTables() || header.time > tables_.header.lastTime)) {
    lane.place = Place::kAfter;
    lane.next = 0;
    return lane;
  }
  RecordHeader now;
  if (FindInFile(static_cast<int>(camera), header.time, &header, &lane.offset, &now)) {
    lane.place = Place::kIn;
    lane.last = lane.offset;
    lane.next = now.nextSameCamera;
    return lane;
  }
  // Not here although its time is in range: a record of the file before with the time this file
  // starts at, else one of the file after with its last time. Damage or a file reused since both
  // end up as "after": the camera then sits out this file rather than going back in time.
  if (header.time != tables_.header.firstTime) {
    lane.place = Place::kAfter;
    lane.next = 0;
  }
  return lane;
}

bool ArchiveReader::FindNextAmong(std::span<const RecordHeader> headers, std::span<const bool> selected,
                                  uint64_t* offset, size_t* camera) {
  const size_t count = std::min({headers.size(), selected.size(), size_t{kCameraSlots}});
  if (slot_ < 0) return false;
  // The walk point: the record delivered last when the caller still holds it and its file is
  // loaded, else the newest selected header, whose file is found again by its time.
  uint64_t walkOffset = 0;
  const bool continuing = lastLane_ >= 0 && static_cast<size_t>(lastLane_) < count && selected[lastLane_] &&
                          loaded_ && File() != nullptr && lanes_[lastLane_].load == loads_ &&
                          lanes_[lastLane_].place == Place::kIn &&
                          SameRecord(lanes_[lastLane_].header, headers[lastLane_]);
  if (continuing) {
    walkOffset = lanes_[lastLane_].offset;
  } else {
    lastLane_ = -1;
    const RecordHeader* newest = nullptr;
    for (size_t i = 0; i < count; ++i) {
      if (selected[i] && headers[i].time != 0 && headers[i].camera == i &&
          (newest == nullptr || headers[i].time > newest->time)) {
        newest = &headers[i];
      }
    }
    if (newest == nullptr) {
      // Nothing delivered yet: the selected cameras start at their first records in the archive.
      const uint64_t earliest = files_->EarliestTime();
      if (earliest == 0 || !files_->SeekReader(slot_, earliest) || !LoadFile()) return false;
    } else {
      const size_t w = newest->camera;
      if (!loaded_ || File() == nullptr || PlaceLane(w, *newest).place != Place::kIn) {
        RecordHeader found;
        if (!LocateRecord(newest->camera, newest->time, newest, &found)) return false;
      }
      const Lane& walk = PlaceLane(w, *newest);
      if (walk.place != Place::kIn) return false;
      walkOffset = walk.offset;
    }
  }
  // Each round either finds the record in the loaded file or moves one file forward.
  bool reread = false;
  for (;;) {
    uint64_t best = 0;
    size_t chosen = 0;
    for (size_t i = 0; i < count; ++i) {
      if (!selected[i]) continue;
      Lane* lane = &PlaceLane(i, headers[i]);
      if (walkOffset < lane->passed) {
        lane->load = 0;
        lane = &PlaceLane(i, headers[i]);
      }
      // Offsets grow with time inside one file. What lies at or before the walk point is passed:
      // only a header the caller did not bring up to the walk point leaves any there.
      while (lane->next != 0 && lane->next <= walkOffset) {
        RecordHeader h;
        if (!Describes(lane->next, false) || !File()->ReadRecordHeader(lane->next, &h) || h.camera != i) {
          lane->next = 0;
          break;
        }
        lane->last = lane->next;
        lane->next = h.nextSameCamera;
        lane->passed = walkOffset;
      }
      const uint64_t next = lane->next;
      if (next != 0 && (best == 0 || next < best) && Describes(next, false)) {
        best = next;
        chosen = i;
      }
    }
    if (best != 0) {
      *offset = best;
      *camera = chosen;
      return true;
    }
    if (!reread) {
      // Before leaving the file: the recorder may have appended since the tables and the headers
      // were read. Cameras whose latest record in the file is no longer the one passed look again.
      reread = true;
      const uint64_t loads = loads_;
      // Reused by the ring since: nothing placed in it holds. Unreadable: go on with what is known.
      if (!RereadTables() && loads_ != loads) return false;
      bool changed = false;
      for (size_t i = 0; i < count; ++i) {
        Lane& lane = lanes_[i];
        if (!selected[i] || lane.load != loads_ || lane.place == Place::kAfter || lane.next != 0) continue;
        const uint64_t latest = tables_.last.lastRecordOffset[i];
        RecordHeader now;
        if (lane.last == 0) {
          lane.next = tables_.first.firstRecordOffset[i];
        } else if (latest != 0 && latest != lane.last && File()->ReadRecordHeader(lane.last, &now)) {
          lane.next = now.nextSameCamera;
        }
        changed = changed || lane.next != 0;
      }
      if (changed) continue;
    }
    // Ends at the newest file: each round moves one file forward.
    if (!files_->NextFileForReader(slot_) || !LoadFile()) return false;
    walkOffset = 0;
    reread = false;
  }
}

bool ArchiveReader::NextAmongCameras(std::span<RecordHeader> headers, std::span<const bool> selected,
                                     std::vector<uint8_t>* payload, int* camera) {
  std::lock_guard<std::mutex> guard(lock_);
  const Pinned pinned(this);
  uint64_t offset = 0;
  size_t chosen = 0;
  if (!FindNextAmong(headers, selected, &offset, &chosen)) return false;
  ArchiveFile* file = File();
  RecordHeader h;
  // A record of another camera in a camera's chain is damage: taking it would mix two chains.
  if (file == nullptr || !file->ReadRecordHeader(offset, &h) || h.camera != chosen ||
      !file->ReadPayload(offset, h, payload)) {
    return false;
  }
  headers[chosen] = h;
  Lane& lane = lanes_[chosen];
  lane.header = h;
  lane.load = loads_;
  lane.place = Place::kIn;
  lane.offset = offset;
  lane.last = offset;
  lane.next = h.nextSameCamera;
  lane.passed = 0;
  lastLane_ = static_cast<int>(chosen);
  *camera = static_cast<int>(chosen);
  return true;
}

uint64_t ArchiveReader::NextTimeAmongCameras(std::span<const RecordHeader> headers,
                                             std::span<const bool> selected) {
  std::lock_guard<std::mutex> guard(lock_);
  const Pinned pinned(this);
  uint64_t offset = 0;
  size_t chosen = 0;
  const int lastLane = lastLane_;
  if (!FindNextAmong(headers, selected, &offset, &chosen)) return 0;
  // Looking ahead is not a delivery: a NextAmongCameras after it goes on from where it was.
  lastLane_ = lastLane;
  ArchiveFile* file = File();
  RecordHeader h;
  if (file == nullptr || !file->ReadRecordHeader(offset, &h) || h.camera != chosen) return 0;
  return h.time;
}

int ArchiveReader::SummaryLevelFor(uint64_t t0, uint64_t t1, size_t n) {
  if (n == 0 || t1 <= t0) return -1;
  const double width = static_cast<double>(t1 - t0) / static_cast<double>(n);
  if (width <= std::ldexp(1.0, kLevel0SlotShift)) return -1;
  int level = 0;
  while (level + 1 < kSummaryLevels && std::ldexp(1.0, kLevel0SlotShift + level + 1) < width) ++level;
  return level;
}

void ArchiveReader::Activity(uint64_t t0, uint64_t t1, std::span<uint32_t> cameraBins,
                             std::span<uint32_t> clearBins, std::span<uint32_t> setBins) {
  std::lock_guard<std::mutex> guard(lock_);
  const Pinned pinned(this);
  std::fill(cameraBins.begin(), cameraBins.end(), 0u);
  std::fill(clearBins.begin(), clearBins.end(), 0u);
  std::fill(setBins.begin(), setBins.end(), 0u);
  const size_t n = cameraBins.size();
  if (n == 0 || clearBins.size() != n || setBins.size() != n || t1 <= t0 || slot_ < 0) return;
  const int level = SummaryLevelFor(t0, t1, n);
  if (level >= 0) {
    ActivityByBlocks(level, t0, t1, cameraBins, clearBins, setBins);
  } else {
    ActivityByRecords(t0, t1, cameraBins, clearBins, setBins);
  }
}

bool ArchiveReader::HasRecords(uint64_t from, uint64_t to) {
  std::lock_guard<std::mutex> guard(lock_);
  const Pinned pinned(this);
  RecordHeader h;
  if (from > to || slot_ < 0 || !SeekLocked(to, &h)) return false;
  // A snapshot entry of a record after `to` (a request before the archive) is a time before it,
  // of a record the ring may have reused since: only the record found at or before `to` counts.
  if (h.time > to) return false;
  for (int c = 0; c < kCameraSlots; ++c) {
    if (InRange(h.lastRecordTime[c], from, to)) return true;
  }
  return false;
}

void ArchiveReader::ActivityByBlocks(int level, uint64_t t0, uint64_t t1, std::span<uint32_t> cameraBins,
                                     std::span<uint32_t> clearBins, std::span<uint32_t> setBins) {
  const uint64_t n = cameraBins.size();
  // The recorder keeps adding to the newest blocks: nothing read before this call is reused.
  blockWindow_.clear();
  const uint64_t slotLength = uint64_t{1} << (kLevel0SlotShift + level);
  RecordHeader h;
  if (!SeekLocked(t0, &h)) return;
  uint64_t offset = h.lastBlockOffset[level];
  while (offset != 0) {
    ArchiveFile* file = File();
    SummaryBlock block;
    if (file == nullptr || !ReadBlock(offset, &block)) return;
    if (block.slotStart == 0 || SlotStart(block.slotStart, level) != block.slotStart) return;
    // A block stands for its whole slot, [slotStart, slotStart + slot length): it counts in every
    // bin that slot overlaps and in no other. The walk starts at the block of the record at or
    // before t0, which may have ended long before t0; and a slot that crosses a bin boundary
    // holds records on either side of it.
    const uint64_t slotLast = block.slotStart + (slotLength - 1);
    if (slotLast >= t0 && block.slotStart < t1) {
      const uint64_t from = BinOf(std::max(block.slotStart, t0), t0, t1, n);
      const uint64_t to = BinOf(std::min(slotLast, t1 - 1), t0, t1, n);
      for (uint64_t bin = from; bin <= to && bin < n; ++bin) {
        cameraBins[bin] |= block.cameraMask;
        clearBins[bin] |= block.clearEventMask;
        setBins[bin] |= block.setEventMask;
      }
    }
    if (block.slotStart >= t1) return;
    offset = block.next != 0 && Describes(block.next, true) ? block.next : 0;
    // The level's list goes on with its first block in the following files; each round moves one
    // file forward, so this ends at the newest file.
    while (offset == 0) {
      if (!files_->NextFileForReader(slot_) || !LoadFile()) return;
      offset = tables_.first.firstBlockOffset[level];
    }
  }
}

void ArchiveReader::ActivityByRecords(uint64_t t0, uint64_t t1, std::span<uint32_t> cameraBins,
                                      std::span<uint32_t> clearBins, std::span<uint32_t> setBins) {
  const uint64_t n = cameraBins.size();
  const uint64_t earliest = files_->EarliestTime();
  const uint64_t latest = files_->LatestTime();
  uint64_t lo = t0;
  for (uint64_t i = 0; i < n; ++i) {
    const uint64_t hi = t0 + static_cast<uint64_t>(MulDiv(static_cast<int64_t>(i + 1), t1 - t0, n));
    RecordHeader h;
    if (earliest == 0 || lo > latest || hi < earliest || !SeekLocked(hi, &h)) {
      lo = hi + 1;
      continue;
    }
    for (int c = 0; c < kCameraSlots; ++c) {
      if (InRange(h.lastRecordTime[c], lo, hi)) cameraBins[i] |= uint32_t{1} << c;
    }
    RecordHeader event;
    ArchiveFile* file = nullptr;
    if (InRange(h.lastEventTime, lo, hi) && SeekLocked(h.lastEventTime, &event) &&
        event.type == static_cast<uint8_t>(RecordType::kEvent) &&
        event.payloadSize == static_cast<int32_t>(kEventPayloadSize) && (file = File()) != nullptr &&
        file->ReadPayload(position_, event, &eventPayload_)) {
      const EventPayload payload = EventPayload::Decode(eventPayload_.data());
      for (int c = 0; c < kCameraSlots; ++c) {
        if (InRange(payload.lastClearEventTime[c], lo, hi)) clearBins[i] |= uint32_t{1} << c;
        if (InRange(payload.lastSetEventTime[c], lo, hi)) setBins[i] |= uint32_t{1} << c;
      }
    }
    // A record found after hi (a request before the archive) must not push lo past it.
    lo = std::min(h.time, hi) + 1;
  }
}

}  // namespace strixc::archive
