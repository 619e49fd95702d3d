#include "playback/remote_archive_forwarder.h"

#include "playback/remote_playback_source.h"

namespace strixc::playback {

void RemoteArchiveForwarder::Attach(RemotePlaybackSource* source) {
  std::lock_guard<std::mutex> guard(lock_);
  source_ = source;
}

void RemoteArchiveForwarder::Detach(RemotePlaybackSource* source) {
  std::lock_guard<std::mutex> guard(lock_);
  if (source_ == source) source_ = nullptr;
}

void RemoteArchiveForwarder::OnArchiveMap(const net::ArchiveMap& map) {
  std::lock_guard<std::mutex> guard(lock_);
  if (source_ != nullptr) source_->OnArchiveMap(map);
}

void RemoteArchiveForwarder::OnBookmarkNotice(const net::BookmarkNotice& notice) {
  std::lock_guard<std::mutex> guard(lock_);
  if (source_ != nullptr) source_->OnBookmarkNotice(notice.time, notice.title);
}

void RemoteArchiveForwarder::OnRemoteFrame(const net::FrameView& frame) {
  std::lock_guard<std::mutex> guard(lock_);
  if (source_ != nullptr) source_->OnArchiveFrame(frame.header);
}

}  // namespace strixc::playback
