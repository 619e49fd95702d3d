#include "archive/archive_recorder.h"

#include <algorithm>
#include <cstring>

#include "archive/archive_database.h"
#include "archive/archive_time.h"

// Write order of one record, and why a killed process loses nothing but that record.
//
// The header and the two tables at the start of the file say which records exist: recordCount
// index entries, the chain from firstRecordOffset, lastRecordOffsetAny and lastBlockOffset[]. They
// are written last, together, with ONE write of 1152 bytes at offset 0. That write lies inside the
// first page of the file, and the kernel copies a page of a write in one piece, so a SIGKILL sees
// either the old tables or the new ones, never a mixture. Everything before it goes where the old
// tables do not look:
//
//   1. summary blocks: a new block lies past the current one (in the current chunk, or in a new
//      chunk at the append position); the new block is written before the old block's next link.
//      Only OR-ing a camera bit into a level's current block touches a described structure, and a
//      bit too many in an activity mask is harmless.
//   2. record header and payload at the append position, past the last described record.
//   3. the links of the previous records (nextRecord, nextSameCamera): they now point at a record
//      that is complete, so a reader that follows them early reads a whole record.
//   4. the index entry, beyond recordCount.
//   5. header and both tables: the record now exists.
//
// A crash between 3 and 5 leaves links and a current block's next pointing at what the tables do not
// describe yet (the next record would overwrite that space), and a crash after 1 a camera bit in
// current blocks that no record backs. Loading the state therefore repairs the tail first
// (RepairTail): the last record of the file and of each camera get their forward links cleared,
// the current block of each level its next link and any camera bit the tables do not back. The
// in-memory state works the same way: a record is built on a copy, and a failed write (a full
// disk) drops the copy and reloads the state from the file at once, repairing it the same way. Nothing is synced: a killed
// process loses nothing that the page cache holds; a power cut is beyond this.

namespace strixc::archive {

namespace {

uint32_t CameraBit(int camera) { return uint32_t{1} << camera; }

}  // namespace

ArchiveRecorder::ArchiveRecorder() : clock_(&ArchiveTimeNow) {}

ArchiveRecorder::~ArchiveRecorder() { Detach(); }

void ArchiveRecorder::Attach(ArchiveDatabase* database) {
  Detach();
  if (database == nullptr) return;
  std::lock_guard<std::mutex> guard(lock_);
  database_ = database;
  file_.reset();
  heldFile_.reset();
  stateLoaded_ = false;
  database->AttachRecorder(this);
  stopped_ = !database->IsOpen();
  attached_ = true;
}

void ArchiveRecorder::Detach() {
  std::lock_guard<std::mutex> guard(lock_);
  if (database_ == nullptr) return;
  database_->DetachRecorder();
  database_ = nullptr;
  attached_ = false;
  file_.reset();
  heldFile_.reset();
  stateLoaded_ = false;
}

void ArchiveRecorder::SetEnabled(bool on) { enabled_ = on; }

bool ArchiveRecorder::SwitchRecording(bool on, int cameras) {
  return SwitchRecording(on, cameras, on ? "Recording enabled" : "Recording disabled");
}

bool ArchiveRecorder::SwitchRecording(bool on, int cameras, const std::string& eventText) {
  cameras = std::clamp(cameras, 0, kCameraSlots);
  bool all = true;
  if (on) SetEnabled(true);
  for (int c = 0; c < cameras; ++c) {
    all = RecordEvent(c, 1, eventText) && all;
  }
  if (!on) SetEnabled(false);
  return all;
}

bool ArchiveRecorder::IsIndicatorOn() const {
  return attached_ && enabled_ && !stopped_ && lastWriteOk_;
}

void ArchiveRecorder::Start() {
  stopped_ = false;
  ++epoch_;
}

void ArchiveRecorder::Stop() {
  stopped_ = true;
  ++epoch_;
}

void ArchiveRecorder::SetClock(Clock clock) {
  std::lock_guard<std::mutex> guard(lock_);
  clock_ = clock ? std::move(clock) : Clock(&ArchiveTimeNow);
}

void ArchiveRecorder::SetWriteFault(WriteFault fault) {
  std::lock_guard<std::mutex> guard(lock_);
  writeFault_ = std::move(fault);
}

uint64_t ArchiveRecorder::LastWrittenTime() {
  std::lock_guard<std::mutex> guard(lock_);
  return lastWrittenTime_;
}

bool ArchiveRecorder::RecordFrame(int camera, const void* data, size_t size, bool isKeyFrame) {
  std::lock_guard<std::mutex> guard(lock_);
  return WriteLocked(isKeyFrame ? RecordType::kKeyFrame : RecordType::kDeltaFrame, camera, clock_(),
                     data, size);
}

bool ArchiveRecorder::RecordEvent(int camera, uint32_t flag, const std::string& text) {
  EventPayload event;
  event.flag = flag;
  event.text = text;
  std::array<uint8_t, kEventPayloadSize> payload{};
  event.Encode(payload.data());
  std::lock_guard<std::mutex> guard(lock_);
  return WriteLocked(RecordType::kEvent, camera, clock_(), payload.data(), payload.size());
}

bool ArchiveRecorder::WriteRecord(RecordType type, int camera, uint64_t time, const void* payload,
                                  size_t size) {
  std::lock_guard<std::mutex> guard(lock_);
  return WriteLocked(type, camera, time, payload, size);
}

bool ArchiveRecorder::WriteLocked(RecordType type, int camera, uint64_t time, const void* payload,
                                  size_t size) {
  if (database_ == nullptr || !enabled_ || stopped_) return false;
  // The record file is held for the length of one write: once the database lets go of it (closed,
  // rebuilt) its descriptor closes with the write in progress, and a deleted file's space is free.
  file_ = heldFile_.lock();
  const bool written = WriteHeld(type, camera, time, payload, size);
  heldFile_ = file_;
  file_.reset();
  return written;
}

bool ArchiveRecorder::WriteHeld(RecordType type, int camera, uint64_t time, const void* payload,
                                size_t size) {
  // A caller's mistake, not a disk's: refused without touching the archive or the indicator.
  const bool event = type == RecordType::kEvent;
  if (camera < 0 || camera >= kCameraSlots || size > static_cast<size_t>(INT32_MAX) ||
      (payload == nullptr && size != 0) ||
      (type != RecordType::kKeyFrame && type != RecordType::kDeltaFrame && !event) ||
      (event && size != kEventPayloadSize)) {
    return false;
  }
  log_.Reset();

  bool written = EnsureState();
  if (written && !HasRoom(state_, size)) {
    written = database_->NextRecordFile(log_, size);
    stateLoaded_ = false;
    written = written && LoadState() == Load::kOk && HasRoom(state_, size);
  }
  // Taken after the state is loaded: a file may hold times later than this process has seen.
  const uint64_t t = time > lastWrittenTime_ ? time : lastWrittenTime_ + 1;

  FileState work = state_;
  FileHeader& header = work.tables.header;
  LastTable& last = work.tables.last;
  if (written && header.IsEmpty()) {
    // A reset file: claim it with this record's time; the time tables carry over from the file
    // before, all offsets start from nothing.
    header = FileHeader{t, t, 0, 0};
    std::array<uint8_t, kDataStart> raw;
    header.Encode(raw.data());
    work.tables.first.Encode(raw.data() + kFirstTableOffset);
    last.Encode(raw.data() + kLastTableOffset);
    written = Write(kHeaderOffset, raw.data(), raw.size());
    if (written) state_.tables.header = header;
  }

  uint32_t flag = 0;
  std::array<uint8_t, kEventPayloadSize> eventPayload;
  if (written && event) {
    std::memcpy(eventPayload.data(), payload, kEventPayloadSize);
    flag = GetU32(eventPayload.data() + kEventFlag);
  }
  written = written && UpdateSummary(&work, t, camera, type, flag);

  const uint64_t r = work.appendPos;
  uint64_t eventTime = lastEventTime_;
  if (written && event) {
    (flag != 0 ? last.lastSetEventTime : last.lastClearEventTime)[camera] = t;
    for (int c = 0; c < kCameraSlots; ++c) {
      PutU64(eventPayload.data() + kEventClearTimes + 8 * c, last.lastClearEventTime[c]);
      PutU64(eventPayload.data() + kEventSetTimes + 8 * c, last.lastSetEventTime[c]);
    }
    payload = eventPayload.data();
    eventTime = t;
  }

  if (written) {
    RecordHeader h;
    h.type = static_cast<uint8_t>(type);
    h.camera = static_cast<uint8_t>(camera);
    h.time = t;
    h.keyTime = type == RecordType::kDeltaFrame ? last.lastKeyTime[camera] : t;
    h.lastEventTime = eventTime;
    h.lastRecordTime = last.lastRecordTime;
    h.lastRecordTime[camera] = t;
    h.lastBlockOffset = last.lastBlockOffset;
    h.payloadSize = static_cast<int32_t>(size);
    std::array<uint8_t, kRecordHeaderSize> raw;
    h.Encode(raw.data());
    written = Write(r, raw.data(), raw.size(), payload, size);
    work.appendPos = r + kRecordHeaderSize + size;
  }

  std::array<uint8_t, 8> link;
  PutU64(link.data(), r);
  if (written && last.lastRecordOffsetAny != 0) {
    written = Write(last.lastRecordOffsetAny + kRecordNextRecord, link.data(), link.size());
  }
  if (written && last.lastRecordOffset[camera] != 0) {
    written = Write(last.lastRecordOffset[camera] + kRecordNextSameCamera, link.data(), link.size());
  }

  if (written) {
    std::array<uint8_t, kIndexEntrySize> raw;
    IndexEntry{t, r}.Encode(raw.data());
    written = Write(static_cast<uint64_t>(work.indexPos), raw.data(), raw.size());
    work.indexPos -= static_cast<int64_t>(kIndexEntrySize);
  }

  if (written) {
    header.lastTime = t;
    header.cameraMask |= CameraBit(camera);
    ++header.recordCount;
    if (work.tables.first.firstRecordOffset[camera] == 0) work.tables.first.firstRecordOffset[camera] = r;
    last.lastRecordOffset[camera] = r;
    last.lastRecordTime[camera] = t;
    last.lastRecordOffsetAny = r;
    if (type != RecordType::kDeltaFrame) last.lastKeyTime[camera] = t;
    std::array<uint8_t, kDataStart> raw;
    header.Encode(raw.data());
    work.tables.first.Encode(raw.data() + kFirstTableOffset);
    last.Encode(raw.data() + kLastTableOffset);
    written = Write(kHeaderOffset, raw.data(), raw.size());
  }

  if (!written) {
    // What the failed steps left behind lies outside what the file describes. Reading the state
    // back now clears the links that point at it (when the disk lets us), so that readers stop at
    // the last described record; otherwise the next write tries again.
    stateLoaded_ = false;
    if (file_ != nullptr) (void)LoadState();
    lastWriteOk_ = false;
    return false;
  }
  state_ = work;
  lastWrittenTime_ = t;
  lastEventTime_ = eventTime;
  database_->RecordWritten(header.firstTime, t, header.cameraMask,
                           static_cast<uint64_t>(work.indexPos - static_cast<int64_t>(work.appendPos) - 1));
  lastWriteOk_ = log_.Count() == 0;
  return true;
}

bool ArchiveRecorder::EnsureState() {
  if (stateLoaded_ && loadedEpoch_ == epoch_.load() && file_ != nullptr) return true;
  stateLoaded_ = false;
  switch (LoadState()) {
    case Load::kOk:
      return true;
    case Load::kFailed:
      return false;
    case Load::kDamaged:
      // A record file whose tail cannot be read back cannot take records; the ring moves on, as if
      // it were full.
      return database_->NextRecordFile(log_) && LoadState() == Load::kOk;
  }
  return false;
}

ArchiveRecorder::Load ArchiveRecorder::LoadState() {
  const uint64_t epoch = epoch_.load();
  file_ = database_->CurrentRecordFile();
  if (file_ == nullptr) return Load::kFailed;
  FileState s;
  s.fileLength = file_->Length();
  if (!file_->ReadTables(&s.tables)) {
    LogReadError(file_->LastError());
    return Load::kFailed;
  }
  if (s.tables.header.IsEmpty()) {
    // The time state continues from the file before; the header is claimed by the first record.
    const LastTable& kept = state_.tables.last;
    s.tables = FileTables{};
    s.tables.last.lastRecordTime = kept.lastRecordTime;
    s.tables.last.lastKeyTime = kept.lastKeyTime;
    s.tables.last.lastClearEventTime = kept.lastClearEventTime;
    s.tables.last.lastSetEventTime = kept.lastSetEventTime;
    s.appendPos = kDataStart;
  } else {
    if (!file_->AppendPosition(s.tables.last, &s.appendPos)) {
      LogReadError(file_->LastError());
      return Load::kDamaged;
    }
    for (int level = 0; level < kSummaryLevels; ++level) {
      const uint64_t at = s.tables.last.lastBlockOffset[level];
      if (at != 0 && !file_->ReadSummaryBlock(at, &s.currentBlocks[level])) {
        LogReadError(file_->LastError());
        return Load::kDamaged;
      }
    }
    if (!RepairTail(&s)) return Load::kFailed;
  }
  s.indexPos = IndexPosition(s.fileLength, s.tables.header.recordCount);
  const LastTable& last = s.tables.last;
  for (int c = 0; c < kCameraSlots; ++c) {
    lastWrittenTime_ = std::max(lastWrittenTime_, last.lastRecordTime[c]);
    lastEventTime_ = std::max({lastEventTime_, last.lastSetEventTime[c], last.lastClearEventTime[c]});
  }
  state_ = s;
  loadedEpoch_ = epoch;
  stateLoaded_ = true;
  return Load::kOk;
}

bool ArchiveRecorder::RepairTail(FileState* state) {
  const LastTable& last = state->tables.last;
  // Clears one forward link of a described record when a write that never completed left it set.
  auto clear = [&](uint64_t record, size_t field, int camera) {
    if (record < kDataStart || record > state->fileLength - 1 ||
        kRecordHeaderSize > state->fileLength - 1 - record) {
      return true;
    }
    std::array<uint8_t, kRecordHeaderSize> raw;
    if (!Read(record, raw.data(), raw.size())) return false;
    const RecordHeader h = RecordHeader::Decode(raw.data());
    if (!h.IsValid() || (camera >= 0 && h.camera != camera) || GetU64(raw.data() + field) == 0) {
      return true;
    }
    const std::array<uint8_t, 8> zero{};
    return Write(record + field, zero.data(), zero.size());
  };
  bool ok = last.lastRecordOffsetAny == 0 || clear(last.lastRecordOffsetAny, kRecordNextRecord, -1);
  for (int c = 0; c < kCameraSlots && ok; ++c) {
    if (last.lastRecordOffset[c] != 0) ok = clear(last.lastRecordOffset[c], kRecordNextSameCamera, c);
  }
  for (int level = 0; level < kSummaryLevels && ok; ++level) {
    if (last.lastBlockOffset[level] == 0) continue;
    SummaryBlock& block = state->currentBlocks[level];
    // The current block is that of the last record's slot, so the tables tell which cameras have
    // records and events in it here; a camera bit beyond them was OR-ed in by an append that
    // never completed.
    const uint64_t from = std::max(block.slotStart, state->tables.header.firstTime);
    uint32_t cameras = 0;
    uint32_t clear = 0;
    uint32_t set = 0;
    for (int c = 0; c < kCameraSlots; ++c) {
      if (last.lastRecordOffset[c] != 0 && last.lastRecordTime[c] >= from) cameras |= CameraBit(c);
      if (last.lastClearEventTime[c] >= from) clear |= CameraBit(c);
      if (last.lastSetEventTime[c] >= from) set |= CameraBit(c);
    }
    if (block.next != 0 || (block.cameraMask & ~cameras) != 0 || (block.clearEventMask & ~clear) != 0 ||
        (block.setEventMask & ~set) != 0) {
      block.next = 0;
      block.cameraMask &= cameras;
      block.clearEventMask &= clear;
      block.setEventMask &= set;
      ok = WriteBlock(last.lastBlockOffset[level], block);
    }
  }
  return ok;
}

bool ArchiveRecorder::HasRoom(const FileState& state, size_t size) const {
  return HasRoomFor(static_cast<int64_t>(state.appendPos), state.indexPos, static_cast<int64_t>(size));
}

bool ArchiveRecorder::UpdateSummary(FileState* state, uint64_t t, int camera, RecordType type,
                                    uint32_t flag) {
  const uint32_t bit = CameraBit(camera);
  const bool event = type == RecordType::kEvent;
  LevelTable& lastBlock = state->tables.last.lastBlockOffset;
  for (int level = 0; level < kSummaryLevels; ++level) {
    const uint64_t slot = SlotStart(t, level);
    const uint64_t cur = lastBlock[level];
    SummaryBlock& current = state->currentBlocks[level];
    if (cur != 0 && current.slotStart == slot) {
      const SummaryBlock before = current;
      current.cameraMask |= bit;
      if (event) (flag != 0 ? current.setEventMask : current.clearEventMask) |= bit;
      // Most frames add nothing new to their slots: no write then.
      if (current.cameraMask != before.cameraMask || current.setEventMask != before.setEventMask ||
          current.clearEventMask != before.clearEventMask) {
        if (!WriteBlock(cur, current)) return false;
      }
      continue;
    }
    int highest = 0;
    for (int l = 1; l < kSummaryLevels; ++l) {
      if (lastBlock[l] > lastBlock[highest]) highest = l;
    }
    uint64_t position = 0;
    uint32_t sequence = 0;
    if (lastBlock[highest] != 0 && state->currentBlocks[highest].sequence < kBlocksPerChunk - 1) {
      position = lastBlock[highest] + kSummaryBlockSize;
      sequence = state->currentBlocks[highest].sequence + 1;
    } else {
      position = state->appendPos;
      state->appendPos += kSummaryChunkSize;
    }
    SummaryBlock fresh;
    fresh.sequence = sequence;
    fresh.slotStart = slot;
    fresh.cameraMask = bit;
    if (event) (flag != 0 ? fresh.setEventMask : fresh.clearEventMask) = bit;
    // The new block first: a next link never points at a block not yet written.
    if (!WriteBlock(position, fresh)) return false;
    if (cur != 0) {
      current.next = position;
      if (!WriteBlock(cur, current)) return false;
    }
    current = fresh;
    if (state->tables.first.firstBlockOffset[level] == 0) state->tables.first.firstBlockOffset[level] = position;
    lastBlock[level] = position;
  }
  return true;
}

bool ArchiveRecorder::Write(uint64_t offset, const void* data, size_t n, const void* more, size_t moreSize) {
  if (writeFault_) {
    if (const int error = writeFault_(offset, n + moreSize); error != 0) {
      LogWriteError(std::strerror(error));
      return false;
    }
  }
  const bool ok = moreSize == 0 ? file_->WriteAt(offset, data, n) : file_->WriteAt(offset, data, n, more, moreSize);
  if (!ok) {
    LogWriteError(file_->LastError());
    return false;
  }
  return true;
}

bool ArchiveRecorder::WriteBlock(uint64_t offset, const SummaryBlock& block) {
  std::array<uint8_t, kSummaryBlockSize> raw;
  block.Encode(raw.data());
  return Write(offset, raw.data(), raw.size());
}

bool ArchiveRecorder::Read(uint64_t offset, void* data, size_t n) {
  if (!file_->ReadAt(offset, data, n)) {
    LogReadError(file_->LastError());
    return false;
  }
  return true;
}

void ArchiveRecorder::LogWriteError(const std::string& text) {
  log_.Add("Record to " + file_->Path() + " : " + text, true);
}

void ArchiveRecorder::LogReadError(const std::string& text) {
  log_.Add("Read from  " + file_->Path() + " : " + text, true);
}

}  // namespace strixc::archive
