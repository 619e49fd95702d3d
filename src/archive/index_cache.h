#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <unordered_map>

namespace strixc::archive {

// Entry times of one file's index, by entry number, so that repeated binary searches over the same
// file read each entry from disk once. Bounded: when it already holds more than kCapacity entries,
// storing one more empties it first. One thread at a time (the owning reader's lock).
class IndexCache {
 public:
  static constexpr size_t kCapacity = 500000;

  std::optional<uint64_t> Find(uint32_t entry) const;
  void Store(uint32_t entry, uint64_t time);
  void Clear() { times_.clear(); }
  size_t Size() const { return times_.size(); }
  // How often Store emptied a full cache, for tests and statistics.
  uint64_t Flushes() const { return flushes_; }

 private:
  std::unordered_map<uint32_t, uint64_t> times_;
  uint64_t flushes_ = 0;
};

}  // namespace strixc::archive
