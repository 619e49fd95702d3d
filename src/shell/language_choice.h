#pragma once

// The rules of the two language dialogs, apart from their windows.

#include <functional>
#include <string_view>

#include "settings/settings_database.h"

namespace strixc::shell {

// The list entries a dialog takes: at the first start only the languages whose texts exist
// (English, Polish, French); in the program also Spanish. "DEUTCH" is refused everywhere.
bool StartDialogAccepts(int index);
bool ProgramDialogAccepts(int index);

// The start of the program: when no language is stored, `askOperator` picks one (the start
// dialog) and it is stored. Then the index's language is applied.
void ChooseLanguageAtStart(settings::SettingsDatabase& db, const std::function<int()>& askOperator);

// The list entry of the system's language, from a POSIX locale name ("pl_PL.UTF-8", "fr", "C"):
// English, French, Polish or Spanish, and English for any other. An unattended start takes it
// instead of asking.
int SystemLanguageIndex(std::string_view localeName);

// OK in the program's dialog with `selection`: when it differs from the current index, stores it
// and has `showRestart` tell the operator, in the newly chosen language, that the change takes
// effect at the next start. The running program keeps the language it shows; the index becomes
// the selection (what a later save stores). Returns whether the language changed.
bool ChangeLanguage(settings::SettingsDatabase& db, int selection,
                    const std::function<void(std::string_view restartText)>& showRestart);

}  // namespace strixc::shell
