#include "net/video_socket.h"

#include "net/io_point.h"

namespace strixc::net {

VideoSocket::VideoSocket(const VideoChannelSinks& sinks, quint64 generation, DispatchGate& gate, QObject* parent)
    : MessageSocket(parent), sinks_(sinks), generation_(generation), gate_(gate) {}

void VideoSocket::Connect(const QString& host, quint16 port, const std::string& user,
                          const std::string& password, const TextCodec& codec) {
  login_ = LoginRecord{user, password};
  codec_ = codec;
  ConnectToHost(host, port);
}

void VideoSocket::OnConnected() {
  connected_ = true;
  Send(video_out::kLogin, BuildLogin(login_, true));
  // The login record is not needed again; do not keep the password around longer than necessary.
  login_.password.assign(login_.password.size(), '\0');
  login_.password.clear();
}

void VideoSocket::OnClosed(int error, const QString& text) {
  if (connected_) {
    emit ConnectionClosed(generation_, error, text);
  } else {
    emit LoginResult(generation_, error, 0, text);
  }
}

bool VideoSocket::OnMessage(uint32_t code, const uint8_t* payload, size_t length) {
  // After a teardown the owner has cleared what these messages would fill: drop them.
  const auto dispatching = gate_.Enter(generation_);
  if (!dispatching.owns_lock()) return true;
  switch (code) {
    case video_in::kLoginReply: {
      const auto d = ParseServerDescription(payload, length);
      if (!d) return false;
      if (d->accepted == 0) {
        emit LoginResult(generation_, 0, 0, QString());
        return true;
      }
      description_ = *d;
      emit LoginResult(generation_, 0, d->version, QString());
      return true;
    }
    case video_in::kCameraInfo: {
      const auto info = ParseCameraInfo(payload, length);
      if (!info) return false;
      if (info->camera < kCameraCount && sinks_.info) {
        sinks_.info->OnCameraInfo(info->camera, info->dome != 0, codec_.Decode(info->name));
        sinks_.info->OnInfoAnswer(info_kind::kCamera, info->camera);
      }
      return true;
    }
    case video_in::kIoState: {
      const auto s = ParseIoState(payload, length);
      if (!s) return false;
      if (sinks_.ioPoints) {
        for (int n = 0; n < kInputCount; ++n) sinks_.ioPoints->inputs[n].SetState((s->inputs >> n) & 1);
        for (int n = 0; n < kOutputCount; ++n) sinks_.ioPoints->outputs[n].SetState((s->outputs >> n) & 1);
      }
      if (sinks_.info) sinks_.info->OnInfoAnswer(info_kind::kIoState, 0);
      return true;
    }
    case video_in::kInputName:
    case video_in::kOutputName: {
      const auto name = ParsePointName(payload, length);
      if (!name) return false;
      const bool input = code == video_in::kInputName;
      if (name->index >= (input ? kInputCount : kOutputCount)) return true;
      if (sinks_.ioPoints) {
        IoPoint& point = input ? sinks_.ioPoints->inputs[name->index] : sinks_.ioPoints->outputs[name->index];
        point.SetName(codec_.Decode(name->name));
      }
      if (sinks_.info) sinks_.info->OnInfoAnswer(input ? info_kind::kInput : info_kind::kOutput, name->index);
      return true;
    }
    case video_in::kKeepAlive:
      return length >= 1;
    case video_in::kFrame:
      return HandleFrame(payload, length);
    case video_in::kArchiveMap: {
      const auto map = ParseArchiveMap(payload, length);
      if (!map) return false;
      if (sinks_.remoteArchive) sinks_.remoteArchive->OnArchiveMap(*map);
      return true;
    }
    case video_in::kBookmarkNotice: {
      auto notice = ParseBookmarkNotice(payload, length);
      if (!notice) return false;
      notice->title = codec_.Decode(notice->title);
      if (sinks_.remoteArchive) sinks_.remoteArchive->OnBookmarkNotice(*notice);
      return true;
    }
    default:
      return false;
  }
}

bool VideoSocket::HandleFrame(const uint8_t* payload, size_t length) {
  const auto frame = ParseFrame(payload, length);
  if (!frame) return false;
  const uint16_t flags = frame->header.flags;
  const bool remote = (flags & frame_flag::kRemote) != 0;
  if (!remote && !(flags & frame_flag::kLive)) return false;
  if (sinks_.frames) sinks_.frames->OnFrame(*frame, remote, keyFrameSeen_);
  return true;
}

}  // namespace strixc::net
