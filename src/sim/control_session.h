#pragma once

#include <cstdint>

#include "sim/sim_session.h"

namespace strixc::sim {

// One client's control channel: the login, then requests that each get exactly one reply (outputs,
// dome commands, the archive range, bookmark edits). Server events reach it through the server's
// broadcast once it is logged in.
class ControlSession : public SimSession {
  Q_OBJECT

 public:
  explicit ControlSession(SimServer* server);

 protected:
  bool OnRequest(uint32_t code, const uint8_t* payload, size_t length) override;

 private:
  // True (and counted) when the server is silent and the request must go unanswered.
  bool PassOver();
};

}  // namespace strixc::sim
