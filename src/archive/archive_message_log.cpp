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

std::string ArchiveMessageLog::Summary() { return Summary(SummaryWords{}); }

std::string ArchiveMessageLog::Summary(const SummaryWords& words) {
  int errors, warnings, total;
  std::string text;
  {
    // The words are the caller's code: they run without the lock.
    std::lock_guard<std::mutex> guard(lock_);
    errors = errors_;
    warnings = warnings_;
    total = total_;
    text = text_;
  }
  std::string out;
  char line[160];
  if (errors != 0) {
    if (words.counts) {
      out += words.counts(errors, warnings);
    } else {
      std::snprintf(line, sizeof line, "There were %d errors and %d warnings during processing archives \r\n",
                    errors, warnings);
      out += line;
    }
  }
  out += text;
  if (total > kMaxShown) {
    if (words.more) {
      out += words.more(total - kMaxShown);
    } else {
      std::snprintf(line, sizeof line, "and %d more messages not displayed\r\n", total - kMaxShown);
      out += line;
    }
  }
  return out;
}

std::string MessageTimeText(uint64_t time) {
  return FormatArchiveTime(time, "%I:%M:%S %p") + " / " + FormatArchiveTime(time, "%d.%m.%Y");
}

}  // namespace strixc::archive
