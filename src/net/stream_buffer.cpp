#include "net/stream_buffer.h"

#include <cstring>

namespace strixc::net {

uint8_t* StreamBuffer::Reserve(size_t n) {
  const size_t needed = readOffset_ + count_ + n;
  if (needed > bytes_.size()) {
    // Growing in fixed steps keeps the number of reallocations small for a steady stream of
    // messages of similar size, and the array is never shrunk.
    const size_t steps = (needed - bytes_.size() + kGrowStep - 1) / kGrowStep;
    bytes_.resize(bytes_.size() + steps * kGrowStep);
  }
  return bytes_.data() + readOffset_ + count_;
}

void StreamBuffer::Commit(size_t n) { count_ += n; }

void StreamBuffer::Append(const void* data, size_t n) {
  if (n == 0) return;
  std::memcpy(Reserve(n), data, n);
  count_ += n;
}

void StreamBuffer::Consume(size_t n) {
  if (n > count_) n = count_;
  readOffset_ += n;
  count_ -= n;
  if (count_ == 0) {
    readOffset_ = 0;
  } else if (readOffset_ > kCompactThreshold) {
    std::memmove(bytes_.data(), bytes_.data() + readOffset_, count_);
    readOffset_ = 0;
  }
}

void StreamBuffer::Clear() {
  readOffset_ = 0;
  count_ = 0;
}

}  // namespace strixc::net
