#include "net/frame_path.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace strixc::net {
namespace {

using Bytes = std::vector<uint8_t>;

class FakeRecorder : public FrameRecorder {
 public:
  bool IsRecording() const override { return recording; }
  void RecordFrame(int camera, const uint8_t*, size_t, bool key) override { frames.push_back({camera, key}); }
  bool recording = false;
  std::vector<std::pair<int, bool>> frames;
};

class FakeObserver : public LiveFrameObserver {
 public:
  void OnFrame(int camera, bool marker) override { frames.push_back({camera, marker}); }
  std::vector<std::pair<int, bool>> frames;
};

class FakeRemote : public RemoteFrameBuffer, public RemoteArchiveSink {
 public:
  void Insert(int camera, const video::BitmapInfoHeader* header, const uint8_t*, uint64_t time,
              const char* text) override {
    inserts.push_back({camera, header ? header->biWidth : 0, time, text ? text : ""});
  }
  void OnArchiveMap(const ArchiveMap&) override {}
  void OnBookmarkNotice(const BookmarkNotice&) override {}
  void OnRemoteFrame(const FrameView& frame) override { handed.push_back(frame.header.token); }

  struct Inserted {
    int camera;
    int width;
    uint64_t time;
    std::string text;
  };
  std::vector<Inserted> inserts;
  std::vector<uint32_t> handed;
};

// A tiny but valid key frame: an 8 x 8 grey JPEG.
const Bytes& KeyData() {
  static const Bytes data = [] {
    std::vector<uint8_t> picture(video::PictureStride(8) * 8, 128);
    video::JpegCodec codec;
    Bytes out;
    codec.Encode(picture.data(), 8, 8, 80, out);
    return out;
  }();
  return data;
}

class FramePathTest : public ::testing::Test {
 protected:
  FramePathTest() {
    path_.SetObserver(&observer_);
    path_.SetRecorder(&recorder_);
    path_.SetRemoteBuffer(&remote_);
    path_.SetRemoteSink(&remote_);
  }

  void Send(int camera, uint16_t flags, const Bytes& data, uint64_t time = 100, uint32_t token = 0) {
    const Payload payload = BuildFrame({time, 0, token, static_cast<uint8_t>(camera), flags, 0}, data.data(), data.size());
    const auto frame = ParseFrame(payload.data(), payload.size());
    ASSERT_TRUE(frame);
    path_.OnFrame(*frame, (flags & frame_flag::kRemote) != 0, keyFrameSeen_);
  }
  void Live(int camera, uint16_t kind, const Bytes& data = KeyData()) { Send(camera, frame_flag::kLive | kind, data); }

  video::LiveFrameStore live_;
  video::PlaybackFrameStore playback_;
  FramePath path_{live_, playback_};
  FakeObserver observer_;
  FakeRecorder recorder_;
  FakeRemote remote_;
  bool keyFrameSeen_ = false;
};

TEST_F(FramePathTest, LiveFrameIsDecodedThenShownWithItsMarker) {
  Send(3, frame_flag::kLive | frame_flag::kKey | frame_flag::kMarker, KeyData());
  live_.LockFrame(3);
  EXPECT_EQ(live_.GetFrameHeader(3)->biWidth, 8);
  EXPECT_EQ(live_.GetFrameTime(3), 100u);
  live_.UnlockFrame(3);
  EXPECT_EQ(observer_.frames, (std::vector<std::pair<int, bool>>{{3, true}}));
  Live(16, frame_flag::kKey);
  EXPECT_EQ(observer_.frames.size(), 1u) << "camera 16 does not exist";
}

TEST_F(FramePathTest, RecordingStartsWithTheNextKeyFrameOfAnyCamera) {
  const Bytes delta = {0};
  Live(0, frame_flag::kKey);
  EXPECT_FALSE(keyFrameSeen_) << "a key frame while recording is off does not count";
  recorder_.recording = true;
  Live(0, frame_flag::kDelta, delta);
  Live(1, frame_flag::kDelta, delta);
  EXPECT_TRUE(recorder_.frames.empty());
  Live(2, frame_flag::kKey);
  Live(0, frame_flag::kDelta, delta);
  EXPECT_EQ(recorder_.frames, (std::vector<std::pair<int, bool>>{{2, true}, {0, false}}));

  recorder_.recording = false;
  Live(0, frame_flag::kDelta, delta);
  EXPECT_FALSE(keyFrameSeen_);
  recorder_.recording = true;
  Live(1, frame_flag::kDelta, delta);
  EXPECT_EQ(recorder_.frames.size(), 2u) << "after a pause recording waits for a key frame again";
}

TEST_F(FramePathTest, RemoteFramesGoToThePlaybackStoreTheBufferAndTheSource) {
  Send(2, frame_flag::kRemote | frame_flag::kLive | frame_flag::kKey, KeyData(), 500, 7);
  ASSERT_EQ(remote_.inserts.size(), 1u);
  EXPECT_EQ(remote_.inserts[0].camera, 2);
  EXPECT_EQ(remote_.inserts[0].width, 8);
  EXPECT_EQ(remote_.inserts[0].time, 500u);
  EXPECT_TRUE(observer_.frames.empty()) << "the remote flag wins over the live flag";

  const Bytes text = {'a', 'b', 'c'};
  Send(2, frame_flag::kRemote | frame_flag::kEvent, text, 600, 8);
  ASSERT_EQ(remote_.inserts.size(), 2u);
  EXPECT_EQ(remote_.inserts[1].width, 0) << "an event has no picture";
  EXPECT_EQ(remote_.inserts[1].text, "abc");

  Send(2, frame_flag::kRemote | frame_flag::kNoPicture | frame_flag::kKey, KeyData(), 700, 9);
  Send(2, frame_flag::kRemote | frame_flag::kKey, KeyData(), 0, 10);
  EXPECT_EQ(remote_.inserts.size(), 2u) << "no picture, or time 0: nothing buffered";
  EXPECT_EQ(remote_.handed, (std::vector<uint32_t>{7, 8, 9, 10}));
  EXPECT_EQ(playback_.GetFrameTime(2), 0u) << "the last decoded frame had time 0";
}

TEST_F(FramePathTest, FrameStoreCopiesAPictureAsJpeg) {
  std::vector<uint8_t> jpeg;
  EXPECT_FALSE(live_.EncodeJpeg(5, jpeg));
  Live(5, frame_flag::kKey);
  ASSERT_TRUE(live_.EncodeJpeg(5, jpeg));
  video::JpegCodec codec;
  int w = 0, h = 0;
  ASSERT_EQ(codec.ReadParameters(jpeg.data(), jpeg.size(), &w, &h), 0);
  EXPECT_EQ(w, 8);
  live_.ResetCamera(5);
  EXPECT_FALSE(live_.EncodeJpeg(5, jpeg));
}

}  // namespace
}  // namespace strixc::net
