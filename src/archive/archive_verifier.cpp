#include "archive/archive_verifier.h"

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstdio>
#include <set>
#include <utility>

#include "archive/archive_format.h"

namespace strixc::archive {

namespace {

constexpr uint32_t kAllCameras = (uint32_t{1} << kCameraSlots) - 1;

std::string Hex(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%" PRIx64, value);
  return text;
}

std::string Num(uint64_t value) { return std::to_string(value); }

// The smallest record a file can hold (a header with no payload and its index entry): a record
// count or a chain above what the file has room for at that size is damage.
uint64_t MaxRecords(uint64_t length) {
  if (length <= kDataStart + 1) return 0;
  return (length - 1 - kDataStart) / (kRecordHeaderSize + kIndexEntrySize);
}

struct SlotMasks {
  uint32_t cameras = 0;
  uint32_t clear = 0;
  uint32_t set = 0;
  uint64_t firstRecord = 0;
};

}  // namespace

std::vector<ArchiveViolation> ArchiveVerifier::VerifyFile(const std::string& path) {
  ArchiveVerifier verifier(path);
  verifier.Run();
  return std::move(verifier.violations_);
}

void ArchiveVerifier::Add(uint64_t offset, std::string problem) {
  if (violations_.size() < kMaxViolations) {
    violations_.push_back({offset, std::move(problem)});
  } else if (!cut_) {
    cut_ = true;
    violations_.push_back({0, "more violations not listed"});
  }
}

bool ArchiveVerifier::InData(uint64_t offset, uint64_t n) const {
  return offset >= kDataStart && length_ > 0 && offset <= length_ - 1 && n <= length_ - 1 - offset;
}

void ArchiveVerifier::Run() {
  if (!file_.Open(path_, ArchiveFile::Access::kReadOnly)) {
    Add(0, "cannot open: " + file_.LastError());
    return;
  }
  length_ = file_.Length();
  if (length_ < kMinFileLength) Add(0, "file shorter than 1 MiB (" + Num(length_) + " bytes)");
  if (length_ <= kDataStart) {
    Add(0, "file too short for its tables");
    return;
  }
  if (!file_.ReadTables(&tables_)) {
    Add(0, "cannot read the tables: " + file_.LastError());
    return;
  }
  CheckFillMarker();
  if (tables_.header.IsEmpty()) {
    // The rest of an emptied file is left as it was; only the header says anything.
    CheckEmptyHeader();
    return;
  }
  if (IsClaimedWithoutRecords()) {
    CheckClaimedHeader();
    return;
  }
  CheckHeaderLimits();
  WalkRecords();
  WalkBlocks();
  CheckRecordSnapshots();
  CheckCameraChains();
  CheckTablesAgainstRecords();
  CheckIndex();
  CheckSummaryAgainstRecords();
  CheckPlacement();
}

void ArchiveVerifier::CheckFillMarker() {
  uint8_t marker = 0;
  if (!file_.ReadAt(length_ - 1, &marker, 1)) {
    Add(length_ - 1, "cannot read the fill marker: " + file_.LastError());
  } else if (marker != kFillMarkerNormal && marker != kFillMarkerFast) {
    Add(length_ - 1, "fill marker is " + Hex(marker) + ", neither 0x7f nor 0x0");
  }
}

void ArchiveVerifier::CheckEmptyHeader() {
  const FileHeader& h = tables_.header;
  if (h.lastTime != 0 || h.recordCount != 0 || h.cameraMask != 0) {
    Add(kHeaderOffset, "empty file (first time 0) with a last time, record count or camera mask");
  }
}

// A reset file is claimed by its first record with a header write of its own before the record is
// written; a process killed in between leaves a header with a time, no record and no offsets.
bool ArchiveVerifier::IsClaimedWithoutRecords() const {
  const FirstTable& first = tables_.first;
  const LastTable& last = tables_.last;
  const auto none = [](const auto& table) {
    return std::all_of(table.begin(), table.end(), [](uint64_t o) { return o == 0; });
  };
  return tables_.header.recordCount == 0 && last.lastRecordOffsetAny == 0 && none(first.firstRecordOffset) &&
         none(first.firstBlockOffset) && none(last.lastRecordOffset) && none(last.lastBlockOffset);
}

void ArchiveVerifier::CheckClaimedHeader() {
  const FileHeader& h = tables_.header;
  if (h.lastTime != h.firstTime || h.cameraMask != 0) {
    Add(kHeaderOffset, "file without records whose header has a last time or camera mask of its own");
  }
  // The time tables come from the files before, all earlier than this file's first record.
  const LastTable& last = tables_.last;
  const std::pair<uint64_t, const CameraTable*> times[] = {{kLastRecordTimes, &last.lastRecordTime},
                                                          {kLastKeyTimes, &last.lastKeyTime},
                                                          {kLastClearEventTimes, &last.lastClearEventTime},
                                                          {kLastSetEventTimes, &last.lastSetEventTime}};
  for (const auto& [field, table] : times) {
    for (int c = 0; c < kCameraSlots; ++c) {
      if ((*table)[c] > h.firstTime) {
        Add(field + 8 * static_cast<uint64_t>(c), "time of camera " + std::to_string(c) +
                                                      " later than the first time of a file without records");
      }
    }
  }
}

void ArchiveVerifier::CheckHeaderLimits() {
  const FileHeader& h = tables_.header;
  if (h.lastTime < h.firstTime) Add(kHeaderOffset, "header last time before its first time");
  if ((h.cameraMask & ~kAllCameras) != 0) {
    Add(kHeaderOffset + kHeaderCameraMask, "header camera mask " + Hex(h.cameraMask) + " names cameras above 17");
  }
  const uint64_t most = MaxRecords(length_);
  recordCount_ = h.recordCount;
  if (h.recordCount > most) {
    Add(kHeaderOffset + kHeaderRecordCount,
        "record count " + Num(h.recordCount) + " larger than the file can hold (" + Num(most) + ")");
    recordCount_ = static_cast<uint32_t>(most);
  }
  if (h.recordCount == 0) Add(kHeaderOffset + kHeaderRecordCount, "non-empty file with a record count of 0");
}

bool ArchiveVerifier::ReadRecord(uint64_t offset, Record* record) {
  if (!InData(offset, kRecordHeaderSize)) {
    Add(offset, "record header outside the data area");
    return false;
  }
  std::array<uint8_t, kRecordHeaderSize> raw;
  if (!file_.ReadAt(offset, raw.data(), raw.size())) {
    Add(offset, "cannot read record header: " + file_.LastError());
    return false;
  }
  const RecordHeader h = RecordHeader::Decode(raw.data());
  if (!h.IsValid()) {
    Add(offset, "invalid record header (type " + Num(h.type) + ", camera " + Num(h.camera) + ", payload size " +
                    std::to_string(h.payloadSize) + ", time " + Num(h.time) + ")");
    return false;
  }
  if (!InData(offset + kRecordHeaderSize, static_cast<uint64_t>(h.payloadSize))) {
    Add(offset, "record payload of " + std::to_string(h.payloadSize) + " bytes beyond end of file");
    return false;
  }
  if (GetU32(raw.data() + kRecordReserved) != 0) Add(offset + kRecordReserved, "reserved bytes of record not zero");
  record->offset = offset;
  record->header = h;
  record->event = false;
  if (h.type == static_cast<uint8_t>(RecordType::kEvent)) {
    if (h.payloadSize != static_cast<int32_t>(kEventPayloadSize)) {
      Add(offset + kRecordPayloadSize, "event record with a payload of " + std::to_string(h.payloadSize) +
                                           " bytes instead of 392");
    } else {
      std::array<uint8_t, kEventPayloadSize> payload;
      if (file_.ReadAt(offset + kRecordHeaderSize, payload.data(), payload.size())) {
        record->event = true;
        record->eventFlag = GetU32(payload.data() + kEventFlag);
        const uint8_t* text = payload.data() + kEventText;
        if (std::find(text, text + kEventTextField, 0) == text + kEventTextField) {
          Add(offset + kRecordHeaderSize + kEventText, "event text without its terminating zero");
        }
      }
    }
  }
  return true;
}

void ArchiveVerifier::WalkRecords() {
  uint64_t first = 0;
  for (uint64_t o : tables_.first.firstRecordOffset) {
    if (o != 0 && (first == 0 || o < first)) first = o;
  }
  if (first == 0) {
    Add(kFirstRecordOffsets, "non-empty file without a first record of any camera");
    return;
  }
  // Each step moves forward by at least a record header, and the count is bounded besides.
  const uint64_t most = MaxRecords(length_);
  uint64_t at = first;
  while (at != 0) {
    if (records_.size() >= most) {
      Add(at, "next-record chain longer than the file can hold");
      return;
    }
    Record r;
    if (!ReadRecord(at, &r)) return;
    if (!records_.empty() && r.header.time <= records_.back().header.time) {
      Add(at, "record time not after the previous record's");
    }
    recordAt_[at] = records_.size();
    records_.push_back(r);
    const uint64_t end = at + kRecordHeaderSize + static_cast<uint64_t>(r.header.payloadSize);
    const uint64_t next = r.header.nextRecord;
    if (next != 0 && next < end) {
      Add(at + kRecordNextRecord, "next-record link points backwards (to " + Num(next) + ")");
      return;
    }
    if (next != 0 && at == tables_.last.lastRecordOffsetAny && records_.size() == tables_.header.recordCount &&
        IsPendingRecord(next, r, &pending_)) {
      pendingRecord_ = next;
      return;
    }
    at = next;
  }
}

uint64_t ArchiveVerifier::DescribedEnd() const {
  if (records_.empty()) return 0;
  const Record& last = records_.back();
  return last.offset + kRecordHeaderSize + static_cast<uint64_t>(last.header.payloadSize);
}

bool ArchiveVerifier::IsPendingRecord(uint64_t offset, const Record& last, RecordHeader* pending) {
  // `last` is the last record of the chain so far: the described space ends with it.
  const uint64_t end = DescribedEnd();
  RecordHeader h;
  // Summary chunks that the interrupted record started lie between it and the last record.
  if (offset < end || (offset - end) % kSummaryChunkSize != 0 || !file_.ReadRecordHeader(offset, &h)) return false;
  const int64_t index = IndexEntryPosition(length_, recordCount_);
  const uint64_t recordEnd = offset + kRecordHeaderSize + static_cast<uint64_t>(h.payloadSize);
  if (h.time <= last.header.time || h.nextRecord != 0 || h.nextSameCamera != 0 || index < 0 ||
      recordEnd > static_cast<uint64_t>(index)) {
    return false;
  }
  *pending = h;
  return true;
}

bool ArchiveVerifier::IsPendingBlock(uint64_t offset, int level, const SummaryBlock& current) {
  const uint64_t end = DescribedEnd();
  const int64_t index = IndexEntryPosition(length_, recordCount_);
  SummaryBlock b;
  if (end == 0 || index < 0 || offset + kSummaryBlockSize > static_cast<uint64_t>(index) ||
      !file_.ReadSummaryBlock(offset, &b) || b.next != 0 || b.slotStart <= current.slotStart ||
      SlotStart(b.slotStart, level) != b.slotStart ||
      (pendingRecord_ != 0 && pending_.lastBlockOffset[level] != offset)) {
    return false;
  }
  // Blocks are handed out in order: a new one follows the newest block of any level in its chunk,
  // or opens a chunk at the end of the described data.
  if (offset >= end) return (offset - end) % kSummaryChunkSize == kSummaryBlockSize * b.sequence;
  const uint64_t newest = *std::max_element(tables_.last.lastBlockOffset.begin(), tables_.last.lastBlockOffset.end());
  SummaryBlock top;
  if (offset <= newest || !file_.ReadSummaryBlock(newest, &top)) return false;
  return b.sequence > top.sequence && offset - newest == kSummaryBlockSize * (b.sequence - top.sequence);
}

void ArchiveVerifier::WalkBlocks() {
  const uint64_t most = length_ / kSummaryBlockSize;
  for (int level = 0; level < kSummaryLevels; ++level) {
    const std::string name = "level " + std::to_string(level);
    const uint64_t first = tables_.first.firstBlockOffset[level];
    const uint64_t last = tables_.last.lastBlockOffset[level];
    uint64_t at = first;
    uint64_t reached = 0;
    std::vector<uint64_t>& chain = levelChain_[level];
    while (at != 0) {
      if (chain.size() >= most) {
        Add(at, "summary chain of " + name + " longer than the file can hold");
        break;
      }
      if (!InData(at, kSummaryBlockSize)) {
        Add(at, "summary block of " + name + " outside the data area");
        break;
      }
      std::array<uint8_t, kSummaryBlockSize> raw;
      if (!file_.ReadAt(at, raw.data(), raw.size())) {
        Add(at, "cannot read summary block: " + file_.LastError());
        break;
      }
      const SummaryBlock b = SummaryBlock::Decode(raw.data());
      if (b.sequence >= kBlocksPerChunk) {
        Add(at, "summary block sequence number " + Num(b.sequence) + " above 999");
        break;
      }
      if (blocks_.count(at) != 0) {
        Add(at, "summary block in the chains of two levels");
        break;
      }
      if (SlotStart(b.slotStart, level) != b.slotStart) {
        Add(at + kBlockSlotStart, "slot start " + Num(b.slotStart) + " not aligned to a " + name + " slot");
      }
      if (!chain.empty() && b.slotStart <= blocks_[chain.back()].block.slotStart) {
        Add(at + kBlockSlotStart, "summary block slot not after the previous block's in " + name);
      }
      if (((b.cameraMask | b.clearEventMask | b.setEventMask) & ~kAllCameras) != 0) {
        Add(at + kBlockCameraMask, "summary block masks name cameras above 17");
      }
      blocks_[at] = Block{level, b};
      chain.push_back(at);
      reached = at;
      if (b.next != 0 && b.next < at + kSummaryBlockSize) {
        Add(at + kBlockNext, "summary block link points backwards (to " + Num(b.next) + ")");
        break;
      }
      if (b.next != 0 && at == last && IsPendingBlock(b.next, level, b)) break;
      at = b.next;
    }
    if (reached != last) {
      Add(kLastBlockOffsets + 8 * static_cast<uint64_t>(level),
          "last block of " + name + " is " + Num(last) + " but its chain ends at " + Num(reached));
    }
    if (first == 0 && !records_.empty()) Add(kFirstBlockOffsets + 8 * static_cast<uint64_t>(level), "no summary block of " + name);
  }
}

void ArchiveVerifier::CheckRecordSnapshots() {
  // What this file says about each camera so far; 0 while the camera has had no such record here,
  // and then only an upper bound holds (the value was carried over from an earlier file).
  CameraTable lastTime{};
  CameraTable lastKey{};
  uint64_t lastEvent = 0;
  for (const Record& r : records_) {
    const RecordHeader& h = r.header;
    const uint64_t at = r.offset;
    const bool delta = h.type == static_cast<uint8_t>(RecordType::kDeltaFrame);
    const bool event = h.type == static_cast<uint8_t>(RecordType::kEvent);
    if (!delta && h.keyTime != h.time) Add(at + kRecordKeyTime, "key time of a non-delta record is not its own time");
    if (delta && (lastKey[h.camera] != 0 ? h.keyTime != lastKey[h.camera] : h.keyTime > h.time)) {
      Add(at + kRecordKeyTime, "key time of a delta frame is not the camera's latest key frame");
    }
    if (event ? h.lastEventTime != h.time
              : (lastEvent != 0 ? h.lastEventTime != lastEvent : h.lastEventTime > h.time)) {
      Add(at + kRecordLastEventTime, "last event time does not match the event records");
    }
    for (int c = 0; c < kCameraSlots; ++c) {
      const uint64_t t = h.lastRecordTime[c];
      const bool ok = c == h.camera ? t == h.time : (lastTime[c] != 0 ? t == lastTime[c] : t <= h.time);
      if (!ok) {
        Add(at + kRecordLastRecordTimes + 8 * static_cast<uint64_t>(c),
            "latest-time snapshot of camera " + std::to_string(c) + " does not match the records");
        break;
      }
    }
    for (int level = 0; level < kSummaryLevels; ++level) {
      const auto it = blocks_.find(h.lastBlockOffset[level]);
      if (it == blocks_.end() || it->second.level != level ||
          it->second.block.slotStart != SlotStart(h.time, level)) {
        Add(at + kRecordLastBlockOffsets + 8 * static_cast<uint64_t>(level),
            "block snapshot of level " + std::to_string(level) + " is not the block of the record's slot");
        break;
      }
    }
    lastTime[h.camera] = h.time;
    if (!delta) lastKey[h.camera] = h.time;
    if (event) lastEvent = h.time;
  }
}

void ArchiveVerifier::CheckCameraChains() {
  for (int c = 0; c < kCameraSlots; ++c) {
    std::vector<uint64_t> expected;
    for (const Record& r : records_) {
      if (r.header.camera == c) expected.push_back(r.offset);
    }
    const uint64_t firstField = kFirstRecordOffsets + 8 * static_cast<uint64_t>(c);
    const uint64_t first = tables_.first.firstRecordOffset[c];
    if (expected.empty()) {
      if (first != 0) Add(firstField, "camera " + std::to_string(c) + " has a first record but no record in the chain");
      continue;
    }
    if (first != expected.front()) {
      Add(firstField, "first record of camera " + std::to_string(c) + " is " + Num(first) + ", the chain's is " +
                          Num(expected.front()));
      continue;
    }
    // Along nextSameCamera, only through records of the next-record chain, so the walk is bounded
    // by that chain and always moves forward.
    size_t k = 0;
    uint64_t at = first;
    while (true) {
      const auto it = recordAt_.find(at);
      if (it == recordAt_.end()) {
        Add(at, "next-same-camera link of camera " + std::to_string(c) + " points at no record");
        break;
      }
      const Record& r = records_[it->second];
      if (r.offset != expected[k]) {
        Add(expected[k], "next-same-camera chain of camera " + std::to_string(c) + " skips this record");
        break;
      }
      const uint64_t next = r.header.nextSameCamera;
      if (++k == expected.size()) {
        const bool pending = next == pendingRecord_ && pending_.camera == c;
        if (next != 0 && !pending) {
          Add(r.offset + kRecordNextSameCamera, "last record of camera " + std::to_string(c) + " links on");
        }
        break;
      }
      if (next <= r.offset) {
        Add(r.offset + kRecordNextSameCamera, next == 0 ? "next-same-camera chain ends before the camera's last record"
                                                        : "next-same-camera link points backwards");
        break;
      }
      at = next;
    }
  }
}

void ArchiveVerifier::CheckTablesAgainstRecords() {
  if (records_.empty()) return;
  const FileHeader& h = tables_.header;
  const LastTable& last = tables_.last;
  if (h.recordCount != records_.size()) {
    Add(kHeaderOffset + kHeaderRecordCount,
        "record count " + Num(h.recordCount) + " but the chain holds " + Num(records_.size()) + " records");
  }
  if (h.firstTime != records_.front().header.time) Add(kHeaderOffset, "header first time is not the first record's");
  if (h.lastTime != records_.back().header.time) Add(kHeaderOffset + kHeaderLastTime, "header last time is not the last record's");
  if (last.lastRecordOffsetAny != records_.back().offset) {
    Add(kLastRecordOffsetAny, "last record offset " + Num(last.lastRecordOffsetAny) + ", the chain ends at " +
                                  Num(records_.back().offset));
  }
  uint32_t mask = 0;
  for (int c = 0; c < kCameraSlots; ++c) {
    const Record* lastOf = nullptr;
    const Record* lastKeyOf = nullptr;
    const Record* lastClear = nullptr;
    const Record* lastSet = nullptr;
    for (const Record& r : records_) {
      if (r.header.camera != c) continue;
      lastOf = &r;
      if (r.header.type != static_cast<uint8_t>(RecordType::kDeltaFrame)) lastKeyOf = &r;
      if (r.event) (r.eventFlag != 0 ? lastSet : lastClear) = &r;
    }
    const uint64_t i = 8 * static_cast<uint64_t>(c);
    const std::string cam = "camera " + std::to_string(c);
    if (lastOf != nullptr) mask |= uint32_t{1} << c;
    if (last.lastRecordOffset[c] != (lastOf != nullptr ? lastOf->offset : 0)) {
      Add(kLastRecordOffsets + i, "last record offset of " + cam + " does not match the records");
    }
    // Times of cameras without such a record here were carried over from an earlier file.
    const auto check = [&](uint64_t field, uint64_t value, const Record* r, const char* what) {
      if (r != nullptr ? value != r->header.time : value > h.firstTime) {
        Add(field + i, std::string(what) + " of " + cam + " does not match the records");
      }
    };
    check(kLastRecordTimes, last.lastRecordTime[c], lastOf, "last record time");
    check(kLastKeyTimes, last.lastKeyTime[c], lastKeyOf, "last key time");
    check(kLastClearEventTimes, last.lastClearEventTime[c], lastClear, "last clear-event time");
    check(kLastSetEventTimes, last.lastSetEventTime[c], lastSet, "last set-event time");
  }
  if (h.cameraMask != mask) {
    Add(kHeaderOffset + kHeaderCameraMask, "header camera mask " + Hex(h.cameraMask) + ", the records give " + Hex(mask));
  }
}

void ArchiveVerifier::CheckIndex() {
  uint64_t previous = 0;
  for (uint32_t k = 0; k < recordCount_; ++k) {
    IndexEntry e;
    const int64_t position = IndexEntryPosition(length_, k);
    if (!file_.ReadIndexEntry(k, recordCount_, &e)) {
      Add(position < 0 ? 0 : static_cast<uint64_t>(position), "cannot read index entry " + Num(k) + ": " + file_.LastError());
      return;
    }
    const uint64_t at = static_cast<uint64_t>(position);
    if (k > 0 && e.time <= previous) Add(at, "index entry " + Num(k) + " not later than the entry before");
    previous = e.time;
    if (k >= records_.size()) {
      Add(at, "index entry " + Num(k) + " beyond the records of the chain");
      continue;
    }
    const Record& r = records_[k];
    if (e.offset != r.offset) {
      Add(at + kIndexOffset, "index entry " + Num(k) + " points at " + Num(e.offset) + ", record " + Num(k) +
                                 " is at " + Num(r.offset));
    } else if (e.time != r.header.time) {
      Add(at + kIndexTime, "index entry " + Num(k) + " time differs from its record's");
    }
  }
}

void ArchiveVerifier::CheckSummaryAgainstRecords() {
  if (records_.empty()) return;
  for (int level = 0; level < kSummaryLevels; ++level) {
    const std::string name = "level " + std::to_string(level);
    std::map<uint64_t, SlotMasks> expected;
    for (const Record& r : records_) {
      SlotMasks& m = expected[SlotStart(r.header.time, level)];
      const uint32_t bit = uint32_t{1} << r.header.camera;
      if (m.cameras == 0) m.firstRecord = r.offset;
      m.cameras |= bit;
      if (r.event) (r.eventFlag != 0 ? m.set : m.clear) |= bit;
    }
    std::set<uint64_t> seen;
    for (uint64_t at : levelChain_[level]) {
      const SummaryBlock& b = blocks_[at].block;
      const auto it = expected.find(b.slotStart);
      if (it == expected.end()) {
        Add(at, "summary block of " + name + " for a slot without records");
        continue;
      }
      seen.insert(b.slotStart);
      const SlotMasks& m = it->second;
      // An interrupted append OR-s its camera into the current blocks first: one camera, the
      // same in every level, and the pending record's when that was written too.
      const uint32_t extra = (b.cameraMask & ~m.cameras) | (b.clearEventMask & ~m.clear) | (b.setEventMask & ~m.set);
      uint32_t allowed = 0;
      if (at == tables_.last.lastBlockOffset[level] && extra != 0 && (extra & (extra - 1)) == 0 &&
          (strayBit_ == 0 || strayBit_ == extra) &&
          (pendingRecord_ == 0 || extra == uint32_t{1} << pending_.camera)) {
        strayBit_ = allowed = extra;
      }
      const auto compare = [&](uint64_t field, uint32_t have, uint32_t want, const char* what) {
        if ((have & ~want & ~allowed) != 0) {
          Add(at + field, "summary block of " + name + " claims " + what + " " + Hex(have & ~want) +
                              " with no such record in its slot");
        }
        if ((want & ~have) != 0) {
          Add(at + field, "summary block of " + name + " misses " + what + " " + Hex(want & ~have));
        }
      };
      compare(kBlockCameraMask, b.cameraMask, m.cameras, "cameras");
      compare(kBlockClearEventMask, b.clearEventMask, m.clear, "clear-event cameras");
      compare(kBlockSetEventMask, b.setEventMask, m.set, "set-event cameras");
    }
    for (const auto& [slot, m] : expected) {
      if (seen.count(slot) == 0) Add(m.firstRecord, "no summary block of " + name + " for this record's slot");
    }
  }
}

void ArchiveVerifier::CheckPlacement() {
  // Chunks, each with the blocks that the level chains reach in it.
  std::map<uint64_t, std::vector<bool>> chunks;
  for (const auto& [at, b] : blocks_) {
    const uint64_t start = at - kSummaryBlockSize * b.block.sequence;
    if (start > at || !InData(start, kSummaryChunkSize)) {
      Add(at, "summary block's chunk lies outside the data area");
      continue;
    }
    auto& used = chunks[start];
    used.resize(kBlocksPerChunk, false);
    used[b.block.sequence] = true;
  }
  // Records and chunks are appended one after the other from the start of the data area.
  std::vector<std::pair<uint64_t, uint64_t>> pieces;  // start, end
  for (const Record& r : records_) {
    pieces.emplace_back(r.offset, r.offset + kRecordHeaderSize + static_cast<uint64_t>(r.header.payloadSize));
  }
  for (const auto& [start, used] : chunks) pieces.emplace_back(start, start + kSummaryChunkSize);
  std::sort(pieces.begin(), pieces.end());
  uint64_t expected = kDataStart;
  for (const auto& [start, end] : pieces) {
    if (start > expected) {
      Add(expected, "gap of " + Num(start - expected) + " bytes in the data area");
    } else if (start < expected) {
      Add(start, "record or summary chunk overlaps the one before");
    }
    expected = std::max(expected, end);
  }
  if (!records_.empty() && !pieces.empty() && pieces.back().first != records_.back().offset) {
    Add(pieces.back().first, "summary chunk after the last record");
  }
  const int64_t indexStart = IndexEntryPosition(length_, recordCount_) + static_cast<int64_t>(kIndexEntrySize);
  if (static_cast<int64_t>(expected) > indexStart) Add(expected, "data area runs into the index");

  // Blocks are handed out in order within a chunk, whatever their level: every chunk but the last
  // is full, and the last one is used from its start without holes.
  for (auto it = chunks.begin(); it != chunks.end(); ++it) {
    const std::vector<bool>& used = it->second;
    const bool lastChunk = std::next(it) == chunks.end();
    const auto top = lastChunk ? std::find(used.rbegin(), used.rend(), true).base() : used.end();
    const auto hole = std::find(used.begin(), top, false);
    if (hole != top) {
      const auto k = static_cast<uint64_t>(hole - used.begin());
      Add(it->first + kSummaryBlockSize * k, "block " + Num(k) + " of the summary chunk is in no level's chain");
    }
  }
}

}  // namespace strixc::archive
