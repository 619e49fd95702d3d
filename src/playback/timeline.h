#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace strixc::playback {

// The browser's timeline (its archive map) as the playback sources see it. The sources call it
// from their timer thread as well as from the user-interface thread: an implementation takes its
// own lock in every call and never calls back into the source or waits for a window.
class Timeline {
 public:
  virtual ~Timeline() = default;
  // The playback position; 0 = not set.
  virtual void SetCursor(uint64_t time) = 0;
  // Activity over [t1, t2): each span holds the same number of samples spread evenly over it, one
  // 32-bit camera mask each (cameras with records, with clear-events, with set-events).
  virtual void SetMapData(uint64_t t1, uint64_t t2, std::span<const uint32_t> recorded,
                          std::span<const uint32_t> red, std::span<const uint32_t> yellow) = 0;
  virtual void AddBookmarks(std::span<const uint64_t> times) = 0;
  virtual void InsertBookmark(uint64_t time) = 0;
  virtual void RemoveBookmark(uint64_t time) = 0;
  // `title` is UTF-8.
  virtual void SetTitle(uint64_t time, const std::string& title) = 0;
  // Whether a camera's row is shown.
  virtual void SetRowEnabled(int camera, bool enabled) = 0;
};

}  // namespace strixc::playback
