#pragma once

#include <QString>
#include <functional>
#include <vector>

#include "settings/settings_database.h"
#include "shell/address_book.h"
#include "shell/dialog_frame.h"
#include "shell/gallery.h"
#include "shell/message_box.h"

class QLineEdit;
class QTreeWidget;

namespace strixc::shell {

class PictureButton;

// "Address book": edits a copy of the operator's book. The list ("Server name", "Login") shows the
// copy; the five fields below it show and edit the selected entry (every change is written into it
// at once); "Add new", "Delete", move up and move down change the copy. OK (accept) leaves the
// edited copy in Book() for the caller to commit; Cancel (reject) leaves the caller's book as it
// was, since the dialog never touches it.
//
// Buttons are PictureButtons named "add", "delete", "up", "down", "ok" and "cancel"; the list is
// named "list" and the fields "name", "address", "port", "login" and "password".
class AddressBookDialog : public DialogFrame {
  Q_OBJECT

 public:
  // Asks the operator a Yes/No question; the default is the program's message box. Tests replace
  // it.
  using Asker = std::function<MessageResult(const QString& text, const QString& caption)>;

  // Copies `book`; the dialog keeps no reference to it.
  explicit AddressBookDialog(const AddressBook& book, QWidget* parent = nullptr);

  void SetAsker(Asker asker) { ask_ = std::move(asker); }

  // The working copy, with every edit so far.
  const AddressBook& Book() const { return book_; }
  // The selected row, -1 without a selection.
  int Selection() const;
  // Selects `row` as a click would (-1 or out of range clears the selection).
  void Select(int row);

  // What OK means for the program: stores the copy as the saved book, then makes it the live one.
  // The live book takes the edits even when the database refuses them (false), so that they hold
  // for this session.
  bool CommitTo(settings::SettingsDatabase& db, AddressBook* live) const;

 private:
  void AddNew();
  void DeleteSelected();
  void MoveSelected(int step);
  void FillList(int selectRow);
  void FillFields();
  void WriteFields();

  AddressBook book_;
  Asker ask_;
  // Set while the fields are filled from the entry, so that filling does not write them back.
  bool filling_ = false;

  QTreeWidget* list_ = nullptr;
  QLineEdit* name_ = nullptr;
  QLineEdit* address_ = nullptr;
  QLineEdit* port_ = nullptr;
  QLineEdit* login_ = nullptr;
  QLineEdit* password_ = nullptr;
};

// Shows the address book dialog over `live` and, on OK, saves the edits to `db` and makes them the
// live book; true on OK. What the main window's "Address book ..." command runs.
bool EditAddressBook(QWidget* parent, settings::SettingsDatabase& db, AddressBook* live);

// The gallery's "address_book" and "connection" pages, over the demonstration servers.
std::vector<GalleryPage> AddressGalleryPages();

}  // namespace strixc::shell
