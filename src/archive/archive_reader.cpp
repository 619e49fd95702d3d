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
  if (!loaded_ || File() == nullptr || time < fh.firstTime || time > fh.lastTime) {
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
  ArchiveFile* file = File();
  FileTables fresh;
  if (file == nullptr || !file->ReadTables(&fresh)) return false;
  if (fresh.header.firstTime != tables_.header.firstTime) {
    // The ring has reused the file: nothing cached of it holds any more, nor does the link.
    tables_ = fresh;
    cache_.Clear();
    blockWindow_.clear();
    return false;
  }
  tables_ = fresh;
  return offset <= limit();
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
  RecordHeader p;
  if (!SeekLocked(h.lastRecordTime[camera], &p)) return false;
  if (p.camera != camera || p.time > time) return false;
  *header = p;
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

bool ArchiveReader::NextAmongCameras(std::span<RecordHeader> headers, std::span<const bool> selected,
                                     std::vector<uint8_t>* payload, int* camera) {
  std::lock_guard<std::mutex> guard(lock_);
  const Pinned pinned(this);
  const size_t count = std::min({headers.size(), selected.size(), size_t{kCameraSlots}});
  if (slot_ < 0) return false;
  for (;;) {
    uint64_t best = 0;
    size_t chosen = 0;
    for (size_t i = 0; i < count; ++i) {
      const uint64_t next = headers[i].nextSameCamera;
      if (selected[i] && next != 0 && (best == 0 || next < best) && Describes(next, false)) {
        best = next;
        chosen = i;
      }
    }
    if (best != 0) {
      ArchiveFile* file = File();
      RecordHeader h;
      // A record of another camera in a camera's chain is damage: taking it would mix two chains.
      if (file == nullptr || !file->ReadRecordHeader(best, &h) || h.camera != chosen ||
          !file->ReadPayload(best, h, payload)) {
        return false;
      }
      headers[chosen] = h;
      *camera = static_cast<int>(chosen);
      return true;
    }
    // Ends at the newest file: each round moves one file forward.
    if (!files_->NextFileForReader(slot_) || !LoadFile()) return false;
    for (size_t i = 0; i < count; ++i) {
      if (selected[i]) headers[i].nextSameCamera = tables_.first.firstRecordOffset[i];
    }
  }
}

uint64_t ArchiveReader::NextTimeAmongCameras(std::span<const RecordHeader> headers,
                                             std::span<const bool> selected) {
  std::lock_guard<std::mutex> guard(lock_);
  const Pinned pinned(this);
  const size_t count = std::min({headers.size(), selected.size(), size_t{kCameraSlots}});
  uint64_t best = 0;
  for (size_t i = 0; i < count; ++i) {
    const uint64_t next = headers[i].nextSameCamera;
    if (selected[i] && next != 0 && (best == 0 || next < best) && Describes(next, false)) best = next;
  }
  ArchiveFile* file = File();
  RecordHeader h;
  if (best == 0 || file == nullptr || !file->ReadRecordHeader(best, &h)) return 0;
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

void ArchiveReader::ActivityByBlocks(int level, uint64_t t0, uint64_t t1, std::span<uint32_t> cameraBins,
                                     std::span<uint32_t> clearBins, std::span<uint32_t> setBins) {
  const uint64_t n = cameraBins.size();
  // The recorder keeps adding to the newest blocks: nothing read before this call is reused.
  blockWindow_.clear();
  RecordHeader h;
  if (!SeekLocked(t0, &h)) return;
  uint64_t offset = h.lastBlockOffset[level];
  while (offset != 0) {
    ArchiveFile* file = File();
    SummaryBlock block;
    if (file == nullptr || !ReadBlock(offset, &block)) return;
    if (block.slotStart == 0 || SlotStart(block.slotStart, level) != block.slotStart) return;
    // Signed and truncated towards zero: a slot that starts less than a bin before t0 still
    // overlaps the range and counts in bin 0.
    const int64_t delta = block.slotStart >= t0 ? static_cast<int64_t>(std::min<uint64_t>(block.slotStart - t0, INT64_MAX))
                                                : -static_cast<int64_t>(std::min<uint64_t>(t0 - block.slotStart, INT64_MAX));
    const int64_t bin = MulDiv(delta, n, t1 - t0);
    if (bin >= 0 && static_cast<uint64_t>(bin) < n) {
      cameraBins[bin] |= block.cameraMask;
      clearBins[bin] |= block.clearEventMask;
      setBins[bin] |= block.setEventMask;
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
