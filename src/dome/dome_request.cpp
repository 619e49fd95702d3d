#include "dome/dome_request.h"

#include <cstddef>

namespace strixc::dome {

namespace {

bool AllSpeedsZero(const DomeRequest& r) {
  for (int i = 0; i < 5; ++i) {
    if (r.p[static_cast<std::size_t>(i)] != 0.0) return false;
  }
  return true;
}

}  // namespace

bool DomeRequest::IsStop() const { return command == code::kMove && AllSpeedsZero(*this); }

bool DomeRequest::IsMovement() const { return command == code::kMove && !AllSpeedsZero(*this); }

}  // namespace strixc::dome
