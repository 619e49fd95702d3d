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

std::vector<int> TextIds() {
  std::vector<int> ids;
  for (const TextEntry& e : TextTable()) ids.push_back(e.id);
  return ids;
}

}  // namespace strixc::shell
