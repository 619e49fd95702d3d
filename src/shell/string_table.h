#pragma once

// The program's texts in its four languages, looked up by number. Texts with a resource number of
// their own carry it; the others have numbers from kOwnTextBase on (string_ids.h names them all).
// Texts are UTF-8; printf-style texts keep the same conversions, in the same order, in every
// language.

#include <string>
#include <string_view>
#include <vector>

namespace strixc::shell {

enum class TextLanguage { kEnglish, kFrench, kPolish, kSpanish };
constexpr int kTextLanguageCount = 4;

// Numbers of our own texts (those without a resource number) start here.
constexpr int kOwnTextBase = 100000;

// The language whose texts a locale identifier (LanguageLocale::lcid) selects; English for any
// locale without texts of its own.
TextLanguage TextLanguageOfLcid(int lcid);

// The text `id` in the language ApplyLanguage last chose. An unknown id gives an empty text.
std::string_view Text(int id);
// The text `id` in `language`; an empty translation falls back to English.
std::string_view TextIn(int id, TextLanguage language);
bool HasText(int id);

// Counted texts hold one form per plural category of their language, separated by "|": English,
// French and Spanish "one|other", Polish "one|few|many". PluralForm gives the form `count`
// takes (0 one, 1 other or few, 2 many); a text with fewer forms uses its last.
int PluralForm(TextLanguage language, long long count);
// The form of counted text `id` for `count`, with its "%d" replaced by the count.
std::string CountedTextIn(int id, TextLanguage language, long long count);
// The same in the language ApplyLanguage last chose.
std::string CountedText(int id, long long count);
// Every id of the table, ascending.
std::vector<int> TextIds();

// One row of the table: the English, French, Polish and Spanish texts of one id.
struct TextEntry {
  int id;
  const char* english;
  const char* french;
  const char* polish;
  const char* spanish;
};

// The whole table, sorted by id (string_table_data.cpp).
const std::vector<TextEntry>& TextTable();

}  // namespace strixc::shell
