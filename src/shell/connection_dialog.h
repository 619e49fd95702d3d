#pragma once

#include <QString>
#include <functional>

#include "shell/address_book.h"
#include "shell/dialog_frame.h"

class QComboBox;
class QLineEdit;

namespace strixc::shell {

// "Connection": a drop-down of the address book's names and the fields Server address, Server
// port, Login and Password (masked). Picking a name fills the four fields from that entry; the
// operator may then edit them, and the edits stay in the dialog: the book is never written.
// "Connect" accepts only when none of the four fields is empty, and otherwise tells the operator
// "Form is not filled" and stays open.
//
// Buttons are PictureButtons named "connect" and "cancel"; the drop-down is named "server" and the
// fields "address", "port", "login" and "password".
class ConnectionDialog : public DialogFrame {
  Q_OBJECT

 public:
  // Shows a message to the operator; the default is the program's message box. Tests replace it.
  using Notifier = std::function<void(const QString& text)>;

  // Copies the names and entries of `book`; the dialog keeps no reference to it. The first entry
  // is picked when there is one.
  explicit ConnectionDialog(const AddressBook& book, QWidget* parent = nullptr);

  void SetNotifier(Notifier notifier) { notify_ = std::move(notifier); }

  // Picks entry `index` of the drop-down as the operator would; ignored out of range.
  void Pick(int index);
  int Selection() const;

  // The four texts taken by the last accepted "Connect"; empty before. The port is the text as
  // typed: the dialog does not check that it is a number.
  const QString& Host() const { return host_; }
  const QString& Port() const { return port_; }
  const QString& User() const { return user_; }
  const QString& Password() const { return password_; }

 private:
  void TryConnect();

  AddressBook book_;
  Notifier notify_;

  QString host_;
  QString port_;
  QString user_;
  QString password_;

  QComboBox* server_ = nullptr;
  QLineEdit* addressField_ = nullptr;
  QLineEdit* portField_ = nullptr;
  QLineEdit* loginField_ = nullptr;
  QLineEdit* passwordField_ = nullptr;
};

}  // namespace strixc::shell
