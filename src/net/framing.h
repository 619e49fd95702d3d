#pragma once

// Splitting a received byte stream into messages: the one framing rule both channels share, apart
// from any socket, so that the receive loops and the tests use the same code.

#include <cstddef>
#include <cstdint>

#include "net/protocol.h"
#include "net/stream_buffer.h"
#include "net/wire.h"

namespace strixc::net {

// A complete message at the front of a receive buffer. The payload points into the buffer and is
// valid until the buffer is next changed.
struct FramedMessage {
  uint32_t code = 0;
  const uint8_t* payload = nullptr;
  uint32_t length = 0;
};

enum class FrameStatus {
  kIncomplete,  // the header or the payload has not fully arrived yet
  kTooLong,     // the header announces more than the limit: a protocol violation
  kComplete,    // *message is the first message; consume kHeaderSize + length to drop it
};

// Looks at the first message in `buffer` without consuming anything. A length with the top bit set
// (negative when read as signed) counts as too long like any other length beyond `maxLength`.
inline FrameStatus PeekMessage(const StreamBuffer& buffer, uint32_t maxLength, FramedMessage* message) {
  if (buffer.Size() < kHeaderSize) return FrameStatus::kIncomplete;
  const uint8_t* p = buffer.Data();
  const uint32_t length = wire::U32(p + 4);
  if (length > maxLength) return FrameStatus::kTooLong;
  if (buffer.Size() - kHeaderSize < length) return FrameStatus::kIncomplete;
  message->code = wire::U32(p);
  message->payload = p + kHeaderSize;
  message->length = length;
  return FrameStatus::kComplete;
}

}  // namespace strixc::net
