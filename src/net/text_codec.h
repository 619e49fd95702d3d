#pragma once

#include <QString>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace strixc::net {

// Converts between the program's own text (UTF-8) and the single-byte code page in which the
// server writes and reads every string of the protocol (names, event texts, logins, bookmark
// titles).
//
// Only single-byte code pages are accepted, so one character is always one byte: a field cut to
// N bytes after encoding never splits a character. Encoding maps a character that the code page
// lacks to its '?'; decoding turns every byte into exactly one character (a byte the code page
// leaves undefined becomes U+FFFD).
//
// The conversion tables are built once by Create (through the platform's iconv) and never change:
// a codec is cheap to copy and may be used from any thread.
class TextCodec {
 public:
  static constexpr char kDefaultName[] = "Windows-1252";

  // Windows-1252, from a table of our own: always available, whatever the platform converts.
  TextCodec();

  // The code page the platform knows as `name` ("Windows-1250", "ISO-8859-2", "KOI8-R", ...;
  // case and the platform's aliases do not matter). std::nullopt, with one line in `error`, when
  // the name is unknown or names an encoding that is not single-byte (UTF-8, UTF-16, Shift-JIS,
  // ...).
  static std::optional<TextCodec> Create(const std::string& name, std::string* error = nullptr);

  // A few common code pages, those of them that the platform converts: what a settings dialog
  // offers.
  static std::vector<std::string> CommonNames();

  // The name as it was given to Create (kDefaultName for the default codec).
  const std::string& Name() const;

  // UTF-8 (composed to NFC first) to code-page bytes; malformed UTF-8 and characters the code
  // page lacks become '?'. Zero characters stay zero bytes.
  std::string Encode(std::string_view utf8) const;
  // Code-page bytes, every one of them, to UTF-8.
  std::string Decode(std::string_view bytes) const;
  QString DecodeToQString(std::string_view bytes) const;

 private:
  struct Tables;
  explicit TextCodec(std::shared_ptr<const Tables> tables) : tables_(std::move(tables)) {}

  std::shared_ptr<const Tables> tables_;
};

}  // namespace strixc::net
