#include "shell/message_box.h"

#include <algorithm>

#include <QApplication>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

#include "shell/picture_button.h"
#include "shell/string_ids.h"
#include "shell/string_table.h"
#include "shell/texts.h"

namespace strixc::shell {
namespace {

// The text sits below the caption tab, whose band is 25 pixels high.
constexpr int kTopMargin = 34;
constexpr int kSideMargin = 18;
constexpr int kBottomMargin = 14;
constexpr int kTextToButtons = 16;
constexpr int kButtonSpacing = 10;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
// A short message still gets a dialog wide enough for a readable caption; a
// long one wraps instead of stretching across the screen.
constexpr int kMinimumWidth = 260;
constexpr int kWrapWidth = 420;


const char* IconOf(MessageResult answer) {
  switch (answer) {
    case MessageResult::kOk: return ":/icons/ok.svg";
    case MessageResult::kYes: return ":/icons/yes.svg";
    case MessageResult::kNo: return ":/icons/no.svg";
    case MessageResult::kCancel: return ":/icons/cancel.svg";
  }
  return "";
}

}  // namespace

MessageBox::MessageBox(const QString& text, const QString& caption, MessageStyle style,
                       QWidget* parent)
    : DialogFrame(parent), style_(style), result_(MessageResult::kOk) {
  result_ = ClosingResult();
  setWindowFlag(Qt::WindowStaysOnTopHint);
  SetCaption(caption);

  // Texts of the string table end their lines Windows-fashion.
  QString message = text;
  message.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  auto* label = new QLabel(message, this);
  label->setObjectName(QStringLiteral("text"));
  label->setWordWrap(true);
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  const QFontMetrics metrics(label->font());
  const QRect textRect =
      metrics.boundingRect(QRect(0, 0, kWrapWidth - 2 * kSideMargin, 0),
                           Qt::TextWordWrap | Qt::AlignLeft, message);
  label->setFixedSize(std::max(textRect.width() + 1, kMinimumWidth - 2 * kSideMargin),
                      textRect.height());

  auto* row = new QHBoxLayout;
  row->setSpacing(kButtonSpacing);
  row->addStretch();
  switch (style_) {
    case MessageStyle::kOk:
      AddButton(row, "ok", text::kOk, MessageResult::kOk);
      break;
    case MessageStyle::kYesNoCancel:
      AddButton(row, "yes", text::kYes, MessageResult::kYes);
      AddButton(row, "no", text::kNo, MessageResult::kNo);
      AddButton(row, "cancel", text::kCancel, MessageResult::kCancel);
      break;
    case MessageStyle::kYesNo:
      AddButton(row, "yes", text::kYes, MessageResult::kYes);
      AddButton(row, "no", text::kNo, MessageResult::kNo);
      break;
  }
  row->addStretch();

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(kSideMargin, kTopMargin, kSideMargin, kBottomMargin);
  layout->setSpacing(kTextToButtons);
  layout->addWidget(label);
  layout->addLayout(row);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void MessageBox::AddButton(QHBoxLayout* row, const char* name, int textId,
                           MessageResult answer) {
  auto* button = new PictureButton(Tr(textId), this);
  button->setObjectName(QString::fromLatin1(name));
  button->SetIcon(QIcon(QString::fromLatin1(IconOf(answer))));
  button->setFixedSize(std::max(kButtonWidth, button->sizeHint().width()), kButtonHeight);
  // The first button answers Enter, as the system's message boxes do.
  if (row->count() == 1) SetDefaultButton(button);
  connect(button, &PictureButton::clicked, this, [this, answer] {
    result_ = answer;
    accept();
  });
  row->addWidget(button);
}

MessageResult MessageBox::ClosingResult() const {
  switch (style_) {
    case MessageStyle::kOk: return MessageResult::kOk;
    case MessageStyle::kYesNoCancel: return MessageResult::kCancel;
    case MessageStyle::kYesNo: return MessageResult::kNo;
  }
  return MessageResult::kOk;
}

void MessageBox::reject() {
  result_ = ClosingResult();
  DialogFrame::reject();
}

void MessageBox::showEvent(QShowEvent* event) {
  DialogFrame::showEvent(event);
  QApplication::beep();
}

MessageResult MessageBox::Show(QWidget* parent, const QString& text, MessageStyle style,
                               const QString& caption) {
  MessageBox box(text, caption, style, parent);
  box.exec();
  return box.Result();
}

MessageResult MessageBox::Show(QWidget* parent, int textId, MessageStyle style,
                               const QString& caption) {
  return Show(parent, Tr(textId), style, caption);
}

}  // namespace strixc::shell
