#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "archive/archive_file.h"
#include "archive/archive_file_list.h"
#include "archive/archive_location.h"
#include "archive/archive_message_log.h"
#include "archive/archive_recorder_link.h"
#include "archive/bookmark_store.h"
#include "settings/settings_database.h"

namespace strixc::archive {

class ArchiveReader;

// One archive file found by a scan.
struct ArchiveFileInfo {
  int32_t location = -1;  // index in the location list; -1 for a folder scanned by ScanPath
  int32_t number = 0;
  uint64_t firstTime = 0;  // 0: the file is empty
  uint64_t lastTime = 0;
  uint64_t length = 0;
  uint32_t cameraMask = 0;
  std::string path;

  bool IsEmpty() const { return firstTime == 0; }
};

// What ScanPath found in a folder.
struct ScanSummary {
  int fileCount = 0;
  uint64_t largestFile = 0;
  uint64_t totalSize = 0;
  uint64_t earliest = 0;
  uint64_t latest = 0;
  uint32_t cameraMask = 0;
};

// The local archive: an ordered list of locations (folders), the archive files found in them sorted
// by time, the archive-wide summary, the record-file ring of the one recorder and the file cursors
// of the readers. It also plans and carries out rebuilds that make a location's files match its
// sizes.
//
// Thread-safe: every public operation holds lock_ for its whole duration. Lock order: a recorder's
// or reader's own lock first, the database's lock after it, never the other way round; inside,
// the database may take the bookmark store's, the message log's and the settings tree's locks.
// The database's own reader (Activity) is a reader like any other: readerLock_ and the reader's
// lock are taken before lock_, never while it is held. The settings tree's lock is taken after the
// bookmark store's, never before (SaveSettings).
// Callbacks given to ApplyLocation run with lock_ held and must not call into the database.
//
// The record file is shared (CurrentRecordFile): closing the database or moving the ring on drops
// the database's reference only, so a recorder in the middle of a write keeps a valid descriptor
// until it lets go of its copy. Reader slots' files are shared the same way: Close drops them and
// moves each slot's generation on, so their descriptors (of files a rebuild may delete) close as
// soon as no reader operation uses them any more.
//
// Location edits and rebuilds work only while closed, recording and reading only while open.
// Failures are logged in MessageLog(), never thrown.
class ArchiveDatabase : public ArchiveFileList {
 public:
  // The default location: <dataFolder>/FilesStrixS, 2400 MiB in files of 600 MiB.
  static constexpr char kDefaultFolderName[] = "FilesStrixS";
  static constexpr uint64_t kDefaultSpace = 2516582400;
  static constexpr uint64_t kDefaultMaxFileSize = 629145600;
  // The location the application offers when it finds no recordings: <dataFolder>/FilesStrixC.
  static constexpr char kFirstRunFolderName[] = "FilesStrixC";
  static constexpr uint64_t kFirstRunSpace = 62914560;
  static constexpr uint64_t kFirstRunMaxFileSize = 20971520;
  // Counts read from the settings tree above this are taken as damage and read as this many.
  static constexpr uint32_t kMaxLocations = 1000;

  using StatusText = std::function<void(const std::string& text)>;
  // Whether any camera has recordings in [from, to]; asked without the database lock held.
  using ActivityProbe = std::function<bool(uint64_t from, uint64_t to)>;

  // `dataFolder` is where default folders go (<data>).
  explicit ArchiveDatabase(const std::string& dataFolder);
  ~ArchiveDatabase() override;
  ArchiveDatabase(const ArchiveDatabase&) = delete;
  ArchiveDatabase& operator=(const ArchiveDatabase&) = delete;

  // A read-only database over one arbitrary folder (archives from a path, the backup tool): the
  // folder is its only location, with both sizes at the minimum. Check IsOpen() and MessageLog().
  static std::unique_ptr<ArchiveDatabase> ForFolder(const std::string& folder,
                                                    const std::string& dataFolder);

  // ---- Settings: `key` is relative to the program key ("ArchDatabase"). `db` must outlive this
  // database (the bookmark store keeps it).
  void LoadSettings(settings::SettingsDatabase& db, const std::string& key);
  // In one transaction of the settings tree. Waits for a bookmark change in progress first, outside
  // that transaction (a change holds the store's lock while it waits for the settings lock), so it
  // must not be called inside another settings transaction either.
  bool SaveSettings(settings::SettingsDatabase& db, const std::string& key);

  // ---- Locations.
  int LocationCount();
  bool GetLocation(int index, ArchiveLocation* out);
  std::string LocationPath(int index);
  // Exact, case-sensitive comparison; -1 when absent.
  int FindLocation(const std::string& path);
  // Appends (sizes clamped) and returns the index; -1 when the path is listed or the database open.
  int AddLocation(const std::string& path, uint64_t space, uint64_t maxFileSize,
                  int64_t minFileNumber);
  bool UpdateLocation(int index, uint64_t space, uint64_t maxFileSize, int64_t minFileNumber);
  bool MarkLocationDeleted(int index);

  // ---- Scans and rebuilds.
  ScanSummary ScanPath(const std::string& path);
  // The files to delete and to create so that location `index` matches its sizes. False (lists
  // unchanged) while open or for a bad index.
  bool PlanLocation(int index, std::vector<ArchiveFileInfo>* deleteList,
                    std::vector<ArchiveFileInfo>* createList);
  // "You will loose recordings: ..." with the range of recordings in the delete list, or "".
  static std::string LossWarning(const std::vector<ArchiveFileInfo>& deleteList);
  // The status texts of ApplyLocation as printf formats: deleting gets the location's path and the
  // file's name (%s %s), creating those and then the percentage done (%s %s %d). The defaults are
  // English; a window sets its language's. Formats are the program's own, never the user's.
  struct RebuildTexts {
    std::string deleting = "Rebuilding location:\r\n\r\n%s\r\n\r\nDeleting file:\r\n%s\r\n";
    std::string creating = "Rebuilding location:\r\n%s\r\n\r\nCreating file:\r\n%s\r\n\r\n%d %%\r\n";
  };
  void SetRebuildTexts(RebuildTexts texts);
  // Carries out a plan of PlanLocation for the same location. Delete entries that are not archive
  // files of that location's folder are refused with an error. `status` and `progress` may be empty.
  bool ApplyLocation(int index, const std::vector<ArchiveFileInfo>& deleteList,
                     const std::vector<ArchiveFileInfo>& createList, const StatusText& status,
                     const ArchiveFile::ProgressText& progress, bool fastFormatting);

  // ---- Open and close.
  bool Open(bool readOnly);
  // Also releases the database's own reader, before taking lock_.
  void Close();
  bool IsOpen();

  // ---- Summary. UsedSize: the bytes holding recordings, as far as the list knows.
  uint64_t Earliest();
  uint64_t Latest();
  uint32_t CameraMask();
  uint64_t TotalSize();
  uint64_t UsedSize();
  // The four summary values without waiting: false (and `out` unchanged) while another thread holds
  // the database, as a rebuild does while it formats files. For displays on the user-interface
  // thread, which must never wait for that.
  struct Summary {
    uint64_t earliest = 0;
    uint64_t latest = 0;
    uint64_t usedSize = 0;
    uint64_t totalSize = 0;
  };
  bool TrySummary(Summary* out);
  // A copy of the sorted file list.
  std::vector<ArchiveFileInfo> Files();
  // Whether any camera has records in the wall-clock day of the archive time `time`, by the
  // database's own reader (ArchiveReader::HasRecords); a probe set with SetActivityProbe answers
  // instead. No day outside [Earliest, Latest] is asked about. Not with the database's lock held
  // (as Activity).
  bool DayHasRecordings(uint64_t time);
  void SetActivityProbe(ActivityProbe probe);
  // ArchiveReader::Activity, answered by a reader the database owns: made at the first question
  // while open, released by Close. While closed every bin is 0. Any thread; calls are serialised.
  // Must not be called with the database's lock held (from an ApplyLocation callback).
  void Activity(uint64_t t0, uint64_t t1, std::span<uint32_t> cameraBins, std::span<uint32_t> clearBins,
                std::span<uint32_t> setBins);

  // ---- Reader slots (ArchiveFileList). A freed slot is reused. Close forgets each slot's position
  // (index -1) and file, and moves its generation on.
  int RegisterReader() override;
  void UnregisterReader(int slot) override;
  // Opens the last non-empty file whose firstTime is not after `time` (the first file when `time`
  // precedes all) as the slot's file. Logs "Database not open !" when closed.
  bool SeekReader(int slot, uint64_t time) override;
  // Opens the next listed file when it exists and is not empty.
  bool NextFileForReader(int slot) override;
  std::shared_ptr<ArchiveFile> ReaderFile(int slot, uint64_t* generation = nullptr) override;
  uint64_t EarliestTime() override { return Earliest(); }
  uint64_t LatestTime() override { return Latest(); }
  // The slot's index in the sorted list; -1 when none (tests, diagnostics).
  int ReaderFileIndex(int slot);

  // ---- The recorder. `recorder` must stay alive until DetachRecorder.
  void AttachRecorder(ArchiveRecorderLink* recorder);
  void DetachRecorder();
  // The open read/write record file; null when none (closed, or opened read-only).
  std::shared_ptr<ArchiveFile> CurrentRecordFile();
  int CurrentRecordIndex();
  // Moves the ring on to the next file, resetting it; after the last file the oldest is reused and
  // moves to the end of the list. Failures go to `log` (the recorder's own), or to MessageLog().
  // A record of `payloadSize` bytes that would not fit even into the next file once it is empty is
  // refused with an error, and the ring stays where it is: moving on would only destroy the next
  // file's recordings.
  bool NextRecordFile();
  bool NextRecordFile(ArchiveMessageLog& log, uint64_t payloadSize = 0);
  void RecordWritten(uint64_t fileFirstTime, uint64_t recordTime, uint32_t fileCameraMask,
                     uint64_t freeBytes);

  // The messages of the operations that windows and commands run (opening, rebuilds, reader
  // moves); the recorder keeps its own.
  ArchiveMessageLog& MessageLog() { return log_; }
  BookmarkStore& Bookmarks() { return bookmarks_; }

 private:
  struct ReaderSlot {
    bool used = false;
    std::shared_ptr<ArchiveFile> file;  // the open file, or none
    int index = -1;
    uint64_t generation = 0;  // moves on whenever `file` is replaced or dropped
  };

  // Callers hold lock_.
  void ScanFolder(int location, const std::string& folder, uint32_t minFileNumber,
                  std::vector<ArchiveFileInfo>* files);
  void CloseLocked();
  void ComputeSummaryLocked();
  void CheckOverlapsLocked();
  bool RefuseWhileOpen();
  uint64_t UsedSizeLocked() const;
  bool OpenForSlot(ReaderSlot* slot, int index);
  ReaderSlot* SlotAt(int slot);
  void LogSystem(const char* format, const std::string& path, const std::string& text,
                 bool isError = true);
  // Destroys the owned reader (which gives its slot back, taking lock_): never with lock_ held.
  void ReleaseReader();
  // The owned reader's HasRecords; false while closed. Never with lock_ held.
  bool RecordsIn(uint64_t from, uint64_t to);

  ArchiveMessageLog log_;
  BookmarkStore bookmarks_;

  // Taken before lock_ (the owned reader is a client of the slots like any other).
  std::mutex readerLock_;
  // Guarded by readerLock_:
  std::unique_ptr<ArchiveReader> reader_;

  std::mutex lock_;
  // Guarded by lock_:
  std::vector<ArchiveLocation> locations_;
  std::vector<ArchiveFileInfo> files_;  // sorted by time, empty files last
  bool open_ = false;
  uint64_t earliest_ = 0;
  uint64_t latest_ = 0;
  uint32_t cameraMask_ = 0;
  uint64_t totalSize_ = 0;
  std::shared_ptr<ArchiveFile> recordFile_;
  int recordIndex_ = -1;
  uint64_t recordFreeBytes_ = 0;
  std::vector<ReaderSlot> slots_;
  ArchiveRecorderLink* recorder_ = nullptr;
  ActivityProbe activityProbe_;
  RebuildTexts rebuildTexts_;
};

}  // namespace strixc::archive
