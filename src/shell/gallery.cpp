#include "shell/gallery.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>

#include "shell/language.h"
#include "shell/theme.h"

namespace strixc::shell {

namespace {

struct GalleryLanguage {
  int index;  // the language list's index
  const char* suffix;
};
constexpr GalleryLanguage kGalleryLanguages[] = {{0, "en"}, {4, "fr"}, {3, "pl"}, {2, "es"}};

QPixmap Photograph(QWidget& widget) {
  // Laid out and painted as on screen, but never shown on one.
  widget.setAttribute(Qt::WA_DontShowOnScreen);
  widget.adjustSize();
  widget.show();
  QApplication::processEvents();
  QPixmap picture = widget.grab();
  widget.hide();
  return picture;
}

}  // namespace

int RenderGallery(const QString& dir, const std::vector<GalleryPage>& pages, QString* error) {
  if (!QDir().mkpath(dir)) {
    *error = QStringLiteral("Can't create folder %1").arg(dir);
    return -1;
  }
  // The pictures show what the operator sees: the program's theme, not the desktop's.
  theme::ApplyProgramTheme();
  const int before = LanguageIndex();
  int written = 0;
  for (const GalleryLanguage& language : kGalleryLanguages) {
    SetLanguageIndex(language.index);
    ApplyLanguage();
    for (const GalleryPage& page : pages) {
      std::unique_ptr<QWidget> widget = page.make();
      const QString file = QDir(dir).filePath(page.name + "_" + language.suffix + ".png");
      if (!Photograph(*widget).save(file, "PNG")) {
        *error = QStringLiteral("Can't create file %1").arg(file);
        written = -1;
        break;
      }
      ++written;
    }
    if (written < 0) break;
  }
  SetLanguageIndex(before);
  ApplyLanguage();
  return written;
}

}  // namespace strixc::shell
