#include "browser/archive_path_dialog.h"

#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include "shell/picture_button.h"
#include "shell/string_ids.h"
#include "shell/texts.h"

namespace strixc::browser {

namespace {

using shell::Tr;
namespace text = shell::text;

QString DesktopFolderBrowser(QWidget* parent, const QString& start) {
  return QFileDialog::getExistingDirectory(parent, QString(), start, QFileDialog::ShowDirsOnly);
}

}  // namespace

ArchivePathDialog::ArchivePathDialog(const QString& initialFolder, QWidget* parent)
    : DialogFrame(parent), browseFolder_(DesktopFolderBrowser) {
  SetCaption(Tr(text::kPathToArchiveFolder));

  folder_ = new QLineEdit(initialFolder, this);
  folder_->setObjectName("folder");
  // Room for a usual path without scrolling.
  folder_->setMinimumWidth(folder_->fontMetrics().averageCharWidth() * 48);
  auto* browse = new shell::PictureButton(Tr(text::kBrowse), this);
  browse->setObjectName("browse");
  connect(browse, &shell::PictureButton::clicked, this, &ArchivePathDialog::Browse);
  connect(folder_, &QLineEdit::textChanged, this, &ArchivePathDialog::UpdateOk);

  ok_ = new shell::PictureButton(Tr(text::kOk), this);
  ok_->setObjectName("ok");
  auto* cancel = new shell::PictureButton(Tr(text::kCancel), this);
  cancel->setObjectName("cancel");
  connect(ok_, &shell::PictureButton::clicked, this, &QDialog::accept);
  connect(cancel, &shell::PictureButton::clicked, this, &QDialog::reject);
  SetDefaultButton(ok_);

  auto* field = new QHBoxLayout;
  field->addWidget(folder_, 1);
  field->addWidget(browse);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok_);
  buttons->addWidget(cancel);

  auto* layout = new QVBoxLayout(this);
  // Room for the caption tab above the content.
  layout->setContentsMargins(16, 34, 16, 14);
  layout->setSpacing(10);
  layout->addLayout(field);
  layout->addLayout(buttons);
  UpdateOk();
}

QString ArchivePathDialog::Folder() const { return folder_->text().trimmed(); }

void ArchivePathDialog::Browse() {
  const QString chosen = browseFolder_(this, Folder());
  if (!chosen.isEmpty()) folder_->setText(QDir::toNativeSeparators(chosen));
}

void ArchivePathDialog::UpdateOk() { ok_->setEnabled(!Folder().isEmpty()); }

void ArchivePathDialog::accept() {
  if (Folder().isEmpty()) return;
  DialogFrame::accept();
}

std::optional<QString> AskArchiveFolder(const QString& initialFolder, QWidget* parent) {
  ArchivePathDialog dialog(initialFolder, parent);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.Folder();
}

}  // namespace strixc::browser
