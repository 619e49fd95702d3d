#pragma once

#include <functional>
#include <memory>

namespace strixc::station {

// A source of one-second ticks. The policy's waits are counted in its ticks, so a test drives the
// policy by hand instead of waiting.
class SecondTicker {
 public:
  virtual ~SecondTicker() = default;
  // Calls `tick` once a second until Stop; a running ticker starts over.
  virtual void Start(std::function<void()> tick) = 0;
  virtual void Stop() = 0;
};

// A ticker on a Qt timer of the calling thread (whose event loop must run).
std::unique_ptr<SecondTicker> MakeQtSecondTicker();

// When and how often a connection that broke by itself is made again.
//
// A connection that reached the connected state is armed: when it later breaks without the
// operator asking for it, the policy counts down a wait (1 s, then 2, 4, 8, 16 and 30 s at most,
// growing with each attempt that fails) and then asks for a new attempt. An attempt that connects
// arms the policy again with the shortest wait; one that fails (refused connection, lost link,
// no answer in time) starts the next, longer wait. A refused login or a server the program cannot
// speak to ends the cycle: trying again would not help.
//
// Not thread-safe: lives on the user-interface thread, like its ticker.
class ReconnectPolicy {
 public:
  static constexpr int kFirstWaitSeconds = 1;
  static constexpr int kLongestWaitSeconds = 30;

  // Why a connection ended.
  enum class Break {
    kLost,      // the link broke, or an attempt did not get through
    kOperator,  // the operator ended it (a new connection, Cancel, Exit)
    kRefused,   // the server refused the login or speaks a newer protocol
  };

  struct Hooks {
    // Once per second of a wait, with the seconds still to wait (first call: the whole wait).
    std::function<void(int secondsLeft)> countdown;
    // The wait is over: connect to the same server again.
    std::function<void()> attempt;
  };

  ReconnectPolicy(std::unique_ptr<SecondTicker> ticker, Hooks hooks);
  ~ReconnectPolicy();

  // Off: a break never leads to a new attempt, and a wait that runs is dropped.
  void SetEnabled(bool enabled);
  bool Enabled() const { return enabled_; }

  // The operator started a connection of his own: whatever the policy was doing ends, and only a
  // connection that gets connected arms it.
  void OperatorConnected();
  // A connection (the operator's or an attempt) reached the connected state.
  void Connected();
  // The connection ended. True when a wait started (the caller then tells no break to the
  // operator: an attempt follows).
  bool Broken(Break why);
  // Ends a wait or the cycle without a break (the program closes).
  void Stop();

  // A wait runs.
  bool Waiting() const { return state_ == State::kWaiting; }
  // An attempt is under way: Connected or Broken tells how it ended.
  bool Attempting() const { return state_ == State::kAttempting; }
  // The wait that the next break would start.
  int NextWaitSeconds() const { return nextWait_; }

 private:
  enum class State { kIdle, kArmed, kWaiting, kAttempting };
  void OnTick();

  std::unique_ptr<SecondTicker> ticker_;
  Hooks hooks_;
  bool enabled_ = true;
  State state_ = State::kIdle;
  int nextWait_ = kFirstWaitSeconds;
  int secondsLeft_ = 0;
};

}  // namespace strixc::station
