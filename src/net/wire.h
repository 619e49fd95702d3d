#pragma once

// Little-endian field access for the wire protocol's packed records. Readers take an offset that the
// caller has already checked against the payload length.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace strixc::net::wire {

inline uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

inline uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// Times travel as two u32 words, low word first, which is the little-endian u64.
inline uint64_t U64(const uint8_t* p) { return U32(p) | (static_cast<uint64_t>(U32(p + 4)) << 32); }

inline double F64(const uint8_t* p) {
  const uint64_t bits = U64(p);
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// A zero-terminated string inside a fixed field of `field` bytes, of at most `limit` characters;
// never reads past the field even when the peer left out the terminator.
inline std::string FixedString(const uint8_t* p, size_t field, size_t limit) {
  const size_t n = field < limit ? field : limit;
  size_t len = 0;
  while (len < n && p[len] != 0) ++len;
  return std::string(reinterpret_cast<const char*>(p), len);
}

// Writes the 8-byte message header: u32 code, u32 payload length.
inline void EncodeHeader(uint8_t* out, uint32_t code, uint32_t length) {
  for (int i = 0; i < 4; ++i) {
    out[i] = static_cast<uint8_t>(code >> (8 * i));
    out[4 + i] = static_cast<uint8_t>(length >> (8 * i));
  }
}

// Appends little-endian fields to a byte vector.
class Writer {
 public:
  explicit Writer(std::vector<uint8_t>& out) : out_(out) {}

  Writer& U8(uint8_t v) {
    out_.push_back(v);
    return *this;
  }
  Writer& U16(uint16_t v) { return U8(v & 0xFF).U8(v >> 8); }
  Writer& U32(uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
  Writer& U64(uint64_t v) { return U32(static_cast<uint32_t>(v)).U32(static_cast<uint32_t>(v >> 32)); }
  Writer& F64(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return U64(bits);
  }
  // A fixed field of `field` bytes: at most field - 1 characters, zero-padded, always terminated.
  Writer& Fixed(std::string_view s, size_t field) {
    const size_t n = s.size() < field ? s.size() : field - 1;
    out_.insert(out_.end(), s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n));
    out_.insert(out_.end(), field - n, 0);
    return *this;
  }
  Writer& Bytes(const void* data, size_t n) {
    const auto* b = static_cast<const uint8_t*>(data);
    out_.insert(out_.end(), b, b + n);
    return *this;
  }
  Writer& Zeros(size_t n) {
    out_.insert(out_.end(), n, 0);
    return *this;
  }

 private:
  std::vector<uint8_t>& out_;
};

}  // namespace strixc::net::wire
