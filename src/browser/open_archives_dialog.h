#pragma once

#include <array>
#include <optional>

#include "shell/dialog_frame.h"

class QComboBox;

namespace strixc::shell {
class PictureButton;
}

namespace strixc::browser {

// The kinds of archive the archive browser opens, valued as the "Open archives" list orders them.
enum class ArchiveKind : int { kLocal = 0, kRemote = 1, kPath = 2 };

// The "Open archives" dialog of the main window's archive button: "Select archive :" with
// "Default" (the local archive), "Remote" (the connected server's) and "From disk ..." (a folder),
// then "Open" or "Cancel".
//
// The list starts at the kind that Open accepted last in this run of the program ("Remote" before
// the first); Cancel leaves that memory as it was. A kind the caller disables with SetKindEnabled
// is listed greyed and cannot be chosen; while the remembered kind is disabled the list starts at
// the first enabled one, and the memory keeps the remembered kind for a later opening.
//
// UI thread only (the memory is the process's, unguarded). Controls by object name: the combo box
// "archive_kind", the buttons "open" and "cancel".
class OpenArchivesDialog : public shell::DialogFrame {
  Q_OBJECT

 public:
  explicit OpenArchivesDialog(QWidget* parent = nullptr);

  // All three are enabled at first. Call before the dialog runs.
  void SetKindEnabled(ArchiveKind kind, bool enabled);
  // The kind selected in the list.
  ArchiveKind Choice() const;
  // The kind the next dialog starts at.
  static ArchiveKind LastChoice();

  // "Open": remembers the choice (only an enabled one), then closes.
  void accept() override;

 private:
  void SelectStart();
  void UpdateOpenButton();

  QComboBox* kinds_ = nullptr;
  shell::PictureButton* open_ = nullptr;
  std::array<bool, 3> enabled_{true, true, true};
};

// Runs the dialog modally over `parent`: the chosen kind, or nothing after Cancel.
std::optional<ArchiveKind> AskArchiveKind(QWidget* parent, bool localEnabled, bool remoteEnabled);

}  // namespace strixc::browser
