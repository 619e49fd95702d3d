#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/archive_message_log.h"

namespace strixc::archive {

class ArchiveDatabase;

// Copies the recordings of chosen cameras and a period from an open archive into a new archive in
// another folder: files "%020d.vsd" of one chosen size, numbered after the highest archive file
// already in that folder, which any archive reader can open later. Each chosen camera's copy starts
// at its last key frame at or before `from` (so its first pictures can be shown) and ends with its
// last record at or before `to` (a record at exactly `to` is copied). Frames are copied byte for
// byte; event records keep their flag and text, their event-time tables are the destination's own.
//
// The copy walks the source through its own ArchiveReader, so the source may keep recording: the
// recorder waits at most for the reader's read of one record, the database lock is never held
// across records. Run blocks; any thread but one Run at a time. Cancel may be called from any
// thread.
class ArchiveBackup {
 public:
  static constexpr uint64_t kMiB = 1048576;
  static constexpr uint64_t kDefaultFileSize = 650 * kMiB;
  static constexpr uint64_t kMinFileSize = kMiB;
  static constexpr int kCameras = 16;

  struct Options {
    uint64_t from = 0;
    uint64_t to = 0;
    uint32_t cameraMask = 0;   // bit c: camera c (0..15) is copied
    std::string destination;   // an existing folder
    uint64_t fileSize = kDefaultFileSize;
    bool askBeforeFile = true;  // ask kCreateFile before each new file
    int progressEvery = 500;    // records between Progress calls (at least 1)
    // Test seam: consulted before every write of a record to the destination (ArchiveRecorder's
    // WriteFault); a non-zero errno fails that write as a full or broken disk would.
    std::function<int(uint64_t offset, size_t size)> writeFault;
    // The message logs' summaries in the operator's language (empty: English).
    ArchiveMessageLog::SummaryWords words;
  };

  // The reasons a backup is refused before it starts, in the order they are checked.
  enum class Refusal { kNone, kEmptyRange, kNoCamera, kNoDestination, kSmallFile };
  // Checks everything but the folder's existence (the caller asks about creating it).
  static Refusal Check(const Options& options);

  // The yes/no questions of a copy. `text` is the file's full path for kCreateFile and a message
  // log's summary for the two message questions; the listener adds its own words around it.
  enum class Question {
    kCreateFile,            // Yes: create it. No: the creation fails.
    kCancelOperation,       // a file could not be created. Yes: stop. No: try again.
    kSourceMessages,        // the source archive logged messages. Yes: go on. No: stop.
    kDestinationMessages,   // the same for the destination
  };
  enum class Status { kNone, kCreatingFile, kCopying };

  // Receives the copy's questions and reports, on the thread running Run. The copy waits for each
  // answer; Progress and SetStatus should return quickly.
  class Listener {
   public:
    virtual ~Listener() = default;
    virtual bool Ask(Question question, const std::string& text) = 0;
    // A failure the user only acknowledges: the destination's messages after a file creation, or
    // the write error that stopped the copy.
    virtual void Show(const std::string& text) = 0;
    virtual void SetStatus(Status status) = 0;
    // `source`: how far into [from, to] the copy is, 0..100; `destination`: how full the current
    // destination file is, 0..100.
    virtual void Progress(uint64_t records, int source, int destination) = 0;
  };

  enum class Outcome {
    kFinished,
    kCancelled,   // by Cancel, or by an answer
    kReadError,   // the source could not be positioned: nothing was copied
    kWriteError,  // a record could not be written; everything written before it is intact
  };
  struct Result {
    Outcome outcome = Outcome::kReadError;
    uint64_t records = 0;
    std::vector<std::string> files;  // full paths of the files created, in order
    uint64_t first = 0;              // time of the first and the last record copied, 0 for none
    uint64_t last = 0;
    std::string error;               // kWriteError: the archive's message
  };

  // `source` must be open and outlive Run; it is only read.
  explicit ArchiveBackup(ArchiveDatabase* source) : source_(source) {}
  ArchiveBackup(const ArchiveBackup&) = delete;
  ArchiveBackup& operator=(const ArchiveBackup&) = delete;

  // The copy. Options must pass Check (a refused one gives kCancelled with nothing done). The
  // listener is used on this thread only.
  Result Run(const Options& options, Listener* listener);

  // Makes a running (or the next) Run stop before its next record. Run clears it when it starts
  // only through ResetCancel, so a Break pressed just before the start is not lost.
  void Cancel() { cancel_.store(true); }
  void ResetCancel() { cancel_.store(false); }
  bool IsCancelled() const { return cancel_.load(); }

  // The highest archive file number in `folder`, -1 when there is none (or no such folder).
  static int64_t HighestFileNumber(const std::string& folder);
  // The time each chosen camera's copy starts at: its last key frame at or before `from`, else
  // `from`. Index c for camera c; 0 for cameras not chosen.
  static std::vector<uint64_t> StartTimes(ArchiveDatabase* source, uint64_t from, uint32_t cameraMask);

 private:
  ArchiveDatabase* const source_;
  std::atomic<bool> cancel_{false};
};

}  // namespace strixc::archive
