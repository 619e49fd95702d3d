#include "memory_file_list.h"

#include <algorithm>
#include <utility>

namespace strixc::archive {

MemoryFileList::MemoryFileList(std::vector<std::string> paths) : paths_(std::move(paths)) {
  ScanLocked();
}

void MemoryFileList::Rescan() {
  std::lock_guard<std::mutex> guard(lock_);
  ScanLocked();
}

std::vector<std::string> MemoryFileList::Paths() const {
  std::lock_guard<std::mutex> guard(lock_);
  std::vector<std::string> out;
  for (const Entry& e : entries_) out.push_back(e.path);
  return out;
}

void MemoryFileList::ScanLocked() {
  entries_.clear();
  for (const std::string& path : paths_) {
    Entry entry;
    entry.path = path;
    ArchiveFile file;
    FileHeader header;
    if (file.Open(path, ArchiveFile::Access::kReadOnly) && file.Length() >= kDataStart &&
        file.ReadHeader(&header)) {
      entry.firstTime = header.firstTime;
      entry.lastTime = header.firstTime == 0 ? 0 : header.lastTime;
    }
    entries_.push_back(entry);
  }
  // Empty files go last; the sort is stable so equal first times keep their order.
  std::stable_sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
    if ((a.firstTime == 0) != (b.firstTime == 0)) return b.firstTime == 0;
    return a.firstTime < b.firstTime;
  });
  // Slots point into the old order; they find their place again with the next SeekReader.
  for (Slot& slot : slots_) {
    slot.index = -1;
    slot.file.reset();
    ++slot.generation;
  }
}

int MemoryFileList::RegisterReader() {
  std::lock_guard<std::mutex> guard(lock_);
  for (size_t i = 0; i < slots_.size(); ++i) {
    if (!slots_[i].used) {
      slots_[i].used = true;
      slots_[i].index = -1;
      return static_cast<int>(i);
    }
  }
  Slot slot;
  slot.used = true;
  slots_.push_back(std::move(slot));
  return static_cast<int>(slots_.size() - 1);
}

void MemoryFileList::UnregisterReader(int slot) {
  std::lock_guard<std::mutex> guard(lock_);
  Slot* s = SlotLocked(slot);
  if (s == nullptr) return;
  s->file.reset();
  s->index = -1;
  s->used = false;
  ++s->generation;
}

MemoryFileList::Slot* MemoryFileList::SlotLocked(int slot) {
  if (slot < 0 || static_cast<size_t>(slot) >= slots_.size() || !slots_[slot].used) return nullptr;
  return &slots_[slot];
}

bool MemoryFileList::OpenLocked(Slot* slot, int index) {
  auto file = std::make_shared<ArchiveFile>();
  ++slot->generation;
  if (!file->Open(entries_[index].path, ArchiveFile::Access::kReadOnly)) {
    slot->file.reset();
    slot->index = -1;
    return false;
  }
  slot->file = std::move(file);
  slot->index = index;
  return true;
}

bool MemoryFileList::SeekReader(int slot, uint64_t time) {
  std::lock_guard<std::mutex> guard(lock_);
  Slot* s = SlotLocked(slot);
  if (s == nullptr || entries_.empty() || entries_[0].firstTime == 0) return false;
  int chosen = 0;
  for (size_t i = 0; i < entries_.size() && entries_[i].firstTime != 0; ++i) {
    if (entries_[i].firstTime <= time) chosen = static_cast<int>(i);
  }
  return OpenLocked(s, chosen);
}

bool MemoryFileList::NextFileForReader(int slot) {
  std::lock_guard<std::mutex> guard(lock_);
  Slot* s = SlotLocked(slot);
  if (s == nullptr || s->index < 0) return false;
  const size_t next = static_cast<size_t>(s->index) + 1;
  if (next >= entries_.size() || entries_[next].firstTime == 0) return false;
  return OpenLocked(s, static_cast<int>(next));
}

std::shared_ptr<ArchiveFile> MemoryFileList::ReaderFile(int slot, uint64_t* generation) {
  std::lock_guard<std::mutex> guard(lock_);
  Slot* s = SlotLocked(slot);
  if (generation != nullptr) *generation = s == nullptr ? 0 : s->generation;
  return s == nullptr ? nullptr : s->file;
}

uint64_t MemoryFileList::EarliestTime() {
  std::lock_guard<std::mutex> guard(lock_);
  return entries_.empty() ? 0 : entries_[0].firstTime;
}

uint64_t MemoryFileList::LatestTime() {
  std::lock_guard<std::mutex> guard(lock_);
  uint64_t latest = 0;
  for (const Entry& e : entries_) latest = std::max(latest, e.lastTime);
  return latest;
}

}  // namespace strixc::archive
