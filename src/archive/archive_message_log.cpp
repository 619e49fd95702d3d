#include "archive/archive_message_log.h"

#include <cstdio>

#include "archive/archive_time.h"

namespace strixc::archive {

void ArchiveMessageLog::Reset() {
  std::lock_guard<std::mutex> guard(lock_);
  if (total_ == 0) return;
  total_ = errors_ = warnings_ = 0;
  text_.clear();
}

void ArchiveMessageLog::Add(const std::string& message, bool isError) {
  std::lock_guard<std::mutex> guard(lock_);
  if (isError) {
    ++errors_;
  } else {
    ++warnings_;
  }
  if (total_ < kMaxShown) text_ += (isError ? "Error: " : "Warning: ") + message + " \r\n";
  // Saturate: a recorder failing on every frame for days must not wrap the count.
  if (total_ < 0x7FFFFFFF) ++total_;
}

int ArchiveMessageLog::Count() {
  std::lock_guard<std::mutex> guard(lock_);
  return total_;
}

int ArchiveMessageLog::Errors() {
  std::lock_guard<std::mutex> guard(lock_);
  return errors_;
}

int ArchiveMessageLog::Warnings() {
  std::lock_guard<std::mutex> guard(lock_);
  return warnings_;
}

std::string ArchiveMessageLog::Summary() {
  std::lock_guard<std::mutex> guard(lock_);
  std::string out;
  char line[160];
  if (errors_ != 0) {
    std::snprintf(line, sizeof line,
                  "There were %d errors and %d warnings during processing archives \r\n", errors_,
                  warnings_);
    out += line;
  }
  out += text_;
  if (total_ > kMaxShown) {
    std::snprintf(line, sizeof line, "and %d more messages not displayed\r\n", total_ - kMaxShown);
    out += line;
  }
  return out;
}

std::string MessageTimeText(uint64_t time) {
  return FormatArchiveTime(time, "%I:%M:%S %p") + " / " + FormatArchiveTime(time, "%d.%m.%Y");
}

}  // namespace strixc::archive
