#include "archive/archive_records.h"

#include <algorithm>
#include <cstring>

namespace strixc::archive {

namespace {

template <size_t N>
void PutTable(uint8_t* out, const std::array<uint64_t, N>& table) {
  for (size_t i = 0; i < N; ++i) PutU64(out + 8 * i, table[i]);
}

template <size_t N>
void GetTable(const uint8_t* in, std::array<uint64_t, N>& table) {
  for (size_t i = 0; i < N; ++i) table[i] = GetU64(in + 8 * i);
}

// The tables' field offsets are file offsets; these make them offsets within the table.
constexpr size_t InFirst(uint64_t fileOffset) { return fileOffset - kFirstTableOffset; }
constexpr size_t InLast(uint64_t fileOffset) { return fileOffset - kLastTableOffset; }

}  // namespace

void FileHeader::Encode(uint8_t* out) const {
  PutU64(out + kHeaderFirstTime, firstTime);
  PutU64(out + kHeaderLastTime, lastTime);
  PutU32(out + kHeaderRecordCount, recordCount);
  PutU32(out + kHeaderCameraMask, cameraMask);
}

FileHeader FileHeader::Decode(const uint8_t* in) {
  FileHeader h;
  h.firstTime = GetU64(in + kHeaderFirstTime);
  h.lastTime = GetU64(in + kHeaderLastTime);
  h.recordCount = GetU32(in + kHeaderRecordCount);
  h.cameraMask = GetU32(in + kHeaderCameraMask);
  return h;
}

void FirstTable::Encode(uint8_t* out) const {
  PutTable(out + InFirst(kFirstRecordOffsets), firstRecordOffset);
  PutTable(out + InFirst(kFirstBlockOffsets), firstBlockOffset);
}

FirstTable FirstTable::Decode(const uint8_t* in) {
  FirstTable t;
  GetTable(in + InFirst(kFirstRecordOffsets), t.firstRecordOffset);
  GetTable(in + InFirst(kFirstBlockOffsets), t.firstBlockOffset);
  return t;
}

void LastTable::Encode(uint8_t* out) const {
  PutTable(out + InLast(kLastRecordOffsets), lastRecordOffset);
  PutTable(out + InLast(kLastRecordTimes), lastRecordTime);
  PutTable(out + InLast(kLastKeyTimes), lastKeyTime);
  PutTable(out + InLast(kLastClearEventTimes), lastClearEventTime);
  PutTable(out + InLast(kLastSetEventTimes), lastSetEventTime);
  PutTable(out + InLast(kLastBlockOffsets), lastBlockOffset);
  PutU64(out + InLast(kLastRecordOffsetAny), lastRecordOffsetAny);
}

LastTable LastTable::Decode(const uint8_t* in) {
  LastTable t;
  GetTable(in + InLast(kLastRecordOffsets), t.lastRecordOffset);
  GetTable(in + InLast(kLastRecordTimes), t.lastRecordTime);
  GetTable(in + InLast(kLastKeyTimes), t.lastKeyTime);
  GetTable(in + InLast(kLastClearEventTimes), t.lastClearEventTime);
  GetTable(in + InLast(kLastSetEventTimes), t.lastSetEventTime);
  GetTable(in + InLast(kLastBlockOffsets), t.lastBlockOffset);
  t.lastRecordOffsetAny = GetU64(in + InLast(kLastRecordOffsetAny));
  return t;
}

bool RecordHeader::IsValid() const {
  return type >= static_cast<uint8_t>(RecordType::kKeyFrame) &&
         type <= static_cast<uint8_t>(RecordType::kEvent) && camera < kCameraSlots &&
         payloadSize >= 0 && time > 0;
}

void RecordHeader::Encode(uint8_t* out) const {
  out[kRecordType] = type;
  out[kRecordCamera] = camera;
  PutU64(out + kRecordTime, time);
  PutU64(out + kRecordNextSameCamera, nextSameCamera);
  PutU64(out + kRecordNextRecord, nextRecord);
  PutU64(out + kRecordKeyTime, keyTime);
  PutU64(out + kRecordLastEventTime, lastEventTime);
  PutTable(out + kRecordLastRecordTimes, lastRecordTime);
  PutTable(out + kRecordLastBlockOffsets, lastBlockOffset);
  PutI32(out + kRecordPayloadSize, payloadSize);
  PutU32(out + kRecordReserved, 0);
}

RecordHeader RecordHeader::Decode(const uint8_t* in) {
  RecordHeader h;
  h.type = in[kRecordType];
  h.camera = in[kRecordCamera];
  h.time = GetU64(in + kRecordTime);
  h.nextSameCamera = GetU64(in + kRecordNextSameCamera);
  h.nextRecord = GetU64(in + kRecordNextRecord);
  h.keyTime = GetU64(in + kRecordKeyTime);
  h.lastEventTime = GetU64(in + kRecordLastEventTime);
  GetTable(in + kRecordLastRecordTimes, h.lastRecordTime);
  GetTable(in + kRecordLastBlockOffsets, h.lastBlockOffset);
  h.payloadSize = GetI32(in + kRecordPayloadSize);
  return h;
}

void EventPayload::Encode(uint8_t* out) const {
  PutU32(out + kEventFlag, flag);
  std::memset(out + kEventText, 0, kEventTextField);
  std::memcpy(out + kEventText, text.data(), std::min(text.size(), kEventTextMaxChars));
  PutTable(out + kEventClearTimes, lastClearEventTime);
  PutTable(out + kEventSetTimes, lastSetEventTime);
}

EventPayload EventPayload::Decode(const uint8_t* in) {
  EventPayload e;
  e.flag = GetU32(in + kEventFlag);
  const auto* text = reinterpret_cast<const char*>(in + kEventText);
  e.text.assign(text, ::strnlen(text, kEventTextMaxChars));
  GetTable(in + kEventClearTimes, e.lastClearEventTime);
  GetTable(in + kEventSetTimes, e.lastSetEventTime);
  return e;
}

void SummaryBlock::Encode(uint8_t* out) const {
  PutU32(out + kBlockSequence, sequence);
  PutU64(out + kBlockSlotStart, slotStart);
  PutU32(out + kBlockCameraMask, cameraMask);
  PutU32(out + kBlockClearEventMask, clearEventMask);
  PutU32(out + kBlockSetEventMask, setEventMask);
  PutU64(out + kBlockNext, next);
}

SummaryBlock SummaryBlock::Decode(const uint8_t* in) {
  SummaryBlock b;
  b.sequence = GetU32(in + kBlockSequence);
  b.slotStart = GetU64(in + kBlockSlotStart);
  b.cameraMask = GetU32(in + kBlockCameraMask);
  b.clearEventMask = GetU32(in + kBlockClearEventMask);
  b.setEventMask = GetU32(in + kBlockSetEventMask);
  b.next = GetU64(in + kBlockNext);
  return b;
}

void IndexEntry::Encode(uint8_t* out) const {
  PutU64(out + kIndexTime, time);
  PutU64(out + kIndexOffset, offset);
}

IndexEntry IndexEntry::Decode(const uint8_t* in) {
  return IndexEntry{GetU64(in + kIndexTime), GetU64(in + kIndexOffset)};
}

}  // namespace strixc::archive
