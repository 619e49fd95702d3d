// The server's archive answers, against a synthetic archive read back through the archive's own
// reader: positioning, forward and backward continuations, the map, the bookmarks; then the same
// over real loopback connections, and the recording that makes the archive grow.

#include "sim/archive_service.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <memory>
#include <vector>

#include "archive/archive_reader.h"
#include "archive/archive_time.h"
#include "net/protocol.h"
#include "sim/scene_archive_writer.h"
#include "sim/sim_archive.h"
#include "sim/sim_server_thread.h"
#include "sim_test_client.h"

namespace strixc::sim {
namespace {

using archive::kUnitsPerSecond;
using archive::RecordHeader;
using archive::RecordType;
namespace flag = net::frame_flag;

constexpr uint32_t kAll = ArchiveService::kAllShownCameras;

struct Frame {
  net::FrameHeader header;
  std::vector<uint8_t> data;
};

struct Record {
  RecordHeader header;
  std::vector<uint8_t> payload;
};

uint64_t Wall(uint64_t archiveTime) { return archive::ToWallClock(archiveTime); }

class ArchiveServiceTest : public ::testing::Test {
 protected:
  static uint64_t Start() { return *archive::TimeOfFields({2026, 3, 2, 10, 0, 0, 0}); }
  static uint64_t At(double seconds) { return Start() + static_cast<uint64_t>(seconds * kUnitsPerSecond); }

  // Cameras 0 and 1 from the start, camera 2 from 4 s on; 10 frames a second, a key frame every
  // fifth; an event on camera 1.
  void SetUp() override {
    SceneArchiveOptions o;
    o.folder = Folder();
    o.start = Start();
    o.cameraMask = 0b111;
    o.movingMask = 0b001;
    o.width = 64;
    o.height = 48;
    o.fps = 10;
    o.keyInterval = 5;
    o.duration = 8 * kUnitsPerSecond;
    o.startOffset[2] = 4 * kUnitsPerSecond;
    o.space = 4 * archive::kMiB;
    o.fileSize = archive::kMiB;
    o.events.push_back({1, At(2.05), true, "Door opened"});
    ASSERT_TRUE(WriteSceneArchive(o).ok);
    OpenArchive(SimConfig{});
  }

  std::string Folder() const { return dir_.filePath("archive").toStdString(); }

  void OpenArchive(SimConfig config) {
    service_.reset();
    archive_.reset();
    config.archiveDir = QString::fromStdString(Folder());
    std::string error;
    archive_ = SimArchive::Open(config, {}, &error);
    ASSERT_TRUE(archive_) << error;
    service_ = std::make_unique<ArchiveService>(archive_);
    records_.clear();
    archive::ArchiveReader reader(&archive_->Database());
    Record r;
    ASSERT_TRUE(reader.Seek(1, &r.header));
    while (reader.ReadRecord(&r.payload, &r.header, false)) {
      r.payload.resize(static_cast<size_t>(r.header.payloadSize));
      records_.push_back(r);
    }
  }

  std::vector<Frame> Ask(uint8_t mode, uint32_t token, uint32_t mask, uint32_t argument, uint64_t time) {
    std::vector<Frame> frames;
    service_->AnswerPlayback({mode, token, mask, argument, time}, [&](const net::Payload& p) {
      const auto view = net::ParseFrame(p.data(), p.size());
      ASSERT_TRUE(view);
      frames.push_back({view->header, std::vector<uint8_t>(view->data, view->data + view->header.dataLength)});
    });
    return frames;
  }

  // Token on every frame, the remote flag, the last-frame flag on the last frame only.
  static void ExpectWellFormed(const std::vector<Frame>& frames, uint32_t token) {
    ASSERT_FALSE(frames.empty());
    for (size_t i = 0; i < frames.size(); ++i) {
      EXPECT_EQ(frames[i].header.token, token) << i;
      EXPECT_TRUE(frames[i].header.flags & flag::kRemote) << i;
      EXPECT_FALSE(frames[i].header.flags & flag::kLive) << i;
      EXPECT_EQ((frames[i].header.flags & flag::kLast) != 0, i + 1 == frames.size()) << i;
    }
  }

  // The records of `camera` a player needs to show it at `time`: from the key frame before on.
  std::vector<const Record*> Group(int camera, uint64_t time) const {
    std::vector<const Record*> group;
    for (const Record& r : records_) {
      if (r.header.camera != camera || r.header.time > time) continue;
      if (r.header.type == static_cast<uint8_t>(RecordType::kKeyFrame)) group.clear();
      group.push_back(&r);
    }
    return group;
  }

  static bool Same(const Frame& f, const Record& r) {
    return f.header.time == Wall(r.header.time) && f.header.camera == r.header.camera && f.data == r.payload;
  }

  QTemporaryDir dir_;
  std::shared_ptr<SimArchive> archive_;
  std::unique_ptr<ArchiveService> service_;
  std::vector<Record> records_;
};

TEST_F(ArchiveServiceTest, PositioningSendsEachCameraFromItsKeyFrameAndTimeZeroForNothing) {
  const uint64_t t = At(2.33);
  const std::vector<Frame> frames = Ask(1, 7, 0b111, kAll, Wall(t));
  ExpectWellFormed(frames, 7);
  size_t i = 0;
  for (int camera = 0; camera < 2; ++camera) {
    const auto group = Group(camera, t);
    ASSERT_GE(group.size(), 2u);
    EXPECT_EQ(group.front()->header.type, static_cast<uint8_t>(RecordType::kKeyFrame));
    for (const Record* r : group) {
      ASSERT_LT(i, frames.size());
      EXPECT_TRUE(Same(frames[i], *r)) << camera << " " << i;
      ++i;
    }
    EXPECT_TRUE(frames[i - group.size()].header.flags & flag::kKey);
  }
  // Camera 2 starts at 4 s: one frame of time 0 without picture.
  ASSERT_EQ(frames.size(), i + 1);
  EXPECT_EQ(frames[i].header.camera, 2);
  EXPECT_EQ(frames[i].header.time, 0u);
  EXPECT_TRUE(frames[i].header.flags & flag::kNoPicture);

  // A camera by its number outside the shown ones is positioned with them, so that every shown
  // camera has its picture after the seek; a time before the archive has nothing for it.
  const std::vector<Frame> one = Ask(1, 8, 0b001, 1, Wall(t));
  ASSERT_EQ(one.size(), Group(0, t).size() + Group(1, t).size());
  for (const Frame& f : one) EXPECT_TRUE(f.header.camera == 0 || f.header.camera == 1);
  const std::vector<Frame> before = Ask(1, 9, 0b1, kAll, Wall(Start() - kUnitsPerSecond));
  ASSERT_EQ(before.size(), 1u);
  EXPECT_EQ(before[0].header.time, 0u);
  EXPECT_EQ(before[0].header.flags, flag::kRemote | flag::kNoPicture | flag::kLast);
}

TEST_F(ArchiveServiceTest, ForwardContinuationsSendTheNextSecondInTimeOrder) {
  const uint64_t t = At(3.51);
  Ask(1, 1, 0b111, kAll, Wall(t));
  std::vector<const Record*> expected;
  for (const Record& r : records_) {
    if (r.header.time > t && r.header.camera < 3) expected.push_back(&r);
  }
  size_t next = 0;
  for (uint32_t token = 2; token < 5; ++token) {
    const std::vector<Frame> batch = Ask(3, token, 0b111, 0, 0);
    ExpectWellFormed(batch, token);
    // Exactly the records of the second that starts with the first one after the last answer.
    const uint64_t first = expected[next]->header.time;
    size_t count = 0;
    while (next + count < expected.size() && expected[next + count]->header.time <= first + kUnitsPerSecond) ++count;
    ASSERT_EQ(batch.size(), count) << token;
    for (size_t i = 0; i < count; ++i) EXPECT_TRUE(Same(batch[i], *expected[next + i])) << token << " " << i;
    next += count;
  }

  // At the end of the archive an answer still ends: one frame of time 0 with the last-frame flag.
  Ask(1, 10, 0b111, kAll, Wall(At(100)));
  const std::vector<Frame> end = Ask(3, 11, 0b111, 0, 0);
  ASSERT_EQ(end.size(), 1u);
  EXPECT_EQ(end[0].header.time, 0u);
  EXPECT_EQ(end[0].header.flags & (flag::kNoPicture | flag::kLast), flag::kNoPicture | flag::kLast);
  EXPECT_EQ(end[0].header.token, 11u);
}

TEST_F(ArchiveServiceTest, BackwardContinuationsSendEarlierKeyFramesNewestFirst) {
  const uint64_t t = At(6.27);
  Ask(1, 1, 0b011, kAll, Wall(t));
  std::vector<const Record*> keys;  // newest first, cameras 0 and 1, before what each shows at t
  for (auto it = records_.rbegin(); it != records_.rend(); ++it) {
    const Record& r = *it;
    if (r.header.camera < 2 && r.header.type == static_cast<uint8_t>(RecordType::kKeyFrame) &&
        r.header.time < Group(r.header.camera, t).back()->header.time)
      keys.push_back(&r);
  }
  size_t next = 0;
  for (uint32_t token = 2; next < keys.size(); ++token) {
    ASSERT_LT(token, 10u);
    const std::vector<Frame> batch = Ask(2, token, 0b011, 0, 0);
    ExpectWellFormed(batch, token);
    const uint64_t first = keys[next]->header.time;
    for (const Frame& f : batch) {
      ASSERT_LT(next, keys.size());
      EXPECT_TRUE(Same(f, *keys[next])) << token << " " << next;
      EXPECT_TRUE(f.header.flags & flag::kKey);
      EXPECT_LE(f.header.time, Wall(first));
      EXPECT_GE(keys[next]->header.time + ArchiveService::kBackwardSpan, first);
      ++next;
    }
  }
  // Before the first key frame: an answer of one frame of time 0.
  const std::vector<Frame> none = Ask(2, 20, 0b011, 0, 0);
  ASSERT_EQ(none.size(), 1u);
  EXPECT_EQ(none[0].header.time, 0u);
}

TEST_F(ArchiveServiceTest, MapMasksAreTheReadersActivityWithTheBookmarks) {
  const uint64_t t0 = Start() - kUnitsPerSecond;
  const uint64_t t1 = At(9);
  ASSERT_EQ(archive_->EditBookmark({net::bookmark_op::kAdd, Wall(At(3)), "Door"}), SimArchive::kEditDone);
  ASSERT_EQ(archive_->EditBookmark({net::bookmark_op::kAdd, Wall(At(20)), "Later"}), SimArchive::kEditDone);
  for (uint32_t width : {1u, 7u, 300u}) {
    const auto payload = service_->AnswerMap({width, Wall(t0), Wall(t1)});
    ASSERT_TRUE(payload);
    const auto map = net::ParseArchiveMap(payload->data(), payload->size());
    ASSERT_TRUE(map);
    EXPECT_EQ(map->start, Wall(t0));
    EXPECT_EQ(map->end, Wall(t1));
    std::vector<uint32_t> recorded(width), clear(width), set(width);
    archive::ArchiveReader reader(&archive_->Database());
    reader.Activity(t0, t1, recorded, clear, set);
    const std::vector<uint32_t>* masks[3] = {&recorded, &clear, &set};
    for (size_t k = 0; k < 3; ++k) {
      ASSERT_EQ(map->lists[k].size(), width);
      for (size_t i = 0; i < width; ++i) EXPECT_EQ(map->lists[k][i], (*masks[k])[i]) << width << " " << k << " " << i;
    }
    EXPECT_EQ(map->values, std::vector<uint64_t>{Wall(At(3))});
  }
  // The event shows as a set event (yellow) somewhere.
  const auto payload = service_->AnswerMap({300, Wall(t0), Wall(t1)});
  const auto map = net::ParseArchiveMap(payload->data(), payload->size());
  EXPECT_NE(std::count(map->lists[2].begin(), map->lists[2].end(), 0b10), 0);
}

TEST_F(ArchiveServiceTest, BadRequestsGetNoAnswer) {
  EXPECT_FALSE(service_->AnswerMap({0, Wall(At(0)), Wall(At(1))}));
  EXPECT_FALSE(service_->AnswerMap({ArchiveService::kMaxMapWidth + 1, Wall(At(0)), Wall(At(1))}));
  EXPECT_FALSE(service_->AnswerMap({10, Wall(At(1)), Wall(At(0))}));
  EXPECT_FALSE(service_->AnswerMap({10, Wall(At(1)), Wall(At(1))}));
  EXPECT_TRUE(Ask(0, 1, 0b1, kAll, Wall(At(1))).empty());
  EXPECT_TRUE(Ask(6, 1, 0b1, kAll, Wall(At(1))).empty());
  EXPECT_TRUE(Ask(1, 1, 0b1, 16, Wall(At(1))).empty());
  // Camera bits beyond 16 are no cameras; the extreme times are positions like others.
  EXPECT_EQ(Ask(1, 1, 0xFFFF0000, kAll, Wall(At(1))).size(), 1u);
  EXPECT_FALSE(Ask(1, 1, 0b1, kAll, ~uint64_t{0}).empty());
  EXPECT_FALSE(Ask(1, 1, 0b1, kAll, 0).empty());
  // A continuation before any positioning ends at once.
  service_->OnArchiveOpen(true);
  EXPECT_EQ(Ask(3, 2, 0b1, 0, 0).size(), 1u);
  EXPECT_EQ(Ask(2, 3, 0b1, 0, 0).size(), 1u);
  EXPECT_FALSE(service_->AnswerPlaybackControl(2, Wall(At(1))));

  // Any sequence of requests: each answered whole (token, last flag at the end) or not at all.
  uint64_t seed = 12345;
  auto next = [&seed] { return seed = seed * 6364136223846793005ull + 1442695040888963407ull; };
  for (uint32_t token = 100; token < 400; ++token) {
    const auto mode = static_cast<uint8_t>(next() % 7);
    const uint32_t argument = next() % 3 == 0 ? static_cast<uint32_t>(next() % 20) : kAll;
    const uint64_t time = next() % 4 == 0 ? next() : Wall(Start() + next() % (10 * kUnitsPerSecond));
    const std::vector<Frame> frames = Ask(mode, token, static_cast<uint32_t>(next()), argument, time);
    const bool refused = mode == 0 || mode > 5 || (mode == 1 && argument != kAll && argument > 15);
    EXPECT_EQ(frames.empty(), refused) << int(mode) << " " << argument;
    if (!frames.empty()) ExpectWellFormed(frames, token);
  }
}

TEST_F(ArchiveServiceTest, BookmarksAreKeptAcrossRestartsUnlessReadOnly) {
  const uint64_t mark = Wall(At(4.52));
  EXPECT_EQ(archive_->EditBookmark({net::bookmark_op::kAdd, mark, "Tab\there\\"}), SimArchive::kEditDone);
  EXPECT_EQ(archive_->EditBookmark({net::bookmark_op::kAdd, mark + 1, ""}), SimArchive::kEditDone);
  EXPECT_EQ(archive_->EditBookmark({net::bookmark_op::kRemove, mark + 2, ""}), SimArchive::kEditNotPossible);
  EXPECT_EQ(archive_->EditBookmark({9, mark + 2, ""}), SimArchive::kEditNotPossible);
  EXPECT_EQ(archive_->EditBookmark({net::bookmark_op::kAdd, 0, "zero"}), SimArchive::kEditNotPossible);

  // The title of each, an empty one included; none where there is no bookmark.
  const auto notice = service_->AnswerPlaybackControl(1, mark);
  ASSERT_TRUE(notice);
  const auto parsed = net::ParseBookmarkNotice(notice->data(), notice->size());
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->time, mark);
  EXPECT_EQ(parsed->title, "Tab\there\\");
  EXPECT_TRUE(service_->AnswerPlaybackControl(1, mark + 1));
  EXPECT_FALSE(service_->AnswerPlaybackControl(1, mark + 2));

  // Next bookmark from the start positions there; previous from before the first stays put.
  const std::vector<Frame> next = Ask(4, 5, 0b1, kAll, Wall(At(1)));
  ExpectWellFormed(next, 5);
  EXPECT_TRUE(Same(next.back(), *Group(0, archive::FromWallClock(mark)).back()));
  const std::vector<Frame> stay = Ask(5, 6, 0b1, kAll, Wall(At(1)));
  EXPECT_TRUE(Same(stay.back(), *Group(0, At(1)).back()));

  OpenArchive(SimConfig{});
  EXPECT_EQ(archive_->BookmarkCount(), 2u);
  std::string title;
  ASSERT_TRUE(archive_->BookmarkTitle(mark, &title));
  EXPECT_EQ(title, "Tab\there\\");
  EXPECT_EQ(archive_->EditBookmark({net::bookmark_op::kRemove, mark + 1, ""}), SimArchive::kEditDone);

  SimConfig readOnly;
  readOnly.bookmarksReadOnly = true;
  OpenArchive(readOnly);
  EXPECT_EQ(archive_->EditBookmark({net::bookmark_op::kAdd, mark + 5, "x"}), SimArchive::kEditRefused);
  EXPECT_EQ(archive_->EditBookmark({net::bookmark_op::kRemove, mark, ""}), SimArchive::kEditRefused);
  EXPECT_EQ(archive_->BookmarkCount(), 1u);
}

// --- Over the wire ------------------------------------------------------------------------------

class ArchiveOverWireTest : public ArchiveServiceTest {
 protected:
  std::unique_ptr<SimServerThread> Serve(SimConfig config) {
    config.videoPort = 0;
    config.inputPeriodMs = 0;
    config.cameraCount = 3;
    config.cameraWidth = 64;
    config.cameraHeight = 48;
    if (config.archiveDir.isEmpty()) config.archiveDir = QString::fromStdString(Folder());
    auto server = std::make_unique<SimServerThread>(config);
    EXPECT_TRUE(server->Start()) << server->ErrorText().toStdString();
    return server;
  }

  static std::unique_ptr<test::Client> Login(quint16 port, bool video) {
    auto client = std::make_unique<test::Client>();
    EXPECT_TRUE(client->Connect(port));
    client->Send(video ? net::video_out::kLogin : net::control::kLogin, net::BuildLogin({"demo", "demo"}, video));
    EXPECT_TRUE(test::LoginReply(*client, video));
    return client;
  }

  static std::optional<net::ArchiveRange> Range(test::Client& control) {
    control.Send(net::control::kArchiveRangeRequest, net::BuildArchiveRangeRequest());
    const auto reply = control.Receive();
    if (!reply || reply->code != net::control::kArchiveRange) return std::nullopt;
    return net::ParseArchiveRange(reply->payload.data(), reply->payload.size());
  }

  // The frames of one answer, up to the one with the last-frame flag.
  static std::vector<net::FrameHeader> Answer(test::Client& video) {
    std::vector<net::FrameHeader> frames;
    while (auto m = video.Receive()) {
      if (m->code != net::video_in::kFrame) continue;
      const auto view = net::ParseFrame(m->payload.data(), m->payload.size());
      if (!view) break;
      frames.push_back(view->header);
      if (view->header.flags & flag::kLast) break;
    }
    return frames;
  }
};

TEST_F(ArchiveOverWireTest, RangeBookmarksPlaybackAndADisconnectMidAnswer) {
  archive_.reset();
  service_.reset();
  const auto server = Serve(SimConfig{});
  const auto control = Login(server->ControlPort(), false);
  const auto range = Range(*control);
  ASSERT_TRUE(range);
  EXPECT_EQ(range->cameraMask, 0b111u);
  EXPECT_EQ(range->first, Wall(records_.front().header.time));
  EXPECT_EQ(range->second, Wall(records_.back().header.time));
  control->Send(net::control::kBookmarkEdit, net::BuildBookmarkEdit({net::bookmark_op::kAdd, Wall(At(2)), "Here"}));
  const auto reply = control->Receive();
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->payload, net::Payload{SimArchive::kEditDone});

  const auto video = Login(server->VideoPort(), true);
  video->Send(net::video_out::kArchiveOpen, net::BuildArchiveOpen(true));
  video->Send(net::video_out::kPlaybackRequest, net::BuildPlaybackRequest({1, 42, 0b111, kAll, Wall(At(5.5))}));
  const auto frames = Answer(*video);
  ASSERT_EQ(frames.size(), Group(0, At(5.5)).size() + Group(1, At(5.5)).size() + Group(2, At(5.5)).size());
  for (const auto& f : frames) EXPECT_EQ(f.token, 42u);
  video->Send(net::video_out::kPlaybackControl, net::BuildPlaybackControl(Wall(At(2))));
  auto notice = video->Receive();
  ASSERT_TRUE(notice);
  ASSERT_EQ(notice->code, net::video_in::kBookmarkNotice);
  EXPECT_EQ(net::ParseBookmarkNotice(notice->payload.data(), notice->payload.size())->title, "Here");

  // A client that leaves in the middle of its answers costs the others nothing.
  auto leaving = Login(server->VideoPort(), true);
  leaving->Send(net::video_out::kPlaybackRequest, net::BuildPlaybackRequest({1, 1, 0b111, kAll, Wall(At(0.5))}));
  for (uint32_t token = 2; token < 20; ++token)
    leaving->Send(net::video_out::kPlaybackRequest, net::BuildPlaybackRequest({3, token, 0b111, 0, 0}));
  leaving->Close();
  video->Send(net::video_out::kPlaybackRequest, net::BuildPlaybackRequest({3, 43, 0b111, 0, 0}));
  const auto more = Answer(*video);
  ASSERT_FALSE(more.empty());
  EXPECT_EQ(more.front().token, 43u);
  EXPECT_GT(more.front().time, Wall(At(5.5)));
  EXPECT_TRUE(test::Eventually([&] { return server->Server().LoggedInClients() == 1; }));
}

TEST_F(ArchiveOverWireTest, RecordingMakesTheArchiveGrow) {
  SimConfig config;
  config.archiveDir = dir_.filePath("recorded");
  config.record = true;
  config.archiveSpace = 4 * archive::kMiB;
  config.archiveFileSize = archive::kMiB;
  const auto server = Serve(config);
  const auto control = Login(server->ControlPort(), false);
  // Nobody watches live: the server records all the same.
  ASSERT_TRUE(test::Eventually([&] { return server->Server().Archive()->RecordedFrames() > 20; }));
  const auto first = Range(*control);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->cameraMask, 0b111u);
  ASSERT_TRUE(test::Eventually([&] {
    const auto later = Range(*control);
    return later && later->second > first->second;
  }));
  EXPECT_EQ(Range(*control)->first, first->first);

  // What was recorded plays back: each camera from a key frame.
  const auto video = Login(server->VideoPort(), true);
  video->Send(net::video_out::kPlaybackRequest, net::BuildPlaybackRequest({1, 3, 0b111, kAll, Range(*control)->second}));
  const auto frames = Answer(*video);
  ASSERT_GE(frames.size(), 3u);
  int lastCamera = -1;
  for (const auto& f : frames) {
    if (f.camera != lastCamera) {
      EXPECT_TRUE(f.flags & flag::kKey) << int(f.camera);
    }
    lastCamera = f.camera;
  }
}

TEST_F(ArchiveOverWireTest, HistoryFillsAnEmptyArchiveAndABadFolderStopsTheStart) {
  SimConfig config;
  config.archiveDir = dir_.filePath("history");
  config.history = std::chrono::seconds(3);
  config.cameraCount = 2;
  config.cameraWidth = 64;
  config.cameraHeight = 48;
  config.archiveSpace = 2 * archive::kMiB;
  config.archiveFileSize = archive::kMiB;
  std::string error;
  const uint64_t now = archive::ArchiveTimeNow();
  const auto history = SimArchive::Open(config, {}, &error);
  ASSERT_TRUE(history) << error;
  const net::ArchiveRange range = history->Range();
  EXPECT_EQ(range.cameraMask, 0b11u);
  EXPECT_LE(archive::FromWallClock(range.first), now - 2 * kUnitsPerSecond);
  EXPECT_GE(archive::FromWallClock(range.second), now - kUnitsPerSecond);

  // A folder that is a file: no archive, no server.
  QFile file(dir_.filePath("plain"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  config.archiveDir = file.fileName();
  SimServerThread server(config);
  EXPECT_FALSE(server.Start());
  EXPECT_FALSE(server.ErrorText().isEmpty());
}

}  // namespace
}  // namespace strixc::sim
