#pragma once

// The compact form in which the archive fuzz target and its corpus describe an archive file: most
// of a real file is zeros between the records at the front and the index at the back, so an input
// holds only the two ends.
//
//   u8   length choice: 0 the smallest archive file (1 MiB), 1 one byte longer, 2 two MiB,
//        3 a truncated file that ends right after the tail
//   u32  head length H
//   H    bytes written at offset 0 (header, tables, data area)
//   ...  the rest, written so that it ends at the end of the file (index and fill marker)

#include <cstddef>
#include <cstdint>
#include <vector>

#include "archive/archive_format.h"

namespace strixc::fuzz {

enum class ImageLength : uint8_t { kMinimum = 0, kMinimumPlusOne = 1, kTwoMiB = 2, kTruncated = 3 };

inline uint64_t ImageFileLength(ImageLength choice, size_t head, size_t tail) {
  switch (choice) {
    case ImageLength::kMinimum:
      return archive::kMinFileLength;
    case ImageLength::kMinimumPlusOne:
      return archive::kMinFileLength + 1;
    case ImageLength::kTwoMiB:
      return 2 * archive::kMinFileLength;
    default:
      return head + tail;
  }
}

// The compact form of a whole file holding `recordCount` records: the tail is its index and fill
// marker, the head everything before the index up to its last non-zero byte.
inline std::vector<uint8_t> CompactImage(const std::vector<uint8_t>& file, uint32_t recordCount, ImageLength choice) {
  const size_t tailStart = file.size() - 1 - archive::kIndexEntrySize * recordCount;
  size_t headEnd = tailStart;
  while (headEnd > 0 && file[headEnd - 1] == 0) --headEnd;
  std::vector<uint8_t> out;
  out.push_back(static_cast<uint8_t>(choice));
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(headEnd >> (8 * i)));
  out.insert(out.end(), file.begin(), file.begin() + static_cast<std::ptrdiff_t>(headEnd));
  out.insert(out.end(), file.begin() + static_cast<std::ptrdiff_t>(tailStart), file.end());
  return out;
}

}  // namespace strixc::fuzz
