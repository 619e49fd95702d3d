#include "shell/language.h"

#include <atomic>
#include <cstdint>

#include "settings/settings_key.h"

namespace strixc::shell {

namespace {

constexpr char kLanguageValue[] = "Language";

struct LanguageRow {
  const char* listText;
  LanguageLocale locale;
};

// German has a place in the list but no texts of its own: it shows the English ones.
constexpr LanguageRow kLanguages[kLanguageCount] = {
    {"ENGLISH", {kEnglishLcid, "en_US"}},
    {"DEUTCH", {kEnglishLcid, "en_US"}},
    {"ESPANIOL", {3082, "es_ES"}},
    {"POLSKI", {21, "pl_PL"}},
    {"FRANCAIS", {12, "fr_FR"}},
};

std::atomic<int> currentIndex{0};
std::atomic<int> appliedIndex{0};

bool InTable(int index) { return index >= 0 && index < kLanguageCount; }

}  // namespace

LanguageLocale LocaleOfIndex(int index) { return kLanguages[InTable(index) ? index : 0].locale; }

const char* ListText(int index) { return InTable(index) ? kLanguages[index].listText : ""; }

int LanguageIndex() { return currentIndex.load(); }

void SetLanguageIndex(int index) { currentIndex.store(index); }

bool ReadLanguage(settings::SettingsDatabase& db) {
  uint32_t value = static_cast<uint32_t>(currentIndex.load());
  if (!settings::SettingsKey(db).ReadDword(kLanguageValue, &value)) return false;
  currentIndex.store(static_cast<int>(value));
  return true;
}

bool WriteLanguage(settings::SettingsDatabase& db) {
  return settings::SettingsKey(db).WriteDword(kLanguageValue, static_cast<uint32_t>(currentIndex.load()));
}

LanguageLocale ApplyLanguage() {
  const int index = currentIndex.load();
  appliedIndex.store(index);
  return LocaleOfIndex(index);
}

LanguageLocale AppliedLanguage() { return LocaleOfIndex(appliedIndex.load()); }

}  // namespace strixc::shell
