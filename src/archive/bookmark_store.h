#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "settings/settings_database.h"

namespace strixc::archive {

// The operator's bookmarks in an archive: archive times with a title each. The times are kept
// sorted in memory; each bookmark is also the string value named by its time ("%lld") holding its
// title, under a sub-key of the program key (the archive's own key + "\Bookmarks").
//
// Thread-safe: every operation, its settings access included, holds lock_. The database given to
// Load must outlive the store. Before Load, bookmarks live in memory only.
class BookmarkStore {
 public:
  static constexpr size_t kMaxBookmarks = 10000;
  // The sorted array grows by this many entries at a time.
  static constexpr size_t kCapacityStep = 1000;
  // Value names longer than this are not bookmarks and are skipped by Load.
  static constexpr size_t kMaxNameLength = 100;
  // Titles are cut (at a character boundary) to what a string read returns.
  static constexpr size_t kMaxTitleBytes = 499;

  // Reads every bookmark under `keyPath` (relative to the program key) and remembers the database
  // and the key for later changes. A value name that is no number loads as 0 (its leading number,
  // as strtoll reads it); duplicate times load once.
  void Load(settings::SettingsDatabase& db, const std::string& keyPath);
  // Every change is written when made; this only waits for a change in progress to end. Call it
  // outside a settings transaction: a change in progress holds the store's lock and waits for the
  // settings lock.
  void Save(const std::string& keyPath);

  // Bookmarks older than this are dropped, one per Add, as new ones come in. 0 until set.
  void SetMinimumTime(int64_t time);

  // Adds a bookmark, or replaces the title of the one at `time`; ignored for time <= 0. Then drops
  // the oldest bookmark when there are more than kMaxBookmarks or it is older than the minimum time.
  void Add(int64_t time, const std::string& title);
  // Removes the bookmark at `time` with its value; false when there is none.
  bool Remove(int64_t time);
  // The title of the bookmark at `time`; empty when there is none.
  std::string GetTitle(int64_t time);

  // The bookmarks in [t1, t2), at most one per column when the range is spread over `columns`
  // columns: the first of each column. Empty when t2 <= t1 or columns <= 0.
  void InRange(int64_t t1, int64_t t2, int columns, std::vector<int64_t>* out);
  // The first bookmark after `time` (a bookmark at `time` itself is skipped); 0 when none.
  int64_t Next(int64_t time);
  // The last bookmark before `time`; 0 when none.
  int64_t Previous(int64_t time);

  size_t Count();

 private:
  // Callers hold lock_.
  bool RemoveLocked(int64_t time);
  void InsertSorted(int64_t time);

  std::mutex lock_;
  // Guarded by lock_:
  settings::SettingsDatabase* db_ = nullptr;
  std::string keyPath_;
  std::vector<int64_t> times_;  // ascending, no duplicates
  // The titles while there is no settings tree (an archive opened from a folder): kept for the
  // session only.
  std::unordered_map<int64_t, std::string> unsavedTitles_;
  int64_t minimumTime_ = 0;
};

}  // namespace strixc::archive
