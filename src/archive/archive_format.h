#pragma once

// The layout of an archive file (".vsd"), shared by the writer and the readers. docs/archive_format.md
// explains it; this header is its only definition in code. All integers are little-endian and
// packed; all offsets are byte offsets from the start of the same file, 0 meaning none; all times
// are archive times (archive_time.h), 0 meaning none.
//
//   0      file header            24 bytes
//   24     first-offset table    272 bytes
//   296    last-state table      856 bytes
//   1152   data area: records and summary chunks, growing upwards
//   ...    index, 16 bytes a record, growing downwards from the fill marker
//   size-1 fill marker

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace strixc::archive {

// Cameras have slots 0..17 in a file (the protocol uses 0..15); camera masks have bit c for camera c.
constexpr int kCameraSlots = 18;
// Summary levels 0..15; a slot of level L is 2^(23 + L) time units long.
constexpr int kSummaryLevels = 16;
constexpr int kLevel0SlotShift = 23;

// ---- File header (offset 0). 24 zero bytes mark an empty file.
constexpr uint64_t kHeaderOffset = 0;
constexpr size_t kHeaderSize = 24;
constexpr size_t kHeaderFirstTime = 0;    // u64, 0 = file empty
constexpr size_t kHeaderLastTime = 8;     // u64
constexpr size_t kHeaderRecordCount = 16; // u32, records and index entries
constexpr size_t kHeaderCameraMask = 20;  // u32

// ---- First-offset table. Field offsets are file offsets.
constexpr uint64_t kFirstTableOffset = 24;
constexpr size_t kFirstTableSize = 272;
constexpr uint64_t kFirstRecordOffsets = 24;  // u64[18], first record of each camera
constexpr uint64_t kFirstBlockOffsets = 168;  // u64[16], first summary block of each level

// ---- Last-state table. Field offsets are file offsets.
constexpr uint64_t kLastTableOffset = 296;
constexpr size_t kLastTableSize = 856;
constexpr uint64_t kLastRecordOffsets = 296;     // u64[18]
constexpr uint64_t kLastRecordTimes = 440;       // u64[18]
constexpr uint64_t kLastKeyTimes = 584;          // u64[18], last record that is not a delta frame
constexpr uint64_t kLastClearEventTimes = 728;   // u64[18]
constexpr uint64_t kLastSetEventTimes = 872;     // u64[18]
constexpr uint64_t kLastBlockOffsets = 1016;     // u64[16], current block of each level
constexpr uint64_t kLastRecordOffsetAny = 1144;  // u64

// ---- Data area.
constexpr uint64_t kDataStart = 1152;
static_assert(kFirstTableOffset == kHeaderOffset + kHeaderSize);
static_assert(kLastTableOffset == kFirstTableOffset + kFirstTableSize);
static_assert(kDataStart == kLastTableOffset + kLastTableSize);
static_assert(kFirstBlockOffsets == kFirstRecordOffsets + 8 * kCameraSlots);
static_assert(kLastRecordOffsetAny == kLastBlockOffsets + 8 * kSummaryLevels);

// ---- Record: a record header immediately followed by its payload.
enum class RecordType : uint8_t { kKeyFrame = 1, kDeltaFrame = 2, kEvent = 3 };

constexpr size_t kRecordHeaderSize = 322;
constexpr size_t kRecordType = 0;              // u8
constexpr size_t kRecordCamera = 1;            // u8
constexpr size_t kRecordTime = 2;              // u64
constexpr size_t kRecordNextSameCamera = 10;   // u64, filled in when that record is appended
constexpr size_t kRecordNextRecord = 18;       // u64, filled in when that record is appended
constexpr size_t kRecordKeyTime = 26;          // u64
constexpr size_t kRecordLastEventTime = 34;    // u64
constexpr size_t kRecordLastRecordTimes = 42;  // u64[18]
constexpr size_t kRecordLastBlockOffsets = 186;  // u64[16]
constexpr size_t kRecordPayloadSize = 314;     // i32
constexpr size_t kRecordReserved = 318;        // 4 zero bytes
static_assert(kRecordLastBlockOffsets == kRecordLastRecordTimes + 8 * kCameraSlots);
static_assert(kRecordPayloadSize == kRecordLastBlockOffsets + 8 * kSummaryLevels);
static_assert(kRecordHeaderSize == kRecordReserved + 4);

// ---- Event record payload (always this size).
constexpr size_t kEventPayloadSize = 392;
constexpr size_t kEventFlag = 0;           // u32, non-zero = set-event, zero = clear-event
constexpr size_t kEventText = 4;           // char[100], NUL-terminated
constexpr size_t kEventTextField = 100;
constexpr size_t kEventTextMaxChars = 99;
constexpr size_t kEventClearTimes = 104;   // u64[18]
constexpr size_t kEventSetTimes = 248;     // u64[18]
static_assert(kEventSetTimes == kEventClearTimes + 8 * kCameraSlots);
static_assert(kEventPayloadSize == kEventSetTimes + 8 * kCameraSlots);

// ---- Summary block, handed out from chunks of 1000 blocks taken from the data area.
constexpr size_t kSummaryBlockSize = 32;
constexpr size_t kBlockSequence = 0;         // u32, 0..999 within its chunk
constexpr size_t kBlockSlotStart = 4;        // u64
constexpr size_t kBlockCameraMask = 12;      // u32
constexpr size_t kBlockClearEventMask = 16;  // u32
constexpr size_t kBlockSetEventMask = 20;    // u32
constexpr size_t kBlockNext = 24;            // u64, next block of the level; 0 for the current one
constexpr uint32_t kBlocksPerChunk = 1000;
constexpr uint64_t kSummaryChunkSize = kBlocksPerChunk * kSummaryBlockSize;
static_assert(kSummaryChunkSize == 32000);

// ---- Index entry k lies at size - 1 - 16 * (k + 1): u64 time, u64 record offset.
constexpr size_t kIndexEntrySize = 16;
constexpr size_t kIndexTime = 0;
constexpr size_t kIndexOffset = 8;

// ---- Fill marker: the last byte, written once by formatting and never again.
constexpr uint8_t kFillMarkerNormal = 0x7F;
constexpr uint8_t kFillMarkerFast = 0x00;

// ---- Formatting touches one byte every MiB from 1024 on.
constexpr uint64_t kMiB = 1048576;
constexpr uint64_t kFormatFirstByte = 1024;
constexpr uint64_t kFormatStride = kMiB;
constexpr uint64_t kMinFileLength = kMiB;

// What the room test keeps free besides the payload: a record header, an index entry and a
// summary chunk that the record may have to start.
constexpr int64_t kRoomReserve = kRecordHeaderSize + kIndexEntrySize + kSummaryChunkSize;
static_assert(kRoomReserve == 32338);

// ---- Positions.

// Where index entry `entry` lies. Negative when the index would not fit in a file of that length,
// which only a damaged record count asks for.
constexpr int64_t IndexEntryPosition(uint64_t fileLength, uint64_t entry) {
  return static_cast<int64_t>(fileLength) - 1 - static_cast<int64_t>(kIndexEntrySize * (entry + 1));
}

// Where the next index entry goes in a file holding `recordCount` records.
constexpr int64_t IndexPosition(uint64_t fileLength, uint32_t recordCount) {
  return IndexEntryPosition(fileLength, recordCount);
}

// The room test: whether a record with a payload of `payloadSize` bytes may be appended. The free
// gap is index position - append position - 1 and must exceed payloadSize + kRoomReserve, so a gap of
// exactly payloadSize + 32338 fails and payloadSize + 32339 fits.
constexpr bool HasRoomFor(int64_t appendPos, int64_t indexPos, int64_t payloadSize) {
  const int64_t gap = indexPos - appendPos - 1;
  return payloadSize >= 0 && gap >= 0 && gap > payloadSize + kRoomReserve;
}

// The start of the level-L summary slot holding time t.
constexpr uint64_t SlotStart(uint64_t time, int level) {
  return time & ~((uint64_t{1} << (kLevel0SlotShift + level)) - 1);
}

// ---- Little-endian fields. The caller has checked the offset against its buffer.

inline uint32_t GetU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline int32_t GetI32(const uint8_t* p) { return static_cast<int32_t>(GetU32(p)); }
inline uint64_t GetU64(const uint8_t* p) {
  return GetU32(p) | (static_cast<uint64_t>(GetU32(p + 4)) << 32);
}

inline void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutI32(uint8_t* p, int32_t v) { PutU32(p, static_cast<uint32_t>(v)); }
inline void PutU64(uint8_t* p, uint64_t v) {
  PutU32(p, static_cast<uint32_t>(v));
  PutU32(p + 4, static_cast<uint32_t>(v >> 32));
}

// ---- File names: "%020d.vsd", directly in the location folder.

// 7 gives "00000000000000000007.vsd".
std::string ArchiveFileName(int32_t number);

// The number of an archive file name: only when the name, read as a decimal number and formatted
// again, is exactly the same name. "7.vsd", "00000000000000000007.VSD" and numbers beyond the
// 32-bit range are not archive file names.
std::optional<int32_t> ParseArchiveFileName(std::string_view name);

// Whether a folder entry counts as an archive file of a location: a valid name whose number is not
// below the location's `minFileNumber`, and a length of at least kMinFileLength. Gives its number.
std::optional<int32_t> ArchiveFileNumber(std::string_view name, uint64_t length,
                                         uint32_t minFileNumber);

}  // namespace strixc::archive
