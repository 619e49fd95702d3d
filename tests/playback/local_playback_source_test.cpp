#include "playback/local_playback_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "playback/playback_fixture.h"

namespace strixc::playback::test {
namespace {

using namespace std::chrono_literals;
using strixc::test::kBlue;
using strixc::test::kGreen;
using strixc::test::kRed;
using strixc::test::kWhite;

constexpr uint64_t kFrame = 40 * kMs;
constexpr uint64_t F(int i) { return kT0 + static_cast<uint64_t>(i) * kFrame; }
constexpr video::Rect kWholePicture{0, 0, 10000, 10000};

double MeanSpacingMs(const std::vector<RecordingDisplay::Frame>& frames, size_t count) {
  const auto span = frames[count - 1].at - frames[0].at;
  return std::chrono::duration<double, std::milli>(span).count() / static_cast<double>(count - 1);
}

class LocalPlayback : public PlaybackArchive {
 protected:
  void TearDown() override {
    source_.reset();
    receiver_.reset();
    PlaybackArchive::TearDown();
  }

  void Open() {
    source_ = std::make_unique<LocalPlaybackSource>(db_.get());
    source_->SetDisplay(&display_);
    source_->SetTimeline(&timeline_);
    receiver_ = std::make_unique<RecordingReceiver>();
    ASSERT_TRUE(source_->Open(receiver_.get(), receiver_.get()));
    ASSERT_EQ(display_.Source(), &source_->FrameStore());
  }
  // Until the source stopped and its last status (stopped) has arrived.
  bool WaitStopped() {
    return WaitUntil([&] {
      return source_->Mode() == kModeStopped && !receiver_->statuses.empty() &&
             receiver_->statuses.back().first == kStatusStopped;
    });
  }
  void Step(bool forward) {
    receiver_->statuses.clear();
    forward ? source_->StepForward() : source_->StepBackward();
    ASSERT_TRUE(WaitStopped());
  }
  std::vector<int> Codes() const {
    std::vector<int> codes;
    for (const auto& s : receiver_->statuses) codes.push_back(s.first);
    return codes;
  }
  std::function<std::unique_ptr<ExportWriter>(int, uint64_t, uint64_t, const std::string&)> Writers(
      int failAt = 0, bool openOk = true, int writeMs = 0) {
    return [=, this](int, uint64_t start, uint64_t end, const std::string&) {
      return std::make_unique<RecordingWriter>(log_, start, end, failAt, openOk, writeMs);
    };
  }

  RecordingDisplay display_;
  RecordingTimeline timeline_;
  std::shared_ptr<RecordingWriter::Log> log_ = std::make_shared<RecordingWriter::Log>();
  std::unique_ptr<RecordingReceiver> receiver_;
  std::unique_ptr<LocalPlaybackSource> source_;
};

// ---- Pacing.

TEST_F(LocalPlayback, PlaysAtTheRecordedPaceAndTwiceAsFastAtDoubleSpeed) {
  MakeArchive();
  constexpr size_t kFrames = 50;
  Keys(0, F(0), kFrames, kFrame, kGreen);
  Open();
  double spacing[2] = {};
  for (int doubled = 0; doubled < 2; ++doubled) {
    source_->SeekCamera(0, F(0));
    display_.Clear();
    receiver_->statuses.clear();
    doubled ? source_->PlayDouble() : source_->Play();
    ASSERT_TRUE(WaitStopped());
    const auto frames = display_.Frames();
    ASSERT_GE(frames.size(), kFrames - 1);
    spacing[doubled] = MeanSpacingMs(frames, kFrames - 1);
    EXPECT_EQ(Codes().front(), doubled ? kStatusPlayingDouble : kStatusPlaying);
  }
  // Deadlines advance by the recorded spacing: never faster, and only a very busy machine is slower.
  EXPECT_GE(spacing[0], 38.0);
  EXPECT_LE(spacing[0], 120.0);
  EXPECT_GE(spacing[1], 19.0);
  EXPECT_LT(spacing[1] / spacing[0], 0.75);
}

TEST_F(LocalPlayback, PlayAtTheNewestFrameBeepsAndStaysThere) {
  MakeArchive();
  Keys(0, F(0), 3, kFrame, kGreen);
  // A gap of ten minutes is played in two seconds.
  Key(0, F(2) + 600 * 1000 * kMs, kRed);
  Open();
  source_->SeekCamera(0, F(1));
  display_.Clear();
  source_->Play();
  ASSERT_TRUE(WaitStopped());
  const auto frames = display_.Frames();
  ASSERT_GE(frames.size(), 2u);
  EXPECT_GE(frames[1].at - frames[0].at, 1900ms);
  EXPECT_EQ(source_->CurrentTime(), F(2) + 600 * 1000 * kMs);
  EXPECT_EQ(receiver_->beeps, 1);
  EXPECT_EQ(Codes(), (std::vector<int>{kStatusPlaying, kStatusStopped}));
  EXPECT_FALSE(PictureOf(source_->FrameStore(), 0).empty());
}

TEST_F(LocalPlayback, ModesChangeWhilePlayingAndStopEndsTheTicks) {
  MakeArchive();
  Keys(0, F(0), 200, kFrame, kGreen);
  Open();
  source_->SeekCamera(0, F(100));
  source_->Play();
  ASSERT_TRUE(WaitUntil([&] { return source_->CurrentTime() >= F(103); }));
  source_->PlayDouble();
  ASSERT_TRUE(WaitUntil([&] { return source_->CurrentTime() >= F(108); }));
  const uint64_t turned = source_->CurrentTime();
  source_->FastBackward();
  ASSERT_TRUE(WaitUntil([&] { return source_->CurrentTime() < turned - 3 * kFrame; }));
  source_->Stop();
  ASSERT_TRUE(WaitStopped());
  const std::vector<int> codes = Codes();
  ASSERT_GE(codes.size(), 4u);
  EXPECT_EQ(std::vector<int>(codes.begin(), codes.begin() + 3),
            (std::vector<int>{kStatusPlaying, kStatusPlayingDouble, kStatusFastBackward}));
  const size_t shown = display_.Frames().size();
  const uint64_t at = source_->CurrentTime();
  std::this_thread::sleep_for(150ms);
  EXPECT_EQ(display_.Frames().size(), shown);
  EXPECT_EQ(source_->CurrentTime(), at);
  EXPECT_EQ(receiver_->positions.back(), at);
}

// ---- Steps and pictures.

TEST_F(LocalPlayback, StepsAtBothEndsBeepAndKeepThePosition) {
  MakeArchive();
  Keys(0, F(0), 5, kFrame, kGreen);
  Open();
  source_->SeekCamera(0, F(0));
  Step(false);
  EXPECT_EQ(receiver_->beeps, 1);
  EXPECT_EQ(source_->CurrentTime(), F(0));
  EXPECT_FALSE(PictureOf(source_->FrameStore(), 0).empty());
  Step(true);
  EXPECT_EQ(source_->CurrentTime(), F(1));
  EXPECT_EQ(receiver_->beeps, 1);
  source_->SeekCamera(0, F(4));
  Step(true);
  EXPECT_EQ(receiver_->beeps, 2);
  EXPECT_EQ(source_->CurrentTime(), F(4));
  EXPECT_EQ(Codes(), std::vector<int>{kStatusStopped});
  EXPECT_EQ(receiver_->positions.back(), F(4));
}

// Two cameras of key and delta frames, interleaved: camera 0 at even frames, camera 1 at odd ones.
class DeltaPlayback : public LocalPlayback {
 protected:
  void Record() {
    MakeArchive();
    Key(0, F(0), kGreen);
    Key(1, F(1), kBlue);
    Delta(0, F(2), 1, kRed);
    Delta(1, F(3), 0, kWhite);
    Delta(0, F(4), 2, kBlue);
    Delta(1, F(5), 3, kRed);
    Delta(0, F(6), 3, kWhite);
    Delta(1, F(7), 1, kGreen);
  }
  // What decoding the camera's frames up to frame `last` one after the other gives.
  std::vector<uint8_t> Straight(int camera, int last) {
    video::PlaybackFrameStore store;
    const Bgr colours[] = {kRed, kWhite, kBlue, kRed, kWhite, kGreen};
    const int blocks[] = {1, 0, 2, 3, 3, 1};
    for (int i = camera; i <= last; i += 2) {
      const std::vector<uint8_t> data = i < 2 ? KeyFrame(camera == 0 ? kGreen : kBlue)
                                              : DeltaFrame(blocks[i - 2], colours[i - 2]);
      store.Decode(camera, data.data(), data.size(), i < 2 ? 1 : 2, F(i));
    }
    return PictureOf(store, camera);
  }
};

TEST_F(DeltaPlayback, ACameraShownAgainIsRedrawnFromItsKeyFrame) {
  Record();
  Open();
  source_->SetCameraMask(1u << 0);
  source_->SeekCamera(0, F(0));
  for (int i = 0; i < 3; ++i) Step(true);
  ASSERT_EQ(source_->CurrentTime(), F(6));
  EXPECT_TRUE(PictureOf(source_->FrameStore(), 1).empty());
  EXPECT_EQ(PictureOf(source_->FrameStore(), 0), Straight(0, 6));
  display_.Clear();
  source_->SetCameraMask(0b11);
  EXPECT_EQ(PictureOf(source_->FrameStore(), 1), Straight(1, 5));
  EXPECT_EQ(PictureOf(source_->FrameStore(), 0), Straight(0, 6));
  const auto frames = display_.Frames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].camera, 1);
  EXPECT_NE(Straight(1, 5), Straight(1, 3));
}

TEST_F(DeltaPlayback, StepsBackRedrawTheCameraThatMovedBack) {
  Record();
  Open();
  source_->SeekCamera(1, F(7));
  Step(false);
  EXPECT_EQ(source_->CurrentTime(), F(6));
  EXPECT_EQ(PictureOf(source_->FrameStore(), 1), Straight(1, 5));
  EXPECT_EQ(PictureOf(source_->FrameStore(), 0), Straight(0, 6));
  Step(false);
  EXPECT_EQ(source_->CurrentTime(), F(5));
  EXPECT_EQ(PictureOf(source_->FrameStore(), 0), Straight(0, 4));
  EXPECT_EQ(PictureOf(source_->FrameStore(), 1), Straight(1, 5));
  EXPECT_EQ(receiver_->beeps, 0);
}

// ---- Fast forward.

class MotionPlayback : public LocalPlayback, public ::testing::WithParamInterface<int> {};

TEST_P(MotionPlayback, FastForwardStopsAtTheFirstFrameWithMotion) {
  const int moving = GetParam();
  MakeArchive();
  for (int i = 0; i < 300; ++i) {
    const int camera = i % 2;
    Key(camera, F(i), camera == moving && i >= 250 ? kRed : kGreen);
  }
  Open();
  source_->SetMotionDetection(0, 50, kWholePicture);
  source_->SetMotionDetection(1, 50, kWholePicture);
  source_->SeekCamera(0, F(0));
  receiver_->statuses.clear();
  receiver_->positions.clear();
  const auto start = Clock::now();
  source_->FastForward();
  ASSERT_TRUE(WaitStopped());
  const auto elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  EXPECT_EQ(Codes(), (std::vector<int>{kStatusFastForward, kStatusMotionFound, kStatusStopped}));
  EXPECT_EQ(receiver_->LastValueOf(kStatusMotionFound), moving);
  EXPECT_EQ(source_->CurrentTime(), F(250 + moving));
  // Positions at most about 20 a second, plus the forced one at the stop.
  EXPECT_LE(static_cast<int64_t>(receiver_->positions.size()), elapsedMs / 51 + 2);
}

INSTANTIATE_TEST_SUITE_P(EitherCamera, MotionPlayback, ::testing::Values(0, 1));

// ---- Damaged archives.

TEST_F(LocalPlayback, ADamagedRecordEndsPlayAtTheLastGoodFrame) {
  MakeArchive();
  Keys(0, F(0), 20, kFrame, kGreen);
  CorruptRecord(0, F(10));
  Open();
  // Play and fast forward from before the damage, a step from the last good frame.
  const std::pair<int, std::function<void()>> modes[] = {{8, [&] { source_->Play(); }},
                                                         {8, [&] { source_->FastForward(); }},
                                                         {9, [&] { source_->StepForward(); }}};
  for (const auto& [from, start] : modes) {
    source_->SeekCamera(0, F(from));
    receiver_->statuses.clear();
    start();
    ASSERT_TRUE(WaitStopped());
    EXPECT_EQ(source_->CurrentTime(), F(9));
    EXPECT_FALSE(PictureOf(source_->FrameStore(), 0).empty());
  }
  ASSERT_TRUE(WaitUntil([&] { return receiver_->beeps == 3; }));
}

// ---- Bookmarks and the timeline.

TEST_F(LocalPlayback, BookmarksOnTheSameFrameAreStepped) {
  MakeArchive();
  Keys(0, F(0), 20, kFrame, kGreen);
  Open();
  source_->AddBookmark(F(5) + 1, "a");
  source_->AddBookmark(F(5) + 2, "b");
  source_->AddBookmark(F(10) + 1, "c");
  source_->SeekCamera(0, F(5));
  source_->NextBookmark(F(5));
  EXPECT_EQ(source_->CurrentTime(), F(10));
  source_->NextBookmark(F(10));  // only the bookmark on this frame is left
  EXPECT_EQ(source_->CurrentTime(), F(10));
  source_->PrevBookmark(F(10));
  EXPECT_EQ(source_->CurrentTime(), F(5));
  source_->PrevBookmark(F(5));  // none before
  EXPECT_EQ(source_->CurrentTime(), F(5));
  EXPECT_FALSE(PictureOf(source_->FrameStore(), 0).empty());
  ASSERT_TRUE(WaitUntil([&] { return receiver_->beeps == 2; }));

  source_->DeleteBookmark(F(5) + 2);
  source_->FillTimeline(F(0), F(20), 95);
  std::lock_guard<std::mutex> guard(timeline_.lock);
  ASSERT_EQ(timeline_.parts.size(), 10u);
  for (const auto& part : timeline_.parts) {
    ASSERT_EQ(part.recorded.size(), 10u);
    EXPECT_TRUE(std::any_of(part.recorded.begin(), part.recorded.end(), [](uint32_t m) { return m == 1u; }));
  }
  EXPECT_EQ(std::count(timeline_.bookmarks.begin(), timeline_.bookmarks.end(), F(5) + 2), 0);
  EXPECT_EQ(std::count(timeline_.bookmarks.begin(), timeline_.bookmarks.end(), F(10) + 1), 2);
}

TEST_F(LocalPlayback, TheTimelineCoversTheLastMomentOfTheRange) {
  MakeArchive();
  Keys(0, F(0), 20, kFrame, kGreen);
  Open();
  source_->AddBookmark(F(19), "end");
  // The range ends on the last frame: the map's last column stands for that moment.
  source_->FillTimeline(F(0), F(19), 95);
  std::lock_guard<std::mutex> guard(timeline_.lock);
  ASSERT_EQ(timeline_.parts.size(), 10u);
  EXPECT_EQ(timeline_.parts.front().t1, F(0));
  EXPECT_GT(timeline_.parts.back().t2, F(19));
  for (size_t i = 1; i < timeline_.parts.size(); ++i) EXPECT_EQ(timeline_.parts[i].t1, timeline_.parts[i - 1].t2);
  EXPECT_EQ(timeline_.parts.back().recorded.back(), 1u);
  // Once from AddBookmark, once from the fill.
  EXPECT_EQ(std::count(timeline_.bookmarks.begin(), timeline_.bookmarks.end(), F(19)), 2);
}

// ---- Export.

class ExportPlayback : public DeltaPlayback {
 protected:
  void SetUp() override {
    DeltaPlayback::SetUp();
    Record();
    for (int i = 8; i < 200; ++i) (i % 2 == 0) ? Delta(0, F(i), i % 8, kRed) : Key(1, F(i), kBlue);
    display_.placed = 0b101;
    Open();
  }
  bool WaitFinished() { return WaitUntil([&] { return receiver_->HasStatus(kStatusExportFinished); }); }
};

TEST_F(ExportPlayback, WritesTheCamerasPicturesInOrderThenRestoresTheDisplay) {
  source_->SetExportWriterFactory(Writers());
  ASSERT_TRUE(source_->StartExport(nullptr, "out.avi", 0, F(2), F(6), 77));
  ASSERT_TRUE(WaitFinished());
  EXPECT_EQ(log_->written, (std::vector<uint64_t>{F(2), F(4), F(6)}));
  EXPECT_EQ(log_->pictures.back(), Straight(0, 6));
  EXPECT_TRUE(log_->destroyed);  // before "finished" was posted
  const std::vector<int> codes = Codes();
  EXPECT_EQ(codes.front(), kStatusExportStarted);
  EXPECT_EQ(receiver_->statuses.front().second, 77);
  EXPECT_EQ(codes.back(), kStatusExportFinished);
  EXPECT_EQ(receiver_->LastValueOf(kStatusExportFinished), kExportCompleted);
  int64_t percent = -1;
  for (const auto& s : receiver_->statuses) {
    if (s.first != kStatusExportProgress) continue;
    EXPECT_GT(s.second, percent);
    percent = s.second;
  }
  EXPECT_EQ(percent, 100);
  EXPECT_EQ(source_->Mode(), kModeStopped);
  EXPECT_EQ(display_.Source(), &source_->FrameStore());
  EXPECT_EQ(source_->CameraMask(), 0b101u);
  std::lock_guard<std::mutex> guard(timeline_.lock);
  EXPECT_EQ(timeline_.rows, 0b101u);
}

TEST_F(ExportPlayback, AnEndBeforeTheFirstFrameFinishesAtOnce) {
  source_->SetExportWriterFactory(Writers());
  ASSERT_TRUE(source_->StartExport(nullptr, "out.avi", 0, F(2) + 1, F(2) + 2, 1));
  ASSERT_TRUE(WaitFinished());
  EXPECT_TRUE(log_->written.empty());
  EXPECT_EQ(Codes(), (std::vector<int>{kStatusExportStarted, kStatusExportFinished}));
  EXPECT_EQ(receiver_->LastValueOf(kStatusExportFinished), kExportCompleted);
}

TEST_F(ExportPlayback, CancelStopsWritingAndOperationsWaitForTheEnd) {
  source_->SetExportWriterFactory(Writers(0, true, 2));
  ASSERT_TRUE(source_->StartExport(nullptr, "out.avi", 0, F(0), F(199), 1));
  ASSERT_TRUE(WaitUntil([&] {
    std::lock_guard<std::mutex> guard(log_->lock);
    return log_->written.size() >= 3;
  }));
  source_->SeekCamera(1, F(1));
  source_->Play();
  EXPECT_EQ(source_->CurrentCamera(), 0);
  EXPECT_EQ(source_->Mode(), kModeExport);
  EXPECT_FALSE(source_->StartExport(nullptr, "other.avi", 1, F(0), F(9), 2));
  source_->CancelExport();
  const auto written = [&] {
    std::lock_guard<std::mutex> guard(log_->lock);
    return log_->written.size();
  };
  const size_t before = written();
  EXPECT_LT(before, 100u);
  ASSERT_TRUE(WaitFinished());
  EXPECT_EQ(receiver_->LastValueOf(kStatusExportFinished), kExportCancelled);
  EXPECT_EQ(written(), before);
  std::lock_guard<std::mutex> guard(log_->lock);
  EXPECT_TRUE(log_->destroyed);
}

TEST_F(ExportPlayback, AFailedWriteOrOpenEndsTheExport) {
  source_->SetExportWriterFactory(Writers(3));
  ASSERT_TRUE(source_->StartExport(nullptr, "out.avi", 0, F(0), F(100), 1));
  ASSERT_TRUE(WaitFinished());
  EXPECT_EQ(receiver_->LastValueOf(kStatusExportFinished), kExportWriteError);
  EXPECT_EQ(log_->written.size(), 2u);

  receiver_->statuses.clear();
  source_->SetCameraMask(0b11);
  source_->SetExportWriterFactory(Writers(0, false));
  EXPECT_FALSE(source_->StartExport(nullptr, "out.avi", 0, F(0), F(100), 1));
  EXPECT_EQ(source_->Mode(), kModeStopped);
  EXPECT_EQ(source_->CameraMask(), 0b11u);
  EXPECT_EQ(display_.Source(), &source_->FrameStore());
  WaitUntil([] { return false; }, 50);
  EXPECT_TRUE(receiver_->statuses.empty());
}

// ---- Lifetime.

TEST_F(LocalPlayback, NotificationsStopWithTheContextAndTicksWithTheSource) {
  MakeArchive();
  Keys(0, F(0), 300, 5 * kMs, kGreen);
  source_ = std::make_unique<LocalPlaybackSource>(db_.get());
  source_->SetDisplay(&display_);
  RecordingReceiver receiver;
  auto context = std::make_unique<QObject>();
  ASSERT_TRUE(source_->Open(context.get(), &receiver));
  source_->SeekCamera(0, F(0));
  source_->Play();
  ASSERT_TRUE(WaitUntil([&] { return display_.Frames().size() >= 5 && !receiver.positions.empty(); }));
  // The context goes first: what is queued for it and what comes later is dropped.
  context.reset();
  const size_t positions = receiver.positions.size();
  ASSERT_TRUE(WaitUntil([&] { return display_.Frames().size() >= 20; }));
  EXPECT_EQ(receiver.positions.size(), positions);
  source_.reset();
  const size_t shown = display_.Frames().size();
  WaitUntil([] { return false; }, 100);
  EXPECT_EQ(display_.Frames().size(), shown);
  EXPECT_EQ(display_.Source(), nullptr);
}

}  // namespace
}  // namespace strixc::playback::test
