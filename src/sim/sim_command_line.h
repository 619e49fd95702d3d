#pragma once

#include <QString>
#include <QStringList>
#include <chrono>
#include <optional>

#include "sim/sim_config.h"

namespace strixc::sim {

// The command line of strixc-sim, turned into a SimConfig. Parsing needs no QCoreApplication.
class SimCommandLine {
 public:
  enum class Result { kRun, kHelp, kVersion, kError };

  // `arguments` includes the program name first, as QCoreApplication::arguments() gives it.
  Result Parse(const QStringList& arguments);

  // After kRun: the configuration. After kHelp: the help text (kVersion: the caller prints its
  // version). After kError: one line naming the bad option (never a password).
  const SimConfig& Config() const { return config_; }
  const QString& HelpText() const { return helpText_; }
  const QString& ErrorText() const { return errorText_; }

  // The value parsers, exposed for tests. Each returns std::nullopt for a malformed value.
  // "352x288" (also with 'X').
  static std::optional<std::pair<int, int>> ParseSize(const QString& text);
  // Decimal or 0x-prefixed hexadecimal, within 32 bits.
  static std::optional<uint32_t> ParseNumber(const QString& text);
  // NAME:PASSWORD, split at the first colon; the password may be empty.
  static std::optional<SimUser> ParseUser(const QString& text);
  // A count with an optional unit: s (the default), m, h or d: "90", "45m", "2h", "7d".
  static std::optional<std::chrono::seconds> ParseDuration(const QString& text);

 private:
  Result Fail(const QString& text);

  SimConfig config_;
  QString helpText_;
  QString errorText_;
};

}  // namespace strixc::sim
