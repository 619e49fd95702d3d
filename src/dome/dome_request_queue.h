#pragma once

// The dome requests between the controls and the server. A control-channel request takes up to
// the request time-out to answer; the joystick alone asks for a move every 50 ms. So the controls
// never wait: they submit here, and the queue keeps one request at the server at a time.
//
// Ordering rules, in the order of submission per camera:
//  - only the latest move of a camera waits: a new move replaces a waiting move that is the last
//    thing waiting for that camera (intermediate speeds are stale the moment a newer one exists);
//  - a stop is never dropped and never overtaken: a move that follows a waiting stop waits behind
//    it, and a stop replaces only a waiting move, never another request;
//  - everything else (presets, steps, tours, patterns, positions, menus) waits in order.
// When the transport fails (no connection, the channel closed) the waiting requests are dropped:
// the connection they were for is gone.

#include <cstdint>
#include <deque>
#include <memory>

#include "dome/dome_sink.h"
#include "dome/dome_transport.h"

namespace strixc::dome {

// The user-interface thread only. The transport must outlive the queue.
class DomeRequestQueue : public DomeSink {
 public:
  explicit DomeRequestQueue(DomeTransport& transport);
  ~DomeRequestQueue() override;

  void Submit(const DomeRequest& request) override;

  // Sends every waiting stop at once, without waiting for replies, then drops the rest: for the
  // teardown of the connection. Returns whether a stop was written.
  bool FlushStopsForTeardown(int flushMs = 250);
  // Drops everything waiting and forgets the request out (the connection is gone): what comes
  // next is for a new connection and need not wait for an answer from the old one.
  void Clear();

  size_t Waiting() const { return waiting_.size(); }
  bool InFlight() const { return inFlight_; }
  // Requests the transport took, and those replaced or dropped unsent; for tests and benchmarks.
  uint64_t Started() const { return started_; }
  uint64_t Coalesced() const { return coalesced_; }

 private:
  void StartNext();
  void OnDone(uint64_t generation, bool answered);

  DomeTransport& transport_;
  std::deque<DomeRequest> waiting_;
  bool inFlight_ = false;
  // Counts the Clears: the answer to a request of an earlier connection changes nothing.
  uint64_t generation_ = 0;
  uint64_t started_ = 0;
  uint64_t coalesced_ = 0;
  // Guards the transport's callback against a queue destroyed while a request is out.
  std::shared_ptr<bool> alive_;
};

}  // namespace strixc::dome
