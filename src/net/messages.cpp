#include "net/messages.h"

#include <algorithm>

#include "net/wire.h"

namespace strixc::net {

using wire::FixedString;
using wire::U16;
using wire::U32;
using wire::U64;
using wire::Writer;

namespace {

Payload U32Payload(uint32_t v) {
  Payload p;
  Writer(p).U32(v);
  return p;
}

}  // namespace

// --- Login record and server description -------------------------------------------------------

Payload BuildLogin(const LoginRecord& login, bool videoChannel) {
  Payload p;
  p.reserve(kVideoLoginSize);
  Writer w(p);
  w.Fixed(login.user, kLoginFieldSize).Fixed(login.password, kLoginFieldSize);
  if (videoChannel) w.U8(0);
  return p;
}

std::optional<LoginRecord> ParseLogin(const uint8_t* p, size_t length, bool videoChannel) {
  if (length != (videoChannel ? kVideoLoginSize : kControlLoginSize)) return std::nullopt;
  return LoginRecord{FixedString(p, kLoginFieldSize, kNameLimit),
                     FixedString(p + kLoginFieldSize, kLoginFieldSize, kNameLimit)};
}

Payload BuildServerDescription(const ServerDescription& d) {
  Payload p;
  p.reserve(kServerDescriptionSize);
  Writer(p)
      .U32(d.accepted)
      .U32(d.version)
      .U32(d.cameraMask)
      .U32(d.secondMask)
      .U32(d.inputMask)
      .U32(d.outputMask)
      .Zeros(8)
      .U8(d.cameraCount)
      .U8(d.secondCount)
      .U8(d.byte34)
      .U8(d.byte35)
      .Fixed(d.name, kNameFieldSize);
  return p;
}

std::optional<ServerDescription> ParseServerDescription(const uint8_t* p, size_t length) {
  if (length != kServerDescriptionSize) return std::nullopt;
  ServerDescription d;
  d.accepted = U32(p);
  d.version = U32(p + 4);
  d.cameraMask = U32(p + 8);
  d.secondMask = U32(p + 12);
  d.inputMask = U32(p + 16);
  d.outputMask = U32(p + 20);
  d.cameraCount = p[32];
  d.secondCount = p[33];
  d.byte34 = p[34];
  d.byte35 = p[35];
  d.name = FixedString(p + 36, kNameFieldSize, kNameLimit);
  return d;
}

// --- Video channel, server to client ----------------------------------------------------------

Payload BuildCameraInfo(const CameraInfo& info) {
  Payload p;
  Writer(p).U8(info.camera).U32(info.dome).Fixed(info.name, kNameFieldSize);
  return p;
}

std::optional<CameraInfo> ParseCameraInfo(const uint8_t* p, size_t length) {
  if (length < kCameraInfoMinSize) return std::nullopt;
  return CameraInfo{p[0], U32(p + 1), FixedString(p + 5, kNameFieldSize, kNameFieldSize)};
}

Payload BuildIoState(const IoState& s) {
  Payload p;
  Writer(p).U32(s.inputs).U32(s.outputs);
  return p;
}

std::optional<IoState> ParseIoState(const uint8_t* p, size_t length) {
  if (length < kIoStateMinSize) return std::nullopt;
  return IoState{U32(p), U32(p + 4)};
}

Payload BuildPointName(const PointName& n) {
  Payload p;
  Writer(p).U8(n.index).Fixed(n.name, kNameFieldSize);
  return p;
}

std::optional<PointName> ParsePointName(const uint8_t* p, size_t length) {
  if (length < kPointNameMinSize) return std::nullopt;
  return PointName{p[0], FixedString(p + 1, kNameFieldSize, kNameLimit)};
}

FrameKind KindOfFrame(uint16_t flags) {
  if (flags & frame_flag::kKey) return FrameKind::kKey;
  if (flags & frame_flag::kDelta) return FrameKind::kDelta;
  if (flags & frame_flag::kEvent) return FrameKind::kEvent;
  return FrameKind::kNone;
}

Payload BuildFrame(const FrameHeader& h, const uint8_t* data, size_t n) {
  Payload p;
  p.reserve(kFrameHeaderSize + n);
  Writer(p)
      .U64(h.time)
      .U16(h.reserved)
      .U32(h.token)
      .U8(h.camera)
      .U16(h.flags)
      .U32(static_cast<uint32_t>(n))
      .Bytes(data, n);
  return p;
}

std::optional<FrameView> ParseFrame(const uint8_t* p, size_t length) {
  if (length < kFrameHeaderSize) return std::nullopt;
  FrameView f;
  f.header.time = U64(p);
  f.header.reserved = U16(p + 8);
  f.header.token = U32(p + 10);
  f.header.camera = p[14];
  f.header.flags = U16(p + 15);
  f.header.dataLength = U32(p + 17);
  if (f.header.dataLength != length - kFrameHeaderSize) return std::nullopt;
  f.data = p + kFrameHeaderSize;
  return f;
}

std::array<uint8_t, kEventRecordSize> BuildRemoteEventRecord(const uint8_t* text, size_t n) {
  std::array<uint8_t, kEventRecordSize> record{};
  size_t len = 0;
  const size_t limit = std::min(n, kRemoteEventTextLimit);
  while (len < limit && text[len] != 0) ++len;
  std::copy(text, text + len, record.begin() + kEventTextOffset);
  return record;
}

bool ExpandRunLength(const uint16_t* words, size_t count, std::vector<uint16_t>& out) {
  size_t i = 0;
  while (i < count) {
    const uint16_t control = words[i++];
    if (control < 0x8000) {
      if (control > count - i) return false;
      if (out.size() + control > kMaxExpandedList) return false;
      out.insert(out.end(), words + i, words + i + control);
      i += control;
    } else {
      // A repeat always owns its value word, even when it repeats it zero times.
      const size_t repeat = control & 0x7FFF;
      if (i >= count) return false;
      if (out.size() + repeat > kMaxExpandedList) return false;
      out.insert(out.end(), repeat, words[i++]);
    }
  }
  return true;
}

std::vector<uint16_t> CompressRunLength(const std::vector<uint16_t>& values) {
  std::vector<uint16_t> words;
  size_t i = 0;
  while (i < values.size()) {
    size_t run = 1;
    while (i + run < values.size() && values[i + run] == values[i] && run < 0x7FFF) ++run;
    if (run >= 3) {
      words.push_back(static_cast<uint16_t>(0x8000 | run));
      words.push_back(values[i]);
      i += run;
      continue;
    }
    // A literal stretch up to the next run of three equal values.
    size_t end = i;
    while (end < values.size() && end - i < 0x7FFF) {
      if (end + 2 < values.size() && values[end] == values[end + 1] && values[end] == values[end + 2])
        break;
      ++end;
    }
    words.push_back(static_cast<uint16_t>(end - i));
    words.insert(words.end(), values.begin() + static_cast<std::ptrdiff_t>(i),
                 values.begin() + static_cast<std::ptrdiff_t>(end));
    i = end;
  }
  return words;
}

Payload BuildArchiveMap(const ArchiveMap& map) {
  std::array<std::vector<uint16_t>, 3> compressed;
  size_t body = map.values.size() * 8;
  for (size_t k = 0; k < 3; ++k) {
    compressed[k] = CompressRunLength(map.lists[k]);
    body += compressed[k].size() * 2;
  }
  Payload p;
  p.reserve(kArchiveMapHeaderSize + body);
  Writer w(p);
  w.U64(map.start).U64(map.end).U64(map.time3).U64(map.time4);
  for (const auto& list : compressed) w.U32(static_cast<uint32_t>(list.size()));
  w.U32(static_cast<uint32_t>(body)).U32(map.reserved).U32(static_cast<uint32_t>(map.values.size()));
  for (const auto& list : compressed)
    for (uint16_t word : list) w.U16(word);
  for (uint64_t v : map.values) w.U64(v);
  return p;
}

std::optional<ArchiveMap> ParseArchiveMap(const uint8_t* p, size_t length) {
  if (length < kArchiveMapHeaderSize) return std::nullopt;
  const uint64_t bodyLength = U32(p + 44);
  if (length != kArchiveMapHeaderSize + bodyLength) return std::nullopt;
  const uint64_t counts[3] = {U32(p + 32), U32(p + 36), U32(p + 40)};
  const uint64_t valueCount = U32(p + 52);
  // 64-bit arithmetic: four u32 counts cannot overflow it.
  if ((counts[0] + counts[1] + counts[2]) * 2 + valueCount * 8 > bodyLength) return std::nullopt;

  ArchiveMap map;
  map.start = U64(p);
  map.end = U64(p + 8);
  map.time3 = U64(p + 16);
  map.time4 = U64(p + 24);
  map.reserved = U32(p + 48);
  const uint8_t* cursor = p + kArchiveMapHeaderSize;
  std::vector<uint16_t> words;
  for (size_t k = 0; k < 3; ++k) {
    words.resize(counts[k]);
    for (size_t i = 0; i < counts[k]; ++i) words[i] = U16(cursor + 2 * i);
    cursor += counts[k] * 2;
    if (!ExpandRunLength(words.data(), words.size(), map.lists[k])) return std::nullopt;
  }
  map.values.resize(valueCount);
  for (size_t i = 0; i < valueCount; ++i) map.values[i] = U64(cursor + 8 * i);
  return map;
}

Payload BuildBookmarkNotice(const BookmarkNotice& n) {
  Payload p;
  Writer(p).U64(n.time).U32(static_cast<uint32_t>(n.title.size() + 1)).Bytes(n.title.data(), n.title.size()).U8(0);
  return p;
}

std::optional<BookmarkNotice> ParseBookmarkNotice(const uint8_t* p, size_t length) {
  if (length < kBookmarkNoticeHeaderSize) return std::nullopt;
  const uint64_t textLength = U32(p + 8);
  if (length != kBookmarkNoticeHeaderSize + textLength) return std::nullopt;
  return BookmarkNotice{U64(p), FixedString(p + kBookmarkNoticeHeaderSize, textLength, textLength)};
}

// --- Video channel, client to server ----------------------------------------------------------

Payload BuildInfoRequest(uint8_t kind, uint8_t index) { return Payload{kind, index}; }

std::optional<InfoRequest> ParseInfoRequest(const uint8_t* p, size_t length) {
  if (length != kInfoRequestSize) return std::nullopt;
  return InfoRequest{p[0], p[1]};
}

Payload BuildKeepAlive() { return Payload{0}; }
Payload BuildTransmitSwitch(bool on) { return U32Payload(on ? 1 : 0); }
Payload BuildVisibleCameras(uint32_t mask) { return U32Payload(mask); }
Payload BuildArchiveOpen(bool open) { return Payload{static_cast<uint8_t>(open ? 1 : 0)}; }

Payload BuildKeyFrameRequest(uint32_t mask) {
  Payload p;
  Writer(p).U32(mask).U32(0);
  return p;
}

Payload BuildPlaybackControl(uint64_t time) {
  Payload p;
  Writer(p).U8(1).U64(time);
  return p;
}

Payload BuildSetQuality(uint32_t key, uint32_t delta) {
  Payload p;
  Writer(p).U32(key).U32(delta);
  return p;
}

std::optional<Quality> ParseSetQuality(const uint8_t* p, size_t length) {
  if (length != 8) return std::nullopt;
  return Quality{U32(p), U32(p + 4)};
}

Payload BuildArchiveMapRequest(const ArchiveMapRequest& r) {
  Payload p;
  Writer(p).U32(r.width).U64(r.start).U64(r.end);
  return p;
}

std::optional<ArchiveMapRequest> ParseArchiveMapRequest(const uint8_t* p, size_t length) {
  if (length != kArchiveMapRequestSize) return std::nullopt;
  return ArchiveMapRequest{U32(p), U64(p + 4), U64(p + 12)};
}

Payload BuildPlaybackRequest(const PlaybackRequestRecord& r) {
  Payload p;
  Writer(p).U8(r.mode).U32(r.token).U32(r.cameraMask).U32(r.argument).U64(r.time);
  return p;
}

std::optional<PlaybackRequestRecord> ParsePlaybackRequest(const uint8_t* p, size_t length) {
  if (length != kPlaybackRequestSize) return std::nullopt;
  return PlaybackRequestRecord{p[0], U32(p + 1), U32(p + 5), U32(p + 9), U64(p + 13)};
}

std::optional<uint32_t> ParseFirstU32(const uint8_t* p, size_t length) {
  if (length < 4) return std::nullopt;
  return U32(p);
}

// --- Control channel --------------------------------------------------------------------------

Payload BuildServerEvent(const ServerEvent& e) {
  Payload p;
  Writer(p).U32(e.kind).U32(e.index);
  return p;
}

std::optional<ServerEvent> ParseServerEvent(const uint8_t* p, size_t length) {
  if (length != kServerEventSize) return std::nullopt;
  return ServerEvent{U32(p), U32(p + 4)};
}

Payload BuildSetOutput(uint8_t output, bool on) {
  return Payload{output, static_cast<uint8_t>(on ? 1 : 0)};
}

std::optional<SetOutputRequest> ParseSetOutput(const uint8_t* p, size_t length) {
  if (length != kSetOutputSize) return std::nullopt;
  return SetOutputRequest{p[0], p[1]};
}

Payload BuildDomeCommand(const DomeCommandRecord& r) {
  Payload p;
  Writer w(p);
  w.U16(r.camera).U16(r.code);
  for (double v : r.params) w.F64(v);
  return p;
}

std::optional<DomeCommandRecord> ParseDomeCommand(const uint8_t* p, size_t length) {
  if (length != kDomeCommandSize) return std::nullopt;
  DomeCommandRecord r;
  r.camera = U16(p);
  r.code = U16(p + 2);
  for (size_t i = 0; i < r.params.size(); ++i) r.params[i] = wire::F64(p + 4 + 8 * i);
  return r;
}

Payload BuildArchiveRangeRequest() { return U32Payload(0); }

Payload BuildArchiveRange(const ArchiveRange& r) {
  Payload p;
  Writer(p).U32(r.cameraMask).U64(r.first).U64(r.second);
  return p;
}

std::optional<ArchiveRange> ParseArchiveRange(const uint8_t* p, size_t length) {
  if (length != kArchiveRangeSize) return std::nullopt;
  return ArchiveRange{U32(p), U64(p + 4), U64(p + 12)};
}

Payload BuildBookmarkEdit(const BookmarkEditRecord& r) {
  Payload p;
  Writer(p).U8(r.operation).U64(r.time).Fixed(r.title, kBookmarkTitleSize);
  return p;
}

std::optional<BookmarkEditRecord> ParseBookmarkEdit(const uint8_t* p, size_t length) {
  if (length != kBookmarkEditSize) return std::nullopt;
  return BookmarkEditRecord{p[0], U64(p + 1), FixedString(p + 9, kBookmarkTitleSize, kBookmarkTitleSize - 1)};
}

Payload BuildReplyByte(uint8_t value) { return Payload{value}; }

}  // namespace strixc::net
