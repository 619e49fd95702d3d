#include "shell/hyperlink.h"

#include <QApplication>
#include <QDesktopServices>
#include <QEnterEvent>
#include <QFont>
#include <QMouseEvent>
#include <QPalette>

#include <utility>

#include "shell/message_box.h"
#include "shell/string_ids.h"

namespace strixc::shell {
namespace {

struct ReasonText {
  int code;
  int textId;
};

constexpr ReasonText kReasonTexts[] = {
    {hyperlink_error::kOutOfResources, text::kHyperlinkOutOfMemory},
    {hyperlink_error::kPathNotFound, text::kHyperlinkPathNotFound},
    {hyperlink_error::kFileNotFound, text::kHyperlinkFileNotFound},
    {hyperlink_error::kBadExecutable, text::kHyperlinkBadExe},
    {hyperlink_error::kAccessDenied, text::kHyperlinkAccessDenied},
    {hyperlink_error::kAssociationIncomplete, text::kHyperlinkAssociationIncomplete},
    {hyperlink_error::kDdeBusy, text::kHyperlinkDdeBusy},
    {hyperlink_error::kDdeFailed, text::kHyperlinkDdeFailed},
    {hyperlink_error::kDdeTimeout, text::kHyperlinkDdeTimeout},
    {hyperlink_error::kDllNotFound, text::kHyperlinkDllNotFound},
    {hyperlink_error::kNoAssociation, text::kHyperlinkNoAssociation},
    {hyperlink_error::kNotEnoughMemory, text::kHyperlinkNotEnoughMemory},
    {hyperlink_error::kSharingViolation, text::kHyperlinkSharingViolation},
};

QString TextOf(int id) {
  const std::string_view text = Text(id);
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QString HyperlinkErrorText(int code) {
  for (const ReasonText& reason : kReasonTexts) {
    if (reason.code == code) return TextOf(reason.textId);
  }
  QString text = TextOf(text::kHyperlinkUnknownError);
  const qsizetype at = text.indexOf(QStringLiteral("%d"));
  if (at >= 0) text.replace(at, 2, QString::number(code));
  return text;
}

QString HyperlinkFailureMessage(int code) {
  return TextOf(text::kHyperlinkUnableToOpen) + HyperlinkErrorText(code);
}

Hyperlink::Hyperlink(const QString& text, const QString& address, QWidget* parent)
    : QLabel(text, parent),
      opener_([](const QUrl& url) { return QDesktopServices::openUrl(url); }),
      reporter_([this](const QString& message) { MessageBox::Show(window(), message); }) {
  QFont underlined = font();
  underlined.setUnderline(true);
  setFont(underlined);
  setCursor(Qt::PointingHandCursor);
  // The label draws plain text only: a rich-text address must not turn into a second link.
  setTextFormat(Qt::PlainText);
  SetAddress(address);
  ApplyColour();
}

void Hyperlink::SetAddress(const QString& address) {
  address_ = address;
  setToolTip(address);
}

QColor Hyperlink::Colour() const {
  if (hovered_) return kHoverColour;
  return visited_ ? kVisitedColour : kLinkColour;
}

bool Hyperlink::Open() {
  // The desktop's handler gives no reason; "no application associated" is what its failure
  // almost always means on a desktop without a browser registered.
  if (!opener_ || !opener_(QUrl::fromUserInput(address_))) {
    QApplication::beep();
    lastError_ = HyperlinkFailureMessage(hyperlink_error::kNoAssociation);
    emit OpenFailed(lastError_);
    if (reporter_) reporter_(lastError_);
    return false;
  }
  visited_ = true;
  ApplyColour();
  return true;
}

void Hyperlink::SetOpener(Opener opener) { opener_ = std::move(opener); }

void Hyperlink::SetErrorReporter(ErrorReporter reporter) { reporter_ = std::move(reporter); }

void Hyperlink::enterEvent(QEnterEvent* event) {
  hovered_ = true;
  ApplyColour();
  QLabel::enterEvent(event);
}

void Hyperlink::leaveEvent(QEvent* event) {
  hovered_ = false;
  ApplyColour();
  QLabel::leaveEvent(event);
}

void Hyperlink::mouseReleaseEvent(QMouseEvent* event) {
  // A press that is dragged off the text and released elsewhere is no click.
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    event->accept();
    Open();
    return;
  }
  QLabel::mouseReleaseEvent(event);
}

void Hyperlink::ApplyColour() {
  QPalette colours = palette();
  colours.setColor(QPalette::WindowText, Colour());
  setPalette(colours);
}

}  // namespace strixc::shell
