#pragma once

#include "playback/remote_archive_link.h"

namespace strixc::net {
class ServerConnection;
}

namespace strixc::playback {

// The remote playback source's link over the program's server connection. `connection` must outlive
// the link; user-interface thread only, as the connection.
class ServerConnectionLink : public RemoteArchiveLink {
 public:
  explicit ServerConnectionLink(net::ServerConnection& connection) : connection_(connection) {}

  void ArchiveOpen(bool open) override;
  void ArchiveMapRequest(uint32_t width, uint64_t t0, uint64_t t1) override;
  void PlaybackRequest(const net::PlaybackRequestRecord& record) override;
  void PlaybackControl(uint64_t time) override;
  bool GetArchiveRange(net::ArchiveRange* range) override;
  bool AddBookmark(uint64_t time, const std::string& title, bool* refused2, bool* refused1) override;
  bool RemoveBookmark(uint64_t time, bool* refused2, bool* refused1) override;

 private:
  net::ServerConnection& connection_;
};

}  // namespace strixc::playback
