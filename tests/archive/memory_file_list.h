#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "archive/archive_file.h"
#include "archive/archive_file_list.h"

namespace strixc::archive {

// An ArchiveFileList over a fixed set of archive file paths, for tests and headless tools. The
// file headers are read once, at construction (and again by Rescan): the list is sorted by first
// time with empty and unreadable files after all others, equal first times keeping the given
// order. Thread-safe.
class MemoryFileList : public ArchiveFileList {
 public:
  explicit MemoryFileList(std::vector<std::string> paths);

  // Reads the headers again, for files that were appended to since.
  void Rescan();

  // The paths in list order.
  std::vector<std::string> Paths() const;

  int RegisterReader() override;
  void UnregisterReader(int slot) override;
  bool SeekReader(int slot, uint64_t time) override;
  bool NextFileForReader(int slot) override;
  std::shared_ptr<ArchiveFile> ReaderFile(int slot, uint64_t* generation = nullptr) override;
  uint64_t EarliestTime() override;
  uint64_t LatestTime() override;

 private:
  struct Entry {
    std::string path;
    uint64_t firstTime = 0;  // 0 = empty or unreadable
    uint64_t lastTime = 0;
  };
  struct Slot {
    bool used = false;
    int index = -1;  // position in entries_ of the open file, -1 = none
    std::shared_ptr<ArchiveFile> file;
    uint64_t generation = 0;
  };

  void ScanLocked();
  Slot* SlotLocked(int slot);
  bool OpenLocked(Slot* slot, int index);

  mutable std::mutex lock_;
  // Guarded by lock_:
  std::vector<std::string> paths_;
  std::vector<Entry> entries_;
  std::vector<Slot> slots_;
};

}  // namespace strixc::archive
