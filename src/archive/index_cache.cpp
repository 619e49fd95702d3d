#include "archive/index_cache.h"

namespace strixc::archive {

std::optional<IndexEntry> IndexCache::Find(uint32_t entry) const {
  const auto it = entries_.find(entry);
  if (it == entries_.end()) return std::nullopt;
  return it->second;
}

void IndexCache::Store(uint32_t entry, const IndexEntry& value) {
  // Emptying all at once is cheaper than any eviction order, and a reader that needs so many
  // entries is scanning, where old entries are worth little.
  if (entries_.size() > kCapacity && entries_.find(entry) == entries_.end()) {
    entries_.clear();
    ++flushes_;
  }
  entries_[entry] = value;
}

}  // namespace strixc::archive
