#pragma once

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace strixc::test {

// Puts the process into the time zone `zone` (a TZ value such as "Europe/Warsaw") for its
// lifetime and restores the previous one. The C library reads TZ again only on tzset().
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) old_ = old;
    ::setenv("TZ", zone, 1);
    ::tzset();
  }
  ~ScopedTimeZone() {
    if (old_) {
      ::setenv("TZ", old_->c_str(), 1);
    } else {
      ::unsetenv("TZ");
    }
    ::tzset();
  }
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  std::optional<std::string> old_;
};

}  // namespace strixc::test
