#include "net/io_point.h"

namespace strixc::net {

void IoPoint::Init(int index, Notifier notifier) {
  index_ = index;
  notifier_ = std::move(notifier);
}

// The notifier runs under the lock so that posted changes arrive in the order they were made, even
// when the network thread and the user-interface thread set the same point at once. It only posts,
// so holding the lock there is cheap and cannot deadlock.
void IoPoint::SetState(int state) {
  state = state ? 1 : 0;
  std::lock_guard<std::mutex> guard(lock_);
  if (state_ == state) return;
  state_ = state;
  if (notifier_) notifier_(index_, state_);
}

void IoPoint::Forget() {
  std::lock_guard<std::mutex> guard(lock_);
  if (state_ == kUnknown) return;
  state_ = kUnknown;
  if (notifier_) notifier_(index_, state_);
}

void IoPoint::SetName(const std::string& name) {
  std::lock_guard<std::mutex> guard(lock_);
  if (name_ == name) return;
  name_ = name;
  if (notifier_) notifier_(index_, state_);
}

int IoPoint::State() const {
  std::lock_guard<std::mutex> guard(lock_);
  return state_;
}

std::string IoPoint::Name() const {
  std::lock_guard<std::mutex> guard(lock_);
  return name_;
}

}  // namespace strixc::net
