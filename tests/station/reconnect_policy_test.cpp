// The reconnect policy driven by hand: which breaks lead to attempts and how the waits grow.

#include "station/reconnect_policy.h"

#include <gtest/gtest.h>

#include <vector>

namespace strixc::station {
namespace {

class ManualTicker : public SecondTicker {
 public:
  explicit ManualTicker(std::function<void()>* tick) : tick_(tick) {}
  void Start(std::function<void()> tick) override { *tick_ = std::move(tick); }
  void Stop() override { *tick_ = nullptr; }

 private:
  std::function<void()>* tick_;
};

class ReconnectPolicyTest : public ::testing::Test {
 protected:
  ReconnectPolicyTest()
      : policy_(std::make_unique<ManualTicker>(&tick_),
                {[this](int left) { countdown_.push_back(left); }, [this] { ++attempts_; }}) {}

  // Lets `seconds` seconds pass; false when the ticker stopped before.
  bool Pass(int seconds) {
    for (int i = 0; i < seconds; ++i) {
      if (!tick_) return false;
      tick_();
    }
    return true;
  }
  // The wait that a lost link starts now, in seconds, run to its attempt.
  int WaitOfNextBreak() {
    countdown_.clear();
    if (!policy_.Broken(ReconnectPolicy::Break::kLost)) return 0;
    const int attemptsBefore = attempts_;
    while (attempts_ == attemptsBefore && Pass(1)) {
    }
    return countdown_.empty() ? -1 : countdown_.front();
  }

  std::function<void()> tick_;
  std::vector<int> countdown_;
  int attempts_ = 0;
  ReconnectPolicy policy_;
};

TEST_F(ReconnectPolicyTest, WaitsGrowFromOneToThirtySecondsAndAConnectionStartsThemAgain) {
  policy_.OperatorConnected();
  policy_.Connected();
  EXPECT_EQ(WaitOfNextBreak(), 1);
  EXPECT_EQ(countdown_, std::vector<int>({1}));
  EXPECT_TRUE(policy_.Attempting());
  // Attempts that fail: each wait twice the last, up to 30 s.
  std::vector<int> waits;
  for (int i = 0; i < 7; ++i) waits.push_back(WaitOfNextBreak());
  EXPECT_EQ(waits, std::vector<int>({2, 4, 8, 16, 30, 30, 30}));
  EXPECT_EQ(countdown_.size(), 30u) << "the countdown is told every second";
  EXPECT_EQ(countdown_.back(), 1);
  EXPECT_EQ(attempts_, 8);

  policy_.Connected();
  EXPECT_FALSE(policy_.Attempting());
  EXPECT_EQ(WaitOfNextBreak(), 1);
}

TEST_F(ReconnectPolicyTest, OnlyALostLinkThatOnceStoodIsMadeAgain) {
  // A first connection that fails is the operator's to see.
  policy_.OperatorConnected();
  EXPECT_FALSE(policy_.Broken(ReconnectPolicy::Break::kLost));

  policy_.Connected();
  EXPECT_FALSE(policy_.Broken(ReconnectPolicy::Break::kOperator));
  EXPECT_FALSE(policy_.Waiting());

  policy_.Connected();
  EXPECT_FALSE(policy_.Broken(ReconnectPolicy::Break::kRefused));

  // A refused login during an attempt ends the cycle.
  policy_.Connected();
  ASSERT_EQ(WaitOfNextBreak(), 1);
  EXPECT_FALSE(policy_.Broken(ReconnectPolicy::Break::kRefused));
  EXPECT_FALSE(policy_.Waiting() || policy_.Attempting());
  EXPECT_EQ(policy_.NextWaitSeconds(), ReconnectPolicy::kFirstWaitSeconds);
}

TEST_F(ReconnectPolicyTest, SwitchedOffOrStoppedNothingFollows) {
  policy_.Connected();
  ASSERT_TRUE(policy_.Broken(ReconnectPolicy::Break::kLost));
  policy_.SetEnabled(false);
  EXPECT_FALSE(policy_.Waiting());
  EXPECT_FALSE(Pass(1));
  policy_.Connected();
  EXPECT_FALSE(policy_.Broken(ReconnectPolicy::Break::kLost));

  policy_.SetEnabled(true);
  policy_.Connected();
  ASSERT_TRUE(policy_.Broken(ReconnectPolicy::Break::kLost));
  // The operator connects elsewhere while the wait runs.
  policy_.OperatorConnected();
  EXPECT_FALSE(Pass(1));
  EXPECT_EQ(attempts_, 0);
}

}  // namespace
}  // namespace strixc::station
