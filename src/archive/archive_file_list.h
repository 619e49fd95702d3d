#pragma once

// What an ArchiveReader needs from the archive database: the files of all locations as one list
// sorted by time, and per reader a slot holding that reader's own open file. The database
// implements it over its scanned file list; the reader's tests use a stand-in over a fixed set of
// paths (tests/archive/memory_file_list.h).

#include <cstdint>
#include <memory>

#include "archive/archive_file.h"

namespace strixc::archive {

// All operations may be called from any thread; an implementation guards its list and its slot
// table with its own lock. A slot's ArchiveFile is used only by the reader that owns the slot, so
// reading it needs no lock of the list.
//
// Each slot has a generation that changes whenever its file is replaced or dropped: by the reader's
// own moves, and by the list itself when it closes (a closed or rebuilt archive). A reader holds
// the file it got from ReaderFile for one operation only and compares the generation first, so it
// never reads on through a descriptor the list has let go of, and a dropped file is closed as soon
// as the operation that still uses it ends.
class ArchiveFileList {
 public:
  virtual ~ArchiveFileList() = default;

  // A new reader slot (a freed one is reused), or -1 when none can be had.
  virtual int RegisterReader() = 0;
  // Closes the slot's file and frees the slot. Unknown slots are ignored.
  virtual void UnregisterReader(int slot) = 0;

  // Opens in the slot's file the last non-empty file whose first time is not after `time` (the
  // first file when `time` precedes all of them) and makes it the slot's current file. False when
  // the list holds no non-empty file or the file cannot be opened.
  virtual bool SeekReader(int slot, uint64_t time) = 0;
  // Opens the file after the slot's current one when it exists and is non-empty and makes it
  // current; false otherwise (the slot then keeps its file). Moves strictly forward through the
  // list, so repeated calls always come to an end. When the next file exists but cannot be opened
  // the slot is left without a file.
  virtual bool NextFileForReader(int slot) = 0;
  // The slot's file: open after a successful SeekReader or NextFileForReader; nullptr for an
  // unknown slot or a slot without a file. Shared: the list may drop its reference at any time
  // (the caller's copy stays valid). `generation`, when given, receives the slot's generation.
  virtual std::shared_ptr<ArchiveFile> ReaderFile(int slot, uint64_t* generation = nullptr) = 0;

  // The first time of the oldest non-empty file and the last time of the newest one; 0 when the
  // archive is empty.
  virtual uint64_t EarliestTime() = 0;
  virtual uint64_t LatestTime() = 0;
};

}  // namespace strixc::archive
