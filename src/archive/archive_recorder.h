#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "archive/archive_file.h"
#include "archive/archive_format.h"
#include "archive/archive_message_log.h"
#include "archive/archive_recorder_link.h"
#include "archive/archive_records.h"

namespace strixc::archive {

class ArchiveDatabase;

// Appends camera frames and event records to the current record file of an ArchiveDatabase,
// keeping every structure of the file consistent after each record (links, index, header, tables,
// summary blocks), and moves the ring on to the next file when the current one is full. There is
// one recorder per database.
//
// Crash safety: each record becomes part of the file with one single write of the header and both
// tables (1152 bytes inside the first page); everything before it lands outside what the tables
// describe. A process killed at any moment leaves a file that reads back completely, short of the
// record being written. The .cpp explains the order.
//
// Thread-safe: RecordFrame runs on the network thread, RecordEvent and the switch on the UI thread.
// Every write holds lock_ for its whole duration; lock order is the recorder's lock, then the
// database's. Start and Stop (called by the database under its own lock) only touch atomics.
class ArchiveRecorder : public ArchiveRecorderLink {
 public:
  // The archive's clock (ArchiveTimeNow: standard time, never back at a change of the clocks);
  // tests replace it.
  using Clock = std::function<uint64_t()>;
  // Consulted before every write to the record file with its offset and size; a non-zero errno
  // makes that write fail as if the system had returned it. For tests of failing disks.
  using WriteFault = std::function<int(uint64_t offset, size_t size)>;

  ArchiveRecorder();
  ~ArchiveRecorder() override;  // detaches
  ArchiveRecorder(const ArchiveRecorder&) = delete;
  ArchiveRecorder& operator=(const ArchiveRecorder&) = delete;

  // Links recorder and database both ways; `database` must outlive the link (Detach, or the
  // recorder's destruction). Stopped unless the database is open.
  void Attach(ArchiveDatabase* database);
  void Detach();

  // The user's recording switch.
  void SetEnabled(bool on);
  bool IsEnabled() const { return enabled_.load(); }
  // Switching on enables the recorder and then writes the event "Recording enabled" (flag 1) for
  // each of the first `cameras` cameras; switching off writes "Recording disabled" (flag 1) for each
  // first and then disables. Returns whether every event record was written.
  bool SwitchRecording(bool on, int cameras);
  // The same with the event's text in the operator's language.
  bool SwitchRecording(bool on, int cameras, const std::string& eventText);

  // Attached, enabled, not stopped and the last write went through without a logged error.
  bool IsIndicatorOn() const;
  bool LastWriteOk() const { return lastWriteOk_.load(); }
  // The errors of the last write (reset when the next one starts): the recorder's own, apart from
  // the database's log, so that writes never clear or pick up the messages of the operator's
  // archive operations.
  ArchiveMessageLog& MessageLog() { return log_; }

  // ArchiveRecorderLink, called by the database with its lock held.
  void Start() override;
  void Stop() override;

  // A key frame (type 1) or delta frame (type 2) of `camera` (0..17) stamped with the archive's clock.
  // Returns whether it was written; a disabled, stopped or detached recorder drops it silently.
  bool RecordFrame(int camera, const void* data, size_t size, bool isKeyFrame);
  // An event record (type 3) stamped with the archive's clock: flag, then at most 99 characters of text.
  bool RecordEvent(int camera, uint32_t flag, const std::string& text);
  // Writes one record with the given time; a time not later than the last written one becomes that
  // time + 1, so times in the archive always increase. An event record's payload must be
  // kEventPayloadSize bytes; its two event-time tables are filled in here. Returns whether the
  // record is now part of the archive. On a failed write the records before it stay intact and
  // LastWriteOk() turns false; the errors are in MessageLog().
  bool WriteRecord(RecordType type, int camera, uint64_t time, const void* payload, size_t size);

  // Test seams; set them before recording starts.
  void SetClock(Clock clock);
  void SetWriteFault(WriteFault fault);

  // The time of the last record written (0 before the first), for tests and diagnostics.
  uint64_t LastWrittenTime();

 private:
  // The in-memory copy of the record file's state.
  struct FileState {
    uint64_t appendPos = 0;
    int64_t indexPos = 0;
    uint64_t fileLength = 0;
    FileTables tables;
    std::array<SummaryBlock, kSummaryLevels> currentBlocks{};
  };

  // Callers hold lock_.
  bool WriteLocked(RecordType type, int camera, uint64_t time, const void* payload, size_t size);
  // The write itself, with file_ held.
  bool WriteHeld(RecordType type, int camera, uint64_t time, const void* payload, size_t size);
  enum class Load { kOk, kFailed, kDamaged };
  bool EnsureState();
  Load LoadState();
  bool RepairTail(FileState* state);
  bool HasRoom(const FileState& state, size_t size) const;
  bool UpdateSummary(FileState* state, uint64_t t, int camera, RecordType type, uint32_t flag);
  // Writes `data` and then `more` (when given) at `offset`; logs and returns false on failure.
  bool Write(uint64_t offset, const void* data, size_t n, const void* more = nullptr, size_t moreSize = 0);
  bool WriteBlock(uint64_t offset, const SummaryBlock& block);
  bool Read(uint64_t offset, void* data, size_t n);
  void LogWriteError(const std::string& text);
  void LogReadError(const std::string& text);

  std::atomic<bool> attached_{false};
  std::atomic<bool> enabled_{false};
  std::atomic<bool> lastWriteOk_{true};
  std::atomic<bool> stopped_{true};
  // Bumped by Start and Stop: a state loaded under another value is stale.
  std::atomic<uint64_t> epoch_{0};
  // Has its own lock; written under lock_ by the writes, read from any thread.
  ArchiveMessageLog log_;

  mutable std::mutex lock_;
  // Guarded by lock_:
  ArchiveDatabase* database_ = nullptr;
  std::shared_ptr<ArchiveFile> file_;  // the record file during a write, else null
  std::weak_ptr<ArchiveFile> heldFile_;  // the record file between writes, owned by the database
  bool stateLoaded_ = false;
  uint64_t loadedEpoch_ = 0;
  FileState state_;
  uint64_t lastWrittenTime_ = 0;
  uint64_t lastEventTime_ = 0;
  Clock clock_;
  WriteFault writeFault_;
};

}  // namespace strixc::archive
