#include "dome/dome_link.h"

#include "net/server_connection.h"

namespace strixc::dome {

namespace {

net::DomeCommandRecord Record(const DomeRequest& request) {
  net::DomeCommandRecord record;
  record.camera = request.camera;
  record.code = request.command;
  record.params = request.p;
  return record;
}

}  // namespace

DomeLink::DomeLink(net::ServerConnection& connection, QObject* parent)
    : QObject(parent), connection_(connection) {}

bool DomeLink::Start(const DomeRequest& request, Done done) {
  return connection_.SendDomeCommandAsync(Record(request), std::move(done));
}

bool DomeLink::SendNow(const DomeRequest& request, int flushMs) {
  return connection_.PushDomeCommand(Record(request), flushMs);
}

}  // namespace strixc::dome
