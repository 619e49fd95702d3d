#include "shell/string_table.h"

#include <algorithm>

#include "shell/language.h"

namespace strixc::shell {

namespace {

const TextEntry* Find(int id) {
  const std::vector<TextEntry>& table = TextTable();
  const auto it = std::lower_bound(table.begin(), table.end(), id,
                                   [](const TextEntry& e, int value) { return e.id < value; });
  return it != table.end() && it->id == id ? &*it : nullptr;
}

const char* Column(const TextEntry& e, TextLanguage language) {
  switch (language) {
    case TextLanguage::kFrench: return e.french;
    case TextLanguage::kPolish: return e.polish;
    case TextLanguage::kSpanish: return e.spanish;
    case TextLanguage::kEnglish: break;
  }
  return e.english;
}

}  // namespace

TextLanguage TextLanguageOfLcid(int lcid) {
  switch (lcid) {
    case 12: return TextLanguage::kFrench;
    case 21: return TextLanguage::kPolish;
    case 3082: return TextLanguage::kSpanish;
    default: return TextLanguage::kEnglish;
  }
}

std::string_view TextIn(int id, TextLanguage language) {
  const TextEntry* e = Find(id);
  if (e == nullptr) return {};
  const char* text = Column(*e, language);
  return text != nullptr && text[0] != '\0' ? std::string_view(text) : std::string_view(e->english);
}

std::string_view Text(int id) { return TextIn(id, TextLanguageOfLcid(AppliedLanguage().lcid)); }

bool HasText(int id) { return Find(id) != nullptr; }

int PluralForm(TextLanguage language, long long count) {
  const unsigned long long n = count < 0 ? 0ULL - static_cast<unsigned long long>(count) : count;
  switch (language) {
    case TextLanguage::kPolish: {
      if (n == 1) return 0;
      const unsigned long long tens = n % 100;
      return n % 10 >= 2 && n % 10 <= 4 && (tens < 12 || tens > 14) ? 1 : 2;
    }
    case TextLanguage::kFrench: return n <= 1 ? 0 : 1;
    case TextLanguage::kEnglish:
    case TextLanguage::kSpanish: break;
  }
  return n == 1 ? 0 : 1;
}

std::string CountedTextIn(int id, TextLanguage language, long long count) {
  std::string_view forms = TextIn(id, language);
  for (int form = PluralForm(language, count); form > 0; --form) {
    const size_t bar = forms.find('|');
    if (bar == std::string_view::npos) break;
    forms.remove_prefix(bar + 1);
  }
  std::string text(forms.substr(0, forms.find('|')));
  const size_t at = text.find("%d");
  if (at != std::string::npos) text.replace(at, 2, std::to_string(count));
  return text;
}

std::string CountedText(int id, long long count) {
  return CountedTextIn(id, TextLanguageOfLcid(AppliedLanguage().lcid), count);
}

std::vector<int> TextIds() {
  std::vector<int> ids;
  for (const TextEntry& e : TextTable()) ids.push_back(e.id);
  return ids;
}

}  // namespace strixc::shell
