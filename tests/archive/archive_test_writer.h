#pragma once

// A small writer for tests: appends records to an archive file in the layout docs/archive_format.md
// describes (record, links, index entry, tables, summary blocks), so that readers can be tested on
// real files. It keeps the tables in memory and writes them after every record. Not the recorder:
// no room handling beyond refusing, no file switching, no locking.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive_file.h"
#include "archive/archive_format.h"
#include "archive/archive_records.h"

namespace strixc::archive::testing {

class TestArchiveWriter {
 public:
  // Creates (fast formatting) and opens the file. `previous` carries the recorder's state (the
  // four time tables and the last event time) over from the file before, as a new file does.
  TestArchiveWriter(const std::string& path, uint64_t size, const TestArchiveWriter* previous = nullptr) {
    std::string error;
    EXPECT_TRUE(ArchiveFile::Create(path, size, ArchiveFile::Formatting::kFast, {}, &error)) << error;
    EXPECT_TRUE(file_.Open(path, ArchiveFile::Access::kReadWrite)) << file_.LastError();
    if (previous != nullptr) {
      tables_.last.lastRecordTime = previous->tables_.last.lastRecordTime;
      tables_.last.lastKeyTime = previous->tables_.last.lastKeyTime;
      tables_.last.lastClearEventTime = previous->tables_.last.lastClearEventTime;
      tables_.last.lastSetEventTime = previous->tables_.last.lastSetEventTime;
      lastEventTime_ = previous->lastEventTime_;
    }
  }

  // Appends one record and gives its offset (0 when it does not fit). Times must increase.
  uint64_t Append(RecordType type, int camera, uint64_t time, size_t payloadSize = 16, uint32_t eventFlag = 1) {
    LastTable& last = tables_.last;
    std::vector<uint8_t> payload(payloadSize, static_cast<uint8_t>(time));
    const bool event = type == RecordType::kEvent;
    if (event) {
      (eventFlag != 0 ? last.lastSetEventTime : last.lastClearEventTime)[camera] = time;
      EventPayload e;
      e.flag = eventFlag;
      e.text = eventFlag != 0 ? "Recording enabled" : "Recording disabled";
      e.lastClearEventTime = last.lastClearEventTime;
      e.lastSetEventTime = last.lastSetEventTime;
      payload.assign(kEventPayloadSize, 0);
      e.Encode(payload.data());
      lastEventTime_ = time;
    }
    const int64_t indexPos = IndexPosition(file_.Length(), tables_.header.recordCount);
    if (!HasRoomFor(static_cast<int64_t>(append_), indexPos, static_cast<int64_t>(payload.size()))) return 0;

    // Summary first: a new chunk is taken at the append position, before the record.
    const uint32_t bit = uint32_t{1} << camera;
    for (int level = 0; level < kSummaryLevels; ++level) {
      const uint64_t slot = SlotStart(time, level);
      SummaryBlock block;
      uint64_t at = last.lastBlockOffset[level];
      if (at != 0) {
        EXPECT_TRUE(file_.ReadSummaryBlock(at, &block)) << file_.LastError();
      }
      if (at == 0 || block.slotStart != slot) {
        const uint64_t fresh = NewBlock();
        if (at != 0) {
          block.next = fresh;
          EXPECT_TRUE(file_.WriteSummaryBlock(at, block));
        } else {
          tables_.first.firstBlockOffset[level] = fresh;
        }
        block = SummaryBlock{};
        block.sequence = static_cast<uint32_t>((fresh - chunk_) / kSummaryBlockSize);
        block.slotStart = slot;
        at = fresh;
        last.lastBlockOffset[level] = fresh;
      }
      block.cameraMask |= bit;
      if (event) (eventFlag != 0 ? block.setEventMask : block.clearEventMask) |= bit;
      EXPECT_TRUE(file_.WriteSummaryBlock(at, block)) << file_.LastError();
    }

    const uint64_t at = append_;
    RecordHeader h;
    h.type = static_cast<uint8_t>(type);
    h.camera = static_cast<uint8_t>(camera);
    h.time = time;
    h.keyTime = type == RecordType::kDeltaFrame ? last.lastKeyTime[camera] : time;
    h.lastEventTime = lastEventTime_;
    h.lastRecordTime = last.lastRecordTime;
    h.lastRecordTime[camera] = time;
    h.lastBlockOffset = last.lastBlockOffset;
    h.payloadSize = static_cast<int32_t>(payload.size());
    EXPECT_TRUE(file_.WriteRecord(at, h, payload.data())) << file_.LastError();
    if (last.lastRecordOffset[camera] != 0) {
      EXPECT_TRUE(file_.WriteLink(last.lastRecordOffset[camera], ArchiveFile::Link::kNextSameCamera, at));
    }
    if (last.lastRecordOffsetAny != 0) {
      EXPECT_TRUE(file_.WriteLink(last.lastRecordOffsetAny, ArchiveFile::Link::kNextRecord, at));
    }
    EXPECT_TRUE(file_.WriteIndexEntry(tables_.header.recordCount, IndexEntry{time, at}));
    append_ = at + kRecordHeaderSize + payload.size();

    FileHeader& header = tables_.header;
    if (header.firstTime == 0) header.firstTime = time;
    header.lastTime = time;
    ++header.recordCount;
    header.cameraMask |= bit;
    if (tables_.first.firstRecordOffset[camera] == 0) tables_.first.firstRecordOffset[camera] = at;
    last.lastRecordOffset[camera] = at;
    last.lastRecordTime[camera] = time;
    if (type != RecordType::kDeltaFrame) last.lastKeyTime[camera] = time;
    last.lastRecordOffsetAny = at;
    EXPECT_TRUE(file_.WriteTables(tables_)) << file_.LastError();
    return at;
  }

  const FileTables& Tables() const { return tables_; }

 private:
  uint64_t NewBlock() {
    if (chunk_ == 0 || nextBlock_ == kBlocksPerChunk) {
      chunk_ = append_;
      append_ += kSummaryChunkSize;
      nextBlock_ = 0;
    }
    return chunk_ + kSummaryBlockSize * nextBlock_++;
  }

  ArchiveFile file_;
  FileTables tables_;
  uint64_t append_ = kDataStart;
  uint64_t chunk_ = 0;
  uint32_t nextBlock_ = 0;
  uint64_t lastEventTime_ = 0;
};

}  // namespace strixc::archive::testing
