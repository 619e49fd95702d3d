#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace strixc::net {

// A growable byte queue: bytes are appended at the back and consumed from the front.
//
// The unconsumed bytes always lie contiguously at Data(), so a complete message can be handled in
// place. Consumed bytes are only removed once more than kCompactThreshold of them have gathered at
// the front, so handling a message never copies the data that follows it.
//
// Not thread-safe: the owner serialises access.
class StreamBuffer {
 public:
  static constexpr size_t kGrowStep = 20000;
  static constexpr size_t kCompactThreshold = 20000;

  void Append(const void* data, size_t n);
  // Makes room for n more bytes and returns where they go; Commit(k) then makes k <= n of them valid.
  uint8_t* Reserve(size_t n);
  void Commit(size_t n);
  // Consumes min(n, Size()) bytes from the front.
  void Consume(size_t n);
  void Clear();

  const uint8_t* Data() const { return bytes_.data() + readOffset_; }
  size_t Size() const { return count_; }
  bool Empty() const { return count_ == 0; }
  // The offset of the first unconsumed byte inside the array; exposed for tests of compaction.
  size_t ReadOffset() const { return readOffset_; }
  size_t Capacity() const { return bytes_.size(); }

 private:
  std::vector<uint8_t> bytes_;
  size_t readOffset_ = 0;
  size_t count_ = 0;
};

}  // namespace strixc::net
