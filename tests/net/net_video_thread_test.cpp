// The network thread on its own: where its signals arrive and what a receiver may do there.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "fake_peer.h"
#include "net/net_video_thread.h"
#include "wait.h"

namespace strixc::net {
namespace {

using test::FakePeer;
using test::PeerMessage;
using test::WaitUntil;

bool SpinUntil(const std::atomic<bool>& flag) {
  for (int i = 0; i < 500 && !flag; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return flag;
}

// Keeps the network thread busy inside a frame until the test has queued its message, so that the
// send of that message is the first thing the thread does after the peer reset the connection.
class HoldingFrameSink : public FrameSink {
 public:
  void OnFrame(const FrameView&, bool, bool&) override {
    entered = true;
    SpinUntil(release);
  }
  std::atomic<bool> entered{false};
  std::atomic<bool> release{false};
};

TEST(NetVideoThreadTest, CloseDuringASendReachesAHandlerOnTheNetworkThreadThatMayQueue) {
  FakePeer peer;
  HoldingFrameSink sink;
  std::atomic<bool> reset{false};
  peer.Run([&](FakePeer& p) {
    PeerMessage m;
    const int fd = p.AcceptVideo();
    if (fd < 0 || !p.Read(fd, &m)) return;
    p.Write(fd, video_in::kFrame, BuildFrame({1, 0, 0, 0, frame_flag::kLive | frame_flag::kKey, 0}, nullptr, 0));
    if (!SpinUntil(sink.entered)) return;
    p.ResetFd(fd);
    reset = true;
  });

  CNetVideoThread thread(VideoChannelSinks{nullptr, nullptr, &sink, nullptr});
  thread.start();
  std::atomic<bool> handled{false};
  std::atomic<bool> onNetworkThread{false};
  // Without a context object the handler runs directly on whichever thread emits.
  QObject::connect(&thread, &CNetVideoThread::ConnectionClosed, [&](quint64, int, const QString&) {
    onNetworkThread = QThread::currentThread() == &thread;
    thread.Queue(video_out::kKeepAlive, BuildKeepAlive());
    handled = true;
  });
  thread.Connect("127.0.0.1", peer.Port(), "operator", "secret", 1, TextCodec());
  ASSERT_TRUE(WaitUntil([&] { return reset.load(); }));
  // Its send finds the connection reset and closes the channel inside the send.
  thread.Queue(video_out::kKeepAlive, BuildKeepAlive());
  sink.release = true;

  if (!WaitUntil([&] { return handled.load(); })) {
    // The network thread is stuck for good and cannot be joined: end here instead of hanging.
    std::fprintf(stderr, "the close handler never ran: the network thread deadlocked\n");
    std::_Exit(1);
  }
  EXPECT_TRUE(onNetworkThread) << "the thread's signals are emitted on the network thread";
  thread.Disconnect();
  thread.Shutdown();
}

}  // namespace
}  // namespace strixc::net
