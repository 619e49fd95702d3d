#pragma once

// The string table's texts as Qt strings.

#include <QString>
#include <string>

#include "shell/string_table.h"

namespace strixc::shell {

// Text `id` in the applied language.
inline QString Tr(int id) {
  const std::string_view t = Text(id);
  return QString::fromUtf8(t.data(), static_cast<qsizetype>(t.size()));
}

// Text `id` as a printf format, filled with `args` (UTF-8 for %s).
template <class... Args>
QString TrFormat(int id, Args... args) {
  const std::string format(Text(id));
  return QString::asprintf(format.c_str(), args...);
}

}  // namespace strixc::shell
