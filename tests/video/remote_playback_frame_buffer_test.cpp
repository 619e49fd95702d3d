#include "video/remote_playback_frame_buffer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace strixc::video {
namespace {

using Buffer = RemotePlaybackFrameBuffer;
constexpr int kWidth = 16;
constexpr int kHeight = 8;

// A picture whose every byte is `fill`.
struct TestPicture {
  explicit TestPicture(uint8_t fill) : header(MakeHeader(kWidth, kHeight)), bits(header.biSizeImage, fill) {}
  BitmapInfoHeader header;
  std::vector<uint8_t> bits;
};

void Put(Buffer& buffer, int camera, uint64_t time, uint8_t fill = 1, const char* text = nullptr) {
  const TestPicture p(fill);
  buffer.Insert(camera, &p.header, p.bits.data(), time, text);
}

// The first byte of the camera's slot, or -1 when it shows no picture.
int FillOf(Buffer& buffer, int camera) {
  buffer.LockFrame(camera);
  const uint8_t* bits = buffer.GetFrameBits(camera);
  const int fill = bits != nullptr && buffer.GetFrameHeader(camera)->biWidth == kWidth ? bits[0] : -1;
  buffer.UnlockFrame(camera);
  return fill;
}

// ---- The cache.

TEST(RemotePlaybackFrameBufferTest, FullCacheDropsTheEndAwayFromTheNewPicture) {
  Buffer forward;
  for (uint64_t t = 100; t < 150; ++t) Put(forward, 0, t);
  Put(forward, 0, 200);  // newest: the oldest goes
  EXPECT_EQ(forward.CachedCount(), Buffer::kCacheSize);
  EXPECT_EQ(forward.BringCameraTo(100), -1);
  EXPECT_EQ(forward.BringCameraTo(149), 0);
  EXPECT_EQ(forward.BringCameraTo(200), 0);

  Buffer backward;
  for (uint64_t t = 100; t < 150; ++t) Put(backward, 0, t);
  Put(backward, 0, 1);  // oldest: the newest goes
  EXPECT_EQ(backward.CachedCount(), Buffer::kCacheSize);
  EXPECT_EQ(backward.BringCameraTo(149), -1);
  EXPECT_EQ(backward.BringCameraTo(1), 0);
  EXPECT_EQ(backward.BringCameraTo(100), 0);
}

TEST(RemotePlaybackFrameBufferTest, KeepsTheFirstPictureOfATimeAndRefusesBadInput) {
  Buffer buffer;
  Put(buffer, 2, 10, 0x22, "gate");
  Put(buffer, 5, 10, 0x55);  // same time: not stored
  Put(buffer, 16, 11);        // no such camera
  Put(buffer, -1, 12);
  EXPECT_EQ(buffer.CachedCount(), 1u);
  EXPECT_EQ(buffer.BringCameraTo(10), 2);
  EXPECT_EQ(FillOf(buffer, 2), 0x22);
  buffer.LockFrame(2);
  EXPECT_STREQ(buffer.GetFrameText(2), "gate");
  EXPECT_EQ(buffer.GetFrameTime(2), 10u);
  buffer.UnlockFrame(2);

  // A header claiming more bytes than its size holds is filed as a frame without picture.
  TestPicture lying(0x77);
  lying.header.biSizeImage += 4096;
  buffer.Insert(3, &lying.header, lying.bits.data(), 20, nullptr);
  BitmapInfoHeader negative = MakeHeader(kWidth, kHeight);
  negative.biHeight = -kHeight;
  buffer.Insert(4, &negative, lying.bits.data(), 21, nullptr);
  buffer.Insert(6, nullptr, nullptr, 22, nullptr);
  EXPECT_EQ(buffer.BringCameraTo(20), 3);
  EXPECT_EQ(buffer.BringCameraTo(21), 4);
  EXPECT_EQ(buffer.BringCameraTo(22), 6);
  for (int camera : {3, 4, 6}) {
    EXPECT_EQ(FillOf(buffer, camera), -1);
    buffer.LockFrame(camera);
    EXPECT_EQ(buffer.GetFrameHeader(camera)->biWidth, 0);
    EXPECT_EQ(buffer.GetFrameBits(camera), nullptr);
    buffer.UnlockFrame(camera);
  }
  EXPECT_EQ(buffer.GetFrameHeader(16), nullptr);
}

// ---- The queue.

TEST(RemotePlaybackFrameBufferTest, QueueTakesCachedTimesInOrderAndEndMarkers) {
  Buffer buffer;
  EXPECT_FALSE(buffer.TakeNext(0xFFFF).taken);
  EXPECT_FALSE(buffer.Enqueue(42));  // not cached: nothing queued
  EXPECT_EQ(buffer.HasPictures(), 0u);
  EXPECT_EQ(buffer.NextPictureTime(), 0u);

  Put(buffer, 0, 10, 0x10);
  Put(buffer, 1, 20, 0x20);
  ASSERT_TRUE(buffer.Enqueue(10));
  ASSERT_TRUE(buffer.Enqueue(20));
  ASSERT_TRUE(buffer.Enqueue(0));
  EXPECT_EQ(buffer.HasPictures(), 3u);
  EXPECT_EQ(buffer.NextPictureTime(), 10u);

  Buffer::Taken t = buffer.TakeNext(0x3);
  EXPECT_TRUE(t.taken);
  EXPECT_EQ(t.camera, 0);
  EXPECT_EQ(t.time, 10u);
  EXPECT_EQ(FillOf(buffer, 0), 0x10);
  // The time reported is the latest shown among the mask's cameras only.
  t = buffer.TakeNext(0x1);
  EXPECT_EQ(t.camera, 1);
  EXPECT_EQ(t.time, 10u);
  EXPECT_EQ(buffer.LatestTime(0x3), 20u);
  t = buffer.TakeNext(0x3);
  EXPECT_TRUE(t.taken);
  EXPECT_EQ(t.time, 0u);
  EXPECT_EQ(t.camera, -1);
  EXPECT_EQ(FillOf(buffer, 1), 0x20);  // the end marker changes no slot
  EXPECT_FALSE(buffer.TakeNext(0x3).taken);
}

TEST(RemotePlaybackFrameBufferTest, QueuedPictureOutlivesTheCacheAndIsFreedWhenTaken) {
  Buffer buffer;
  Put(buffer, 3, 100, 0x33);
  ASSERT_TRUE(buffer.Enqueue(100));
  ASSERT_TRUE(buffer.Enqueue(100));  // two entries, one picture
  EXPECT_EQ(buffer.PictureCount(), 1u);
  for (uint64_t t = 200; t < 250; ++t) Put(buffer, 0, t);
  EXPECT_EQ(buffer.BringCameraTo(100), -1);  // evicted from the cache...
  EXPECT_EQ(buffer.PictureCount(), Buffer::kCacheSize + 1);

  EXPECT_EQ(buffer.TakeNext(1u << 3).camera, 3);  // ...still shown
  EXPECT_EQ(FillOf(buffer, 3), 0x33);
  EXPECT_EQ(buffer.PictureCount(), Buffer::kCacheSize + 1);  // the second entry holds it
  EXPECT_EQ(buffer.TakeNext(1u << 3).camera, 3);
  EXPECT_EQ(buffer.PictureCount(), Buffer::kCacheSize);  // freed
}

TEST(RemotePlaybackFrameBufferTest, QueueStopsAtItsLimit) {
  Buffer buffer;
  Put(buffer, 0, 5);
  for (size_t i = 0; i < Buffer::kMaxQueued; ++i) ASSERT_TRUE(buffer.Enqueue(5));
  EXPECT_FALSE(buffer.Enqueue(5));
  EXPECT_FALSE(buffer.Enqueue(0));
  EXPECT_EQ(buffer.HasPictures(), Buffer::kMaxQueued);
}

// ---- Emptying.

TEST(RemotePlaybackFrameBufferTest, ClearEmptiesEverythingClearPendingKeepsTheSlots) {
  Buffer buffer;
  for (int c = 0; c < Buffer::kCameras; ++c) Put(buffer, c, 100 + c, static_cast<uint8_t>(c + 1), "x");
  for (int c = 0; c < Buffer::kCameras; ++c) buffer.BringCameraTo(100 + c);
  buffer.Enqueue(101);

  buffer.ClearPending();
  EXPECT_EQ(buffer.HasPictures(), 0u);
  EXPECT_EQ(buffer.PictureCount(), 0u);
  EXPECT_EQ(FillOf(buffer, 7), 8);

  Put(buffer, 0, 300);
  buffer.Enqueue(300);
  buffer.Clear();
  EXPECT_EQ(buffer.HasPictures(), 0u);
  EXPECT_EQ(buffer.PictureCount(), 0u);
  for (int c = 0; c < Buffer::kCameras; ++c) {
    buffer.LockFrame(c);
    EXPECT_EQ(buffer.GetFrameHeader(c)->biWidth, 0) << c;
    EXPECT_EQ(buffer.GetFrameBits(c), nullptr);
    EXPECT_EQ(buffer.GetFrameTime(c), 0u);
    EXPECT_EQ(buffer.GetFrameText(c), nullptr);
    buffer.UnlockFrame(c);
  }
  EXPECT_EQ(buffer.LatestTime(0xFFFF), 0u);
}

// ---- Threads.

// The network thread files and queues pictures while the playing thread takes them: every picture
// taken is whole (its bytes all belong to the time reported) and each arrives once, in order.
TEST(RemotePlaybackFrameBufferTest, PicturesTakenWhileFiledAreWholeAndInOrder) {
  Buffer buffer;
  constexpr int kCount = 2000;
  std::thread network([&] {
    for (int i = 1; i <= kCount; ++i) {
      Put(buffer, 0, static_cast<uint64_t>(i), static_cast<uint8_t>(i));
      while (!buffer.Enqueue(static_cast<uint64_t>(i))) std::this_thread::yield();
    }
  });
  int taken = 0;
  bool whole = true;
  uint64_t last = 0;
  bool ordered = true;
  while (taken < kCount) {
    const Buffer::Taken t = buffer.TakeNext(1);
    if (!t.taken) {
      std::this_thread::yield();
      continue;
    }
    ++taken;
    ordered = ordered && t.time == last + 1;
    last = t.time;
    buffer.LockFrame(0);
    const uint8_t* bits = buffer.GetFrameBits(0);
    const uint32_t size = buffer.GetFrameHeader(0)->biSizeImage;
    for (uint32_t k = 0; k < size; ++k) whole = whole && bits[k] == static_cast<uint8_t>(t.time);
    buffer.UnlockFrame(0);
  }
  network.join();
  EXPECT_TRUE(whole);
  EXPECT_TRUE(ordered);
  EXPECT_EQ(buffer.HasPictures(), 0u);
}

}  // namespace
}  // namespace strixc::video
