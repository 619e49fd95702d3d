#pragma once

#include <QString>
#include <functional>

#include "settings/settings_database.h"
#include "shell/dialog_frame.h"

class QListWidget;

namespace strixc::shell {

class PictureButton;

// The two language dialogs: at the first start (caption "Strix-C", the list and OK) and in the
// program ("Program settings": the list under "Language", OK and Cancel). Picking a language
// that the dialog does not take tells the operator so and selects "ENGLISH" again.
class LanguageDialog : public DialogFrame {
  Q_OBJECT

 public:
  enum class Kind { kStart, kProgram };

  // Shows a message to the operator; the default is the program's message box. Tests replace it.
  using Notifier = std::function<void(const QString& text)>;

  LanguageDialog(Kind kind, QWidget* parent = nullptr);

  void SetNotifier(Notifier notifier) { notify_ = std::move(notifier); }
  // The selected language; a refused one reads as "ENGLISH".
  int Selection() const;
  // Selects list entry `index` as the operator would, with the dialog's refusal.
  void Pick(int index);

  // OK with a refused language selected selects "ENGLISH" and keeps the dialog open.
  void accept() override;

  // The program dialog's OK: stores a changed language and shows the restart text in it.
  void AcceptInto(settings::SettingsDatabase& db);

 private:
  bool Accepts(int index) const;
  void SelectEnglish();

  Kind kind_;
  Notifier notify_;
  QListWidget* list_ = nullptr;
  PictureButton* ok_ = nullptr;
  PictureButton* cancel_ = nullptr;
};

// The start of the program: asks for the language with the start dialog when none is stored.
void ChooseLanguageWithDialog(settings::SettingsDatabase& db);

}  // namespace strixc::shell
