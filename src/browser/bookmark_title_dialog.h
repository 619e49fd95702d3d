#pragma once

#include <QString>

#include <cstdint>
#include <vector>

#include "shell/dialog_frame.h"
#include "shell/gallery.h"

class QLineEdit;

namespace strixc::browser {

// The title of a bookmark about to be set: "Set bookmark at " and the bookmark's time as time and
// date, the field "Bookmarks title :", OK and Cancel. The title is kept to what the bookmark store
// keeps (archive::BookmarkStore::kMaxTitleBytes bytes of UTF-8, cut between characters) while it
// is typed: what is typed or pasted past the limit is dropped, so the operator sees what will be
// stored.
//
// `time` is on the local archive's clock (shown through archive::ToWallClock), or on the wall
// clock when `wallClockTime` (a server's bookmark). UI thread only.
//
// Controls, by object name: the field "title", buttons "ok" and "cancel".
class BookmarkTitleDialog : public shell::DialogFrame {
  Q_OBJECT

 public:
  BookmarkTitleDialog(uint64_t time, const QString& initialTitle, QWidget* parent = nullptr,
                      bool wallClockTime = false);

  QString Title() const;

  // The longest start of `title` whose UTF-8 form fits the bookmark store, never splitting a
  // character.
  static QString CutTitle(const QString& title);

 private:
  QLineEdit* title_ = nullptr;
};

// The time as the browser's dialogs show it: clock part, " / ", date part, in the language's
// formats. `time` as for BookmarkTitleDialog.
QString TimeAndDateText(uint64_t time, bool wallClockTime = false);

// The gallery's "bookmark_title" page.
std::vector<shell::GalleryPage> BookmarkGalleryPages();

}  // namespace strixc::browser
