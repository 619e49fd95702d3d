#pragma once

#include <QCommandLineParser>
#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "net/frame_path.h"
#include "net/remote_frame_buffer_adapter.h"
#include "playback/remote_archive_forwarder.h"
#include "playback/remote_playback_source.h"
#include "playback/server_connection_link.h"
#include "tool_session.h"
#include "video/frame_store.h"
#include "video/remote_playback_frame_buffer.h"

namespace strixc::tool {

// The exit code of play and map when the archive holds nothing to play or map.
constexpr int kArchiveMissing = 8;

// Where play and map find the archive: the folders given as positional arguments, or the server
// of --host/--port/--user/--password/--encoding. Exactly one of the two; --profile (the local
// bookmarks) only with folders. False with `error` set otherwise. `server` is set for a server.
bool ReadArchivePlace(const QCommandLineParser& parser, std::vector<std::string>* folders,
                      std::optional<ServerOptions>* server, QString* error);

// A connection that plays the server's archive, wired as the station wires its archive browser: a
// RemotePlaybackSource with its own RemotePlaybackFrameBuffer and PlaybackFrameStore; the
// connection's frame path decodes remote-archive frames into that store, files their pictures in
// the buffer (RemoteFrameBufferAdapter) and hands them on through a RemoteArchiveForwarder, which is
// also the connection's remote-archive sink (maps, bookmark titles).
//
// Main thread only. Once the control channel stands the session asks no live pictures, attaches the
// source through a ServerConnectionLink (the archive range) and calls OnArchiveReady with the
// archive's camera mask; a server that gives no range ends the run with kBroken, an archive without
// cameras with kArchiveMissing. The command then opens and drives Source() and ends with EndRun.
class RemoteArchiveSession : public ToolSession {
 public:
  explicit RemoteArchiveSession(ServerOptions options);
  // Stops the network thread before the stores, the buffer and the source go.
  ~RemoteArchiveSession() override;

 protected:
  virtual void OnArchiveReady(uint32_t cameraMask) = 0;
  playback::RemotePlaybackSource& Source() { return source_; }
  // Closes and detaches the source, then ends the run with `code`: kOk disconnects quietly,
  // anything else prints `text` on standard error.
  void EndRun(int code, const QString& text = {});

 private:
  void OnStarted() final;

  video::LiveFrameStore live_;
  video::PlaybackFrameStore frames_;
  video::RemotePlaybackFrameBuffer buffer_;
  net::FramePath path_{live_, frames_};
  net::RemoteFrameBufferAdapter adapter_{buffer_};
  playback::RemoteArchiveForwarder forwarder_;
  std::optional<playback::ServerConnectionLink> link_;
  // Last: it is detached from the forwarder and the link before they go.
  playback::RemotePlaybackSource source_{&buffer_, &frames_};
};

}  // namespace strixc::tool
