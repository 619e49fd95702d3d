#include "shell/connection_dialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "shell/message_box.h"
#include "shell/picture_button.h"
#include "shell/string_ids.h"
#include "shell/string_table.h"
#include "shell/texts.h"

namespace strixc::shell {

namespace {

QString FromUtf8(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QLineEdit* MakeField(QWidget* parent, const char* name) {
  auto* field = new QLineEdit(parent);
  field->setObjectName(QString::fromLatin1(name));
  field->setMinimumWidth(220);
  return field;
}

}  // namespace

ConnectionDialog::ConnectionDialog(const AddressBook& book, QWidget* parent)
    : DialogFrame(parent), book_(book), notify_([this](const QString& text) { MessageBox::Show(this, text); }) {
  SetCaption(Tr(text::kConnection));

  server_ = new QComboBox(this);
  server_->setObjectName("server");
  for (int i = 0; i < book_.Count(); ++i) server_->addItem(FromUtf8(book_.Get(i).name));

  addressField_ = MakeField(this, "address");
  portField_ = MakeField(this, "port");
  loginField_ = MakeField(this, "login");
  passwordField_ = MakeField(this, "password");
  passwordField_->setEchoMode(QLineEdit::Password);

  auto* fields = new QGridLayout;
  fields->setHorizontalSpacing(10);
  fields->addWidget(server_, 0, 0, 1, 2);
  const std::pair<int, QLineEdit*> rows[] = {{text::kServerAddress, addressField_},
                                             {text::kServerPort, portField_},
                                             {text::kLogin, loginField_},
                                             {text::kPassword, passwordField_}};
  int row = 1;
  for (const auto& [label, field] : rows) {
    fields->addWidget(new QLabel(Tr(label), this), row, 0);
    fields->addWidget(field, row, 1);
    ++row;
  }

  auto* connectButton = new PictureButton(Tr(text::kConnect), this);
  connectButton->setObjectName("connect");
  connectButton->SetIcon(QIcon(":/icons/ok.svg"));
  auto* cancel = new PictureButton(Tr(text::kCancel), this);
  cancel->setObjectName("cancel");
  cancel->SetIcon(QIcon(":/icons/cancel.svg"));
  connect(connectButton, &PictureButton::clicked, this, &ConnectionDialog::TryConnect);
  SetDefaultButton(connectButton);
  connect(cancel, &PictureButton::clicked, this, &QDialog::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(connectButton);
  buttons->addWidget(cancel);
  buttons->addStretch();

  auto* layout = new QVBoxLayout(this);
  // Room for the caption tab above the content.
  layout->setContentsMargins(16, 34, 16, 14);
  layout->setSpacing(12);
  layout->addLayout(fields);
  layout->addLayout(buttons);

  // Also reached by the keyboard and by the drop-down's own list, not only by Pick.
  connect(server_, &QComboBox::currentIndexChanged, this, &ConnectionDialog::Pick);
  Pick(0);
}

int ConnectionDialog::Selection() const { return server_->currentIndex(); }

void ConnectionDialog::Pick(int index) {
  if (index < 0 || index >= book_.Count()) return;
  if (server_->currentIndex() != index) {
    server_->setCurrentIndex(index);  // comes back here through currentIndexChanged
    return;
  }
  const AddressEntry entry = book_.Get(index);
  addressField_->setText(FromUtf8(entry.serverAddress));
  portField_->setText(FromUtf8(entry.port));
  loginField_->setText(FromUtf8(entry.userName));
  passwordField_->setText(FromUtf8(entry.password));
}

void ConnectionDialog::TryConnect() {
  const QLineEdit* fields[] = {addressField_, portField_, loginField_, passwordField_};
  for (const QLineEdit* field : fields) {
    if (field->text().isEmpty()) {
      notify_(Tr(text::kFormNotFilled));
      return;
    }
  }
  host_ = addressField_->text();
  port_ = portField_->text();
  user_ = loginField_->text();
  password_ = passwordField_->text();
  accept();
}

}  // namespace strixc::shell
