#include "imaging/rgb32.h"

#include <cstring>

#include "imaging/vector_state.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace strixc::imaging {

namespace {

constexpr uint32_t kOpaque = 0xFF000000u;

uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

// Four pixels (12 bytes) at a time as three 32-bit words: about twice as fast as byte by byte.
void ConvertRow(const uint8_t* from, uint32_t* to, int width) {
  int x = 0;
  for (; x + 4 <= width; x += 4, from += 12, to += 4) {
    const uint32_t w0 = Load32(from);
    const uint32_t w1 = Load32(from + 4);
    const uint32_t w2 = Load32(from + 8);
    to[0] = kOpaque | (w0 & 0xFFFFFF);
    to[1] = kOpaque | (w0 >> 24) | ((w1 & 0xFFFF) << 8);
    to[2] = kOpaque | (w1 >> 16) | ((w2 & 0xFF) << 16);
    to[3] = kOpaque | (w2 >> 8);
  }
  for (; x < width; ++x, from += 3) {
    *to++ = kOpaque | from[0] | (uint32_t{from[1]} << 8) | (uint32_t{from[2]} << 16);
  }
}

void HalveRowScalar(const uint8_t* upper, const uint8_t* lower, uint32_t* to, int width) {
  for (int x = 0; x < width; ++x, upper += 6, lower += 6) {
    const uint32_t b = (upper[0] + upper[3] + lower[0] + lower[3] + 2) >> 2;
    const uint32_t g = (upper[1] + upper[4] + lower[1] + lower[4] + 2) >> 2;
    const uint32_t r = (upper[2] + upper[5] + lower[2] + lower[5] + 2) >> 2;
    to[x] = kOpaque | b | (g << 8) | (r << 16);
  }
}

#if defined(__SSE2__)
// The low three bytes of `v` shifted right by `bytes`, as an opaque pixel.
template <int bytes>
uint32_t PixelAt(__m128i v) {
  return kOpaque | (static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(v, bytes))) & 0xFFFFFF);
}

// Eight pixels from 48 bytes of each row: the two rows and then neighbouring pixels (3 bytes
// apart) are averaged sixteen bytes at a time, and the eight results are taken out of the
// registers (a round trip through memory would stall on every unaligned reload). Two rounded
// averages instead of one exact mean differ from it by at most 1.
void HalveRow(const uint8_t* upper, const uint8_t* lower, uint32_t* to, int width) {
  int x = 0;
  for (; x + 8 <= width; x += 8, upper += 48, lower += 48, to += 8) {
    const auto load = [](const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
    const __m128i v0 = _mm_avg_epu8(load(upper), load(lower));
    const __m128i v1 = _mm_avg_epu8(load(upper + 16), load(lower + 16));
    const __m128i v2 = _mm_avg_epu8(load(upper + 32), load(lower + 32));
    const __m128i h0 = _mm_avg_epu8(v0, _mm_or_si128(_mm_srli_si128(v0, 3), _mm_slli_si128(v1, 13)));
    const __m128i h1 = _mm_avg_epu8(v1, _mm_or_si128(_mm_srli_si128(v1, 3), _mm_slli_si128(v2, 13)));
    const __m128i h2 = _mm_avg_epu8(v2, _mm_srli_si128(v2, 3));
    // Pixel k starts at byte 6k of the 48: bytes 0, 6, 12 | 18, 24 | 30 (across h1 and h2) | 36, 42.
    to[0] = PixelAt<0>(h0);
    to[1] = PixelAt<6>(h0);
    to[2] = PixelAt<12>(h0);
    to[3] = PixelAt<2>(h1);
    to[4] = PixelAt<8>(h1);
    to[5] = PixelAt<0>(_mm_or_si128(_mm_srli_si128(h1, 14), _mm_slli_si128(h2, 2)));
    to[6] = PixelAt<4>(h2);
    to[7] = PixelAt<10>(h2);
  }
  HalveRowScalar(upper, lower, to, width - x);
}
#else
void HalveRow(const uint8_t* upper, const uint8_t* lower, uint32_t* to, int width) {
  HalveRowScalar(upper, lower, to, width);
}
#endif

bool Usable(const Rgb32Span& s) {
  return s.bits != nullptr && SizeUsable(s.width, s.height) && s.stride >= 4 * s.width;
}

uint32_t* Row(const Rgb32Span& s, int y) {
  return reinterpret_cast<uint32_t*>(s.bits + static_cast<ptrdiff_t>(y) * s.stride);
}

// Our pictures are bottom-up: row y from the top is (height - 1 - y) rows in.
const uint8_t* SourceRow(const PictureView& v, int y) {
  return v.bits + static_cast<ptrdiff_t>(v.height - 1 - y) * v.stride;
}

}  // namespace

bool ConvertToRgb32(const PictureView& source, const Rgb32Span& destination) {
  ClearUpperVectorState();
  if (!Usable(source) || !Usable(destination)) return false;
  if (source.width != destination.width || source.height != destination.height) return false;
  for (int y = 0; y < source.height; ++y) {
    ConvertRow(SourceRow(source, y), Row(destination, y), source.width);
  }
  return true;
}

bool HalveToRgb32(const PictureView& source, const Rgb32Span& destination) {
  ClearUpperVectorState();
  if (!Usable(source) || !Usable(destination)) return false;
  if (destination.width != source.width / 2 || destination.height != source.height / 2) {
    return false;
  }
  for (int y = 0; y < destination.height; ++y) {
    HalveRow(SourceRow(source, 2 * y), SourceRow(source, 2 * y + 1), Row(destination, y),
             destination.width);
  }
  return true;
}

bool HalveRgb32(const Rgb32Span& source, const Rgb32Span& destination) {
  ClearUpperVectorState();
  if (!Usable(source) || !Usable(destination)) return false;
  if (destination.width != source.width / 2 || destination.height != source.height / 2) {
    return false;
  }
  for (int y = 0; y < destination.height; ++y) {
    const auto* upper = reinterpret_cast<const uint8_t*>(Row(source, 2 * y));
    const auto* lower = reinterpret_cast<const uint8_t*>(Row(source, 2 * y + 1));
    uint32_t* to = Row(destination, y);
    for (int x = 0; x < destination.width; ++x, upper += 8, lower += 8) {
      const uint32_t b = (upper[0] + upper[4] + lower[0] + lower[4] + 2) >> 2;
      const uint32_t g = (upper[1] + upper[5] + lower[1] + lower[5] + 2) >> 2;
      const uint32_t r = (upper[2] + upper[6] + lower[2] + lower[6] + 2) >> 2;
      to[x] = kOpaque | b | (g << 8) | (r << 16);
    }
  }
  return true;
}

}  // namespace strixc::imaging
