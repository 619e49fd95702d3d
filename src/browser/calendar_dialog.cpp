#include "browser/calendar_dialog.h"

#include <QCalendarWidget>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLocale>
#include <QTextCharFormat>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

#include "archive/archive_time.h"
#include "playback/playback_source.h"
#include "shell/language.h"
#include "shell/picture_button.h"
#include "shell/string_ids.h"
#include "shell/texts.h"
#include "shell/theme.h"

namespace strixc::browser {

namespace text = shell::text;
namespace theme = shell::theme;

namespace {

using shell::Tr;

shell::PictureButton* MakeButton(QWidget* parent, const char* name, const QString& caption) {
  auto* button = new shell::PictureButton(caption, parent);
  button->setObjectName(QString::fromLatin1(name));
  return button;
}

// The wall-clock time of `day` at `hour`:00, as the calendar arithmetic counts it.
uint64_t WallTimeOf(const QDate& day, int hour) {
  return archive::TimeOfFields({day.year(), day.month(), day.day(), hour, 0, 0, 0}).value_or(0);
}

// The calendar in the dialogs' colours: the month on the dark background in the light text, the
// title bar the other way round. Weekends keep the text colour (Qt paints them red).
void Colour(QCalendarWidget* calendar) {
  QPalette palette = theme::DarkPalette(calendar->palette());
  palette.setColor(QPalette::Base, theme::kBackground);
  palette.setColor(QPalette::AlternateBase, theme::kBackground);
  calendar->setPalette(palette);
  QTextCharFormat days;
  days.setForeground(theme::kText);
  calendar->setWeekdayTextFormat(Qt::Saturday, days);
  calendar->setWeekdayTextFormat(Qt::Sunday, days);
  calendar->setHeaderTextFormat(days);

  if (auto* title = calendar->findChild<QWidget*>(QStringLiteral("qt_calendar_navigationbar"))) {
    QPalette bar = title->palette();
    for (QPalette::ColorRole role : {QPalette::Window, QPalette::Button, QPalette::Base, QPalette::Highlight}) {
      bar.setColor(role, theme::kText);
    }
    for (QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::ButtonText, QPalette::Text, QPalette::HighlightedText}) {
      bar.setColor(role, theme::kBackground);
    }
    title->setPalette(bar);
    title->setAutoFillBackground(true);
    for (QToolButton* button : title->findChildren<QToolButton*>()) button->setPalette(bar);
  }
}

}  // namespace

CalendarDialog::Days CalendarDialog::DaysOf(playback::PlaybackSource* source) {
  Days days;
  if (source == nullptr) return days;
  days.first = source->Earliest();
  days.last = source->Latest();
  days.hasRecordings = [source](uint64_t time) { return source->DayHasRecordings(time); };
  // Only the local archive keeps its own (standard-time) clock; a server's times are its wall clock.
  days.wallClock = source->Database() == nullptr;
  return days;
}

CalendarDialog::CalendarDialog(uint64_t viewStart, uint64_t viewEnd, playback::PlaybackSource* source,
                               QWidget* parent)
    : CalendarDialog(viewStart, viewEnd, DaysOf(source), parent) {}

CalendarDialog::CalendarDialog(uint64_t viewStart, uint64_t viewEnd, Days days, QWidget* parent)
    : DialogFrame(parent), days_(std::move(days)) {
  SetCaption(Tr(text::kCalendar));
  if (days_.first != 0 && days_.last != 0) {
    minimum_ = DayOf(std::min(days_.first, days_.last));
    maximum_ = DayOf(std::max(days_.first, days_.last));
  }
  BuildControls();
  if (viewStart != 0 && viewEnd != 0) {
    SelectDays(DayOf(viewStart), DayOf(viewEnd));
  } else {
    SelectDays(QDate::currentDate(), QDate::currentDate());
  }
  // The selection put up its page and marked it, unless that page was shown from the start.
  if (markedPage_ != calendar_->yearShown() * 12 + calendar_->monthShown()) {
    MarkPage(calendar_->yearShown(), calendar_->monthShown());
  }
}

void CalendarDialog::BuildControls() {
  calendar_ = new QCalendarWidget(this);
  calendar_->setObjectName("calendar");
  calendar_->setLocale(QLocale(QString::fromLatin1(shell::AppliedLanguage().name)));
  calendar_->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
  calendar_->setHorizontalHeaderFormat(QCalendarWidget::ShortDayNames);
  calendar_->setGridVisible(false);
  if (minimum_.isValid()) calendar_->setDateRange(minimum_, maximum_);
  Colour(calendar_);
  connect(calendar_, &QCalendarWidget::clicked, this, [this](QDate day) {
    PickDay(day, QGuiApplication::keyboardModifiers().testFlag(Qt::ShiftModifier));
  });
  connect(calendar_, &QCalendarWidget::currentPageChanged, this, &CalendarDialog::MarkPage);

  auto* selectAll = MakeButton(this, "select_all", Tr(text::kSelectAll));
  auto* ok = MakeButton(this, "ok", Tr(text::kOk));
  auto* cancel = MakeButton(this, "cancel", Tr(text::kCancel));
  selectAll->setEnabled(minimum_.isValid());
  connect(selectAll, &shell::PictureButton::clicked, this, &CalendarDialog::SelectAll);
  connect(ok, &shell::PictureButton::clicked, this, &QDialog::accept);
  connect(cancel, &shell::PictureButton::clicked, this, &QDialog::reject);
  SetDefaultButton(ok);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(selectAll);
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);

  auto* layout = new QVBoxLayout(this);
  // Room for the caption tab above the content.
  layout->setContentsMargins(16, 34, 16, 14);
  layout->setSpacing(10);
  layout->addWidget(calendar_);
  layout->addLayout(buttons);
}

// ---------------------------------------------------------------------------------------------
// Selection

void CalendarDialog::PickDay(const QDate& day, bool extend) {
  if (!day.isValid() || (minimum_.isValid() && (day < minimum_ || day > maximum_))) return;
  if ((extend || awaitingLast_) && anchor_.isValid()) {
    // The range grows from the day the operator started it; beyond kMaxDays it stops there.
    const qint64 reach = kMaxDays - 1;
    const QDate end = std::clamp(day, anchor_.addDays(-reach), anchor_.addDays(reach));
    first_ = std::min(anchor_, end);
    last_ = std::max(anchor_, end);
    awaitingLast_ = false;
  } else {
    first_ = last_ = anchor_ = day;
    awaitingLast_ = true;
  }
  ApplyFormats();
}

void CalendarDialog::SelectDays(QDate first, QDate last) {
  if (!first.isValid() || !last.isValid()) return;
  if (last < first) std::swap(first, last);
  if (minimum_.isValid()) {
    first = std::clamp(first, minimum_, maximum_);
    last = std::clamp(last, minimum_, maximum_);
  }
  first_ = first;
  last_ = std::min(last, first.addDays(kMaxDays - 1));
  anchor_ = first_;
  awaitingLast_ = false;
  calendar_->setSelectedDate(first_);
  ApplyFormats();
}

void CalendarDialog::SelectAll() {
  if (!minimum_.isValid()) return;
  // The most recent days are the ones an operator looks for in an archive longer than the limit.
  first_ = std::max(minimum_, maximum_.addDays(-(kMaxDays - 1)));
  last_ = maximum_;
  anchor_ = first_;
  awaitingLast_ = false;
  calendar_->setSelectedDate(first_);
  ApplyFormats();
}

uint64_t CalendarDialog::From() const { return StartOf(first_); }

uint64_t CalendarDialog::To() const { return StartOf(last_); }

// ---------------------------------------------------------------------------------------------
// Marks and formats

void CalendarDialog::MarkPage(int year, int month) {
  markedPage_ = year * 12 + month;
  // The page shows parts of the months around this one: a week before it, two after.
  const QDate firstOfMonth(year, month, 1);
  pageFirst_ = firstOfMonth.addDays(-7);
  pageLast_ = firstOfMonth.addMonths(1).addDays(13);
  marked_.clear();
  if (days_.hasRecordings) {
    for (QDate day = pageFirst_; day <= pageLast_; day = day.addDays(1)) {
      // Nothing is recorded outside the archive's days: those are not asked about.
      if (minimum_.isValid() && (day < minimum_ || day > maximum_)) continue;
      // Noon lies inside the day whatever the daylight-saving change of its night.
      const uint64_t wall = WallTimeOf(day, 12);
      if (wall == 0) continue;
      if (days_.hasRecordings(days_.wallClock ? wall : archive::FromWallClock(wall))) marked_.insert(day);
    }
  }
  ApplyFormats();
}

void CalendarDialog::ApplyFormats() {
  for (const QDate& day : formatted_) calendar_->setDateTextFormat(day, QTextCharFormat());
  formatted_.clear();
  const auto inRange = [this](const QDate& day) { return first_.isValid() && day >= first_ && day <= last_; };
  const auto format = [this, &inRange](const QDate& day) {
    QTextCharFormat f;
    if (marked_.contains(day)) f.setFontWeight(QFont::Bold);
    if (inRange(day)) {
      f.setBackground(theme::kOutline);
      f.setForeground(Qt::white);
    } else if (minimum_.isValid() && (day < minimum_ || day > maximum_)) {
      // Days that cannot be chosen are dimmed like those of the months around.
      f.setForeground(theme::kOutline);
    }
    calendar_->setDateTextFormat(day, f);
    formatted_.push_back(day);
  };
  if (first_.isValid()) {
    for (QDate day = first_; day <= last_; day = day.addDays(1)) format(day);
  }
  if (pageFirst_.isValid()) {
    for (QDate day = pageFirst_; day <= pageLast_; day = day.addDays(1)) {
      if (!inRange(day)) format(day);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Clocks

QDate CalendarDialog::DayOf(uint64_t time) const {
  const archive::TimeFields f = archive::FieldsOfTime(days_.wallClock ? time : archive::ToWallClock(time));
  return QDate(f.year, f.month, f.day);
}

uint64_t CalendarDialog::StartOf(const QDate& day) const {
  if (!day.isValid()) return 0;
  if (days_.wallClock) return WallTimeOf(day, 0);
  // The first archive time of the wall-clock day: its midnight on the clock of the archive, which
  // differs from the wall clock by the summer-time hour.
  const uint64_t noon = WallTimeOf(day, 12);
  return noon == 0 ? 0 : archive::ArchiveDayOf(archive::FromWallClock(noon)).first;
}

// ---------------------------------------------------------------------------------------------
// Gallery

namespace {

std::unique_ptr<QWidget> CalendarPage() {
  // Fixed dates, so that every language shows the same picture: recordings on most days of
  // March 2026 up to the 24th, a week chosen.
  const QDate firstDay(2026, 3, 2);
  const QDate lastDay(2026, 3, 24);
  CalendarDialog::Days days;
  days.wallClock = true;
  days.first = WallTimeOf(firstDay, 8);
  days.last = WallTimeOf(lastDay, 18);
  days.hasRecordings = [](uint64_t time) {
    const archive::TimeFields f = archive::FieldsOfTime(time);
    return f.day % 7 != 0;
  };
  return std::make_unique<CalendarDialog>(WallTimeOf(QDate(2026, 3, 9), 0), WallTimeOf(QDate(2026, 3, 15), 23),
                                          std::move(days));
}

}  // namespace

std::vector<shell::GalleryPage> CalendarGalleryPages() { return {{QStringLiteral("calendar"), CalendarPage}}; }

}  // namespace strixc::browser
