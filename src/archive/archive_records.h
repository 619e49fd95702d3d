#pragma once

// The fixed-size structures of an archive file, decoded. Each Encode writes exactly the structure's
// size of bytes and each Decode reads exactly that many; neither looks at what the values mean.
// What a reader may trust is decided by IsValid and by ArchiveFile's checks against the file size.

#include <array>
#include <cstdint>
#include <string>

#include "archive/archive_format.h"

namespace strixc::archive {

using CameraTable = std::array<uint64_t, kCameraSlots>;
using LevelTable = std::array<uint64_t, kSummaryLevels>;

struct FileHeader {
  uint64_t firstTime = 0;  // 0 = file empty
  uint64_t lastTime = 0;
  uint32_t recordCount = 0;
  uint32_t cameraMask = 0;

  bool IsEmpty() const { return firstTime == 0; }
  void Encode(uint8_t* out) const;  // kHeaderSize bytes
  static FileHeader Decode(const uint8_t* in);
};

struct FirstTable {
  CameraTable firstRecordOffset{};
  LevelTable firstBlockOffset{};

  void Encode(uint8_t* out) const;  // kFirstTableSize bytes
  static FirstTable Decode(const uint8_t* in);
};

struct LastTable {
  CameraTable lastRecordOffset{};
  CameraTable lastRecordTime{};
  CameraTable lastKeyTime{};
  CameraTable lastClearEventTime{};
  CameraTable lastSetEventTime{};
  LevelTable lastBlockOffset{};
  uint64_t lastRecordOffsetAny = 0;

  void Encode(uint8_t* out) const;  // kLastTableSize bytes
  static LastTable Decode(const uint8_t* in);
};

struct RecordHeader {
  uint8_t type = 0;
  uint8_t camera = 0;
  uint64_t time = 0;
  uint64_t nextSameCamera = 0;
  uint64_t nextRecord = 0;
  uint64_t keyTime = 0;
  uint64_t lastEventTime = 0;
  CameraTable lastRecordTime{};  // as of this record, its own camera's entry = its time
  LevelTable lastBlockOffset{};  // after the summary was updated for this record
  int32_t payloadSize = 0;

  // Type 1, 2 or 3, camera below 18, payload size not negative, time above 0. Readers treat an
  // invalid header as no record at all.
  bool IsValid() const;
  void Encode(uint8_t* out) const;  // kRecordHeaderSize bytes, reserved bytes zero
  static RecordHeader Decode(const uint8_t* in);
};

struct EventPayload {
  uint32_t flag = 0;  // non-zero = set-event
  std::string text;   // at most kEventTextMaxChars characters are stored
  CameraTable lastClearEventTime{};
  CameraTable lastSetEventTime{};

  void Encode(uint8_t* out) const;  // kEventPayloadSize bytes, text cut and zero-padded
  // Never reads past the text field, also when it lacks its terminating zero.
  static EventPayload Decode(const uint8_t* in);
};

struct SummaryBlock {
  uint32_t sequence = 0;  // 0..999 within its chunk
  uint64_t slotStart = 0;
  uint32_t cameraMask = 0;
  uint32_t clearEventMask = 0;
  uint32_t setEventMask = 0;
  uint64_t next = 0;  // 0 while this is its level's current block

  void Encode(uint8_t* out) const;  // kSummaryBlockSize bytes
  static SummaryBlock Decode(const uint8_t* in);
};

struct IndexEntry {
  uint64_t time = 0;
  uint64_t offset = 0;

  void Encode(uint8_t* out) const;  // kIndexEntrySize bytes
  static IndexEntry Decode(const uint8_t* in);
};

// The three structures at the start of a file, read and written together.
struct FileTables {
  FileHeader header;
  FirstTable first;
  LastTable last;
};

}  // namespace strixc::archive
