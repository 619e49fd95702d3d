#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <unordered_map>

#include "archive/archive_records.h"

namespace strixc::archive {

// Entries (time and record offset) of one file's index, by entry number, so that repeated binary
// searches over the same file read each entry from disk once, and a warm seek reads nothing but the
// record header it lands on. Bounded: when it already holds more than kCapacity entries,
// storing one more empties it first. One thread at a time (the owning reader's lock).
class IndexCache {
 public:
  static constexpr size_t kCapacity = 500000;

  std::optional<IndexEntry> Find(uint32_t entry) const;
  void Store(uint32_t entry, const IndexEntry& value);
  void Clear() { entries_.clear(); }
  size_t Size() const { return entries_.size(); }
  // How often Store emptied a full cache, for tests and statistics.
  uint64_t Flushes() const { return flushes_; }

 private:
  std::unordered_map<uint32_t, IndexEntry> entries_;
  uint64_t flushes_ = 0;
};

}  // namespace strixc::archive
