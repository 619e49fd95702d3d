#pragma once

#include "dome/dome_request.h"

namespace strixc::dome {

// Where DomeControl hands its requests: the request queue in the program, a recorder in tests.
// Called on the user-interface thread; must not block.
class DomeSink {
 public:
  virtual ~DomeSink() = default;
  virtual void Submit(const DomeRequest& request) = 0;
};

}  // namespace strixc::dome
