#include "shell/address_book_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <memory>
#include <string>

#include "shell/connection_dialog.h"
#include "shell/picture_button.h"
#include "shell/string_ids.h"
#include "shell/string_table.h"
#include "shell/texts.h"

namespace strixc::shell {

namespace {

QString FromUtf8(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

PictureButton* MakeButton(QWidget* parent, const char* name, const QString& caption, const char* icon) {
  auto* button = new PictureButton(caption, parent);
  button->setObjectName(QString::fromLatin1(name));
  if (icon != nullptr) button->SetIcon(QIcon(QString::fromLatin1(icon)));
  return button;
}

QLineEdit* MakeField(QWidget* parent, const char* name) {
  auto* field = new QLineEdit(parent);
  field->setObjectName(QString::fromLatin1(name));
  field->setMinimumWidth(200);
  return field;
}

AddressBook DemoBook() {
  AddressBook book;
  for (int i = 0; i < AddressBook::kDemoEntryCount; ++i) book.Set(-1, AddressBook::DemoEntry(i));
  return book;
}

}  // namespace

AddressBookDialog::AddressBookDialog(const AddressBook& book, QWidget* parent)
    : DialogFrame(parent), book_(book), ask_([this](const QString& text, const QString& caption) {
        return MessageBox::Show(this, text, MessageStyle::kYesNo, caption);
      }) {
  SetCaption(Tr(text::kAddressBook));

  list_ = new QTreeWidget(this);
  list_->setObjectName("list");
  list_->setColumnCount(2);
  list_->setHeaderLabels({Tr(text::kColumnServerName), Tr(text::kLogin)});
  list_->setRootIsDecorated(false);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setMinimumWidth(300);

  name_ = MakeField(this, "name");
  address_ = MakeField(this, "address");
  port_ = MakeField(this, "port");
  login_ = MakeField(this, "login");
  password_ = MakeField(this, "password");
  password_->setEchoMode(QLineEdit::Password);

  auto* fields = new QGridLayout;
  fields->setHorizontalSpacing(8);
  const std::pair<int, QLineEdit*> rows[] = {{text::kFieldName, name_},
                                             {text::kServerAddress, address_},
                                             {text::kPort, port_},
                                             {text::kLogin, login_},
                                             {text::kPassword, password_}};
  int row = 0;
  for (const auto& [label, field] : rows) {
    fields->addWidget(new QLabel(Tr(label), this), row, 0);
    fields->addWidget(field, row, 1);
    connect(field, &QLineEdit::textChanged, this, &AddressBookDialog::WriteFields);
    ++row;
  }
  fields->setRowStretch(row, 1);

  auto* add = MakeButton(this, "add", Tr(text::kAddNew), nullptr);
  auto* remove = MakeButton(this, "delete", Tr(text::kDelete), nullptr);
  auto* up = MakeButton(this, "up", QString(), ":/icons/move_up.svg");
  auto* down = MakeButton(this, "down", QString(), ":/icons/move_down.svg");
  connect(add, &PictureButton::clicked, this, &AddressBookDialog::AddNew);
  connect(remove, &PictureButton::clicked, this, &AddressBookDialog::DeleteSelected);
  connect(up, &PictureButton::clicked, this, [this] { MoveSelected(-1); });
  connect(down, &PictureButton::clicked, this, [this] { MoveSelected(1); });

  auto* editing = new QHBoxLayout;
  editing->addWidget(add);
  editing->addWidget(remove);
  editing->addStretch();
  editing->addWidget(up);
  editing->addWidget(down);

  auto* ok = MakeButton(this, "ok", Tr(text::kOk), ":/icons/ok.svg");
  auto* cancel = MakeButton(this, "cancel", Tr(text::kCancel), ":/icons/cancel.svg");
  connect(ok, &PictureButton::clicked, this, &QDialog::accept);
  SetDefaultButton(ok);
  connect(cancel, &PictureButton::clicked, this, &QDialog::reject);

  auto* closing = new QHBoxLayout;
  closing->addStretch();
  closing->addWidget(ok);
  closing->addWidget(cancel);
  closing->addStretch();

  auto* left = new QVBoxLayout;
  left->addWidget(list_);
  left->addLayout(editing);

  auto* middle = new QHBoxLayout;
  middle->setSpacing(14);
  middle->addLayout(left, 3);
  middle->addLayout(fields, 2);

  auto* layout = new QVBoxLayout(this);
  // Room for the caption tab above the content.
  layout->setContentsMargins(16, 34, 16, 14);
  layout->setSpacing(12);
  layout->addLayout(middle);
  layout->addLayout(closing);

  connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this, &AddressBookDialog::FillFields);
  FillList(-1);
}

int AddressBookDialog::Selection() const {
  const QModelIndexList rows = list_->selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.first().row();
}

void AddressBookDialog::Select(int row) { SelectListItem(list_, row); }

void AddressBookDialog::FillList(int selectRow) {
  {
    // One fill of the fields after the list is complete, not one per intermediate selection.
    const QSignalBlocker quiet(list_->selectionModel());
    list_->clear();
    for (int i = 0; i < book_.Count(); ++i) {
      const AddressEntry entry = book_.Get(i);
      list_->addTopLevelItem(new QTreeWidgetItem({FromUtf8(entry.name), FromUtf8(entry.userName)}));
    }
    StyleListView(list_);
    SelectListItem(list_, selectRow);
  }
  FillFields();
}

void AddressBookDialog::FillFields() {
  const int row = Selection();
  AddressEntry entry;
  if (row >= 0) {
    entry = book_.Get(row);
  } else {
    entry.port.clear();  // no selection shows five empty fields, not the default port
  }
  filling_ = true;
  name_->setText(FromUtf8(entry.name));
  address_->setText(FromUtf8(entry.serverAddress));
  port_->setText(FromUtf8(entry.port));
  login_->setText(FromUtf8(entry.userName));
  password_->setText(FromUtf8(entry.password));
  // A long name shows its beginning, as it does in the list.
  for (QLineEdit* field : {name_, address_, port_, login_, password_}) field->setCursorPosition(0);
  filling_ = false;
}

void AddressBookDialog::WriteFields() {
  const int row = Selection();
  if (filling_ || row < 0) return;
  AddressEntry entry;
  entry.name = name_->text().toStdString();
  entry.serverAddress = address_->text().toStdString();
  entry.port = port_->text().toStdString();
  entry.userName = login_->text().toStdString();
  entry.password = password_->text().toStdString();
  if (!book_.Set(row, entry)) {
    // The entry would no longer fit the stored value that Load reads, so the book refuses it;
    // showing the stored entry again undoes the keystroke instead of letting the fields drift away
    // from what OK would save.
    FillFields();
    return;
  }
  QTreeWidgetItem* item = list_->topLevelItem(row);
  item->setText(0, name_->text());
  item->setText(1, login_->text());
}

void AddressBookDialog::AddNew() {
  AddressEntry entry;
  entry.name = std::string(Text(text::kNewItem));
  entry.port.clear();
  if (!book_.Set(-1, entry)) return;
  FillList(book_.Count() - 1);
}

void AddressBookDialog::DeleteSelected() {
  const int row = Selection();
  if (row < 0) return;
  if (ask_(Tr(text::kRemoveEntriesQuestion), Tr(text::kCaptionStx)) != MessageResult::kYes) return;
  book_.RemoveAt(row);
  FillList(-1);
}

void AddressBookDialog::MoveSelected(int step) {
  const int row = Selection();
  if (row < 0) return;
  const bool moved = step < 0 ? book_.MoveUp(row) : book_.MoveDown(row);
  if (moved) FillList(row + step);
}

bool AddressBookDialog::CommitTo(settings::SettingsDatabase& db, AddressBook* live) const {
  const bool saved = book_.Save(db);
  *live = book_;
  return saved;
}

bool EditAddressBook(QWidget* parent, settings::SettingsDatabase& db, AddressBook* live) {
  AddressBookDialog dialog(*live, parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  dialog.CommitTo(db, live);
  return true;
}

std::vector<GalleryPage> AddressGalleryPages() {
  return {
      {"address_book",
       [] {
         auto dialog = std::make_unique<AddressBookDialog>(DemoBook());
         dialog->Select(0);
         return std::unique_ptr<QWidget>(std::move(dialog));
       }},
      {"connection", [] { return std::unique_ptr<QWidget>(std::make_unique<ConnectionDialog>(DemoBook())); }},
  };
}

}  // namespace strixc::shell
