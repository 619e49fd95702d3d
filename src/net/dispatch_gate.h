#pragma once

#include <QtGlobal>
#include <atomic>
#include <mutex>

namespace strixc::net {

// Lets the video channel hand what it received to its receivers only while its connection is the
// current one. Messages of a torn-down connection may still sit in the socket's buffers on the
// network thread; without the gate they would refill the stores and names that the teardown has
// just cleared.
//
// The owner switches the current generation from its own thread. Once SetCurrent returns, no
// dispatch of another generation is running or will start, so the owner may clear what earlier
// dispatches filled. The gate's lock is held while the receivers run: it comes before every lock
// they take (frame stores, display, recorder, I/O points, camera names), and SetCurrent must be
// called neither from a receiver nor while holding one of those locks.
class DispatchGate {
 public:
  // Any thread but the network thread. 0 means no connection: everything is dropped.
  void SetCurrent(quint64 generation) {
    current_.store(generation);
    // A dispatch that took the gate before the switch is waited for.
    std::lock_guard<std::mutex> wait(lock_);
  }
  quint64 Current() const { return current_.load(); }

  // Network thread, around one dispatch of a message of `generation`. The returned lock owns the
  // gate while the message may be dispatched; it owns nothing when `generation` is no longer the
  // current one, and the message must then be dropped.
  std::unique_lock<std::mutex> Enter(quint64 generation) {
    std::unique_lock<std::mutex> hold(lock_);
    if (generation == 0 || current_.load() != generation) hold.unlock();
    return hold;
  }

 private:
  std::atomic<quint64> current_{0};
  std::mutex lock_;
};

}  // namespace strixc::net
