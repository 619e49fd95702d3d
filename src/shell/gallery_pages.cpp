// The shell's pages of the gallery: each dialog and custom control with sample content.

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

#include "archive/archive_time.h"
#include "shell/capacity_indicator.h"
#include "shell/dialog_frame.h"
#include "shell/gallery.h"
#include "shell/hyperlink.h"
#include "shell/in_place_edit.h"
#include "shell/key_capture_field.h"
#include "shell/language_dialog.h"
#include "shell/message_box.h"
#include "shell/picture_button.h"
#include "shell/string_ids.h"
#include "shell/texts.h"

namespace strixc::shell {

namespace {

// A dialog frame holding `content` under a title: the controls are seen as the dialogs show them.
std::unique_ptr<QWidget> Framed(int titleId, QLayout* content) {
  auto dialog = std::make_unique<DialogFrame>();
  dialog->SetCaption(Tr(titleId));
  content->setContentsMargins(16, 36, 16, 14);
  dialog->setLayout(content);
  return dialog;
}

std::unique_ptr<QWidget> MessagePage(MessageStyle style, int textId) {
  return std::make_unique<MessageBox>(Tr(textId), QStringLiteral("STX-C"), style);
}

std::unique_ptr<QWidget> ButtonsPage() {
  auto* grid = new QGridLayout;
  const int captions[] = {text::kTooltipRecording, text::kAddressBook, text::kProgramSettings, text::kAddNew,
                          text::kDelete};
  for (int i = 0; i < 5; ++i) {
    auto* button = new PictureButton(Tr(captions[i]));
    if (i == 1) button->SetChecked(true);
    if (i == 4) button->setEnabled(false);
    if (i >= 3) button->SetIcon(QIcon(i == 3 ? ":/icons/yes.svg" : ":/icons/no.svg"));
    grid->addWidget(button, i / 3, i % 3);
  }
  auto* iconOnly = new PictureButton;
  iconOnly->SetIcon(QIcon(":/icons/ok.svg"), false);
  grid->addWidget(iconOnly, 1, 2);
  return Framed(text::kProgramSettings, grid);
}

std::unique_ptr<QWidget> ControlsPage() {
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(12);
  grid->setVerticalSpacing(10);

  auto* key = new KeyCaptureField;
  key->SetKey(vk::kLeft, kCtrlModifier | kShiftModifier);
  grid->addWidget(key, 0, 0, 1, 2);

  grid->addWidget(new Hyperlink(QStringLiteral("www.strix-c.example"), QStringLiteral("https://www.strix-c.example")),
                  1, 0, 1, 2);

  auto* indicator = new CapacityIndicator;
  const uint64_t latest = archive::ArchiveTimeNow();
  const uint64_t span = archive::kUnitsPerDay + 5 * 3600 * archive::kUnitsPerSecond;  // 1 day 5 hours
  indicator->SetValues(latest - span, latest, 62, 100);
  indicator->setFixedSize(indicator->sizeHint());
  grid->addWidget(indicator, 0, 2, 3, 1);

  auto* cell = new QLineEdit(QStringLiteral("/var/lib/strixc/archive"));
  cell->setReadOnly(true);
  grid->addWidget(cell, 2, 0);
  auto* edit = new InPlaceEdit(cell->parentWidget());
  grid->addWidget(edit, 2, 1);
  edit->Begin(0, 0, QRect(), QStringLiteral("60"));
  return Framed(text::kProgramSettings, grid);
}

}  // namespace

std::vector<GalleryPage> ShellGalleryPages() {
  return {
      {"dialog_frame_buttons", ButtonsPage},
      {"small_controls", ControlsPage},
      {"message_box_ok", [] { return MessagePage(MessageStyle::kOk, text::kConnectionBroken); }},
      {"message_box_yes_no_cancel", [] { return MessagePage(MessageStyle::kYesNoCancel, text::kRestartForLanguage); }},
      {"message_box_yes_no", [] { return MessagePage(MessageStyle::kYesNo, text::kLanguageNotAdded); }},
      {"language_start", [] { return std::make_unique<LanguageDialog>(LanguageDialog::Kind::kStart); }},
      {"language_program", [] { return std::make_unique<LanguageDialog>(LanguageDialog::Kind::kProgram); }},
  };
}

}  // namespace strixc::shell
