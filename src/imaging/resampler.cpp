#include "imaging/resampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "imaging/vector_state.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace strixc::imaging {

namespace {

constexpr int kWeightBits = 7;
constexpr int kOne = 1 << kWeightBits;

// Where destination pixel `i` of `to` samples a source of `from` pixels: the pixel centres line
// up, as a smooth scaler does. Returns the left (or upper) source pixel, always with a right
// neighbour when the source has two pixels or more, and the weight of that neighbour.
int Sample(int i, int from, int to, int* weight) {
  const double position = (i + 0.5) * from / to - 0.5;
  int first = static_cast<int>(std::floor(position));
  double fraction = position - first;
  if (first < 0) {
    first = 0;
    fraction = 0;
  }
  if (first >= from - 1) {
    first = std::max(from - 2, 0);
    fraction = from >= 2 ? 1.0 : 0.0;
  }
  *weight = static_cast<int>(std::lround(fraction * kOne));
  return first;
}

uint32_t* Row(const Rgb32Span& s, int y) {
  return reinterpret_cast<uint32_t*>(s.bits + static_cast<ptrdiff_t>(y) * s.stride);
}

bool Usable(const Rgb32Span& s) {
  return s.bits != nullptr && SizeUsable(s.width, s.height) && s.stride >= 4 * s.width;
}

// a + (b - a) * w / 128 for each byte of two 32-bit pixels.
uint32_t Blend(uint32_t a, uint32_t b, int w) {
  uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const int ca = (a >> shift) & 0xFF;
    const int cb = (b >> shift) & 0xFF;
    out |= static_cast<uint32_t>(ca + (((cb - ca) * w + kOne / 2) >> kWeightBits)) << shift;
  }
  return out;
}

void BlendRows(const uint32_t* upper, const uint32_t* lower, int weight, uint32_t* to, int width) {
  int x = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i w = _mm_set1_epi16(static_cast<int16_t>(weight));
  const __m128i half = _mm_set1_epi16(kOne / 2);
  for (; x + 4 <= width; x += 4) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(upper + x));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lower + x));
    const auto mix = [&](__m128i a16, __m128i b16) {
      const __m128i d = _mm_mullo_epi16(_mm_sub_epi16(b16, a16), w);
      return _mm_add_epi16(a16, _mm_srai_epi16(_mm_add_epi16(d, half), kWeightBits));
    };
    const __m128i lo = mix(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero));
    const __m128i hi = mix(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + x), _mm_packus_epi16(lo, hi));
  }
#endif
  for (; x < width; ++x) to[x] = Blend(upper[x], lower[x], weight);
}

}  // namespace

void Rgb32Resampler::BuildColumns(int sourceWidth, int width) {
  tableSource_ = sourceWidth;
  tableWidth_ = width;
  const int pairs = (width + 1) / 2;
  columns_.assign(static_cast<size_t>(pairs) * 2, 0);
  weights_.assign(static_cast<size_t>(pairs) * 8, 0);
  for (int x = 0; x < width; ++x) {
    int weight = 0;
    columns_[x] = Sample(x, sourceWidth, width, &weight);
    // Eight 16-bit weights per pair: the first pixel's four channels, then the second's.
    for (int c = 0; c < 4; ++c) weights_[static_cast<size_t>(x / 2) * 8 + (x % 2) * 4 + c] = static_cast<int16_t>(weight);
  }
  if (width % 2) columns_[width] = columns_[width - 1];
}

bool Rgb32Resampler::Scale(const Rgb32Span& source, const Rgb32Span& destination) {
  return Scale(source, destination, 0, destination.height);
}

bool Rgb32Resampler::Scale(const Rgb32Span& source, const Rgb32Span& destination, int firstRow,
                           int endRow) {
  if (!Usable(source) || !Usable(destination)) return false;
  if (firstRow < 0 || endRow > destination.height || firstRow > endRow) return false;
  ClearUpperVectorState();
  if (tableSource_ != source.width || tableWidth_ != destination.width) {
    BuildColumns(source.width, destination.width);
  }
  if (row_.size() < static_cast<size_t>(source.width) + 1) row_.resize(static_cast<size_t>(source.width) + 1);
  // A one-pixel-wide source has no right neighbour: the row carries a copy of its only pixel.
  const bool narrow = source.width < 2;

  const int width = destination.width;  // a local: the stores below cannot change it
  for (int y = firstRow; y < endRow; ++y) {
    int weight = 0;
    const int upper = Sample(y, source.height, destination.height, &weight);
    const uint32_t* blended = Row(source, upper);
    if (weight != 0) {
      BlendRows(Row(source, upper), Row(source, upper + 1), weight, row_.data(), source.width);
      blended = row_.data();
    }
    if (narrow) {
      row_[0] = blended[0];
      row_[1] = blended[0];
      blended = row_.data();
    }
    uint32_t* to = Row(destination, y);
    int x = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i half = _mm_set1_epi16(kOne / 2);
    for (; x + 2 <= width; x += 2) {
      const __m128i a = _mm_unpacklo_epi8(
          _mm_loadl_epi64(reinterpret_cast<const __m128i*>(blended + columns_[x])), zero);
      const __m128i b = _mm_unpacklo_epi8(
          _mm_loadl_epi64(reinterpret_cast<const __m128i*>(blended + columns_[x + 1])), zero);
      const __m128i left = _mm_unpacklo_epi64(a, b);
      const __m128i right = _mm_unpackhi_epi64(a, b);
      const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&weights_[static_cast<size_t>(x / 2) * 8]));
      const __m128i d = _mm_mullo_epi16(_mm_sub_epi16(right, left), w);
      const __m128i mixed = _mm_add_epi16(left, _mm_srai_epi16(_mm_add_epi16(d, half), kWeightBits));
      _mm_storel_epi64(reinterpret_cast<__m128i*>(to + x), _mm_packus_epi16(mixed, mixed));
    }
#endif
    for (; x < width; ++x) {
      const int first = columns_[x];
      const int weight = weights_[static_cast<size_t>(x / 2) * 8 + (x % 2) * 4];
      to[x] = Blend(blended[first], blended[first + 1], weight);
    }
  }
  return true;
}

}  // namespace strixc::imaging
