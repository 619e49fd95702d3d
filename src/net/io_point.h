#pragma once

#include <array>
#include <functional>
#include <mutex>
#include <string>

#include "net/protocol.h"

namespace strixc::net {

// One alarm input or relay output of the server: its name and on/off state.
//
// Any thread may read or set it. A change of state or name calls the notifier with (index, state),
// under the point's lock; setting the value it already has calls nothing. The notifier must only
// post to the owner's thread: it must not block or touch the point again.
class IoPoint {
 public:
  using Notifier = std::function<void(int index, int state)>;
  // The state of a point nobody has reported yet: before the first connection's report and after
  // a connection ends.
  static constexpr int kUnknown = -1;

  void Init(int index, Notifier notifier);

  // Any non-zero state is 1.
  void SetState(int state);
  // Back to kUnknown (notified like a change), so that the next report is a change whatever it says.
  void Forget();
  void SetName(const std::string& name);
  int State() const;
  std::string Name() const;
  int Index() const { return index_; }

 private:
  int index_ = 0;
  Notifier notifier_;
  mutable std::mutex lock_;
  // Guarded by lock_:
  std::string name_;
  int state_ = kUnknown;
};

// The server's 16 alarm inputs and 12 relay outputs.
struct IoPoints {
  std::array<IoPoint, kInputCount> inputs;
  std::array<IoPoint, kOutputCount> outputs;
};

}  // namespace strixc::net
