#include "net/text_codec.h"

#include <QList>
#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <utility>

namespace strixc::net {

namespace {

constexpr char32_t kUndefined = 0xFFFD;

// The platform's converter from one encoding to UTF-32LE, opened and closed with the object.
class IconvDecoder {
 public:
  explicit IconvDecoder(const std::string& from) : cd_(iconv_open("UTF-32LE", from.c_str())) {}
  ~IconvDecoder() {
    if (Valid()) iconv_close(cd_);
  }
  IconvDecoder(const IconvDecoder&) = delete;
  IconvDecoder& operator=(const IconvDecoder&) = delete;

  bool Valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  enum class Result { kOne, kUndefined, kIncomplete, kNotOne };
  // Converts the single byte `b` from a fresh state; kOne with the character in `c` when it
  // stands for exactly one character.
  Result DecodeByte(uint8_t b, char32_t* c) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char in[1] = {static_cast<char>(b)};
    char out[64];
    char* inPtr = in;
    char* outPtr = out;
    size_t inLeft = sizeof in;
    size_t outLeft = sizeof out;
    if (iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) {
      if (errno == EILSEQ) return Result::kUndefined;
      // EINVAL: the byte begins a longer sequence.
      return errno == EINVAL ? Result::kIncomplete : Result::kNotOne;
    }
    // Some converters hold a character back (to combine it with what follows) until flushed.
    if (iconv(cd_, nullptr, nullptr, &outPtr, &outLeft) == static_cast<size_t>(-1)) return Result::kNotOne;
    if (outPtr - out != 4) return Result::kNotOne;
    const auto* u = reinterpret_cast<const unsigned char*>(out);
    *c = static_cast<char32_t>(u[0] | (u[1] << 8) | (u[2] << 16) | (static_cast<uint32_t>(u[3]) << 24));
    return Result::kOne;
  }

 private:
  iconv_t cd_;
};

// Code-page names are letters, digits and a few separators; anything else (the platform's
// "//TRANSLIT" suffixes, paths, blanks) is not a name the settings should hold.
bool PlainName(const std::string& name) {
  if (name.empty() || name.size() > 64) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
           c == '.' || c == ':';
  });
}

// Windows-1252 from 0x80 to 0x9F; every other byte is the Unicode character of the same number.
constexpr std::array<char32_t, 32> kWindows1252High = {
    0x20AC, kUndefined, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, kUndefined, 0x017D, kUndefined, kUndefined, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, kUndefined, 0x017E, 0x0178};

}  // namespace

struct TextCodec::Tables {
  std::string name;
  std::array<char32_t, 256> toUnicode{};
  // (character, byte) sorted by character; the lowest byte wins where two bytes decode alike.
  std::vector<std::pair<char32_t, uint8_t>> fromUnicode;
  uint8_t question = '?';

  void BuildEncoder() {
    fromUnicode.clear();
    for (int b = 0; b < 256; ++b) {
      if (toUnicode[b] != kUndefined) fromUnicode.emplace_back(toUnicode[b], static_cast<uint8_t>(b));
    }
    std::stable_sort(fromUnicode.begin(), fromUnicode.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    const auto q = Find(U'?');
    question = q ? *q : '?';
  }

  std::optional<uint8_t> Find(char32_t c) const {
    const auto it = std::lower_bound(fromUnicode.begin(), fromUnicode.end(), c,
                                     [](const auto& entry, char32_t value) { return entry.first < value; });
    if (it == fromUnicode.end() || it->first != c) return std::nullopt;
    return it->second;
  }
};

TextCodec::TextCodec() {
  // Every default codec shares one set of tables.
  static const std::shared_ptr<const Tables> windows1252 = [] {
    auto tables = std::make_shared<Tables>();
    tables->name = kDefaultName;
    for (int b = 0; b < 256; ++b) tables->toUnicode[b] = static_cast<char32_t>(b);
    std::copy(kWindows1252High.begin(), kWindows1252High.end(), tables->toUnicode.begin() + 0x80);
    tables->BuildEncoder();
    return tables;
  }();
  tables_ = windows1252;
}

std::optional<TextCodec> TextCodec::Create(const std::string& name, std::string* error) {
  auto fail = [&](const std::string& text) -> std::optional<TextCodec> {
    if (error) *error = text;
    return std::nullopt;
  };
  if (!PlainName(name)) return fail("unknown text encoding '" + name + "'");
  IconvDecoder decoder(name);
  if (!decoder.Valid()) return fail("unknown text encoding '" + name + "'");

  auto tables = std::make_shared<Tables>();
  tables->name = name;
  for (int b = 0; b < 256; ++b) {
    char32_t c = kUndefined;
    switch (decoder.DecodeByte(static_cast<uint8_t>(b), &c)) {
      case IconvDecoder::Result::kOne:
        break;
      case IconvDecoder::Result::kUndefined:
        c = kUndefined;
        break;
      case IconvDecoder::Result::kIncomplete:
      case IconvDecoder::Result::kNotOne:
        return fail("'" + name + "' is not a single-byte code page");
    }
    tables->toUnicode[b] = c;
  }
  // The protocol's strings end at a zero byte: the code page must keep zero as zero.
  if (tables->toUnicode[0] != 0) return fail("'" + name + "' is not a single-byte code page");
  tables->BuildEncoder();
  return TextCodec(std::move(tables));
}

std::vector<std::string> TextCodec::CommonNames() {
  static const char* const kNames[] = {
      "Windows-1250", "Windows-1251", "Windows-1252", "Windows-1253", "Windows-1254", "Windows-1255",
      "Windows-1256", "Windows-1257", "Windows-1258", "ISO-8859-1",   "ISO-8859-2",   "ISO-8859-5",
      "ISO-8859-7",   "ISO-8859-9",   "ISO-8859-13",  "ISO-8859-15",  "ISO-8859-16",  "KOI8-R",
      "KOI8-U",       "CP437",        "CP850",        "CP852",        "CP866"};
  std::vector<std::string> names;
  for (const char* name : kNames) {
    if (name == std::string_view(kDefaultName) || Create(name)) names.emplace_back(name);
  }
  return names;
}

const std::string& TextCodec::Name() const { return tables_->name; }

std::string TextCodec::Encode(std::string_view utf8) const {
  const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()))
                           .normalized(QString::NormalizationForm_C);
  std::string out;
  out.reserve(static_cast<size_t>(text.size()));
  for (const char32_t c : text.toUcs4()) {
    const auto b = tables_->Find(c);
    out.push_back(static_cast<char>(b ? *b : tables_->question));
  }
  return out;
}

QString TextCodec::DecodeToQString(std::string_view bytes) const {
  std::u32string text;
  text.reserve(bytes.size());
  for (const char b : bytes) text.push_back(tables_->toUnicode[static_cast<uint8_t>(b)]);
  return QString::fromUcs4(text.data(), static_cast<qsizetype>(text.size()));
}

std::string TextCodec::Decode(std::string_view bytes) const { return DecodeToQString(bytes).toStdString(); }

}  // namespace strixc::net
