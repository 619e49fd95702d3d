#include "shell/string_table.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "shell/language.h"
#include "shell/string_ids.h"

namespace strixc::shell {
namespace {

constexpr TextLanguage kLanguages[] = {TextLanguage::kEnglish, TextLanguage::kFrench, TextLanguage::kPolish,
                                       TextLanguage::kSpanish};

// The printf conversions of a text in order ("%d", "%s", "%I64d", "%02d"...); "%%" is no conversion.
// strftime texts (those with "%H", "%I", "%M"...) are compared as a whole elsewhere.
std::string Conversions(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') continue;
    if (i + 1 < text.size() && text[i + 1] == '%') {
      ++i;
      continue;
    }
    size_t end = i + 1;
    while (end < text.size() && std::string_view("0123456789.-+ #lhI6").find(text[end]) != std::string_view::npos) ++end;
    if (end < text.size()) out += std::string(text.substr(i, end - i + 1)) + " ";
    i = end;
  }
  return out;
}

bool IsTimeFormat(std::string_view english) {
  return english.find("%M") != std::string_view::npos || english.find("%Y") != std::string_view::npos;
}

TEST(StringTableTest, EveryTextExistsInEveryLanguageWithTheSameConversions) {
  const std::vector<TextEntry>& table = TextTable();
  ASSERT_FALSE(table.empty());
  for (size_t i = 0; i < table.size(); ++i) {
    const TextEntry& e = table[i];
    if (i > 0) {
      ASSERT_LT(table[i - 1].id, e.id) << "the table must be sorted by id without duplicates";
    }
    for (const char* text : {e.english, e.french, e.polish, e.spanish}) {
      ASSERT_NE(text, nullptr) << e.id;
      EXPECT_STRNE(text, "") << "missing translation of " << e.id << " \"" << e.english << "\"";
    }
    if (IsTimeFormat(e.english)) continue;
    for (const char* text : {e.french, e.polish, e.spanish}) {
      EXPECT_EQ(Conversions(text), Conversions(e.english)) << e.id << ": \"" << text << "\"";
    }
  }
}

TEST(StringTableTest, LookupFollowsTheAppliedLanguage) {
  SetLanguageIndex(4);
  ApplyLanguage();
  EXPECT_EQ(Text(text::kCancel), "Annuler");
  SetLanguageIndex(3);
  ApplyLanguage();
  EXPECT_EQ(Text(text::kCancel), "Anuluj");
  SetLanguageIndex(7);  // no such language: English
  ApplyLanguage();
  EXPECT_EQ(Text(text::kCancel), "Cancel");
  SetLanguageIndex(0);
  ApplyLanguage();

  EXPECT_EQ(TextIn(text::kYes, TextLanguage::kSpanish), "Sí");
  EXPECT_EQ(Text(99999), "");
  EXPECT_FALSE(HasText(99999));
  for (TextLanguage language : kLanguages) {
    EXPECT_FALSE(TextIn(text::kOk, language).empty());
  }
}

}  // namespace
}  // namespace strixc::shell
