#include "shell/language_choice.h"

#include "shell/language.h"
#include "shell/string_ids.h"

namespace strixc::shell {

namespace {

constexpr int kEnglish = 0;
constexpr int kGerman = 1;
constexpr int kSpanish = 2;
constexpr int kPolish = 3;
constexpr int kFrench = 4;

}  // namespace

bool StartDialogAccepts(int index) {
  return index >= 0 && index < kLanguageCount && index != kGerman && index != kSpanish;
}

bool ProgramDialogAccepts(int index) { return index >= 0 && index < kLanguageCount && index != kGerman; }

int SystemLanguageIndex(std::string_view localeName) {
  // The language is the part before the territory, the code set and the modifier.
  const std::string_view language = localeName.substr(0, localeName.find_first_of("_.@"));
  if (language == "fr") return kFrench;
  if (language == "pl") return kPolish;
  if (language == "es") return kSpanish;
  return kEnglish;
}

void ChooseLanguageAtStart(settings::SettingsDatabase& db, const std::function<int()>& askOperator) {
  if (!ReadLanguage(db)) {
    SetLanguageIndex(askOperator());
    WriteLanguage(db);
  }
  ApplyLanguage();
}

bool ChangeLanguage(settings::SettingsDatabase& db, int selection,
                    const std::function<void(std::string_view restartText)>& showRestart) {
  const int current = LanguageIndex();
  if (selection == current) return false;
  SetLanguageIndex(selection);
  ApplyLanguage();
  WriteLanguage(db);
  // Shown while the new language is applied, so the operator reads it in the language chosen.
  showRestart(Text(text::kRestartForLanguage));
  SetLanguageIndex(current);
  ApplyLanguage();
  SetLanguageIndex(selection);
  return true;
}

}  // namespace strixc::shell
