#pragma once

#include <vector>

#include "dome/dome_sink.h"

namespace strixc::dome::test {

// Keeps every request DomeControl hands over, in order.
class DomeRecorder : public DomeSink {
 public:
  void Submit(const DomeRequest& request) override { requests.push_back(request); }
  void Clear() { requests.clear(); }

  std::vector<DomeRequest> requests;
};

inline DomeRequest Request(uint16_t camera, uint16_t command, std::array<double, 6> p = {}) {
  DomeRequest r;
  r.camera = camera;
  r.command = command;
  r.p = p;
  return r;
}

inline DomeRequest MoveRequest(uint16_t camera, double pan, double tilt, double zoom = 0, double focus = 0,
                               double iris = 0) {
  return Request(camera, code::kMove, {pan, tilt, zoom, focus, iris, 0});
}

}  // namespace strixc::dome::test
