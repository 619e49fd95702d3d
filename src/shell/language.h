#pragma once

// The operator's language: an index into a fixed table of five entries, kept process-wide and
// stored as the root DWORD "Language". Any thread may read or set the index.

#include "settings/settings_database.h"

namespace strixc::shell {

// The locale the string table uses for a language: a Windows language identifier (the number the
// texts are keyed by) and the POSIX locale name.
struct LanguageLocale {
  int lcid;
  const char* name;
};

constexpr int kLanguageCount = 5;
constexpr int kEnglishLcid = 1033;

// The locale of a language index; English for any index outside the table.
LanguageLocale LocaleOfIndex(int index);
// The name shown in the language list ("ENGLISH", ...); empty for an index outside the table.
const char* ListText(int index);

int LanguageIndex();
void SetLanguageIndex(int index);

// Reads the stored "Language" into the index; false (index unchanged) when there is none. A stored
// value outside the table is kept: its locale is English.
bool ReadLanguage(settings::SettingsDatabase& db);
bool WriteLanguage(settings::SettingsDatabase& db);

// Makes the current index's locale the one the texts are shown in, and returns it. Linux has no
// per-thread resource locale, so the choice is recorded for the string table to read.
LanguageLocale ApplyLanguage();
// What the last ApplyLanguage chose (English before the first).
LanguageLocale AppliedLanguage();

}  // namespace strixc::shell
