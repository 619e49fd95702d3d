#include "shell/string_table.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "shell/archive_log_words.h"
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
    // A counted text's every form has the conversions of the English first form.
    const std::string_view english(e.english);
    const std::string_view first = english.substr(0, english.find('|'));
    for (const char* text : {e.english, e.french, e.polish, e.spanish}) {
      std::string_view forms(text);
      while (true) {
        const size_t bar = forms.find('|');
        EXPECT_EQ(Conversions(forms.substr(0, bar)), Conversions(first)) << e.id << ": \"" << text << "\"";
        if (bar == std::string_view::npos) break;
        forms.remove_prefix(bar + 1);
      }
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

TEST(StringTableTest, CountedTextsFollowEachLanguagesPluralRule) {
  EXPECT_EQ(CountedTextIn(text::kCountDays, TextLanguage::kPolish, 1), "1 dzień");
  EXPECT_EQ(CountedTextIn(text::kCountDays, TextLanguage::kPolish, 3), "3 dni");
  EXPECT_EQ(CountedTextIn(text::kCountErrors, TextLanguage::kPolish, 22), "22 błędy");
  EXPECT_EQ(CountedTextIn(text::kCountErrors, TextLanguage::kPolish, 12), "12 błędów");
  EXPECT_EQ(CountedTextIn(text::kCountErrors, TextLanguage::kPolish, 25), "25 błędów");
  EXPECT_EQ(CountedTextIn(text::kCountErrors, TextLanguage::kSpanish, 1), "1 error");
  EXPECT_EQ(CountedTextIn(text::kCountErrors, TextLanguage::kSpanish, 0), "0 errores");
  EXPECT_EQ(CountedTextIn(text::kCountDays, TextLanguage::kFrench, 0), "0 jour");
  EXPECT_EQ(CountedTextIn(text::kCountDays, TextLanguage::kEnglish, 1), "1 day");
  EXPECT_EQ(CountedTextIn(text::kCountDays, TextLanguage::kEnglish, 2), "2 days");
  EXPECT_EQ(CountedTextIn(text::kCountMoreMessages, TextLanguage::kPolish, 5),
            "oraz 5 innych niewyświetlonych komunikatów\r\n");
  EXPECT_EQ(CountedTextIn(text::kCountMoreMessages, TextLanguage::kPolish, 1),
            "oraz 1 inny niewyświetlony komunikat\r\n");
  EXPECT_EQ(CountedTextIn(text::kCancel, TextLanguage::kPolish, 5), "Anuluj") << "a plain text is its own form";
}

TEST(StringTableTest, ArchiveLogSummaryCountsInTheOperatorsLanguage) {
  archive::ArchiveMessageLog log;
  for (int i = 0; i < 13; ++i) log.Add("m" + std::to_string(i), i != 0);
  SetLanguageIndex(3);
  ApplyLanguage();
  const std::string polish = log.Summary(ArchiveLogWords());
  SetLanguageIndex(0);
  ApplyLanguage();
  EXPECT_EQ(polish.rfind("Podczas przetwarzania archiwów: 12 błędów, 1 ostrzeżenie \r\nWarning: m0 \r\n", 0), 0u)
      << polish;
  EXPECT_NE(polish.find("m9 \r\noraz 3 inne niewyświetlone komunikaty\r\n"), std::string::npos) << polish;
  EXPECT_EQ(log.Summary(ArchiveLogWords()).rfind("There were 12 errors and 1 warning during processing archives", 0), 0u);
}

}  // namespace
}  // namespace strixc::shell
