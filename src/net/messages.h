#pragma once

// Builders and parsers of every message payload of both channels, over plain bytes. Builders return
// the payload only (the socket adds the header). Parsers check lengths exactly as the receiving side
// must and return std::nullopt for a payload that fails its check; they never read beyond `length`.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/protocol.h"

namespace strixc::net {

using Payload = std::vector<uint8_t>;

// --- Login record and server description -------------------------------------------------------

struct LoginRecord {
  std::string user;
  std::string password;
};

// 61 bytes for the video channel (a trailing zero byte), 60 for the control channel. User name and
// password are cut to 29 characters each.
Payload BuildLogin(const LoginRecord& login, bool videoChannel);
std::optional<LoginRecord> ParseLogin(const uint8_t* p, size_t length, bool videoChannel);

struct ServerDescription {
  uint32_t accepted = 0;
  uint32_t version = 0;
  uint32_t cameraMask = 0;
  uint32_t secondMask = 0;
  uint32_t inputMask = 0;
  uint32_t outputMask = 0;
  uint8_t cameraCount = 0;
  uint8_t secondCount = 0;
  uint8_t byte34 = 0;
  uint8_t byte35 = 0;
  std::string name;  // at most 29 characters
};

Payload BuildServerDescription(const ServerDescription& d);
// Exactly kServerDescriptionSize bytes.
std::optional<ServerDescription> ParseServerDescription(const uint8_t* p, size_t length);

// --- Video channel, server to client ----------------------------------------------------------

struct CameraInfo {
  uint8_t camera = 0;
  uint32_t dome = 0;
  std::string name;
};
Payload BuildCameraInfo(const CameraInfo& info);
std::optional<CameraInfo> ParseCameraInfo(const uint8_t* p, size_t length);  // at least 35

struct IoState {
  uint32_t inputs = 0;
  uint32_t outputs = 0;
};
Payload BuildIoState(const IoState& s);
std::optional<IoState> ParseIoState(const uint8_t* p, size_t length);  // at least 8

// InputName and OutputName share one layout: u8 index, char[30] name.
struct PointName {
  uint8_t index = 0;
  std::string name;  // at most 29 characters
};
Payload BuildPointName(const PointName& n);
std::optional<PointName> ParsePointName(const uint8_t* p, size_t length);  // at least 31

struct FrameHeader {
  uint64_t time = 0;
  uint16_t reserved = 0;
  uint32_t token = 0;
  uint8_t camera = 0;
  uint16_t flags = 0;
  uint32_t dataLength = 0;
};

// A received frame: the header and a view of its data inside the payload.
struct FrameView {
  FrameHeader header;
  const uint8_t* data = nullptr;
};

enum class FrameKind { kNone = 0, kKey = 1, kDelta = 2, kEvent = 3 };
// The first of the key, delta and event bits that is set, in that order.
FrameKind KindOfFrame(uint16_t flags);

Payload BuildFrame(const FrameHeader& header, const uint8_t* data, size_t n);
// At least 21 bytes and exactly 21 + the data length field.
std::optional<FrameView> ParseFrame(const uint8_t* p, size_t length);

// The 392-byte event record a remote-archive event text becomes: the text (at most 99 characters,
// up to its first zero byte) at offset 4, every other byte zero.
std::array<uint8_t, kEventRecordSize> BuildRemoteEventRecord(const uint8_t* text, size_t n);

struct ArchiveMap {
  uint64_t start = 0;
  uint64_t end = 0;
  uint64_t time3 = 0;
  uint64_t time4 = 0;
  uint32_t reserved = 0;
  std::array<std::vector<uint16_t>, 3> lists;  // expanded run-length lists
  std::vector<uint64_t> values;
};
// Upper bound on the number of values one run-length list may expand to. A list of a few words can
// ask for millions of repeats; a map is a timeline of at most a few thousand slots, so anything
// larger is a malformed message rather than a picture to draw.
constexpr size_t kMaxExpandedList = 1 << 20;

// Expands one run-length list: a control word below 0x8000 copies the next w words literally, one at
// or above repeats the next word (w & 0x7FFF) times. Returns false when the list ends inside a run or
// expands past kMaxExpandedList; `out` then holds what was expanded so far.
bool ExpandRunLength(const uint16_t* words, size_t count, std::vector<uint16_t>& out);
// Compresses values into a run-length list that ExpandRunLength turns back into them.
std::vector<uint16_t> CompressRunLength(const std::vector<uint16_t>& values);

Payload BuildArchiveMap(const ArchiveMap& map);
// At least 56 bytes, exactly 56 + the body length field, and the lists and values inside the body.
std::optional<ArchiveMap> ParseArchiveMap(const uint8_t* p, size_t length);

struct BookmarkNotice {
  uint64_t time = 0;
  std::string title;
};
Payload BuildBookmarkNotice(const BookmarkNotice& n);
// At least 12 bytes and exactly 12 + the text length field.
std::optional<BookmarkNotice> ParseBookmarkNotice(const uint8_t* p, size_t length);

// --- Video channel, client to server ----------------------------------------------------------

struct InfoRequest {
  uint8_t kind = 0;
  uint8_t index = 0;
};
Payload BuildInfoRequest(uint8_t kind, uint8_t index);
std::optional<InfoRequest> ParseInfoRequest(const uint8_t* p, size_t length);

Payload BuildKeepAlive();
Payload BuildTransmitSwitch(bool on);
Payload BuildVisibleCameras(uint32_t mask);
Payload BuildKeyFrameRequest(uint32_t mask);
Payload BuildArchiveOpen(bool open);
Payload BuildPlaybackControl(uint64_t time);

struct Quality {
  uint32_t key = 0;
  uint32_t delta = 0;
};
Payload BuildSetQuality(uint32_t key, uint32_t delta);
std::optional<Quality> ParseSetQuality(const uint8_t* p, size_t length);

struct ArchiveMapRequest {
  uint32_t width = 0;
  uint64_t start = 0;
  uint64_t end = 0;
};
Payload BuildArchiveMapRequest(const ArchiveMapRequest& r);
std::optional<ArchiveMapRequest> ParseArchiveMapRequest(const uint8_t* p, size_t length);

struct PlaybackRequestRecord {
  uint8_t mode = 0;
  uint32_t token = 0;
  uint32_t cameraMask = 0;
  uint32_t argument = 0;
  uint64_t time = 0;
};
Payload BuildPlaybackRequest(const PlaybackRequestRecord& r);
std::optional<PlaybackRequestRecord> ParsePlaybackRequest(const uint8_t* p, size_t length);

// The first u32 of a payload of at least 4 bytes (TransmitSwitch, VisibleCameras, KeyFrameRequest).
std::optional<uint32_t> ParseFirstU32(const uint8_t* p, size_t length);

// --- Control channel --------------------------------------------------------------------------

struct ServerEvent {
  uint32_t kind = 0;
  uint32_t index = 0;
};
Payload BuildServerEvent(const ServerEvent& e);
std::optional<ServerEvent> ParseServerEvent(const uint8_t* p, size_t length);  // exactly 8

struct SetOutputRequest {
  uint8_t output = 0;
  uint8_t state = 0;
};
Payload BuildSetOutput(uint8_t output, bool on);
std::optional<SetOutputRequest> ParseSetOutput(const uint8_t* p, size_t length);

struct DomeCommandRecord {
  uint16_t camera = 0;
  uint16_t code = 0;
  std::array<double, 6> params{};
};
Payload BuildDomeCommand(const DomeCommandRecord& r);
std::optional<DomeCommandRecord> ParseDomeCommand(const uint8_t* p, size_t length);

Payload BuildArchiveRangeRequest();

struct ArchiveRange {
  uint32_t cameraMask = 0;
  uint64_t first = 0;
  uint64_t second = 0;
};
Payload BuildArchiveRange(const ArchiveRange& r);
std::optional<ArchiveRange> ParseArchiveRange(const uint8_t* p, size_t length);  // exactly 20

namespace bookmark_op {
constexpr uint8_t kAdd = 1;
constexpr uint8_t kRemove = 2;
}  // namespace bookmark_op

struct BookmarkEditRecord {
  uint8_t operation = 0;
  uint64_t time = 0;
  std::string title;  // at most 99 characters; empty for removal
};
Payload BuildBookmarkEdit(const BookmarkEditRecord& r);
std::optional<BookmarkEditRecord> ParseBookmarkEdit(const uint8_t* p, size_t length);

// A one-byte reply (SetOutputReply, DomeCommandReply, BookmarkEditReply).
Payload BuildReplyByte(uint8_t value);

}  // namespace strixc::net
