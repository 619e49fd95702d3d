#pragma once

// The About box: the program's icon, name, description and version, and a link to the maker's
// web page.

#include <QString>
#include <vector>

#include "shell/dialog_frame.h"
#include "shell/gallery.h"

namespace strixc::shell {

class Hyperlink;

class AboutBox : public DialogFrame {
  Q_OBJECT

 public:
  static constexpr char kWebAddress[] = "https://www.strixc.example/";
  // The version shown when the application object was given none.
  static constexpr char kFallbackVersion[] = "1.0";

  explicit AboutBox(QWidget* parent = nullptr);

  // The link to the maker's page (tests replace its opener).
  Hyperlink* Link() const { return link_; }

 private:
  Hyperlink* link_ = nullptr;
};

// QCoreApplication::applicationVersion(), or kFallbackVersion when that is empty.
QString ProgramVersion();

// Shows the About box modally over `parent`.
void ShowAboutBox(QWidget* parent);

// The gallery's page "about_box".
std::vector<GalleryPage> AboutGalleryPages();

}  // namespace strixc::shell
