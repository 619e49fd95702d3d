#include <gtest/gtest.h>

#include "net/messages.h"
#include "net/stream_buffer.h"
#include "net/wire.h"

namespace strixc::net {
namespace {

// --- StreamBuffer -------------------------------------------------------------------------------

TEST(StreamBufferTest, KeepsUnconsumedBytesContiguousAndCompactsOnlyPastThreshold) {
  StreamBuffer buffer;
  std::vector<uint8_t> chunk(15000);
  for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<uint8_t>(i);
  buffer.Append(chunk.data(), chunk.size());
  buffer.Append(chunk.data(), chunk.size());

  buffer.Consume(15000);
  EXPECT_EQ(buffer.ReadOffset(), 15000u) << "no copy before 20000 consumed bytes";
  buffer.Consume(5001);
  EXPECT_EQ(buffer.ReadOffset(), 0u) << "compacted once past 20000";
  ASSERT_EQ(buffer.Size(), 9999u);
  EXPECT_EQ(buffer.Data()[0], static_cast<uint8_t>(5001));
  EXPECT_EQ(buffer.Data()[9998], static_cast<uint8_t>(14999));
}

TEST(StreamBufferTest, GrowsInStepsAndConsumeNeverPassesTheEnd) {
  StreamBuffer buffer;
  uint8_t byte = 7;
  buffer.Append(&byte, 1);
  EXPECT_EQ(buffer.Capacity(), StreamBuffer::kGrowStep);
  buffer.Consume(10);
  EXPECT_TRUE(buffer.Empty());
  std::vector<uint8_t> big(45000, 1);
  buffer.Append(big.data(), big.size());
  EXPECT_EQ(buffer.Capacity(), 3 * StreamBuffer::kGrowStep);
  EXPECT_EQ(buffer.Size(), 45000u);
}

// --- Run-length lists and the archive map ------------------------------------------------------

TEST(RunLengthTest, ExpandsLiteralsAndRepeats) {
  const uint16_t words[] = {3, 7, 8, 9, 0x8004, 5};
  std::vector<uint16_t> out;
  ASSERT_TRUE(ExpandRunLength(words, 6, out));
  EXPECT_EQ(out, (std::vector<uint16_t>{7, 8, 9, 5, 5, 5, 5}));

  // An empty literal is one word; a repeat of zero still owns its value word.
  const uint16_t zeros[] = {0, 0x8000, 1, 2, 4, 5};
  out.clear();
  ASSERT_TRUE(ExpandRunLength(zeros, 6, out));
  EXPECT_EQ(out, (std::vector<uint16_t>{4, 5}));
}

TEST(RunLengthTest, RejectsRunsPastTheListAndExpansionBombs) {
  std::vector<uint16_t> out;
  const uint16_t literal[] = {5, 1, 2};
  EXPECT_FALSE(ExpandRunLength(literal, 3, out));
  const uint16_t repeat[] = {0x8003};
  EXPECT_FALSE(ExpandRunLength(repeat, 1, out));
  const uint16_t emptyRepeat[] = {0x8000};
  EXPECT_FALSE(ExpandRunLength(emptyRepeat, 1, out));
  // 200 words asking for 0x7FFF repeats each: 3.2 million values from 400 bytes.
  std::vector<uint16_t> bomb;
  for (int i = 0; i < 100; ++i) bomb.insert(bomb.end(), {0xFFFF, 1});
  out.clear();
  EXPECT_FALSE(ExpandRunLength(bomb.data(), bomb.size(), out));
}

TEST(RunLengthTest, CompressedListsExpandBack) {
  std::vector<uint16_t> values;
  for (int i = 0; i < 300; ++i) values.push_back(static_cast<uint16_t>(i < 100 ? 0 : i % 7 == 0 ? 3 : i));
  values.insert(values.end(), 40000, 9);
  std::vector<uint16_t> out;
  const auto words = CompressRunLength(values);
  ASSERT_TRUE(ExpandRunLength(words.data(), words.size(), out));
  EXPECT_EQ(out, values);
}

TEST(ArchiveMapTest, RoundTripsAndChecksTheBody) {
  ArchiveMap map;
  map.start = 1000;
  map.end = 2000;
  map.time3 = 3;
  map.time4 = 4;
  map.lists[0] = {1, 1, 1, 1, 2};
  map.lists[2] = {5};
  map.values = {0xFFFFFFFFFFull, 7};
  Payload p = BuildArchiveMap(map);
  const auto parsed = ParseArchiveMap(p.data(), p.size());
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->start, 1000u);
  EXPECT_EQ(parsed->end, 2000u);
  EXPECT_EQ(parsed->lists[0], map.lists[0]);
  EXPECT_TRUE(parsed->lists[1].empty());
  EXPECT_EQ(parsed->lists[2], map.lists[2]);
  EXPECT_EQ(parsed->values, map.values);

  // The message length must equal 56 + the body length.
  Payload longer = p;
  longer.push_back(0);
  EXPECT_FALSE(ParseArchiveMap(longer.data(), longer.size()));
  EXPECT_FALSE(ParseArchiveMap(p.data(), 55));
  // Counts that claim more than the body holds.
  Payload lying = p;
  lying[52] = 200;
  EXPECT_FALSE(ParseArchiveMap(lying.data(), lying.size()));
  lying = p;
  lying[35] = 0x80;  // list 1 claims 2^31 words: must not overflow into a small size
  EXPECT_FALSE(ParseArchiveMap(lying.data(), lying.size()));
}

TEST(ArchiveMapTest, ZeroRepeatInsideAListKeepsTheRestInStep) {
  // As a server writes it: list 1 = [0x8000 9] [2: 7 8] [0x8002 5], list 3 = [1: 6], one value.
  const std::vector<uint16_t> list1 = {0x8000, 9, 2, 7, 8, 0x8002, 5};
  const std::vector<uint16_t> list3 = {1, 6};
  const uint32_t body = static_cast<uint32_t>(2 * (list1.size() + list3.size()) + 8);
  Payload p;
  wire::Writer w(p);
  w.U64(1000).U64(2000).U64(0).U64(0);
  w.U32(static_cast<uint32_t>(list1.size())).U32(0).U32(static_cast<uint32_t>(list3.size()));
  w.U32(body).U32(0).U32(1);
  for (uint16_t word : list1) w.U16(word);
  for (uint16_t word : list3) w.U16(word);
  w.U64(77);

  const auto map = ParseArchiveMap(p.data(), p.size());
  ASSERT_TRUE(map) << "a valid map must not close the channel";
  EXPECT_EQ(map->lists[0], (std::vector<uint16_t>{7, 8, 5, 5}));
  EXPECT_TRUE(map->lists[1].empty());
  EXPECT_EQ(map->lists[2], (std::vector<uint16_t>{6}));
  EXPECT_EQ(map->values, (std::vector<uint64_t>{77}));
}

// --- Length checks of the received messages ----------------------------------------------------

TEST(MessageChecksTest, ServerDescriptionIsExactly66Bytes) {
  ServerDescription d;
  d.accepted = 1;
  d.version = 5;
  d.cameraMask = 0xFF;
  d.cameraCount = 8;
  d.name = "Server";
  Payload p = BuildServerDescription(d);
  ASSERT_EQ(p.size(), 66u);
  ASSERT_TRUE(ParseServerDescription(p.data(), 66));
  EXPECT_EQ(ParseServerDescription(p.data(), 66)->name, "Server");
  EXPECT_FALSE(ParseServerDescription(p.data(), 65));
  p.push_back(0);
  EXPECT_FALSE(ParseServerDescription(p.data(), 67));
}

TEST(MessageChecksTest, NamesStayInsideTheirFieldsWithoutTerminator) {
  Payload p(66, 'A');
  const auto d = ParseServerDescription(p.data(), p.size());
  ASSERT_TRUE(d);
  EXPECT_EQ(d->name, std::string(29, 'A'));

  Payload name(31, 'B');
  name[0] = 3;
  ASSERT_TRUE(ParsePointName(name.data(), name.size()));
  EXPECT_EQ(ParsePointName(name.data(), name.size())->name, std::string(29, 'B'));
  EXPECT_FALSE(ParsePointName(name.data(), 30));

  Payload camera(35, 'C');
  camera[0] = 1;
  ASSERT_TRUE(ParseCameraInfo(camera.data(), camera.size()));
  EXPECT_EQ(ParseCameraInfo(camera.data(), camera.size())->name.size(), 30u);
  EXPECT_FALSE(ParseCameraInfo(camera.data(), 34));
}

TEST(MessageChecksTest, FrameDataLengthMustMatchTheMessage) {
  FrameHeader h;
  h.time = 0x0123456789ABCDEFull;
  h.camera = 3;
  h.flags = frame_flag::kLive | frame_flag::kKey;
  const uint8_t data[5] = {1, 2, 3, 4, 5};
  Payload p = BuildFrame(h, data, 5);
  ASSERT_EQ(p.size(), 26u);
  const auto f = ParseFrame(p.data(), p.size());
  ASSERT_TRUE(f);
  EXPECT_EQ(f->header.time, h.time);
  EXPECT_EQ(f->header.camera, 3);
  EXPECT_EQ(f->data[4], 5);
  EXPECT_FALSE(ParseFrame(p.data(), 25));
  EXPECT_FALSE(ParseFrame(p.data(), 20));
  p[17] = 4;  // data length field disagrees with the message
  EXPECT_FALSE(ParseFrame(p.data(), p.size()));
}

TEST(MessageChecksTest, FrameKindIsTheFirstKindBitSet) {
  EXPECT_EQ(KindOfFrame(frame_flag::kKey | frame_flag::kEvent), FrameKind::kKey);
  EXPECT_EQ(KindOfFrame(frame_flag::kDelta | frame_flag::kEvent), FrameKind::kDelta);
  EXPECT_EQ(KindOfFrame(frame_flag::kEvent | frame_flag::kLive), FrameKind::kEvent);
  EXPECT_EQ(KindOfFrame(frame_flag::kLive | frame_flag::kMarker), FrameKind::kNone);
}

TEST(MessageChecksTest, BookmarkNoticeTextLength) {
  Payload p = BuildBookmarkNotice({42, "Gate"});
  const auto n = ParseBookmarkNotice(p.data(), p.size());
  ASSERT_TRUE(n);
  EXPECT_EQ(n->time, 42u);
  EXPECT_EQ(n->title, "Gate");
  EXPECT_FALSE(ParseBookmarkNotice(p.data(), p.size() - 1));
  Payload empty = {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  ASSERT_TRUE(ParseBookmarkNotice(empty.data(), empty.size()));
  EXPECT_EQ(ParseBookmarkNotice(empty.data(), empty.size())->title, "");
}

TEST(MessageChecksTest, RemoteEventTextBecomesAnEventRecord) {
  const auto record = BuildRemoteEventRecord(reinterpret_cast<const uint8_t*>("abc"), 3);
  ASSERT_EQ(record.size(), 392u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(record.data() + 4), 3), "abc");
  size_t nonZero = 0;
  for (uint8_t b : record) nonZero += b != 0;
  EXPECT_EQ(nonZero, 3u);
  const std::string longText(300, 'x');
  const auto cut = BuildRemoteEventRecord(reinterpret_cast<const uint8_t*>(longText.data()), longText.size());
  EXPECT_EQ(cut[4 + 98], 'x');
  EXPECT_EQ(cut[4 + 99], 0);
}

// --- What the client sends ----------------------------------------------------------------------

TEST(ClientMessagesTest, FixedLayouts) {
  const Payload login = BuildLogin({std::string(40, 'u'), "secret"}, true);
  ASSERT_EQ(login.size(), 61u);
  EXPECT_EQ(login[28], 'u');
  EXPECT_EQ(login[29], 0) << "at most 29 characters, always terminated";
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&login[30])), "secret");
  EXPECT_EQ(login[60], 0);
  EXPECT_EQ(BuildLogin({"a", "b"}, false).size(), 60u);

  EXPECT_EQ(BuildKeepAlive(), Payload{0});
  EXPECT_EQ(BuildKeyFrameRequest(0xFFFFFFFF), (Payload{0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}));
  EXPECT_EQ(BuildArchiveMapRequest({640, 1, 2}).size(), 20u);
  EXPECT_EQ(BuildPlaybackControl(5).size(), 9u);
  EXPECT_EQ(BuildPlaybackControl(5)[0], 1);
  const PlaybackRequestRecord request{2, 7, 0xF, 3, 0x1122334455667788ull};
  const Payload playback = BuildPlaybackRequest(request);
  ASSERT_EQ(playback.size(), 21u);
  EXPECT_EQ(ParsePlaybackRequest(playback.data(), 21)->time, request.time);

  DomeCommandRecord dome;
  dome.camera = 2;
  dome.code = 9;
  dome.params = {1.5, -2, 0, 0, 0, 1e9};
  const Payload domePayload = BuildDomeCommand(dome);
  ASSERT_EQ(domePayload.size(), 52u);
  const auto back = ParseDomeCommand(domePayload.data(), 52);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->params[0], 1.5);
  EXPECT_EQ(back->params[5], 1e9);

  const Payload edit = BuildBookmarkEdit({bookmark_op::kAdd, 77, std::string(150, 't')});
  ASSERT_EQ(edit.size(), 109u);
  EXPECT_EQ(ParseBookmarkEdit(edit.data(), 109)->title.size(), 99u);
}

}  // namespace
}  // namespace strixc::net
