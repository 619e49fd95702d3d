#include "browser/bookmark_title_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QValidator>
#include <QVBoxLayout>

#include <algorithm>
#include <string>

#include "archive/archive_time.h"
#include "archive/bookmark_store.h"
#include "shell/picture_button.h"
#include "shell/string_ids.h"
#include "shell/texts.h"

namespace strixc::browser {

namespace text = shell::text;

namespace {

using shell::Tr;

// Wide enough for a sentence of a title without scrolling.
constexpr int kFieldWidth = 360;

shell::PictureButton* MakeButton(QWidget* parent, const char* name, const QString& caption) {
  auto* button = new shell::PictureButton(caption, parent);
  button->setObjectName(QString::fromLatin1(name));
  return button;
}

constexpr qsizetype kMaxBytes = static_cast<qsizetype>(archive::BookmarkStore::kMaxTitleBytes);

// The UTF-8 size of the character starting at `at`, and its UTF-16 units.
qsizetype Utf8Size(const QString& text, qsizetype at, qsizetype* units) {
  const char16_t c = text.at(at).unicode();
  if (QChar::isHighSurrogate(c) && at + 1 < text.size() && text.at(at + 1).isLowSurrogate()) {
    *units = 2;
    return 4;
  }
  *units = 1;
  // A lone surrogate becomes U+FFFD, three bytes.
  return c < 0x80 ? 1 : c < 0x800 ? 2 : 3;
}

qsizetype Utf8Size(const QString& text) {
  qsizetype bytes = 0;
  for (qsizetype at = 0, units = 0; at < text.size(); at += units) bytes += Utf8Size(text, at, &units);
  return bytes;
}

// Keeps the field to what the store keeps, counted in UTF-8 bytes (the field's own limit counts
// UTF-16 units). An edit that goes past it loses its end: the characters just before the cursor,
// which are the ones typed or pasted, so the rest of the title stays as it was.
class TitleValidator : public QValidator {
 public:
  using QValidator::QValidator;

  State validate(QString& input, int& pos) const override {
    qsizetype excess = Utf8Size(input) - kMaxBytes;
    if (excess <= 0) return Acceptable;
    qsizetype start = std::clamp<qsizetype>(pos, 0, input.size());
    const qsizetype end = start;
    while (start > 0 && excess > 0) {
      const qsizetype back =
          start >= 2 && input.at(start - 1).isLowSurrogate() && input.at(start - 2).isHighSurrogate() ? 2 : 1;
      qsizetype units = 0;
      excess -= Utf8Size(input, start - back, &units);
      start -= back;
    }
    input.remove(start, end - start);
    // Text after the cursor alone too long (a title set from outside): its end goes.
    if (excess > 0) input = BookmarkTitleDialog::CutTitle(input);
    pos = static_cast<int>(std::min(start, input.size()));
    return Acceptable;
  }
};

}  // namespace

QString TimeAndDateText(uint64_t time, bool wallClockTime) {
  const std::string clock(shell::Text(text::kTimeFormat));
  const std::string date(shell::Text(text::kDateFormat));
  const uint64_t wall = wallClockTime ? time : archive::ToWallClock(time);
  return QString::fromStdString(archive::FormatLocal(wall, clock.c_str()) + " / " +
                                archive::FormatLocal(wall, date.c_str()));
}

BookmarkTitleDialog::BookmarkTitleDialog(uint64_t time, const QString& initialTitle, QWidget* parent,
                                         bool wallClockTime)
    : DialogFrame(parent) {
  SetCaption(Tr(text::kSetBookmarkAt) + TimeAndDateText(time, wallClockTime));

  title_ = new QLineEdit(CutTitle(initialTitle), this);
  title_->setObjectName("title");
  title_->setMinimumWidth(kFieldWidth);
  title_->setValidator(new TitleValidator(title_));

  auto* ok = MakeButton(this, "ok", Tr(text::kOk));
  auto* cancel = MakeButton(this, "cancel", Tr(text::kCancel));
  connect(ok, &shell::PictureButton::clicked, this, &QDialog::accept);
  connect(cancel, &shell::PictureButton::clicked, this, &QDialog::reject);
  SetDefaultButton(ok);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);

  auto* layout = new QVBoxLayout(this);
  // Room for the caption tab above the content.
  layout->setContentsMargins(16, 34, 16, 14);
  layout->setSpacing(8);
  layout->addWidget(new QLabel(Tr(text::kBookmarkTitleLabel), this));
  layout->addWidget(title_);
  layout->addSpacing(4);
  layout->addLayout(buttons);
  title_->setFocus();
}

QString BookmarkTitleDialog::Title() const { return title_->text(); }

QString BookmarkTitleDialog::CutTitle(const QString& title) {
  qsizetype bytes = 0;
  qsizetype end = 0;
  while (end < title.size()) {
    qsizetype units = 0;
    const qsizetype size = Utf8Size(title, end, &units);
    if (bytes + size > kMaxBytes) break;
    bytes += size;
    end += units;
  }
  return end == title.size() ? title : title.left(end);
}

namespace {

std::unique_ptr<QWidget> BookmarkPage() {
  // A fixed wall-clock time, so that every language shows the same picture.
  const uint64_t time = archive::TimeOfFields({2026, 3, 14, 16, 42, 5, 0}).value_or(0);
  return std::make_unique<BookmarkTitleDialog>(time, QStringLiteral("Delivery van at gate 2"), nullptr, true);
}

}  // namespace

std::vector<shell::GalleryPage> BookmarkGalleryPages() {
  return {{QStringLiteral("bookmark_title"), BookmarkPage}};
}

}  // namespace strixc::browser
