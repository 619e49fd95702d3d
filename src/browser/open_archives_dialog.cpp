#include "browser/open_archives_dialog.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QStandardItemModel>
#include <QVBoxLayout>

#include "shell/picture_button.h"
#include "shell/string_ids.h"
#include "shell/texts.h"

namespace strixc::browser {

namespace {

using shell::Tr;
namespace text = shell::text;

constexpr int kKindCount = 3;

// The kind the archive button asked for last; the remote archive until the operator chooses.
ArchiveKind lastChoice = ArchiveKind::kRemote;

int Index(ArchiveKind kind) { return static_cast<int>(kind); }

}  // namespace

OpenArchivesDialog::OpenArchivesDialog(QWidget* parent) : DialogFrame(parent) {
  SetCaption(Tr(text::kOpenArchives));

  kinds_ = new QComboBox(this);
  kinds_->setObjectName("archive_kind");
  // In the order of the kinds' values.
  kinds_->addItem(Tr(text::kArchiveDefault));
  kinds_->addItem(Tr(text::kArchiveRemote));
  kinds_->addItem(Tr(text::kArchiveFromDisk));
  kinds_->setMinimumWidth(200);
  connect(kinds_, &QComboBox::currentIndexChanged, this, &OpenArchivesDialog::UpdateOpenButton);

  open_ = new shell::PictureButton(Tr(text::kOpen), this);
  open_->setObjectName("open");
  auto* cancel = new shell::PictureButton(Tr(text::kCancel), this);
  cancel->setObjectName("cancel");
  connect(open_, &shell::PictureButton::clicked, this, &QDialog::accept);
  connect(cancel, &shell::PictureButton::clicked, this, &QDialog::reject);
  SetDefaultButton(open_);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(open_);
  buttons->addWidget(cancel);

  auto* layout = new QVBoxLayout(this);
  // Room for the caption tab above the content.
  layout->setContentsMargins(16, 34, 16, 14);
  layout->setSpacing(8);
  layout->addWidget(new QLabel(Tr(text::kSelectArchiveLabel), this));
  layout->addWidget(kinds_);
  layout->addSpacing(6);
  layout->addLayout(buttons);

  SelectStart();
}

void OpenArchivesDialog::SetKindEnabled(ArchiveKind kind, bool enabled) {
  const int index = Index(kind);
  if (index < 0 || index >= kKindCount) return;
  enabled_[index] = enabled;
  if (auto* model = qobject_cast<QStandardItemModel*>(kinds_->model())) {
    if (QStandardItem* item = model->item(index)) item->setEnabled(enabled);
  }
  SelectStart();
}

void OpenArchivesDialog::SelectStart() {
  int start = Index(lastChoice);
  if (!enabled_[start]) {
    start = -1;
    for (int i = 0; i < kKindCount && start < 0; ++i) {
      if (enabled_[i]) start = i;
    }
  }
  kinds_->setCurrentIndex(start);
  UpdateOpenButton();
}

void OpenArchivesDialog::UpdateOpenButton() {
  const int index = kinds_->currentIndex();
  open_->setEnabled(index >= 0 && index < kKindCount && enabled_[index]);
}

ArchiveKind OpenArchivesDialog::Choice() const {
  const int index = kinds_->currentIndex();
  return index >= 0 && index < kKindCount ? static_cast<ArchiveKind>(index) : lastChoice;
}

ArchiveKind OpenArchivesDialog::LastChoice() { return lastChoice; }

void OpenArchivesDialog::accept() {
  // Enter reaches here without the button: a greyed kind is never opened nor remembered.
  if (!open_->isEnabled()) return;
  lastChoice = Choice();
  DialogFrame::accept();
}

std::optional<ArchiveKind> AskArchiveKind(QWidget* parent, bool localEnabled, bool remoteEnabled) {
  OpenArchivesDialog dialog(parent);
  dialog.SetKindEnabled(ArchiveKind::kLocal, localEnabled);
  dialog.SetKindEnabled(ArchiveKind::kRemote, remoteEnabled);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.Choice();
}

}  // namespace strixc::browser
