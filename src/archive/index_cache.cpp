#include "archive/index_cache.h"

namespace strixc::archive {

std::optional<uint64_t> IndexCache::Find(uint32_t entry) const {
  const auto it = times_.find(entry);
  if (it == times_.end()) return std::nullopt;
  return it->second;
}

void IndexCache::Store(uint32_t entry, uint64_t time) {
  // Emptying all at once is cheaper than any eviction order, and a reader that needs so many
  // entries is scanning, where old entries are worth little.
  if (times_.size() > kCapacity && times_.find(entry) == times_.end()) {
    times_.clear();
    ++flushes_;
  }
  times_[entry] = time;
}

}  // namespace strixc::archive
