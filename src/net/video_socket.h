#pragma once

#include <string>

#include "net/dispatch_gate.h"
#include "net/message_socket.h"
#include "net/text_codec.h"
#include "net/video_channel_sinks.h"

namespace strixc::net {

// The video channel: logs in as soon as the connection stands, then dispatches everything the server
// sends to the sinks, as long as the gate holds its generation as the current one. Lives on the
// network thread; the gate must outlive it.
class VideoSocket : public MessageSocket {
  Q_OBJECT

 public:
  VideoSocket(const VideoChannelSinks& sinks, quint64 generation, DispatchGate& gate, QObject* parent = nullptr);

  // Starts the connection; LoginResult follows in every case. `user` and `password` are already in
  // the server's code page; `codec` decodes the names the server sends.
  void Connect(const QString& host, quint16 port, const std::string& user, const std::string& password,
               const TextCodec& codec);

  const ServerDescription& Description() const { return description_; }
  // The connection stands and the login has gone out: other messages may follow it.
  bool Established() const { return connected_ && IsOpen(); }

 signals:
  // error != 0: the connection failed (text is the system's); version 0: login refused.
  void LoginResult(quint64 generation, int error, quint32 version, const QString& text);
  // The channel closed after the connection stood (peer, error or protocol violation).
  void ConnectionClosed(quint64 generation, int error, const QString& text);

 protected:
  bool OnMessage(uint32_t code, const uint8_t* payload, size_t length) override;
  void OnConnected() override;
  void OnClosed(int error, const QString& text) override;

 private:
  bool HandleFrame(const uint8_t* payload, size_t length);

  VideoChannelSinks sinks_;
  quint64 generation_;
  DispatchGate& gate_;
  LoginRecord login_;
  TextCodec codec_;
  bool connected_ = false;
  // Recording starts with a key frame: see FrameSink.
  bool keyFrameSeen_ = false;
  // The words and the name of the accepted LoginReply.
  ServerDescription description_;
};

}  // namespace strixc::net
