#include "dome/dome_request_queue.h"

#include <algorithm>

namespace strixc::dome {

DomeRequestQueue::DomeRequestQueue(DomeTransport& transport)
    : transport_(transport), alive_(std::make_shared<bool>(true)) {}

DomeRequestQueue::~DomeRequestQueue() { *alive_ = false; }

void DomeRequestQueue::Submit(const DomeRequest& request) {
  if (request.command == code::kNone) return;
  if (request.command == code::kMove) {
    // The last waiting request of this camera: a waiting movement there is stale now.
    const auto last = std::find_if(waiting_.rbegin(), waiting_.rend(),
                                   [&](const DomeRequest& r) { return r.camera == request.camera; });
    if (last != waiting_.rend() && last->IsMovement()) {
      *last = request;
      ++coalesced_;
      StartNext();
      return;
    }
  }
  waiting_.push_back(request);
  StartNext();
}

void DomeRequestQueue::StartNext() {
  while (!inFlight_ && !waiting_.empty()) {
    const DomeRequest request = waiting_.front();
    waiting_.pop_front();
    std::weak_ptr<bool> alive = alive_;
    inFlight_ = transport_.Start(request, [this, alive, generation = generation_](bool answered, uint8_t) {
      const auto guard = alive.lock();
      if (!guard || !*guard) return;
      OnDone(generation, answered);
    });
    if (inFlight_) {
      ++started_;
    } else {
      // No channel: what waits was meant for a connection that is not there.
      coalesced_ += waiting_.size() + 1;
      waiting_.clear();
    }
  }
}

void DomeRequestQueue::OnDone(uint64_t generation, bool answered) {
  if (generation != generation_) return;
  inFlight_ = false;
  if (!answered) {
    // The channel closed (or timed out, which closes it): the rest cannot be delivered.
    coalesced_ += waiting_.size();
    waiting_.clear();
    return;
  }
  StartNext();
}

bool DomeRequestQueue::FlushStopsForTeardown(int flushMs) {
  bool sent = false;
  for (const DomeRequest& request : waiting_) {
    if (request.IsStop() && transport_.SendNow(request, flushMs)) sent = true;
  }
  Clear();
  return sent;
}

void DomeRequestQueue::Clear() {
  waiting_.clear();
  inFlight_ = false;
  ++generation_;
}

}  // namespace strixc::dome
