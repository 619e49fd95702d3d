#include "station/reconnect_policy.h"

#include <QTimer>
#include <algorithm>

namespace strixc::station {

namespace {

class QtSecondTicker : public SecondTicker {
 public:
  QtSecondTicker() {
    timer_.setInterval(1000);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if (tick_) tick_();
    });
  }
  void Start(std::function<void()> tick) override {
    tick_ = std::move(tick);
    timer_.start();
  }
  void Stop() override { timer_.stop(); }

 private:
  QTimer timer_;
  std::function<void()> tick_;
};

}  // namespace

std::unique_ptr<SecondTicker> MakeQtSecondTicker() { return std::make_unique<QtSecondTicker>(); }

ReconnectPolicy::ReconnectPolicy(std::unique_ptr<SecondTicker> ticker, Hooks hooks)
    : ticker_(std::move(ticker)), hooks_(std::move(hooks)) {}

ReconnectPolicy::~ReconnectPolicy() { ticker_->Stop(); }

void ReconnectPolicy::SetEnabled(bool enabled) {
  enabled_ = enabled;
  if (!enabled && state_ == State::kWaiting) Stop();
}

void ReconnectPolicy::OperatorConnected() {
  ticker_->Stop();
  state_ = State::kIdle;
  nextWait_ = kFirstWaitSeconds;
}

void ReconnectPolicy::Connected() {
  ticker_->Stop();
  state_ = State::kArmed;
  nextWait_ = kFirstWaitSeconds;
}

bool ReconnectPolicy::Broken(Break why) {
  // Only a link that once stood is made again: a first connection that fails is the operator's to
  // look at, and he gets its message.
  const bool follows = state_ == State::kArmed || state_ == State::kAttempting;
  if (!enabled_ || why != Break::kLost || !follows) {
    Stop();
    return false;
  }
  state_ = State::kWaiting;
  secondsLeft_ = nextWait_;
  nextWait_ = std::min(nextWait_ * 2, kLongestWaitSeconds);
  if (hooks_.countdown) hooks_.countdown(secondsLeft_);
  ticker_->Start([this] { OnTick(); });
  return true;
}

void ReconnectPolicy::Stop() {
  ticker_->Stop();
  state_ = State::kIdle;
  nextWait_ = kFirstWaitSeconds;
}

void ReconnectPolicy::OnTick() {
  if (state_ != State::kWaiting) return;
  if (--secondsLeft_ > 0) {
    if (hooks_.countdown) hooks_.countdown(secondsLeft_);
    return;
  }
  ticker_->Stop();
  state_ = State::kAttempting;
  if (hooks_.attempt) hooks_.attempt();
}

}  // namespace strixc::station
