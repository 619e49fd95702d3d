#include "archive/bookmark_store.h"

#include <algorithm>
#include <cstdlib>

#include "settings/settings_key.h"

namespace strixc::archive {

namespace {

std::string NameOfTime(int64_t time) { return std::to_string(static_cast<long long>(time)); }

// Cuts a UTF-8 text to at most `bytes` bytes without splitting a character.
std::string CutText(const std::string& text, size_t bytes) {
  if (text.size() <= bytes) return text;
  size_t end = bytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

}  // namespace

void BookmarkStore::Load(settings::SettingsDatabase& db, const std::string& keyPath) {
  std::lock_guard<std::mutex> guard(lock_);
  db_ = &db;
  keyPath_ = keyPath;
  times_.clear();
  unsavedTitles_.clear();
  for (const std::string& name : settings::SettingsKey(db, keyPath).ValueNames()) {
    if (name.empty() || name.size() > kMaxNameLength) continue;
    if (times_.size() == times_.capacity()) times_.reserve(times_.capacity() + kCapacityStep);
    times_.push_back(std::strtoll(name.c_str(), nullptr, 10));
  }
  std::sort(times_.begin(), times_.end());
  // "10" and "010" name the same time; the array holds each time once.
  times_.erase(std::unique(times_.begin(), times_.end()), times_.end());
}

void BookmarkStore::Save(const std::string& keyPath) { std::lock_guard<std::mutex> guard(lock_); }

void BookmarkStore::SetMinimumTime(int64_t time) {
  std::lock_guard<std::mutex> guard(lock_);
  minimumTime_ = time;
}

void BookmarkStore::InsertSorted(int64_t time) {
  const auto at = std::lower_bound(times_.begin(), times_.end(), time);
  if (at != times_.end() && *at == time) return;
  if (times_.size() == times_.capacity()) {
    const size_t index = at - times_.begin();
    times_.reserve(times_.capacity() + kCapacityStep);
    times_.insert(times_.begin() + index, time);
    return;
  }
  times_.insert(at, time);
}

void BookmarkStore::Add(int64_t time, const std::string& title) {
  if (time <= 0) return;
  std::lock_guard<std::mutex> guard(lock_);
  if (db_) {
    settings::SettingsKey(*db_, keyPath_).WriteString(NameOfTime(time), CutText(title, kMaxTitleBytes));
  } else {
    unsavedTitles_[time] = CutText(title, kMaxTitleBytes);
  }
  InsertSorted(time);
  // One at a time, so that a lowered minimum costs each Add only one deletion.
  if (times_.size() > kMaxBookmarks || times_.front() < minimumTime_) RemoveLocked(times_.front());
}

bool BookmarkStore::RemoveLocked(int64_t time) {
  const auto at = std::lower_bound(times_.begin(), times_.end(), time);
  if (at == times_.end() || *at != time) return false;
  if (db_) settings::SettingsKey(*db_, keyPath_).DeleteValue(NameOfTime(time));
  unsavedTitles_.erase(time);
  times_.erase(at);
  return true;
}

bool BookmarkStore::Remove(int64_t time) {
  std::lock_guard<std::mutex> guard(lock_);
  return RemoveLocked(time);
}

std::string BookmarkStore::GetTitle(int64_t time) {
  std::lock_guard<std::mutex> guard(lock_);
  std::string title;
  if (!std::binary_search(times_.begin(), times_.end(), time)) return title;
  if (db_) {
    settings::SettingsKey(*db_, keyPath_).ReadString(NameOfTime(time), &title);
  } else if (const auto it = unsavedTitles_.find(time); it != unsavedTitles_.end()) {
    title = it->second;
  }
  return title;
}

void BookmarkStore::InRange(int64_t t1, int64_t t2, int columns, std::vector<int64_t>* out) {
  std::lock_guard<std::mutex> guard(lock_);
  out->clear();
  if (t2 <= t1 || columns <= 0) return;
  // 128-bit: the product of a time difference and a column count does not fit 64 bits.
  const __int128 span = static_cast<__int128>(t2) - t1;
  __int128 lastColumn = -1;
  for (auto it = std::lower_bound(times_.begin(), times_.end(), t1); it != times_.end() && *it < t2; ++it) {
    const __int128 column = (static_cast<__int128>(*it) - t1) * columns / span;
    if (column > lastColumn) {
      out->push_back(*it);
      lastColumn = column;
    }
  }
}

int64_t BookmarkStore::Next(int64_t time) {
  std::lock_guard<std::mutex> guard(lock_);
  auto it = std::lower_bound(times_.begin(), times_.end(), time);
  if (it != times_.end() && *it == time) ++it;
  return it == times_.end() ? 0 : *it;
}

int64_t BookmarkStore::Previous(int64_t time) {
  std::lock_guard<std::mutex> guard(lock_);
  const auto it = std::lower_bound(times_.begin(), times_.end(), time);
  return it == times_.begin() ? 0 : *(it - 1);
}

size_t BookmarkStore::Count() {
  std::lock_guard<std::mutex> guard(lock_);
  return times_.size();
}

}  // namespace strixc::archive
