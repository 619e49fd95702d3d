#include "archive/archive_message_log.h"

#include <cstdio>
#include <ctime>

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
  // The time is local wall-clock time already: fill the calendar fields straight in, no time zone.
  const TimeFields f = FieldsOfTime(time);
  std::tm tm{};
  tm.tm_year = f.year - 1900;
  tm.tm_mon = f.month - 1;
  tm.tm_mday = f.day;
  tm.tm_hour = f.hour;
  tm.tm_min = f.minute;
  tm.tm_sec = f.second;
  char clock[64] = {};
  char date[64] = {};
  std::strftime(clock, sizeof clock, "%I:%M:%S %p", &tm);
  std::strftime(date, sizeof date, "%d.%m.%Y", &tm);
  return std::string(clock) + " / " + date;
}

}  // namespace strixc::archive
