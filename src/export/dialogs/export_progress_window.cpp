#include "export/dialogs/export_progress_window.h"

#include <QCloseEvent>
#include <QProgressBar>
#include <QVBoxLayout>
#include <algorithm>

#include "shell/picture_button.h"
#include "shell/string_ids.h"
#include "shell/texts.h"

namespace strixc::exporting {

namespace {

using shell::Tr;
namespace text = shell::text;

constexpr int kBarWidth = 360;
// Right of the caption tab: the window is never narrower than its caption.
constexpr int kTabMargin = 24;

}  // namespace

ExportProgressWindow::ExportProgressWindow(std::function<void()> cancel, QWidget* parent)
    : DialogFrame(parent), cancel_(std::move(cancel)) {
  SetCaption(Tr(text::kExportingAvi));
  setModal(false);
  bar_ = new QProgressBar(this);
  bar_->setObjectName("progress");
  bar_->setRange(0, 100);
  bar_->setValue(0);
  bar_->setMinimumWidth(kBarWidth);
  auto* cancelButton = new shell::PictureButton(Tr(text::kCancel), this);
  cancelButton->setObjectName("cancel");
  connect(cancelButton, &shell::PictureButton::clicked, this, &ExportProgressWindow::reject);

  auto* layout = new QVBoxLayout(this);
  // Room for the caption tab above the content.
  layout->setContentsMargins(16, 34, 16, 14);
  layout->setSpacing(10);
  layout->addWidget(bar_);
  layout->addWidget(cancelButton, 0, Qt::AlignHCenter);
  // The caption is longer than the bar in some languages.
  setMinimumWidth(TabRect().right() + kTabMargin);
}

void ExportProgressWindow::SetPercent(int percent) { bar_->setValue(std::clamp(percent, 0, 100)); }

int ExportProgressWindow::Percent() const { return bar_->value(); }

void ExportProgressWindow::reject() {
  // QDialog would hide the window; the export's end hides it instead.
  if (cancel_) cancel_();
}

void ExportProgressWindow::closeEvent(QCloseEvent* event) {
  event->ignore();
  reject();
}

}  // namespace strixc::exporting
