#include "playback/server_connection_link.h"

#include "net/server_connection.h"

namespace strixc::playback {

void ServerConnectionLink::ArchiveOpen(bool open) { connection_.ArchiveOpen(open); }

void ServerConnectionLink::ArchiveMapRequest(uint32_t width, uint64_t t0, uint64_t t1) {
  connection_.ArchiveMapRequest(width, t0, t1);
}

void ServerConnectionLink::PlaybackRequest(const net::PlaybackRequestRecord& record) {
  connection_.PlaybackRequest(record);
}

void ServerConnectionLink::PlaybackControl(uint64_t time) { connection_.PlaybackControl(time); }

bool ServerConnectionLink::GetArchiveRange(net::ArchiveRange* range) {
  return connection_.GetArchiveRange(range);
}

bool ServerConnectionLink::AddBookmark(uint64_t time, const std::string& title, bool* refused2,
                                       bool* refused1) {
  return connection_.AddBookmark(time, title, refused2, refused1);
}

bool ServerConnectionLink::RemoveBookmark(uint64_t time, bool* refused2, bool* refused1) {
  return connection_.RemoveBookmark(time, refused2, refused1);
}

}  // namespace strixc::playback
