#include "sim/video_session.h"

#include <QTcpSocket>

#include "net/protocol.h"
#include "net/wire.h"
#include "sim/archive_service.h"
#include "sim/sim_server.h"

namespace strixc::sim {

VideoSession::VideoSession(SimServer* server)
    : SimSession(Channel::kVideo, server), streamer_(server->Config().fps, server->Config().keyFrameIntervalMs) {
  if (server->Archive()) archive_ = std::make_unique<ArchiveService>(server->Archive());
}

VideoSession::~VideoSession() = default;

uint32_t VideoSession::WantedCameras() const {
  if (!LoggedIn() || !IsOpen() || !state_.transmit) return 0;
  return state_.visibleMask & ((1u << Server().Config().cameraCount) - 1);
}

void VideoSession::StreamTick(const CameraFeeds& feeds) {
  if (WantedCameras() == 0) return;
  if (Socket() && Socket()->bytesToWrite() > kMaxUnsentBytes) {
    Server().OnTickSkipped();
    return;
  }
  streamer_.OnTick(feeds, state_, [this](const net::Payload& frame) { Send(net::video_in::kFrame, frame); });
}

bool VideoSession::OnRequest(uint32_t code, const uint8_t* p, size_t n) {
  switch (code) {
    case net::video_out::kInfoRequest: {
      const auto request = net::ParseInfoRequest(p, n);
      if (!request) return false;
      AnswerInfo(*request);
      return true;
    }
    case net::video_out::kKeepAlive:
      return n == 1;
    case net::video_out::kTransmitSwitch: {
      if (n != 4) return false;
      const bool on = net::wire::U32(p) != 0;
      if (on != state_.transmit) {
        state_.transmit = on;
        // Whatever the client had is gone for it: each camera starts again with a key frame.
        if (!on) streamer_.Reset();
        Server().OnTransmitChanged(on);
      }
      return true;
    }
    case net::video_out::kSetQuality: {
      const auto quality = net::ParseSetQuality(p, n);
      if (!quality) return false;
      state_.quality = *quality;
      return true;
    }
    case net::video_out::kVisibleCameras: {
      if (n != 4) return false;
      const uint32_t mask = net::wire::U32(p);
      // A camera hidden even for a moment may have been dropped by the client: it starts again
      // with a key frame.
      streamer_.Forget(state_.visibleMask & ~mask);
      state_.visibleMask = mask;
      Server().OnVisibleCameras(state_.visibleMask);
      return true;
    }
    case net::video_out::kKeyFrameRequest:
      if (n != 8) return false;
      state_.keyFrameMask |= net::wire::U32(p);
      Server().OnKeyFrameRequest();
      return true;
    case net::video_out::kArchiveOpen:
      if (n != 1) return false;
      state_.archiveOpen = p[0] != 0;
      if (archive_) archive_->OnArchiveOpen(state_.archiveOpen);
      return true;
    case net::video_out::kArchiveMapRequest: {
      const auto request = net::ParseArchiveMapRequest(p, n);
      if (!request) return false;
      if (archive_) {
        if (const auto map = archive_->AnswerMap(*request)) Send(net::video_in::kArchiveMap, *map);
        return true;
      }
      // No archive: the map of the asked span is empty.
      net::ArchiveMap map;
      map.start = request->start;
      map.end = request->end;
      Send(net::video_in::kArchiveMap, net::BuildArchiveMap(map));
      return true;
    }
    case net::video_out::kPlaybackRequest: {
      const auto request = net::ParsePlaybackRequest(p, n);
      if (!request) return false;
      state_.playback = *request;
      // A client gone in the middle of the answer only makes the rest of the sends do nothing.
      if (archive_)
        archive_->AnswerPlayback(*request, [this](const net::Payload& frame) { Send(net::video_in::kFrame, frame); });
      return true;
    }
    case net::video_out::kPlaybackControl:
      if (n != net::kPlaybackControlSize) return false;
      state_.playbackControlOp = p[0];
      state_.playbackControlTime = net::wire::U64(p + 1);
      if (archive_) {
        if (const auto notice = archive_->AnswerPlaybackControl(p[0], *state_.playbackControlTime))
          Send(net::video_in::kBookmarkNotice, *notice);
      }
      return true;
    default:
      return false;
  }
}

void VideoSession::AnswerInfo(const net::InfoRequest& request) {
  // Requests for points the server does not have stay unanswered, as an unknown kind does.
  switch (request.kind) {
    case net::info_kind::kCamera:
      if (request.index < net::kCameraCount)
        Send(net::video_in::kCameraInfo, net::BuildCameraInfo(Server().CameraInfoOf(request.index)));
      break;
    case net::info_kind::kInput:
      if (request.index < net::kInputCount)
        Send(net::video_in::kInputName, net::BuildPointName(Server().PointNameOf(true, request.index)));
      break;
    case net::info_kind::kOutput:
      if (request.index < net::kOutputCount)
        Send(net::video_in::kOutputName, net::BuildPointName(Server().PointNameOf(false, request.index)));
      break;
    case net::info_kind::kIoState:
      Send(net::video_in::kIoState, net::BuildIoState(Server().IoStates()));
      break;
    default:
      break;
  }
}

}  // namespace strixc::sim
