#include "shell/language_choice.h"

#include "shell/language.h"
#include "shell/string_ids.h"

namespace strixc::shell {

namespace {

constexpr int kGerman = 1;
constexpr int kSpanish = 2;

}  // namespace

bool StartDialogAccepts(int index) {
  return index >= 0 && index < kLanguageCount && index != kGerman && index != kSpanish;
}

bool ProgramDialogAccepts(int index) { return index >= 0 && index < kLanguageCount && index != kGerman; }

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
