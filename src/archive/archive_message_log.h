#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace strixc::archive {

// Collects the errors and warnings of one archive operation for the operator: counts all of them,
// keeps the text of the first kMaxShown. Callers reset it before an operation and show Summary()
// in a message box afterwards when Count() is not 0.
//
// Thread-safe (own lock, taken last: it never calls out).
class ArchiveMessageLog {
 public:
  static constexpr int kMaxShown = 10;

  // Clears counters and text when anything was added.
  void Reset();
  // Counts an error or a warning; while fewer than kMaxShown messages were added, appends
  // "Error: <message> \r\n" or "Warning: <message> \r\n".
  void Add(const std::string& message, bool isError);

  int Count();
  int Errors();
  int Warnings();
  // "There were <e> errors and <w> warnings during processing archives \r\n" when there were errors,
  // the collected text, and "and <n> more messages not displayed\r\n" beyond kMaxShown messages.
  std::string Summary();

  // The counted lines of the summary in the operator's language (this library has no texts of its
  // own): `counts(errors, warnings)` gives the first line, `more(n)` the last. An empty function
  // keeps the English line.
  struct SummaryWords {
    std::function<std::string(int errors, int warnings)> counts;
    std::function<std::string(int more)> more;
  };
  std::string Summary(const SummaryWords& words);

 private:
  std::mutex lock_;
  // Guarded by lock_:
  int total_ = 0;
  int errors_ = 0;
  int warnings_ = 0;
  std::string text_;
};

// An archive time as messages show it, on the wall clock: the clock part, " / ", the date part
// ("01:02:03 PM / 24.12.2026").
std::string MessageTimeText(uint64_t time);

}  // namespace strixc::archive
