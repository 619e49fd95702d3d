#include "shell/about_box.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

#include "shell/hyperlink.h"
#include "shell/picture_button.h"
#include "shell/string_ids.h"
#include "shell/texts.h"

namespace strixc::shell {

namespace {

// The menu entry's text without its trailing " ..." is the title in every language, so the box
// needs no text of its own.
QString AboutTitle() {
  QString title = Tr(text::kMenuAbout);
  while (title.endsWith(QLatin1Char('.')) || title.endsWith(QLatin1Char(' '))) title.chop(1);
  return title;
}

constexpr int kIconSize = 64;

}  // namespace

QString ProgramVersion() {
  const QString version = QCoreApplication::applicationVersion();
  return version.isEmpty() ? QString::fromLatin1(AboutBox::kFallbackVersion) : version;
}

AboutBox::AboutBox(QWidget* parent) : DialogFrame(parent) {
  SetCaption(AboutTitle());

  auto* icon = new QLabel(this);
  icon->setObjectName("icon");
  icon->setPixmap(QIcon(QStringLiteral(":/icons/strixc.svg")).pixmap(kIconSize, kIconSize));
  icon->setFixedSize(kIconSize, kIconSize);

  auto* name = new QLabel(Tr(text::kProgramName), this);
  name->setObjectName("name");
  QFont nameFont = name->font();
  nameFont.setBold(true);
  nameFont.setPointSizeF(nameFont.pointSizeF() * 1.5);
  name->setFont(nameFont);
  auto* description = new QLabel(Tr(text::kAboutDescription), this);
  description->setObjectName("description");
  auto* version = new QLabel(ProgramVersion(), this);
  version->setObjectName("version");

  const QString address = QString::fromLatin1(kWebAddress);
  QString shown = address;
  shown.remove(QStringLiteral("https://"));
  if (shown.endsWith(QLatin1Char('/'))) shown.chop(1);
  link_ = new Hyperlink(shown, address, this);
  link_->setObjectName("link");

  auto* texts = new QVBoxLayout;
  texts->setSpacing(4);
  texts->addWidget(name);
  texts->addWidget(description);
  texts->addWidget(version);
  texts->addSpacing(6);
  texts->addWidget(link_);

  auto* top = new QHBoxLayout;
  top->setSpacing(16);
  top->addWidget(icon, 0, Qt::AlignTop);
  top->addLayout(texts, 1);

  auto* ok = new PictureButton(Tr(text::kOk), this);
  ok->setObjectName("ok");
  connect(ok, &PictureButton::clicked, this, &QDialog::accept);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);

  auto* layout = new QVBoxLayout(this);
  // Room for the caption tab above the content.
  layout->setContentsMargins(16, 34, 16, 14);
  layout->setSpacing(12);
  layout->addLayout(top);
  layout->addLayout(buttons);
}

void ShowAboutBox(QWidget* parent) {
  AboutBox box(parent);
  box.exec();
}

std::vector<GalleryPage> AboutGalleryPages() {
  return {{QStringLiteral("about_box"), [] { return std::make_unique<AboutBox>(); }}};
}

}  // namespace strixc::shell
