#include "sim/control_session.h"

#include "net/messages.h"
#include "net/protocol.h"
#include "sim/sim_archive.h"
#include "sim/sim_server.h"

namespace strixc::sim {

namespace {

constexpr uint8_t kDone = 0;

}  // namespace

ControlSession::ControlSession(SimServer* server) : SimSession(Channel::kControl, server) {}

bool ControlSession::OnRequest(uint32_t code, const uint8_t* p, size_t n) {
  switch (code) {
    case net::control::kSetOutput: {
      const auto request = net::ParseSetOutput(p, n);
      if (!request) return false;
      if (PassOver()) return true;
      // The events of the switch, this client's included, leave before its reply.
      if (request->output < net::kOutputCount) Server().SwitchOutput(request->output, request->state != 0);
      Send(net::control::kSetOutputReply, net::BuildReplyByte(kDone));
      return true;
    }
    case net::control::kDomeCommand: {
      const auto command = net::ParseDomeCommand(p, n);
      if (!command) return false;
      if (PassOver()) return true;
      Server().RecordDomeCommand(*command, p, n);
      Send(net::control::kDomeCommandReply, net::BuildReplyByte(kDone));
      return true;
    }
    case net::control::kArchiveRangeRequest:
      if (n != net::kArchiveRangeRequestSize) return false;
      if (PassOver()) return true;
      // Without an archive: no cameras and no times.
      Send(net::control::kArchiveRange,
           net::BuildArchiveRange(Server().Archive() ? Server().Archive()->Range() : net::ArchiveRange{}));
      return true;
    case net::control::kBookmarkEdit: {
      const auto edit = net::ParseBookmarkEdit(p, n);
      if (!edit) return false;
      if (PassOver()) return true;
      // Without an archive there is nothing to keep a bookmark with.
      SimArchive* archive = Server().Archive().get();
      const uint8_t reply = archive ? archive->EditBookmark(*edit) : SimArchive::kEditRefused;
      if (archive && archive->Verbose())
        archive->Log("archive: bookmark operation " + std::to_string(edit->operation) + " at " +
                     std::to_string(edit->time) + ": reply " + std::to_string(reply));
      Send(net::control::kBookmarkEditReply, net::BuildReplyByte(reply));
      return true;
    }
    default:
      return false;
  }
}

bool ControlSession::PassOver() {
  // In silent mode a well-formed request has no effect and gets no reply, as from a server that
  // hangs; a malformed one still drops the client.
  if (!Server().ControlSilent()) return false;
  Server().OnUnansweredRequest();
  return true;
}

}  // namespace strixc::sim
