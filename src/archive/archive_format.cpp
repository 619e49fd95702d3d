#include "archive/archive_format.h"

#include <cstdio>

namespace strixc::archive {

std::string ArchiveFileName(int32_t number) {
  char name[32];
  std::snprintf(name, sizeof name, "%020d.vsd", static_cast<int>(number));
  return name;
}

std::optional<int32_t> ParseArchiveFileName(std::string_view name) {
  // Read a sign and digits the way a decimal conversion would, then demand that formatting the
  // number again gives back the very same name: that alone rejects short names, other extensions,
  // capitals and trailing text. Digits are bounded so that a long run cannot overflow.
  size_t i = 0;
  const bool negative = i < name.size() && name[i] == '-';
  if (negative) ++i;
  int64_t value = 0;
  size_t digits = 0;
  for (; i < name.size() && name[i] >= '0' && name[i] <= '9'; ++i, ++digits) {
    value = value * 10 + (name[i] - '0');
    if (value > int64_t{INT32_MAX} + 1) return std::nullopt;
  }
  if (digits == 0) return std::nullopt;
  if (negative) value = -value;
  if (value > INT32_MAX || value < INT32_MIN) return std::nullopt;
  const auto number = static_cast<int32_t>(value);
  if (ArchiveFileName(number) != name) return std::nullopt;
  return number;
}

std::optional<int32_t> ArchiveFileNumber(std::string_view name, uint64_t length,
                                         uint32_t minFileNumber) {
  const std::optional<int32_t> number = ParseArchiveFileName(name);
  if (!number || static_cast<int64_t>(*number) < static_cast<int64_t>(minFileNumber)) {
    return std::nullopt;
  }
  if (length < kMinFileLength) return std::nullopt;
  return number;
}

}  // namespace strixc::archive
