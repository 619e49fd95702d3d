#include "shell/address_book_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>

#include <QComboBox>
#include <QLineEdit>
#include <QStringList>
#include <QTreeWidget>
#include <string>
#include <vector>

#include "shell/connection_dialog.h"
#include "shell/language.h"
#include "shell/picture_button.h"
#include "shell/string_ids.h"
#include "shell/string_table.h"

namespace strixc::shell {
namespace {

QString English(int id) {
  const std::string_view t = TextIn(id, TextLanguage::kEnglish);
  return QString::fromUtf8(t.data(), static_cast<qsizetype>(t.size()));
}

AddressEntry Server(const std::string& name, const std::string& login = "admin") {
  AddressEntry entry;
  entry.name = name;
  entry.userName = login;
  entry.password = "secret";
  entry.serverAddress = name + ".example";
  return entry;
}

AddressBook BookOf(const std::vector<std::string>& names) {
  AddressBook book;
  for (const std::string& name : names) book.Set(-1, Server(name));
  return book;
}

std::vector<std::string> Names(const AddressBook& book) {
  std::vector<std::string> names;
  for (int i = 0; i < book.Count(); ++i) names.push_back(book.Get(i).name);
  return names;
}

void Click(QWidget& dialog, const char* button) {
  auto* found = dialog.findChild<PictureButton*>(QString::fromLatin1(button));
  ASSERT_NE(found, nullptr) << button;
  found->click();
}

QLineEdit* Field(QWidget& dialog, const char* name) { return dialog.findChild<QLineEdit*>(QString::fromLatin1(name)); }

class AddressBookDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetLanguageIndex(0);
    ApplyLanguage();
  }

  // A dialog over `book` whose Delete question is answered by `answer_` and recorded.
  std::unique_ptr<AddressBookDialog> Open(const AddressBook& book) {
    auto dialog = std::make_unique<AddressBookDialog>(book);
    dialog->SetAsker([this](const QString& text, const QString& caption) {
      asked_ << caption + ": " + text;
      return answer_;
    });
    return dialog;
  }

  // What the list shows, row by row, as "name | login".
  static QStringList Rows(AddressBookDialog& dialog) {
    QStringList rows;
    auto* list = dialog.findChild<QTreeWidget*>("list");
    for (int i = 0; i < list->topLevelItemCount(); ++i)
      rows << list->topLevelItem(i)->text(0) + " | " + list->topLevelItem(i)->text(1);
    return rows;
  }

  MessageResult answer_ = MessageResult::kYes;
  QStringList asked_;
};

TEST_F(AddressBookDialogTest, SelectingFillsTheFieldsAndEditingWritesTheSelectedEntry) {
  auto dialog = Open(BookOf({"alpha", "beta"}));
  EXPECT_EQ(dialog->Selection(), -1);
  EXPECT_TRUE(Field(*dialog, "port")->text().isEmpty()) << "no selection, empty fields";

  dialog->Select(1);
  EXPECT_EQ(Field(*dialog, "name")->text(), "beta");
  EXPECT_EQ(Field(*dialog, "port")->text(), "9000");

  Field(*dialog, "login")->setText("operator");
  Field(*dialog, "name")->setText("beta site");
  EXPECT_EQ(dialog->Book().Get(1).userName, "operator");
  EXPECT_EQ(dialog->Book().Get(1).name, "beta site");
  EXPECT_EQ(dialog->Book().Get(1).password, "secret") << "the other fields are kept";
  EXPECT_EQ(dialog->Book().Get(0), Server("alpha"));
  EXPECT_EQ(Rows(*dialog), (QStringList{"alpha | admin", "beta site | operator"}));

  Field(*dialog, "name")->setText(QString(AddressBook::kMaxEntryBytes, 'x'));
  EXPECT_EQ(Field(*dialog, "name")->text(), "beta site") << "an entry the book cannot store is undone";

  dialog->Select(-1);
  Field(*dialog, "name")->setText("nobody");
  EXPECT_EQ(Names(dialog->Book()), (std::vector<std::string>{"alpha", "beta site"})) << "no selection, no write";
}

TEST_F(AddressBookDialogTest, AddNewAppendsAnEmptyNewItemAndSelectsIt) {
  auto dialog = Open(BookOf({"alpha", "beta"}));
  dialog->Select(0);
  Click(*dialog, "add");
  ASSERT_EQ(dialog->Book().Count(), 3);
  AddressEntry added;
  added.name = "New item";
  added.port.clear();
  EXPECT_EQ(dialog->Book().Get(2), added);
  EXPECT_EQ(dialog->Selection(), 2);
  EXPECT_EQ(Rows(*dialog).last(), "New item | ");
}

TEST_F(AddressBookDialogTest, DeleteAsksAndRemovesOnlyOnYes) {
  auto dialog = Open(BookOf({"alpha", "beta", "gamma"}));
  Click(*dialog, "delete");
  EXPECT_TRUE(asked_.isEmpty()) << "no selection, no question";

  dialog->Select(1);
  answer_ = MessageResult::kNo;
  Click(*dialog, "delete");
  EXPECT_EQ(asked_, QStringList{English(text::kCaptionStx) + ": " + English(text::kRemoveEntriesQuestion)});
  EXPECT_EQ(dialog->Book().Count(), 3);
  EXPECT_EQ(dialog->Selection(), 1);

  answer_ = MessageResult::kYes;
  Click(*dialog, "delete");
  EXPECT_EQ(Names(dialog->Book()), (std::vector<std::string>{"alpha", "gamma"}));
  EXPECT_EQ(Rows(*dialog), (QStringList{"alpha | admin", "gamma | admin"}));
  EXPECT_EQ(dialog->Selection(), -1);
}

TEST_F(AddressBookDialogTest, MovesKeepTheEntrySelectedAndStopAtTheEnds) {
  auto dialog = Open(BookOf({"alpha", "beta", "gamma"}));
  dialog->Select(1);
  Click(*dialog, "up");
  EXPECT_EQ(Names(dialog->Book()), (std::vector<std::string>{"beta", "alpha", "gamma"}));
  EXPECT_EQ(dialog->Selection(), 0);
  EXPECT_EQ(Field(*dialog, "name")->text(), "beta");

  Click(*dialog, "up");
  EXPECT_EQ(Names(dialog->Book()), (std::vector<std::string>{"beta", "alpha", "gamma"}));
  EXPECT_EQ(dialog->Selection(), 0);

  dialog->Select(1);
  Click(*dialog, "down");
  Click(*dialog, "down");
  EXPECT_EQ(Names(dialog->Book()), (std::vector<std::string>{"beta", "gamma", "alpha"}));
  EXPECT_EQ(dialog->Selection(), 2);
  EXPECT_EQ(Rows(*dialog).last(), "alpha | admin");
}

TEST_F(AddressBookDialogTest, CancelLeavesTheBookAndOkCommitsTheEdits) {
  settings::SettingsDatabase db;
  db.OpenInMemory();
  AddressBook live = BookOf({"alpha", "beta"});
  const AddressBook original = live;

  auto cancelled = Open(live);
  cancelled->Select(0);
  Click(*cancelled, "delete");
  Click(*cancelled, "cancel");
  EXPECT_EQ(cancelled->result(), QDialog::Rejected);
  EXPECT_EQ(Names(live), Names(original));

  auto confirmed = Open(live);
  confirmed->Select(1);
  Field(*confirmed, "address")->setText("10.0.0.9");
  Click(*confirmed, "add");
  Click(*confirmed, "ok");
  ASSERT_EQ(confirmed->result(), QDialog::Accepted);
  EXPECT_EQ(Names(live), Names(original)) << "the dialog never writes the caller's book";
  ASSERT_TRUE(confirmed->CommitTo(db, &live));
  EXPECT_EQ(Names(live), (std::vector<std::string>{"alpha", "beta", "New item"}));
  EXPECT_EQ(live.Get(1).serverAddress, "10.0.0.9");

  AddressBook reloaded;
  reloaded.Load(db);
  EXPECT_EQ(Names(reloaded), Names(live)) << "saved with Version: no demonstration servers added";
  EXPECT_EQ(reloaded.Get(1), live.Get(1));
}

class ConnectionDialogTest : public AddressBookDialogTest {
 protected:
  ConnectionDialog::Notifier Record() {
    return [this](const QString& text) { shown_ << text; };
  }
  QStringList shown_;
};

TEST_F(ConnectionDialogTest, OpensOnTheFirstEntryAndPickingFillsTheFields) {
  AddressBook book = BookOf({"alpha", "beta"});
  AddressEntry beta = book.Get(1);
  beta.port = "9100";
  book.Set(1, beta);
  ConnectionDialog dialog(book);
  auto* server = dialog.findChild<QComboBox*>("server");
  ASSERT_EQ(server->count(), 2);
  EXPECT_EQ(server->itemText(1), "beta");
  EXPECT_EQ(Field(dialog, "address")->text(), "alpha.example");

  server->setCurrentIndex(1);
  EXPECT_EQ(Field(dialog, "address")->text(), "beta.example");
  EXPECT_EQ(Field(dialog, "port")->text(), "9100");
  EXPECT_EQ(Field(dialog, "password")->text(), "secret");

  dialog.Pick(0);
  EXPECT_EQ(dialog.Selection(), 0);
  EXPECT_EQ(Field(dialog, "port")->text(), "9000");
}

TEST_F(ConnectionDialogTest, ConnectRefusesAnyEmptyField) {
  for (const char* emptied : {"address", "port", "login", "password"}) {
    ConnectionDialog dialog(BookOf({"alpha"}));
    dialog.SetNotifier(Record());
    shown_.clear();
    Field(dialog, emptied)->clear();
    Click(dialog, "connect");
    EXPECT_EQ(shown_, QStringList{English(text::kFormNotFilled)}) << emptied;
    EXPECT_EQ(dialog.result(), QDialog::Rejected) << emptied << ": stays open";
    EXPECT_TRUE(dialog.Host().isEmpty()) << emptied;
  }

  ConnectionDialog empty{AddressBook()};
  empty.SetNotifier(Record());
  shown_.clear();
  Click(empty, "connect");
  EXPECT_EQ(shown_.size(), 1) << "an empty book leaves every field empty";
}

TEST_F(ConnectionDialogTest, ConnectReturnsTheEditedTexts) {
  const AddressBook book = BookOf({"alpha"});
  ConnectionDialog dialog(book);
  dialog.SetNotifier(Record());
  Field(dialog, "login")->setText("guest");
  Click(dialog, "connect");
  EXPECT_TRUE(shown_.isEmpty());
  ASSERT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.Host(), "alpha.example");
  EXPECT_EQ(dialog.Port(), "9000");
  EXPECT_EQ(dialog.User(), "guest");
  EXPECT_EQ(dialog.Password(), "secret");
}

void PressEnterIn(QWidget* field, Qt::Key key = Qt::Key_Return) {
  QKeyEvent press(QEvent::KeyPress, key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
  QApplication::sendEvent(field, &press);
}

TEST_F(ConnectionDialogTest, EnterPressesTheDefaultButtonOfBothDialogs) {
  ConnectionDialog connection(BookOf({"alpha"}));
  connection.SetNotifier(Record());
  connection.show();
  PressEnterIn(Field(connection, "password"), Qt::Key_Enter);
  EXPECT_EQ(connection.result(), QDialog::Accepted) << "Connect";
  EXPECT_EQ(connection.Host(), "alpha.example");

  AddressBook live = BookOf({"alpha"});
  auto book = Open(live);
  book->show();
  book->Select(0);
  PressEnterIn(Field(*book, "name"));
  EXPECT_EQ(book->result(), QDialog::Accepted) << "OK";
}

}  // namespace
}  // namespace strixc::shell
