#pragma once

#include <mutex>

#include "net/video_channel_sinks.h"

namespace strixc::playback {

class RemotePlaybackSource;

// What the network thread hands to the remote playback source: registered once as the connection's
// remote-archive sink (net::ConnectionController::SetFrameSinks, net::FramePath::SetRemoteSink) and
// kept for the program's life, while remote playback sources come and go.
//
// The calls come on the network thread and are passed on to the attached source, if any, which
// files them under its own request lock and queues whatever reaches its receiver. Attach and Detach
// may be called from any thread; once Detach returned, no call into the old source runs or starts,
// so the source may be destroyed. They must not be called from inside a forwarded call.
// RemotePlaybackSource::Attach and Detach (and its destructor) call them; a source attached here by
// hand must be detached before it is destroyed.
class RemoteArchiveForwarder : public net::RemoteArchiveSink {
 public:
  void Attach(RemotePlaybackSource* source);
  // Detaches `source` if it is the one attached (a later source is left in place).
  void Detach(RemotePlaybackSource* source);

  void OnArchiveMap(const net::ArchiveMap& map) override;
  void OnBookmarkNotice(const net::BookmarkNotice& notice) override;
  void OnRemoteFrame(const net::FrameView& frame) override;

 private:
  std::mutex lock_;
  // Guarded by lock_ (held across each forwarded call, which is what makes Detach final):
  RemotePlaybackSource* source_ = nullptr;
};

}  // namespace strixc::playback
