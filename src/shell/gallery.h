#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

namespace strixc::shell {

// One picture of the gallery: a dialog or control, built anew in the current language.
struct GalleryPage {
  QString name;  // file-name part: "message_box_yes_no"
  std::function<std::unique_ptr<QWidget>()> make;
};

// Every dialog and custom control of the shell, with sample content.
std::vector<GalleryPage> ShellGalleryPages();

// Renders each page in English, French, Polish and Spanish into `dir` as "<name>_<en|fr|pl|es>.png"
// and returns how many files it wrote; -1 with `error` set when a file cannot be written. The
// language applied before the call is applied again afterwards.
int RenderGallery(const QString& dir, const std::vector<GalleryPage>& pages, QString* error);

}  // namespace strixc::shell
