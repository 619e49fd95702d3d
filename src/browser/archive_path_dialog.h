#pragma once

#include <QString>
#include <functional>
#include <optional>

#include "shell/dialog_frame.h"

class QLineEdit;

namespace strixc::shell {
class PictureButton;
}

namespace strixc::browser {

// The path dialog of "Archives from path ...": "Path to the folder containing archive files", one
// edit field, "Browse..." (the desktop's folder chooser, which writes its choice into the field),
// OK and Cancel. OK takes the field's text, trimmed; it is greyed while the field is blank, since
// an empty path would name the working directory. Storing the folder back as the client settings'
// DefaultDir is the opener's part.
//
// UI thread only. Controls by object name: the edit "folder", the buttons "browse", "ok", "cancel".
class ArchivePathDialog : public shell::DialogFrame {
  Q_OBJECT

 public:
  // Asks the operator for a folder, starting at `start`; an empty answer means none was chosen.
  using FolderBrowser = std::function<QString(QWidget* parent, const QString& start)>;

  explicit ArchivePathDialog(const QString& initialFolder, QWidget* parent = nullptr);

  // Default: the desktop's folder chooser (no title, folders only). Tests replace it.
  void SetFolderBrowser(FolderBrowser browser) { browseFolder_ = std::move(browser); }

  // The field's text, trimmed.
  QString Folder() const;

  // OK: closes accepted unless the field is blank.
  void accept() override;

 private:
  void Browse();
  void UpdateOk();

  FolderBrowser browseFolder_;
  QLineEdit* folder_ = nullptr;
  shell::PictureButton* ok_ = nullptr;
};

// Runs the dialog modally over `parent`, starting at `initialFolder`: the folder chosen with OK, or
// nothing after Cancel.
std::optional<QString> AskArchiveFolder(const QString& initialFolder, QWidget* parent);

}  // namespace strixc::browser
