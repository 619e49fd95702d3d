// The received byte stream of either channel: the framing over a StreamBuffer that is fed in
// chunks of varying size, and every complete message handed to the parsers of its code. Each
// payload a parser accepts must also survive the trip through its builder: building the parsed
// record and parsing that again gives the same bytes once more.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "fuzz_check.h"
#include "net/framing.h"
#include "net/messages.h"
#include "net/protocol.h"
#include "net/stream_buffer.h"

namespace strixc::net {
namespace {

using fuzz::InputReader;

template <class Parse, class Build>
void CheckParser(const uint8_t* p, size_t n, Parse parse, Build build) {
  const auto first = parse(p, n);
  if (!first) return;
  const Payload once = build(*first);
  const auto second = parse(once.data(), once.size());
  FUZZ_CHECK(second.has_value());
  FUZZ_CHECK(build(*second) == once);
}

void ParseFrameMessage(const uint8_t* p, size_t n) {
  const auto frame = ParseFrame(p, n);
  if (!frame) return;
  FUZZ_CHECK(frame->header.dataLength == n - kFrameHeaderSize);
  const Payload rebuilt = BuildFrame(frame->header, frame->data, frame->header.dataLength);
  FUZZ_CHECK(rebuilt.size() == n && std::equal(rebuilt.begin(), rebuilt.end(), p));
  if (KindOfFrame(frame->header.flags) == FrameKind::kEvent) {
    const auto record = BuildRemoteEventRecord(frame->data, frame->header.dataLength);
    FUZZ_CHECK(record[kEventTextOffset + kRemoteEventTextLimit] == 0);
  }
}

void ParseArchiveMapMessage(const uint8_t* p, size_t n) {
  CheckParser(p, n, ParseArchiveMap, BuildArchiveMap);
  if (const auto map = ParseArchiveMap(p, n)) {
    for (const auto& list : map->lists) FUZZ_CHECK(list.size() <= kMaxExpandedList);
  }
}

// Every parser that reads a message of this code, on either channel and in either direction (the
// client's parsers and those of the simulator that plays the server).
void Dispatch(uint32_t code, const uint8_t* p, size_t n) {
  switch (code) {
    case video_out::kLogin:
      CheckParser(p, n, [](const uint8_t* q, size_t m) { return ParseLogin(q, m, true); },
                  [](const LoginRecord& r) { return BuildLogin(r, true); });
      break;
    case video_in::kLoginReply:
    case control::kLoginReply:
      CheckParser(p, n, ParseServerDescription, BuildServerDescription);
      break;
    case video_out::kInfoRequest:
      CheckParser(p, n, ParseInfoRequest, [](const InfoRequest& r) { return BuildInfoRequest(r.kind, r.index); });
      break;
    case video_in::kCameraInfo:
      CheckParser(p, n, ParseCameraInfo, BuildCameraInfo);
      break;
    case video_in::kIoState:
      CheckParser(p, n, ParseIoState, BuildIoState);
      break;
    case video_in::kInputName:
    case video_in::kOutputName:
      CheckParser(p, n, ParsePointName, BuildPointName);
      break;
    case video_in::kKeepAlive:  // also the control channel's ServerEvent
      CheckParser(p, n, ParseServerEvent, BuildServerEvent);
      break;
    case video_out::kTransmitSwitch:
    case video_out::kVisibleCameras:
    case control::kArchiveRangeRequest:
      CheckParser(p, n, ParseFirstU32, BuildVisibleCameras);
      break;
    case video_out::kSetQuality:
      CheckParser(p, n, ParseSetQuality, [](const Quality& q) { return BuildSetQuality(q.key, q.delta); });
      break;
    case video_in::kFrame:
      ParseFrameMessage(p, n);
      break;
    case video_out::kArchiveMapRequest:
      CheckParser(p, n, ParseArchiveMapRequest, BuildArchiveMapRequest);
      break;
    case video_in::kArchiveMap:
      ParseArchiveMapMessage(p, n);
      break;
    case video_out::kPlaybackRequest:
      CheckParser(p, n, ParsePlaybackRequest, BuildPlaybackRequest);
      break;
    case video_in::kBookmarkNotice:  // also the control channel's Login
      CheckParser(p, n, ParseBookmarkNotice, BuildBookmarkNotice);
      CheckParser(p, n, [](const uint8_t* q, size_t m) { return ParseLogin(q, m, false); },
                  [](const LoginRecord& r) { return BuildLogin(r, false); });
      break;
    case control::kSetOutput:
      CheckParser(p, n, ParseSetOutput,
                  [](const SetOutputRequest& r) { return BuildSetOutput(r.output, r.state != 0); });
      break;
    case control::kDomeCommand:  // also the video channel's KeyFrameRequest
      CheckParser(p, n, ParseDomeCommand, BuildDomeCommand);
      CheckParser(p, n, ParseFirstU32, BuildKeyFrameRequest);
      break;
    case control::kArchiveRange:
      CheckParser(p, n, ParseArchiveRange, BuildArchiveRange);
      break;
    case control::kBookmarkEdit:
      CheckParser(p, n, ParseBookmarkEdit, BuildBookmarkEdit);
      break;
    default:
      break;
  }
}

}  // namespace
}  // namespace strixc::net

// Input: one byte choosing the receive limit (bit 0: a control reply's, else the video channel's)
// and the chunk sizes the stream arrives in (the other bits), then the byte stream itself.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace strixc::net;
  strixc::fuzz::InputReader in(data, size);
  const uint32_t mode = in.Number(1);
  const uint32_t limit = (mode & 1) ? kMaxReplyLength : kMaxMessageLength;
  static constexpr size_t kChunks[] = {1, 3, 8, 29, 4096, 20001, 65536};
  size_t chunkIndex = mode >> 1;
  size_t streamSize = 0;
  const uint8_t* stream = in.Rest(&streamSize);

  StreamBuffer buffer;
  size_t fed = 0;
  size_t consumed = 0;
  while (fed < streamSize) {
    const size_t chunk = std::min(kChunks[chunkIndex++ % std::size(kChunks)], streamSize - fed);
    buffer.Append(stream + fed, chunk);
    fed += chunk;
    for (;;) {
      FramedMessage m;
      const FrameStatus status = PeekMessage(buffer, limit, &m);
      if (status == FrameStatus::kIncomplete) break;
      if (status == FrameStatus::kTooLong) return 0;  // the channel closes
      FUZZ_CHECK(m.length <= limit);
      // The buffer hands out exactly the bytes of the stream, in order.
      FUZZ_CHECK(std::equal(m.payload, m.payload + m.length, stream + consumed + kHeaderSize));
      Dispatch(m.code, m.payload, m.length);
      buffer.Consume(kHeaderSize + m.length);
      consumed += kHeaderSize + m.length;
    }
    FUZZ_CHECK(buffer.Size() == fed - consumed);
  }
  return 0;
}
