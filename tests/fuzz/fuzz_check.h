#pragma once

// Shared by the fuzz targets: a check that stops the run on a broken invariant, and a reader that
// takes bytes off the front of the fuzzer's input.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace strixc::fuzz {

// Stops the fuzzer (it saves the input as a crash) when a property that must hold for any input
// does not. Unlike assert, it stays in every build type.
#define FUZZ_CHECK(condition)                                                            \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (0)

// Reads little-endian numbers and byte runs off the front of the input; past the end it gives
// zeros and empty runs, so a short input is still a valid case.
class InputReader {
 public:
  InputReader(const uint8_t* data, size_t size) : at_(data), left_(size) {}

  uint32_t Number(int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes && left_ > 0; ++i, ++at_, --left_) v |= static_cast<uint32_t>(*at_) << (8 * i);
    return v;
  }
  // Up to n bytes; *got says how many there were.
  const uint8_t* Bytes(size_t n, size_t* got) {
    const uint8_t* p = at_;
    *got = n < left_ ? n : left_;
    at_ += *got;
    left_ -= *got;
    return p;
  }
  const uint8_t* Rest(size_t* got) { return Bytes(left_, got); }
  size_t Left() const { return left_; }

 private:
  const uint8_t* at_;
  size_t left_;
};

}  // namespace strixc::fuzz
