#include "shell/language_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "shell/language.h"
#include "shell/language_choice.h"
#include "shell/message_box.h"
#include "shell/picture_button.h"
#include "shell/string_ids.h"
#include "shell/texts.h"

namespace strixc::shell {

namespace {

constexpr int kEnglish = 0;

}  // namespace

LanguageDialog::LanguageDialog(Kind kind, QWidget* parent)
    : DialogFrame(parent), kind_(kind), notify_([this](const QString& text) { MessageBox::Show(this, text); }) {
  SetCaption(Tr(kind == Kind::kStart ? text::kProgramName : text::kProgramSettings));

  list_ = new QListWidget(this);
  for (int i = 0; i < kLanguageCount; ++i) list_->addItem(QString::fromLatin1(ListText(i)));
  list_->setFixedHeight(list_->sizeHintForRow(0) * kLanguageCount + 2 * list_->frameWidth() + 4);
  StyleListView(list_);

  ok_ = new PictureButton(this);
  ok_->setText(Tr(text::kOk));
  ok_->setObjectName("ok");
  connect(ok_, &PictureButton::clicked, this, &QDialog::accept);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok_);
  if (kind == Kind::kProgram) {
    cancel_ = new PictureButton(this);
    cancel_->setText(Tr(text::kCancel));
    cancel_->setObjectName("cancel");
    connect(cancel_, &PictureButton::clicked, this, &QDialog::reject);
    buttons->addWidget(cancel_);
  }
  buttons->addStretch();

  auto* layout = new QVBoxLayout(this);
  // Room for the caption tab above the content.
  layout->setContentsMargins(16, 34, 16, 14);
  layout->setSpacing(10);
  if (kind == Kind::kProgram) layout->addWidget(new QLabel(Tr(text::kLanguage), this));
  layout->addWidget(list_);
  layout->addLayout(buttons);

  const int current = kind == Kind::kProgram ? LanguageIndex() : kEnglish;
  list_->setCurrentRow(current >= 0 && current < kLanguageCount ? current : kEnglish);
  connect(list_, &QListWidget::currentRowChanged, this, &LanguageDialog::Pick);
}

bool LanguageDialog::Accepts(int index) const {
  return kind_ == Kind::kStart ? StartDialogAccepts(index) : ProgramDialogAccepts(index);
}

int LanguageDialog::Selection() const {
  // What the list shows selected is the operator's choice; a refused one never gets through.
  const QList<QListWidgetItem*> selected = list_->selectedItems();
  const int row = selected.isEmpty() ? list_->currentRow() : list_->row(selected.first());
  return row >= 0 && row < kLanguageCount && Accepts(row) ? row : kEnglish;
}

void LanguageDialog::Pick(int index) {
  if (index < 0 || index >= kLanguageCount) return;
  if (Accepts(index)) {
    if (list_->currentRow() != index) list_->setCurrentRow(index);
    return;
  }
  notify_(Tr(text::kLanguageNotAdded));
  SelectEnglish();
  // A mouse press reports the new row before the view selects it: select "ENGLISH" once more
  // when the press is over, or the refused row would stay highlighted.
  QMetaObject::invokeMethod(this, &LanguageDialog::SelectEnglish, Qt::QueuedConnection);
}

void LanguageDialog::SelectEnglish() {
  const QSignalBlocker quiet(list_);
  list_->setCurrentRow(kEnglish, QItemSelectionModel::ClearAndSelect);
}

void LanguageDialog::accept() {
  const int row = list_->currentRow();
  if (row >= 0 && row < kLanguageCount && !Accepts(row)) {
    SelectEnglish();
    return;
  }
  DialogFrame::accept();
}

void LanguageDialog::AcceptInto(settings::SettingsDatabase& db) {
  ChangeLanguage(db, Selection(), [this](std::string_view text) {
    notify_(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  });
}

void ChooseLanguageWithDialog(settings::SettingsDatabase& db) {
  ChooseLanguageAtStart(db, [] {
    LanguageDialog dialog(LanguageDialog::Kind::kStart);
    dialog.exec();
    return dialog.Selection();
  });
}

}  // namespace strixc::shell
