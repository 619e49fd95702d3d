#pragma once

// The dome transport over the server connection's control channel: each request leaves at once as
// a DomeCommand message and its one-byte reply is awaited from the event loop, not by blocking, so
// that the window goes on while a server is slow to answer. A reply that does not come within the
// control channel's request time-out closes the channel, as a blocking request's would.

#include <QObject>
#include <QPointer>

#include "dome/dome_transport.h"

namespace strixc::net {
class ServerConnection;
}

namespace strixc::dome {

// The user-interface thread only; the connection must outlive it.
class DomeLink : public QObject, public DomeTransport {
  Q_OBJECT

 public:
  explicit DomeLink(net::ServerConnection& connection, QObject* parent = nullptr);

  bool Start(const DomeRequest& request, Done done) override;
  bool SendNow(const DomeRequest& request, int flushMs) override;

 private:
  net::ServerConnection& connection_;
};

}  // namespace strixc::dome
