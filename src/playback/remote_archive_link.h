#pragma once

#include <cstdint>
#include <string>

#include "net/messages.h"

namespace strixc::playback {

// The few calls the remote playback source makes on the connection to the server: the real one is
// ServerConnectionLink over net::ServerConnection, tests pass a stand-in.
//
// Called only from the user-interface thread (the connection lives there). The senders queue their
// message and return at once; GetArchiveRange, AddBookmark and RemoveBookmark wait for the server's
// reply (for at most the connection's request time-out).
class RemoteArchiveLink {
 public:
  virtual ~RemoteArchiveLink() = default;
  virtual void ArchiveOpen(bool open) = 0;
  virtual void ArchiveMapRequest(uint32_t width, uint64_t t0, uint64_t t1) = 0;
  virtual void PlaybackRequest(const net::PlaybackRequestRecord& record) = 0;
  // Asks for the title of the bookmark at `time`; answered by a BookmarkNotice.
  virtual void PlaybackControl(uint64_t time) = 0;
  // False when there is no answer; `range` is then unchanged.
  virtual bool GetArchiveRange(net::ArchiveRange* range) = 0;
  // True only when the server did the edit; the flags report its two kinds of refusal. `title` is
  // UTF-8.
  virtual bool AddBookmark(uint64_t time, const std::string& title, bool* refused2, bool* refused1) = 0;
  virtual bool RemoveBookmark(uint64_t time, bool* refused2, bool* refused1) = 0;
};

}  // namespace strixc::playback
