#pragma once

// Where the video channel hands what it receives. Every call comes on the network thread, while the
// video channel's message is being handled; the data is only valid during the call. Calls come only
// for the current connection: they run under the network thread's dispatch gate (DispatchGate), so
// a sink must not connect or disconnect the video channel.

#include <string>

#include "net/messages.h"

namespace strixc::net {

// The server's answers to the information requests. The names and states of inputs and outputs go
// straight into the IoPoints; OnInfoAnswer tells of every answer (kind as in InfoRequest, index 0
// for the I/O states), so that the owner knows when the configuration has arrived.
class InfoSink {
 public:
  virtual ~InfoSink() = default;
  virtual void OnCameraInfo(int camera, bool dome, const std::string& name) = 0;
  virtual void OnInfoAnswer(int kind, int index) = 0;
};

class FrameSink {
 public:
  virtual ~FrameSink() = default;
  // A frame whose length checks passed. `remote` is true for a remote-archive frame (the remote
  // flag wins over the live flag), false for a live frame. `keyFrameSeen` is the channel's
  // recording flag: set once a live key frame arrived while recording is on, cleared while it is
  // off; one flag for all cameras of the connection.
  virtual void OnFrame(const FrameView& frame, bool remote, bool& keyFrameSeen) = 0;
};

class RemoteArchiveSink {
 public:
  virtual ~RemoteArchiveSink() = default;
  virtual void OnArchiveMap(const ArchiveMap& map) = 0;
  virtual void OnBookmarkNotice(const BookmarkNotice& notice) = 0;
  // Every remote-archive frame, header and data, after its picture went to the frame buffer.
  virtual void OnRemoteFrame(const FrameView& frame) = 0;
};

struct IoPoints;

// The receivers of one connection's video channel; any of them may be null.
struct VideoChannelSinks {
  IoPoints* ioPoints = nullptr;
  InfoSink* info = nullptr;
  FrameSink* frames = nullptr;
  RemoteArchiveSink* remoteArchive = nullptr;
};

}  // namespace strixc::net
