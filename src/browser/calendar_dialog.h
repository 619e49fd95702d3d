#pragma once

#include <QDate>
#include <QSet>

#include <cstdint>
#include <functional>
#include <vector>

#include "shell/dialog_frame.h"
#include "shell/gallery.h"

class QCalendarWidget;

namespace strixc::playback {
class PlaybackSource;
}

namespace strixc::browser {

// "Calendar": a month calendar on which the operator chooses a range of whole days to show in the
// archive browser. A click picks the first day of a new range, a second click (or a click with
// Shift held) its last day; the days between are highlighted. At most kMaxDays days can be chosen,
// and only days from the source's first to its last recording day when it reports both. Days with
// recordings are shown in bold (PlaybackSource::DayHasRecordings, asked for each day of the shown
// page at 12:00 noon). "Select all" chooses the source's first to last day.
//
// Days are wall-clock days. The times in and out are on the source's clock: the local archive's
// (standard time, archive::ToWallClock) for a source with a database, the wall clock for one
// without (the server's).
//
// `source` may be null (no limits, no marks); otherwise it must outlive the dialog and is only
// asked on the user-interface thread, while the dialog is built and when the shown month changes.
// UI thread only.
//
// Controls, by object name: the calendar "calendar", buttons "select_all", "ok" and "cancel".
class CalendarDialog : public shell::DialogFrame {
  Q_OBJECT

 public:
  static constexpr int kMaxDays = 365;

  // What the calendar needs of an archive: its first and last recording times (0 = none), whether
  // the day holding a time has recordings (may be empty: no marks), and the clock of those times.
  struct Days {
    uint64_t first = 0;
    uint64_t last = 0;
    std::function<bool(uint64_t time)> hasRecordings;
    bool wallClock = false;
  };
  // The days of `source` (Earliest, Latest, DayHasRecordings; the wall clock when it has no
  // database); none for a null source.
  static Days DaysOf(playback::PlaybackSource* source);

  // Starts with the days of [viewStart, viewEnd] selected when both are not 0 (cut to the limits
  // and to kMaxDays from the first), else with today.
  CalendarDialog(uint64_t viewStart, uint64_t viewEnd, playback::PlaybackSource* source,
                 QWidget* parent = nullptr);
  CalendarDialog(uint64_t viewStart, uint64_t viewEnd, Days days, QWidget* parent = nullptr);

  // The first and the last selected day at 00:00, as times on the source's clock; the browser
  // shows from the start of the first to the end of the last day.
  uint64_t From() const;
  uint64_t To() const;

  QDate FirstDay() const { return first_; }
  QDate LastDay() const { return last_; }
  // The days the operator may choose (null dates: no limit).
  QDate MinimumDay() const { return minimum_; }
  QDate MaximumDay() const { return maximum_; }

  // What a click on `day` does: with `extend`, or as the second click of a range, the range from
  // the first day to `day`; otherwise a new range of that one day. Days outside the limits are
  // ignored; a range longer than kMaxDays is cut at kMaxDays from the first day.
  void PickDay(const QDate& day, bool extend);
  // Selects first..last (in either order), cut to the limits and to kMaxDays, and shows it.
  void SelectDays(QDate first, QDate last);
  // "Select all": the source's first to last day, when it reports both; the most recent kMaxDays
  // of a longer archive.
  void SelectAll();

  // Whether `day` is shown as having recordings (bold); only days of the shown page are asked.
  bool IsMarked(const QDate& day) const { return marked_.contains(day); }

  QCalendarWidget* Calendar() const { return calendar_; }

 private:
  void BuildControls();
  void MarkPage(int year, int month);
  void ApplyFormats();
  QDate DayOf(uint64_t time) const;
  uint64_t StartOf(const QDate& day) const;

  const Days days_;
  QDate minimum_;
  QDate maximum_;
  QDate first_;
  QDate last_;
  // The day a second click completes the range from; null when the next click starts a new one.
  QDate anchor_;
  bool awaitingLast_ = false;
  QSet<QDate> marked_;
  int markedPage_ = -1;  // year * 12 + month of the page marked last
  // The days the shown page may hold.
  QDate pageFirst_;
  QDate pageLast_;
  // The dates that carry a format now, so that the next ApplyFormats clears only those.
  std::vector<QDate> formatted_;
  QCalendarWidget* calendar_ = nullptr;
};

// The gallery's "calendar" page: a week of days chosen in a month with some marked.
std::vector<shell::GalleryPage> CalendarGalleryPages();

}  // namespace strixc::browser
