#pragma once

// Message codes, fixed sizes and limits of the server protocol. Both channels share one framing: an
// 8-byte header (u32 code, u32 payload length) and the payload. See docs/protocol.md.

#include <cstddef>
#include <cstdint>

namespace strixc::net {

constexpr size_t kHeaderSize = 8;
// Receive limits: a longer message closes the channel. While a control-channel request waits for
// its reply only short messages are plausible, so the limit is tighter.
constexpr uint32_t kMaxMessageLength = 1000000;
constexpr uint32_t kMaxReplyLength = 10000;
// Socket reads are done in chunks of at most this many bytes.
constexpr size_t kReadChunk = 4096;

// Video channel, client to server.
namespace video_out {
constexpr uint32_t kLogin = 3;
constexpr uint32_t kInfoRequest = 5;
constexpr uint32_t kKeepAlive = 10;
constexpr uint32_t kTransmitSwitch = 11;
constexpr uint32_t kSetQuality = 12;
constexpr uint32_t kVisibleCameras = 13;
constexpr uint32_t kArchiveOpen = 15;
constexpr uint32_t kArchiveMapRequest = 16;
constexpr uint32_t kPlaybackRequest = 18;
constexpr uint32_t kPlaybackControl = 19;
constexpr uint32_t kKeyFrameRequest = 24;
}  // namespace video_out

// Video channel, server to client.
namespace video_in {
constexpr uint32_t kLoginReply = 4;
constexpr uint32_t kCameraInfo = 6;
constexpr uint32_t kIoState = 7;
constexpr uint32_t kInputName = 8;
constexpr uint32_t kOutputName = 9;
constexpr uint32_t kKeepAlive = 10;
constexpr uint32_t kFrame = 14;
constexpr uint32_t kArchiveMap = 17;
constexpr uint32_t kBookmarkNotice = 20;
}  // namespace video_in

// Control channel: requests and their replies, and the one unsolicited message.
namespace control {
constexpr uint32_t kLogin = 20;
constexpr uint32_t kLoginReply = 21;
constexpr uint32_t kSetOutput = 22;
constexpr uint32_t kSetOutputReply = 23;
constexpr uint32_t kDomeCommand = 24;
constexpr uint32_t kDomeCommandReply = 25;
constexpr uint32_t kArchiveRangeRequest = 26;
constexpr uint32_t kArchiveRange = 27;
constexpr uint32_t kBookmarkEdit = 28;
constexpr uint32_t kBookmarkEditReply = 29;
constexpr uint32_t kServerEvent = 10;
}  // namespace control

// Payload sizes.
constexpr size_t kVideoLoginSize = 61;
constexpr size_t kControlLoginSize = 60;
constexpr size_t kServerDescriptionSize = 66;
constexpr size_t kInfoRequestSize = 2;
constexpr size_t kCameraInfoMinSize = 35;
constexpr size_t kIoStateMinSize = 8;
constexpr size_t kPointNameMinSize = 31;
constexpr size_t kFrameHeaderSize = 21;
constexpr size_t kArchiveMapHeaderSize = 56;
constexpr size_t kBookmarkNoticeHeaderSize = 12;
constexpr size_t kArchiveMapRequestSize = 20;
constexpr size_t kPlaybackRequestSize = 21;
constexpr size_t kPlaybackControlSize = 9;
constexpr size_t kServerEventSize = 8;
constexpr size_t kSetOutputSize = 2;
constexpr size_t kDomeCommandSize = 52;
constexpr size_t kArchiveRangeRequestSize = 4;
constexpr size_t kArchiveRangeSize = 20;
constexpr size_t kBookmarkEditSize = 109;
constexpr size_t kControlReplyByteSize = 1;

// Field widths.
constexpr size_t kLoginFieldSize = 30;  // user name and password, each at most 29 characters
constexpr size_t kNameFieldSize = 30;   // camera, input, output and server names
constexpr size_t kNameLimit = 29;
constexpr size_t kBookmarkTitleSize = 100;
constexpr size_t kRemoteEventTextLimit = 99;
// The archive's event record that a remote event text is wrapped into: u32 flag, text at offset 4.
constexpr size_t kEventRecordSize = 392;
constexpr size_t kEventTextOffset = 4;

constexpr int kCameraCount = 16;
constexpr int kInputCount = 16;
constexpr int kOutputCount = 12;

// Protocol versions this client understands.
constexpr uint32_t kMinProtocolVersion = 1;
constexpr uint32_t kMaxProtocolVersion = 5;

// Frame flags (low byte of the u16 at offset 15 of the frame header).
namespace frame_flag {
constexpr uint16_t kKey = 0x01;
constexpr uint16_t kDelta = 0x02;
constexpr uint16_t kEvent = 0x04;
constexpr uint16_t kNoPicture = 0x08;
constexpr uint16_t kLive = 0x10;
constexpr uint16_t kRemote = 0x20;
constexpr uint16_t kMarker = 0x40;
constexpr uint16_t kLast = 0x80;
}  // namespace frame_flag

// Server event kinds.
namespace server_event {
constexpr uint32_t kOutputOn = 10;
constexpr uint32_t kOutputOff = 11;
constexpr uint32_t kInputOn = 12;
constexpr uint32_t kInputOff = 13;
constexpr uint32_t kCameraChanged = 14;
}  // namespace server_event

// InfoRequest kinds.
namespace info_kind {
constexpr uint8_t kCamera = 1;
constexpr uint8_t kInput = 2;
constexpr uint8_t kOutput = 3;
constexpr uint8_t kIoState = 4;
}  // namespace info_kind

}  // namespace strixc::net
