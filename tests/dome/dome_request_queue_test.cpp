#include "dome/dome_request_queue.h"

#include <gtest/gtest.h>

#include "dome/dome_control.h"
#include "dome_recorder.h"

namespace strixc::dome {
namespace {

using test::MoveRequest;
using test::Request;

// Holds each started request until the test answers it.
class HeldTransport : public DomeTransport {
 public:
  bool Start(const DomeRequest& request, Done done) override {
    if (!ready) return false;
    started.push_back(request);
    pending.push_back(std::move(done));
    return true;
  }
  bool SendNow(const DomeRequest& request, int) override {
    if (!ready) return false;
    pushed.push_back(request);
    return true;
  }
  // Answers the oldest request out.
  void Answer(bool answered = true) {
    if (pending.empty()) return;
    Done done = std::move(pending.front());
    pending.erase(pending.begin());
    done(answered, 0);
  }

  bool ready = true;
  std::vector<DomeRequest> started;
  std::vector<DomeRequest> pushed;
  std::vector<Done> pending;
};

class DomeRequestQueueTest : public ::testing::Test {
 protected:
  DomeRequestQueueTest() : queue_(transport_), control_(&queue_) {}

  // Answers every request until the queue is idle.
  void Drain() {
    while (!transport_.pending.empty()) transport_.Answer();
  }

  HeldTransport transport_;
  DomeRequestQueue queue_;
  DomeControl control_;
};

TEST_F(DomeRequestQueueTest, OnlyTheLatestMoveOfACameraWaits) {
  control_.Move(0.1, 0, 0, 0, 0);  // goes out at once
  control_.Move(0.2, 0, 0, 0, 0);
  control_.Move(0.3, 0, 0, 0, 0);
  control_.SetCamera(5);
  control_.Move(-0.4, 0, 0, 0, 0);  // another dome: its own request
  control_.SetCamera(1);
  control_.Move(0.5, 0, 0, 0, 0);
  Drain();
  EXPECT_EQ(transport_.started, (std::vector{MoveRequest(1, 0.1, 0), MoveRequest(1, 0.5, 0), MoveRequest(5, -0.4, 0)}));
}

TEST_F(DomeRequestQueueTest, StopsAreNeverDroppedOrOvertaken) {
  control_.Move(0.1, 0, 0, 0, 0);
  control_.Move(0.2, 0, 0, 0, 0);
  control_.Move(0, 0, 0, 0, 0);    // replaces the waiting 0.2: it was stale anyway
  control_.Move(0.3, 0, 0, 0, 0);  // must not replace the stop, and waits behind it
  Drain();
  EXPECT_EQ(transport_.started, (std::vector{MoveRequest(1, 0.1, 0), MoveRequest(1, 0, 0), MoveRequest(1, 0.3, 0)}));
}

TEST_F(DomeRequestQueueTest, OtherRequestsKeepTheirPlaceBetweenMoves) {
  control_.Move(0.1, 0, 0, 0, 0);
  control_.Move(0.2, 0, 0, 0, 0);
  control_.RecallPreset(4);
  control_.Move(0.3, 0, 0, 0, 0);
  control_.SavePreset(2);
  Drain();
  EXPECT_EQ(transport_.started, (std::vector{MoveRequest(1, 0.1, 0), MoveRequest(1, 0.2, 0), Request(1, code::kRecallPreset, {4}),
                                             MoveRequest(1, 0.3, 0), Request(1, code::kSavePreset, {2})}));
}

TEST_F(DomeRequestQueueTest, AFailedRequestDropsWhatWaitedForThatConnection) {
  control_.Move(0.1, 0, 0, 0, 0);
  control_.RecallPreset(1);
  transport_.Answer(false);
  EXPECT_EQ(queue_.Waiting(), 0u);
  EXPECT_FALSE(queue_.InFlight());
  transport_.ready = false;
  control_.RecallPreset(2);
  EXPECT_FALSE(queue_.InFlight()) << "nothing to send it on";
  transport_.ready = true;
  control_.RecallPreset(3);
  EXPECT_EQ(transport_.started.back(), Request(1, code::kRecallPreset, {3}));
}

TEST_F(DomeRequestQueueTest, TeardownStopsEveryMovingDomeWithoutWaiting) {
  control_.Move(0.1, 0, 0, 0, 0);  // in flight, never answered
  control_.SetCamera(3);
  control_.Move(0, 0.7, 0, 0, 0);
  control_.SetCamera(1);
  EXPECT_TRUE(control_.StopAll());
  EXPECT_TRUE(queue_.FlushStopsForTeardown());
  EXPECT_EQ(transport_.pushed, (std::vector{MoveRequest(3, 0, 0), MoveRequest(1, 0, 0)}));
  EXPECT_FALSE(control_.AnyMoving());
  EXPECT_FALSE(control_.StopAll()) << "nothing moves any more";
}

TEST_F(DomeRequestQueueTest, TheAnswerOfAnEarlierConnectionChangesNothing) {
  control_.RecallPreset(1);  // out, and never answered: the connection went
  queue_.Clear();
  control_.RecallPreset(2);  // the new connection's first request leaves at once
  control_.RecallPreset(3);
  ASSERT_EQ(transport_.started.size(), 2u);
  transport_.Answer(false);  // the old connection's failure arrives late
  EXPECT_TRUE(queue_.InFlight());
  EXPECT_EQ(queue_.Waiting(), 1u);
  Drain();
  EXPECT_EQ(transport_.started.back(), Request(1, code::kRecallPreset, {3}));
}

TEST(DomeControlTest, RequestsCarryTheSelectedCameraAndTheRecordOrder) {
  test::DomeRecorder sink;
  DomeControl control(&sink);
  control.Browse(2, 9, 1500);
  control.SetCamera(2);
  control.Send(code::kNone, {1, 2, 3});
  control.SetPosition({1, 2, 3, 4, 5, 6});
  EXPECT_EQ(sink.requests,
            (std::vector{Request(1, code::kBrowse, {9, 2, 1500}), Request(2, code::kSetPosition, {1, 2, 3, 4, 5, 6})}));
}

}  // namespace
}  // namespace strixc::dome
