#pragma once

#include <cstdint>
#include <functional>

#include "dome/dome_request.h"

namespace strixc::dome {

// Carries one dome request to the server without blocking the caller. The program's transport is
// the control channel (DomeLink); tests use recorders and silent stand-ins.
class DomeTransport {
 public:
  // Called exactly once per started request, on the caller's thread, from the event loop (never
  // from inside Start): whether the server answered, and its reply byte (0 when not).
  using Done = std::function<void(bool answered, uint8_t reply)>;

  virtual ~DomeTransport() = default;
  // Sends the request's bytes at once and reports the reply through `done`. False, with `done`
  // never called, when nothing could be sent.
  virtual bool Start(const DomeRequest& request, Done done) = 0;
  // Writes the request's bytes without waiting for any reply and pushes them out within
  // `flushMs`; for the stops sent while the connection is torn down. False when nothing was sent.
  virtual bool SendNow(const DomeRequest& request, int flushMs) = 0;
};

}  // namespace strixc::dome
