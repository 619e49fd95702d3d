#include "playback/remote_playback_source.h"

#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <thread>

#include "archive/archive_time.h"
#include "net/protocol.h"
#include "net/remote_frame_buffer_adapter.h"
#include "playback/playback_fixture.h"
#include "playback/remote_archive_forwarder.h"
#include "playback/remote_archive_link.h"

namespace strixc::playback::test {
namespace {

using Source = RemotePlaybackSource;
constexpr uint64_t kDay = archive::kUnitsPerDay;
constexpr uint64_t kMidnight = kT0 - kT0 % kDay;

// The connection as the source sees it: notes what was sent, answers the control requests as told.
class FakeLink : public RemoteArchiveLink {
 public:
  void ArchiveOpen(bool open) override { opens.push_back(open); }
  void ArchiveMapRequest(uint32_t width, uint64_t t0, uint64_t t1) override { maps.push_back({width, t0, t1}); }
  void PlaybackRequest(const net::PlaybackRequestRecord& record) override { requests.push_back(record); }
  void PlaybackControl(uint64_t time) override { titleQuestions.push_back(time); }
  bool GetArchiveRange(net::ArchiveRange* r) override {
    if (!rangeAnswered) return false;
    *r = range;
    return true;
  }
  bool AddBookmark(uint64_t, const std::string&, bool* refused2, bool* refused1) override {
    *refused2 = refusal == 2;
    *refused1 = refusal == 1;
    return refusal == 0;
  }
  bool RemoveBookmark(uint64_t time, bool* refused2, bool* refused1) override {
    return AddBookmark(time, "", refused2, refused1);
  }

  std::vector<bool> opens;
  std::vector<net::ArchiveMapRequest> maps;
  std::vector<net::PlaybackRequestRecord> requests;
  std::vector<uint64_t> titleQuestions;
  net::ArchiveRange range{0x0025, kT0, kT0 + 3 * kDay};
  bool rangeAnswered = true;
  int refusal = 0;
};

// The browser window: sends each request it is asked to send, as the real one does.
class Window : public RecordingReceiver {
 public:
  void OnRemoteRequest(uint32_t token) override {
    asked.push_back(token);
    if (source != nullptr) source->SendRequest(token);
  }
  Source* source = nullptr;
  std::vector<uint32_t> asked;
};

class TitledTimeline : public RecordingTimeline {
 public:
  void SetTitle(uint64_t time, const std::string& title) override {
    std::lock_guard<std::mutex> guard(lock);
    titles[time] = title;
  }
  std::map<uint64_t, std::string> titles;
};

class RemotePlayback : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureApplication();
    source_ = std::make_unique<Source>(&buffer_, &frames_);
    source_->SetDisplay(&display_);
    source_->SetTimeline(&timeline_);
    window_ = std::make_unique<Window>();
    window_->source = source_.get();
    ASSERT_TRUE(source_->Attach(&link_, &forwarder_));
    ASSERT_TRUE(source_->Open(window_.get(), window_.get()));
  }
  void TearDown() override {
    source_.reset();
    window_.reset();
  }

  // What the network thread does with one remote-archive frame: its picture (all bytes `fill`) to
  // the buffer, then the frame to the source.
  void Frame(uint32_t token, uint64_t time, bool last = false, int camera = 0, uint8_t fill = 1) {
    if (time != 0) {
      const video::BitmapInfoHeader header = video::MakeHeader(kWidth, kHeight);
      const std::vector<uint8_t> bits(header.biSizeImage, fill);
      insert_.Insert(camera, &header, bits.data(), time, nullptr);
    }
    const uint16_t flags = net::frame_flag::kRemote | net::frame_flag::kKey | (last ? net::frame_flag::kLast : 0);
    forwarder_.OnRemoteFrame(net::FrameView{net::FrameHeader{time, 0, token, static_cast<uint8_t>(camera), flags, 0}, nullptr});
  }
  // Waits until the window sent request number `n` (1-based) and returns it.
  net::PlaybackRequestRecord Request(size_t n) {
    EXPECT_TRUE(WaitUntil([&] { return link_.requests.size() >= n; })) << "request " << n;
    return link_.requests.size() >= n ? link_.requests[n - 1] : net::PlaybackRequestRecord{};
  }
  // Seeks and answers the seek with one picture at `time`.
  void PositionAt(uint64_t time) {
    const size_t n = link_.requests.size();
    source_->SeekCamera(-1, time);
    const net::PlaybackRequestRecord r = Request(n + 1);
    Frame(r.token, time, true);
    ASSERT_EQ(source_->CurrentTime(), time);
  }
  bool WaitStopped() {
    return WaitUntil([&] {
      return source_->Mode() == kModeStopped && !window_->statuses.empty() &&
             window_->statuses.back().first == kStatusStopped;
    });
  }
  // Lets the timer tick for a while without expecting anything to happen.
  void LetTick() { WaitUntil([] { return false; }, 100); }

  video::RemotePlaybackFrameBuffer buffer_;
  video::PlaybackFrameStore frames_;
  net::RemoteFrameBufferAdapter insert_{buffer_};
  RemoteArchiveForwarder forwarder_;
  FakeLink link_;
  RecordingDisplay display_;
  TitledTimeline timeline_;
  std::unique_ptr<Window> window_;
  std::unique_ptr<Source> source_;
};

// ---- The connection and the archive range.

TEST_F(RemotePlayback, TakesTheServersRangeAndForgetsItWhenDetached) {
  EXPECT_EQ(link_.opens, std::vector<bool>{true});
  EXPECT_EQ(display_.Source(), &buffer_);
  EXPECT_EQ(source_->Database(), nullptr);
  EXPECT_EQ(source_->HighestCamera(), 5);
  EXPECT_EQ(source_->Earliest(), kT0);
  EXPECT_EQ(source_->Latest(), kT0 + 3 * kDay);
  // A day counts when it meets the range, from its first to its last instant.
  EXPECT_TRUE(source_->DayHasRecordings(kMidnight));
  EXPECT_TRUE(source_->DayHasRecordings(kMidnight + 3 * kDay + kDay - 1));
  EXPECT_FALSE(source_->DayHasRecordings(kMidnight - 1));
  EXPECT_FALSE(source_->DayHasRecordings(kMidnight + 4 * kDay));

  source_->Detach();
  EXPECT_EQ(link_.opens, (std::vector<bool>{true, false}));
  EXPECT_EQ(source_->HighestCamera(), 0);
  EXPECT_EQ(source_->Earliest(), source_->Latest());
  // Detached: answers no longer reach it.
  Frame(source_->CurrentRequest().token, kT0, true);
  EXPECT_EQ(source_->CurrentTime(), 0u);

  link_.rangeAnswered = false;
  EXPECT_FALSE(source_->Attach(&link_, &forwarder_));
  EXPECT_EQ(source_->HighestCamera(), 0);
}

// ---- Requests and tokens.

TEST_F(RemotePlayback, RequestsLeaveThroughTheWindowAndOnlyTheLatestIsSent) {
  source_->SeekCamera(3, kT0);
  source_->SeekCamera(4, kT0 + 5);
  const net::PlaybackRequestRecord r = Request(1);
  EXPECT_TRUE(WaitUntil([&] { return window_->asked.size() == 2; }));
  ASSERT_EQ(link_.requests.size(), 1u);  // the first was superseded before it left
  EXPECT_EQ(r.mode, Source::kRequestPosition);
  EXPECT_EQ(r.argument, 4u);
  EXPECT_EQ(r.time, kT0 + 5);
  EXPECT_EQ(r.cameraMask, 0xFFFFu);
  EXPECT_EQ(r.token, window_->asked.back());

  source_->SetCameraMask(0x3);
  const net::PlaybackRequestRecord m = Request(2);
  EXPECT_EQ(m.cameraMask, 0x3u);
  EXPECT_EQ(m.argument, Source::kAllCameras);
  source_->SetCameraMask(0x3);  // unchanged: no request
  source_->NextBookmark(kT0 + 9);
  const net::PlaybackRequestRecord b = Request(3);
  EXPECT_EQ(b.mode, Source::kRequestNextBookmark);
  EXPECT_EQ(b.time, kT0 + 9);
}

TEST_F(RemotePlayback, TokensWrapToOneNeverZero) {
  EXPECT_EQ(Source::NextToken(0), 1u);
  EXPECT_EQ(Source::NextToken(1), 2u);
  EXPECT_EQ(Source::NextToken(std::numeric_limits<uint32_t>::max()), 1u);
  source_->SetTokenCounter(std::numeric_limits<uint32_t>::max() - 1);
  source_->SeekCamera(0, kT0);
  EXPECT_EQ(Request(1).token, std::numeric_limits<uint32_t>::max());
  source_->SeekCamera(0, kT0);
  EXPECT_EQ(Request(2).token, 1u);
}

TEST_F(RemotePlayback, FramesOfAnOlderOrUnknownRequestAreIgnored) {
  source_->SeekCamera(0, kT0);
  const uint32_t old = Request(1).token;
  source_->SeekCamera(0, kT0 + 100 * kMs);
  const uint32_t current = Request(2).token;

  // The first seek's answer arrives after the second seek left.
  Frame(old, kT0, true);
  Frame(current + 7, kT0 + 1, true);
  Frame(0, kT0 + 2, true);
  EXPECT_EQ(source_->CurrentTime(), 0u);
  EXPECT_TRUE(display_.Frames().empty());
  EXPECT_EQ(source_->CurrentDirection(), Source::kPositioning);

  Frame(current, kT0 + 100 * kMs, true, 2, 0x42);
  EXPECT_EQ(source_->CurrentTime(), kT0 + 100 * kMs);
  EXPECT_EQ(source_->CurrentDirection(), Source::kIdle);
  ASSERT_EQ(display_.Frames().size(), 1u);
  EXPECT_EQ(display_.Frames()[0].camera, 2);
  EXPECT_EQ(PictureOf(buffer_, 2), std::vector<uint8_t>(video::MakeHeader(kWidth, kHeight).biSizeImage, 0x42));
  EXPECT_EQ(buffer_.HasPictures(), 0u);
  EXPECT_TRUE(WaitUntil([&] { return !window_->positions.empty(); }));
  EXPECT_EQ(window_->positions.back(), kT0 + 100 * kMs);

  // The request ended with its last frame: token 0 or its own token match nothing now.
  Frame(current, kT0 + 200 * kMs, true);
  Frame(0, kT0 + 300 * kMs, true);
  EXPECT_EQ(source_->CurrentTime(), kT0 + 100 * kMs);
}

// ---- Playing.

// The server answers the continuation from its own thread, falls silent in the middle of the batch,
// finishes it later and then leaves the next continuation unanswered: the ticks go on waiting
// without asking again or blocking, and Stop and the destructor still work.
TEST_F(RemotePlayback, PlayWaitsForASilentServerWithOneContinuationAtATime) {
  PositionAt(kT0);
  source_->Play();
  const net::PlaybackRequestRecord c = Request(2);
  EXPECT_EQ(c.mode, Source::kRequestForward);
  EXPECT_EQ(c.argument, 0u);
  LetTick();
  EXPECT_EQ(link_.requests.size(), 2u);

  auto answer = [&](int from, int to, bool last) {
    std::thread network([&] {
      for (int i = from; i <= to; ++i) {
        Frame(c.token, kT0 + static_cast<uint64_t>(i) * 40 * kMs, last && i == to, 0, static_cast<uint8_t>(i));
      }
    });
    network.join();
  };
  answer(1, 2, false);
  EXPECT_TRUE(WaitUntil([&] { return source_->CurrentTime() == kT0 + 80 * kMs; }));
  LetTick();  // silent in the middle of the batch: nothing more asked
  EXPECT_EQ(link_.requests.size(), 2u);
  EXPECT_EQ(source_->Mode(), kModePlay);

  answer(3, 3, true);  // the ticks still run: the rest is played
  EXPECT_TRUE(WaitUntil([&] { return source_->CurrentTime() == kT0 + 120 * kMs; }));
  const net::PlaybackRequestRecord next = Request(3);
  EXPECT_EQ(next.mode, Source::kRequestForward);
  EXPECT_NE(next.token, c.token);
  LetTick();
  EXPECT_EQ(link_.requests.size(), 3u);
  EXPECT_EQ(source_->Mode(), kModePlay);

  source_->Stop();
  EXPECT_TRUE(WaitStopped());
  EXPECT_TRUE(WaitUntil([&] { return window_->positions.back() == kT0 + 120 * kMs; }));
  source_->Play();
  source_.reset();  // the timer thread waits for the server no more
}

TEST_F(RemotePlayback, EndOfTheArchiveStopsOnTheLastPicture) {
  PositionAt(kT0);
  source_->Play();
  const net::PlaybackRequestRecord c = Request(2);
  Frame(c.token, kT0 + 40 * kMs);
  Frame(c.token, 0, true);  // the server's end marker
  EXPECT_TRUE(WaitStopped());
  EXPECT_TRUE(WaitUntil([&] { return window_->beeps == 1; }));
  EXPECT_EQ(source_->CurrentTime(), kT0 + 40 * kMs);
  EXPECT_EQ(window_->positions.back(), kT0 + 40 * kMs);
}

TEST_F(RemotePlayback, TurningForwardWithPicturesBufferedRepositionsAtTheCurrentTime) {
  PositionAt(kT0 + 100 * kMs);
  source_->StepBackward();
  const net::PlaybackRequestRecord back = Request(2);
  EXPECT_EQ(back.mode, Source::kRequestBackward);
  for (int i = 1; i <= 3; ++i) Frame(back.token, kT0 + static_cast<uint64_t>(100 - 10 * i) * kMs);
  ASSERT_TRUE(WaitStopped());
  EXPECT_EQ(source_->CurrentTime(), kT0 + 90 * kMs);
  EXPECT_EQ(buffer_.HasPictures(), 2u);
  EXPECT_EQ(source_->CurrentRequest().argument, 3u);  // frames counted as they came

  source_->StepForward();
  const net::PlaybackRequestRecord again = Request(3);
  EXPECT_EQ(again.mode, Source::kRequestPosition);
  EXPECT_EQ(again.argument, Source::kAllCameras);
  EXPECT_EQ(again.time, kT0 + 90 * kMs);
  EXPECT_EQ(buffer_.HasPictures(), 0u);
  source_->Stop();
}

TEST_F(RemotePlayback, FastForwardStopsOnMotionAgainstTheFirstPicture) {
  source_->SetMotionDetection(1, 50, video::Rect{0, 0, 10000, 10000});
  PositionAt(kT0);
  source_->FastForward();
  const net::PlaybackRequestRecord c = Request(2);
  Frame(c.token, kT0 + 1 * kMs, false, 1, 10);  // the reference
  Frame(c.token, kT0 + 2 * kMs, false, 1, 12);  // a little noise
  Frame(c.token, kT0 + 3 * kMs, false, 1, 200);
  Frame(c.token, kT0 + 4 * kMs, true, 1, 200);
  ASSERT_TRUE(WaitStopped());
  EXPECT_EQ(window_->LastValueOf(kStatusMotionFound), 1);
  EXPECT_EQ(source_->CurrentTime(), kT0 + 3 * kMs);
}

// ---- Export.

TEST_F(RemotePlayback, ExportWritesTheCamerasPicturesUpToTheEnd) {
  auto log = std::make_shared<RecordingWriter::Log>();
  source_->SetExportWriterFactory([&](int, uint64_t start, uint64_t end, const std::string&) {
    return std::make_unique<RecordingWriter>(log, start, end, 0, true);
  });
  display_.placed = 0x5;
  ASSERT_TRUE(source_->StartExport(nullptr, "out.avi", 2, kT0, kT0 + 50 * kMs, 77));
  EXPECT_EQ(display_.Source(), nullptr);
  const net::PlaybackRequestRecord seek = Request(1);
  EXPECT_EQ(seek.mode, Source::kRequestPosition);
  EXPECT_EQ(seek.argument, 2u);
  EXPECT_EQ(seek.cameraMask, 1u << 2);
  source_->Stop();  // ignored while exporting
  Frame(seek.token, kT0, true, 2);
  const net::PlaybackRequestRecord c = Request(2);
  EXPECT_EQ(c.mode, Source::kRequestForward);
  for (int i = 1; i <= 3; ++i) Frame(c.token, kT0 + static_cast<uint64_t>(i) * 20 * kMs, false, 2, static_cast<uint8_t>(i));

  ASSERT_TRUE(WaitUntil([&] { return window_->HasStatus(kStatusExportFinished); }));
  EXPECT_EQ(source_->Mode(), kModeStopped);
  EXPECT_EQ(window_->LastValueOf(kStatusExportStarted), 77);
  EXPECT_EQ(window_->LastValueOf(kStatusExportFinished), kExportCompleted);
  std::lock_guard<std::mutex> guard(log->lock);
  EXPECT_EQ(log->written, (std::vector<uint64_t>{kT0 + 20 * kMs, kT0 + 40 * kMs}));
  EXPECT_EQ(log->pictures.at(1).front(), 2);
  EXPECT_TRUE(log->destroyed);
  EXPECT_EQ(display_.Source(), &buffer_);
  EXPECT_EQ(source_->CameraMask(), 0x5u);
}

TEST_F(RemotePlayback, ExportWriteFailureEndsWithAWriteError) {
  auto log = std::make_shared<RecordingWriter::Log>();
  source_->SetExportWriterFactory([&](int, uint64_t start, uint64_t end, const std::string&) {
    return std::make_unique<RecordingWriter>(log, start, end, 1, true);
  });
  ASSERT_TRUE(source_->StartExport(nullptr, "out.avi", 0, kT0, kT0 + kDay, 1));
  Frame(Request(1).token, kT0, true);
  Frame(Request(2).token, kT0 + kMs);
  ASSERT_TRUE(WaitUntil([&] { return window_->HasStatus(kStatusExportFinished); }));
  EXPECT_EQ(window_->LastValueOf(kStatusExportFinished), kExportWriteError);
  EXPECT_EQ(source_->Mode(), kModeStopped);
}

// ---- Timeline and bookmarks: what the server sends is checked before it is drawn.

TEST_F(RemotePlayback, ArchiveMapsOfAnotherPeriodOrOverTheLimitAreRefused) {
  const uint64_t t0 = kT0;
  const uint64_t t1 = kT0 + kDay;
  source_->FillTimeline(t0, t1, 640);
  ASSERT_EQ(link_.maps.size(), 1u);
  EXPECT_EQ(link_.maps[0].width, 640u);

  // Through the parser the video channel uses, then to the source.
  auto deliver = [&](const net::Payload& p) {
    if (auto map = net::ParseArchiveMap(p.data(), p.size())) forwarder_.OnArchiveMap(*map);
  };
  auto header = [&](uint32_t words, uint32_t body) {
    net::ArchiveMap m;
    m.start = t0;
    m.end = t1;
    net::Payload p = net::BuildArchiveMap(m);
    for (int i = 0; i < 4; ++i) p[32 + i] = static_cast<uint8_t>(words >> (8 * i));
    for (int i = 0; i < 4; ++i) p[44 + i] = static_cast<uint8_t>(body >> (8 * i));
    return p;
  };
  // 33 repeats of 32767 values: past 2^20 from 66 words.
  net::Payload huge = header(66, 132);
  for (int i = 0; i < 33; ++i) huge.insert(huge.end(), {0xFF, 0xFF, 0x01, 0x00});
  deliver(huge);
  // A literal run of 100 words in a list of 3.
  net::Payload beyond = header(3, 6);
  beyond.insert(beyond.end(), {100, 0, 1, 0, 2, 0});
  deliver(beyond);
  // A list longer than the body.
  net::Payload lying = header(40, 6);
  lying.insert(lying.end(), {2, 0, 1, 0, 2, 0});
  deliver(lying);
  // Expanded lists handed over directly, past the limit.
  net::ArchiveMap big;
  big.start = t0;
  big.end = t1;
  big.lists[0].assign(net::kMaxExpandedList + 1, 1);
  source_->OnArchiveMap(big);
  {
    std::lock_guard<std::mutex> guard(timeline_.lock);
    EXPECT_TRUE(timeline_.parts.empty());
  }

  net::ArchiveMap good;
  good.start = t0;
  good.end = t1;
  good.lists = {std::vector<uint16_t>{1, 3, 3, 0}, {0, 1, 0, 0}, {0, 0, 2, 0}};
  good.values = {t0 + 10, t1 + 10};
  net::ArchiveMap stale = good;
  stale.start = t0 - 1;
  deliver(net::BuildArchiveMap(stale));  // a period the timeline no longer shows
  deliver(net::BuildArchiveMap(good));
  std::lock_guard<std::mutex> guard(timeline_.lock);
  ASSERT_EQ(timeline_.parts.size(), 1u);
  EXPECT_EQ(timeline_.parts[0].t1, t0);
  EXPECT_EQ(timeline_.parts[0].recorded, (std::vector<uint32_t>{1, 3, 3, 0}));
  EXPECT_EQ(timeline_.bookmarks, std::vector<uint64_t>{t0 + 10});
}

TEST_F(RemotePlayback, BookmarkTitlesAndEditsFollowTheServersAnswers) {
  source_->ShowBookmarkText(kT0 + 5);
  EXPECT_EQ(link_.titleQuestions, std::vector<uint64_t>{kT0 + 5});
  auto deliver = [&](const net::Payload& p) {
    if (auto n = net::ParseBookmarkNotice(p.data(), p.size())) forwarder_.OnBookmarkNotice(*n);
  };
  net::Payload notice = net::BuildBookmarkNotice({kT0 + 5, "Gate"});
  net::Payload longer = notice;
  longer[8] = 200;  // claims more text than follows
  deliver(longer);
  net::Payload shorter = notice;
  shorter[8] = 2;  // claims less
  deliver(shorter);
  net::Payload huge = notice;
  huge[11] = 0xFF;
  deliver(huge);
  {
    std::lock_guard<std::mutex> guard(timeline_.lock);
    EXPECT_TRUE(timeline_.titles.empty());
  }
  deliver(notice);
  // A title as long as a message is cut to the 99 characters a bookmark title holds.
  std::string endless;
  for (int i = 0; i < 5000; ++i) endless += "\xC3\xA9";  // é
  forwarder_.OnBookmarkNotice({kT0 + 6, endless});
  {
    std::lock_guard<std::mutex> guard(timeline_.lock);
    EXPECT_EQ(timeline_.titles[kT0 + 5], "Gate");
    EXPECT_EQ(timeline_.titles[kT0 + 6], endless.substr(0, 2 * 99));
  }

  link_.refusal = 1;
  EXPECT_FALSE(source_->AddBookmark(kT0 + 7, "refused"));
  link_.refusal = 0;
  EXPECT_TRUE(source_->AddBookmark(kT0 + 8, "done"));
  link_.refusal = 2;
  EXPECT_FALSE(source_->DeleteBookmark(kT0 + 8));
  std::lock_guard<std::mutex> guard(timeline_.lock);
  EXPECT_EQ(timeline_.bookmarks, std::vector<uint64_t>{kT0 + 8});
  EXPECT_EQ(timeline_.titles[kT0 + 8], "done");
}

}  // namespace
}  // namespace strixc::playback::test
