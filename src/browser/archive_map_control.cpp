#include "browser/archive_map_control.h"

#include <QFont>
#include <QMetaObject>
#include <QPainter>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include "archive/archive_time.h"
#include "shell/string_ids.h"
#include "shell/texts.h"
#include "shell/theme.h"

namespace strixc::browser {

namespace {

using archive::kUnitsPerDay;
using archive::kUnitsPerSecond;

constexpr QRgb kBackground = qRgb(0x30, 0x30, 0x30);
// Row colours, normal and highlighted (the selected camera's row).
constexpr QRgb kNoRecording = qRgb(0x40, 0x40, 0xA4);
constexpr QRgb kNoRecordingLit = qRgb(0x60, 0x60, 0xC4);
constexpr QRgb kRecorded = qRgb(0x40, 0xC4, 0x40);
constexpr QRgb kRecordedLit = qRgb(0x60, 0xFF, 0x60);
constexpr QRgb kRed = qRgb(0xFF, 0x40, 0x40);
constexpr QRgb kRedLit = qRgb(0xFF, 0x80, 0x80);
constexpr QRgb kYellow = qRgb(0xFF, 0xFF, 0x80);
constexpr QRgb kYellowLit = qRgb(0xFF, 0xFF, 0xC4);
constexpr QRgb kAxisText = qRgb(0xC4, 0xC4, 0xC4);
constexpr QRgb kMarkerSide = qRgb(0xFF, 0x80, 0x80);
constexpr QRgb kSelectionBrush = qRgb(0xC4, 0xC4, 0x00);

constexpr int64_t kMinimumSpan = 1'000'000;            // 0.1 s
constexpr int64_t kMaximumSpan = 315'360'000'000'000;  // 365 days
// Every view end stays a valid signed 64-bit time, so differences never overflow.
constexpr int64_t kLatestTime = INT64_MAX - kMinimumSpan;
constexpr size_t kMaximumTitles = 1000;
constexpr int kLargestSide = 16384;
// Rows leave this many pixels at the bottom for the axis labels.
constexpr int kAxisHeight = 18;
constexpr int kCursorGap = 12;
constexpr int kSnapPixels = 3;
// 8 pt at the 96 dots per inch the layouts were made for.
constexpr int kDotsPerMeter = 3780;

// Axis steps in 100 ns units: the one giving the nearest to 8 labels per view is used.
constexpr int64_t kSteps[] = {
    100'000, 250'000, 1'000'000, 5'000'000, 10'000'000, 50'000'000, 150'000'000, 300'000'000,
    600'000'000, 3'000'000'000, 9'000'000'000, 18'000'000'000, 36'000'000'000, 72'000'000'000,
    216'000'000'000, 432'000'000'000, 864'000'000'000, 1'728'000'000'000, 6'048'000'000'000,
    26'784'000'000'000};
constexpr int64_t kHalfDay = 432'000'000'000;
constexpr int64_t kMonthStep = 26'784'000'000'000;

int64_t ClampTime(__int128 t) {
  return static_cast<int64_t>(std::clamp<__int128>(t, 1, kLatestTime));
}

int64_t AxisStep(int64_t span) {
  int64_t best = kSteps[0];
  double bestDistance = -1;
  for (int64_t step : kSteps) {
    const double distance = std::abs(static_cast<double>(span) / static_cast<double>(step) - 8.0);
    if (bestDistance < 0 || distance < bestDistance) {
      best = step;
      bestDistance = distance;
    }
  }
  return best;
}

// The first of the month after the wall-clock time `wall`, at 00:00.
uint64_t NextMonth(uint64_t wall) {
  archive::TimeFields f = archive::FieldsOfTime(wall);
  f.month += 1;
  if (f.month > 12) {
    f.month = 1;
    f.year += 1;
  }
  f.day = 1;
  f.hour = f.minute = f.second = f.millisecond = 0;
  return archive::TimeOfFields(f).value_or(0);
}

}  // namespace

ArchiveMapControl::ArchiveMapControl() { rowEnabled_.fill(true); }

ArchiveMapControl::~ArchiveMapControl() = default;

bool ArchiveMapControl::Create(const QRect& rect, QObject* hostContext, MapHost* host) {
  std::lock_guard lock(lock_);
  ResetLocked();
  if (rect.width() < 2 || rect.height() < kAxisHeight + 2 || rect.width() > kLargestSide ||
      rect.height() > kLargestSide)
    return false;
  hostContext_ = hostContext;
  host_ = host;
  rect_ = rect;
  columns_ = rect.width();
  maskRecorded_.assign(static_cast<size_t>(columns_), 0);
  maskRed_.assign(static_cast<size_t>(columns_), 0);
  maskYellow_.assign(static_cast<size_t>(columns_), 0);
  offscreen_ = QImage(columns_, rect.height(), QImage::Format_RGB32);
  offscreen_.setDotsPerMeterX(kDotsPerMeter);
  offscreen_.setDotsPerMeterY(kDotsPerMeter);
  rowEnabled_.fill(true);
  selectedRow_ = -1;
  created_ = true;
  BuildStripsLocked();
  RedrawLocked();
  return true;
}

void ArchiveMapControl::Reset() {
  std::lock_guard lock(lock_);
  ResetLocked();
}

void ArchiveMapControl::ResetLocked() {
  created_ = false;
  hostContext_.clear();
  host_ = nullptr;
  rect_ = QRect();
  columns_ = 0;
  cursor_ = viewStart_ = viewEnd_ = 0;
  selectionStart_ = selectionEnd_ = 0;
  rowRect_.fill(QRect());
  rowsArea_ = QRect();
  selectedRow_ = -1;
  maskRecorded_.clear();
  maskRed_.clear();
  maskYellow_.clear();
  for (auto& strip : rowStrip_) strip.clear();
  offscreen_ = QImage();
  screen_ = QImage();
  // A picture still on its way belongs to the old host.
  mailbox_ = std::make_shared<PictureMailbox>();
  markers_.clear();
  axisLabels_.clear();
}

void ArchiveMapControl::SetWallClockTimes(bool wallClock) {
  std::lock_guard lock(lock_);
  if (wallClock_ == wallClock) return;
  wallClock_ = wallClock;
  RedrawLocked();
}

// ---- View ----

void ArchiveMapControl::SetView(uint64_t start, uint64_t end) {
  std::lock_guard lock(lock_);
  SetViewLocked(start, end);
}

bool ArchiveMapControl::SetViewLocked(uint64_t start, uint64_t end) {
  // Values above INT64_MAX are the negative times of a signed caller: they become 1 as well.
  int64_t s = ClampTime(static_cast<int64_t>(start));
  int64_t e = ClampTime(static_cast<int64_t>(end));
  if (e < s) std::swap(s, e);
  if (s + kMinimumSpan > e) e = s + kMinimumSpan;
  if (e - s > kMaximumSpan) return false;
  if (static_cast<uint64_t>(s) == viewStart_ && static_cast<uint64_t>(e) == viewEnd_) return false;
  viewStart_ = static_cast<uint64_t>(s);
  viewEnd_ = static_cast<uint64_t>(e);
  // Markers and masks belong to the old view; the host fills the new one.
  markers_.clear();
  if (titles_.size() > kMaximumTitles) titles_.clear();
  std::fill(maskRecorded_.begin(), maskRecorded_.end(), 0);
  std::fill(maskRed_.begin(), maskRed_.end(), 0);
  std::fill(maskYellow_.begin(), maskYellow_.end(), 0);
  BuildStripsLocked();
  PostNeedsDataLocked();
  RedrawLocked();
  return true;
}

void ArchiveMapControl::Shift(int64_t delta) {
  std::lock_guard lock(lock_);
  ShiftLocked(delta);
}

void ArchiveMapControl::ShiftLocked(__int128 delta) {
  // Saturate instead of wrapping: a shift past either end of the time range stops there, with the
  // span kept.
  const __int128 span = static_cast<__int128>(viewEnd_) - viewStart_;
  const __int128 start = std::clamp<__int128>(viewStart_ + delta, 1, kLatestTime - span);
  SetViewLocked(static_cast<uint64_t>(start), static_cast<uint64_t>(start + span));
}

uint64_t ArchiveMapControl::GetViewStart() {
  std::lock_guard lock(lock_);
  return viewStart_;
}

uint64_t ArchiveMapControl::GetViewEnd() {
  std::lock_guard lock(lock_);
  return viewEnd_;
}

int ArchiveMapControl::GetColumns() {
  std::lock_guard lock(lock_);
  return columns_;
}

QRect ArchiveMapControl::GetRect() {
  std::lock_guard lock(lock_);
  return rect_;
}

// ---- Selection and cursor ----

void ArchiveMapControl::SetSelection(uint64_t start, uint64_t end) {
  std::lock_guard lock(lock_);
  if (start == selectionStart_ && end == selectionEnd_) return;
  selectionStart_ = start;
  selectionEnd_ = end;
  RedrawLocked();
}

uint64_t ArchiveMapControl::GetSelectionStart() {
  std::lock_guard lock(lock_);
  return selectionStart_;
}

uint64_t ArchiveMapControl::GetSelectionEnd() {
  std::lock_guard lock(lock_);
  return selectionEnd_;
}

void ArchiveMapControl::SetCursor(uint64_t time) {
  std::lock_guard lock(lock_);
  if (time == cursor_) return;
  if (ColumnOfLocked(time) == ColumnOfLocked(cursor_)) {
    // Within one pixel column the picture stays as it is: playback calls this many times a second.
    cursor_ = time;
  } else {
    const int oldX = CursorXLocked();
    cursor_ = time;
    const QRect changed = MoveCursorLocked(oldX);
    if (!changed.isEmpty()) PostPictureLocked(changed);
  }
  // The label follows every change, or it would lag by up to a column's time (86 s in a day view).
  PostCursorTextLocked();
  // An empty view (none shown yet) is not made from a cursor.
  if (time != 0 && viewStart_ != viewEnd_ && (time <= viewStart_ || time >= viewEnd_)) {
    const __int128 half = (viewEnd_ - viewStart_) / 2;
    ShiftLocked(static_cast<__int128>(time) - half - viewStart_);
  }
}

uint64_t ArchiveMapControl::GetCursor() {
  std::lock_guard lock(lock_);
  return cursor_;
}

int ArchiveMapControl::CursorXLocked() const {
  if (!created_ || cursor_ == 0 || viewStart_ == viewEnd_ || cursor_ < viewStart_ || cursor_ > viewEnd_)
    return INT_MIN;
  const int x = ColumnOfLocked(cursor_);
  return rect_.left() < x && x < rect_.right() ? x : INT_MIN;
}

QRect ArchiveMapControl::MoveCursorLocked(int oldX) {
  if (!created_) return {};
  QRect changed;
  QPainter painter(&screen_);
  if (oldX != INT_MIN) {
    // Copy the strip back from the off-screen picture: the rows are not painted again.
    const QRect strip(oldX - rect_.left() - 2, 0, 5, offscreen_.height());
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(strip.topLeft(), offscreen_, strip);
    changed = strip.translated(rect_.topLeft());
  }
  const int x = CursorXLocked();
  if (x != INT_MIN) {
    const int local = x - rect_.left();
    const int height = rect_.height() - 1 - kCursorGap;
    painter.fillRect(local - 1, 0, 1, height, Qt::black);
    painter.fillRect(local, 0, 1, height, Qt::white);
    painter.fillRect(local + 1, 0, 1, height, Qt::black);
    changed |= QRect(x - 1, rect_.top(), 3, height);
  }
  return changed & rect_;
}

// ---- Rows ----

void ArchiveMapControl::SetRowEnabled(int camera, bool enabled) {
  std::lock_guard lock(lock_);
  if (camera < 0 || camera >= kRows) return;
  rowEnabled_[static_cast<size_t>(camera)] = enabled;
}

void ArchiveMapControl::SetSelectedRow(int camera) {
  std::lock_guard lock(lock_);
  if (camera < 0 || camera >= kRows) camera = -1;
  if (camera == selectedRow_) return;
  const int old = selectedRow_;
  selectedRow_ = camera;
  if (old >= 0) BuildStripLocked(old);
  if (camera >= 0) BuildStripLocked(camera);
  RedrawLocked();
}

int ArchiveMapControl::SelectedRow() {
  std::lock_guard lock(lock_);
  return selectedRow_;
}

int ArchiveMapControl::RowAt(const QPoint& point) {
  std::lock_guard lock(lock_);
  for (int c = 0; c < kRows; ++c) {
    if (rowRect_[static_cast<size_t>(c)].contains(point)) return c;
  }
  return -1;
}

QRect ArchiveMapControl::RowRect(int camera) {
  std::lock_guard lock(lock_);
  if (camera < 0 || camera >= kRows) return {};
  return rowRect_[static_cast<size_t>(camera)];
}

void ArchiveMapControl::BuildStripsLocked() {
  for (int c = 0; c < kRows; ++c) BuildStripLocked(c);
}

void ArchiveMapControl::BuildStripLocked(int camera) {
  auto& strip = rowStrip_[static_cast<size_t>(camera)];
  const bool lit = camera == selectedRow_;
  const QRgb empty = viewStart_ == viewEnd_ ? shell::theme::kBackground.rgb() : (lit ? kNoRecordingLit : kNoRecording);
  strip.assign(static_cast<size_t>(columns_), empty);
  const uint32_t bit = 1u << camera;
  for (size_t k = 0; k < strip.size(); ++k) {
    // A clear-event wins over a set-event, which wins over a plain recording.
    if (maskRed_[k] & bit) {
      strip[k] = lit ? kRedLit : kRed;
    } else if (maskYellow_[k] & bit) {
      strip[k] = lit ? kYellowLit : kYellow;
    } else if (maskRecorded_[k] & bit) {
      strip[k] = lit ? kRecordedLit : kRecorded;
    }
  }
}

// ---- Positions ----

int ArchiveMapControl::ColumnOf(uint64_t time) {
  std::lock_guard lock(lock_);
  return ColumnOfLocked(time);
}

int ArchiveMapControl::ColumnOfLocked(uint64_t time) const {
  if (viewEnd_ == viewStart_) return 0;
  // 128-bit: a time far from the view times the width would overflow 64 bits.
  const __int128 offset = static_cast<__int128>(time) - viewStart_;
  const __int128 x = rect_.left() + (rect_.right() - rect_.left()) * offset / (viewEnd_ - viewStart_);
  return static_cast<int>(std::clamp<__int128>(x, INT_MIN / 2, INT_MAX / 2));
}

uint64_t ArchiveMapControl::TimeAt(int x) {
  std::lock_guard lock(lock_);
  return TimeAtLocked(x);
}

uint64_t ArchiveMapControl::TimeAtLocked(int x) const {
  const int width = rect_.right() - rect_.left();
  __int128 t = viewStart_;
  if (width != 0) t += static_cast<__int128>(viewEnd_ - viewStart_) * (int64_t{x} - rect_.left()) / width;
  const uint64_t time = static_cast<uint64_t>(std::clamp<__int128>(t, 0, kLatestTime));
  // A marker within a few pixels is what a click near it means; of two, the nearer in time.
  const auto near = [&](uint64_t marker) { return std::abs(int64_t{x} - ColumnOfLocked(marker)) < kSnapPixels; };
  const auto it = std::lower_bound(markers_.begin(), markers_.end(), time);
  const bool hasA = it != markers_.end() && near(*it);
  const bool hasB = it != markers_.begin() && near(*(it - 1));
  if (hasA && hasB) return time - *(it - 1) < *it - time ? *(it - 1) : *it;
  if (hasA) return *it;
  if (hasB) return *(it - 1);
  return time;
}

QString ArchiveMapControl::HoverText(const QPoint& point) {
  std::lock_guard lock(lock_);
  const uint64_t t = TimeAtLocked(point.x());
  QString text;
  if (selectionStart_ == 0) {
    text = TimeText(t, true, true, false);
  } else {
    const uint64_t first = std::min(selectionStart_, selectionEnd_);
    const uint64_t last = std::max(selectionStart_, selectionEnd_);
    text = TimeText(first, true, true, false) + QStringLiteral(" - ") + TimeText(last, true, true, false);
  }
  if (HasBookmarkLocked(t)) text += QStringLiteral("      ") + TitleLocked(t);
  return text;
}

// ---- Data ----

void ArchiveMapControl::SetMapData(uint64_t t1, uint64_t t2, std::span<const uint32_t> recorded,
                                   std::span<const uint32_t> red, std::span<const uint32_t> yellow) {
  std::lock_guard lock(lock_);
  if (!created_ || columns_ < 2 || viewStart_ == viewEnd_) return;
  if (t1 >= t2 || t2 < viewStart_ || t1 > viewEnd_) return;
  const size_t count = std::min({recorded.size(), red.size(), yellow.size()});
  const __int128 span = viewEnd_ - viewStart_;
  const __int128 length = t2 - t1;
  for (int k = 0; k < columns_; ++k) {
    const __int128 tk = viewStart_ + span * k / (columns_ - 1);
    // Only columns inside [t1, t2): truncating division would give a column just before t1 the
    // first sample and overwrite what the previous part delivered for it.
    if (tk < t1 || tk >= t2) continue;
    const __int128 j = (tk - t1) * static_cast<__int128>(count) / length;
    if (j >= static_cast<__int128>(count)) continue;
    const auto index = static_cast<size_t>(j);
    maskRecorded_[static_cast<size_t>(k)] = recorded[index];
    maskRed_[static_cast<size_t>(k)] = red[index];
    maskYellow_[static_cast<size_t>(k)] = yellow[index];
  }
  BuildStripsLocked();
  RedrawLocked();
}

// ---- Bookmarks ----

void ArchiveMapControl::AddBookmarks(std::span<const uint64_t> times) {
  std::lock_guard lock(lock_);
  // Only those in the view: an answer for an earlier view must not leave markers in this one.
  for (uint64_t t : times) {
    if (viewStart_ != viewEnd_ && t >= viewStart_ && t <= viewEnd_) markers_.push_back(t);
  }
  std::sort(markers_.begin(), markers_.end());
  RedrawLocked();
}

void ArchiveMapControl::InsertBookmark(uint64_t time) {
  std::lock_guard lock(lock_);
  // A bookmark set again may have a new title: the next hover asks for it.
  titles_.erase(time);
  if (viewStart_ == viewEnd_ || time < viewStart_ || time > viewEnd_) return;
  const auto it = std::lower_bound(markers_.begin(), markers_.end(), time);
  if (it != markers_.end() && *it == time) return;
  markers_.insert(it, time);
  RedrawLocked();
}

void ArchiveMapControl::RemoveBookmark(uint64_t time) {
  std::lock_guard lock(lock_);
  const auto [first, last] = std::equal_range(markers_.begin(), markers_.end(), time);
  if (first == last) return;
  markers_.erase(first, last);
  RedrawLocked();
}

void ArchiveMapControl::SetTitle(uint64_t time, const std::string& title) {
  std::lock_guard lock(lock_);
  titles_[time] = title;
}

bool ArchiveMapControl::HasBookmark(uint64_t time) {
  std::lock_guard lock(lock_);
  return HasBookmarkLocked(time);
}

bool ArchiveMapControl::HasBookmarkLocked(uint64_t time) {
  if (!std::binary_search(markers_.begin(), markers_.end(), time)) return false;
  if (!titles_.contains(time)) PostNeedsTitleLocked(time);
  return true;
}

QString ArchiveMapControl::Title(uint64_t time) {
  std::lock_guard lock(lock_);
  return TitleLocked(time);
}

QString ArchiveMapControl::TitleLocked(uint64_t time) const {
  if (const auto it = titles_.find(time); it != titles_.end()) return QString::fromStdString(it->second);
  if (std::binary_search(markers_.begin(), markers_.end(), time)) return QStringLiteral(" ??? ");
  return {};
}

// ---- Drawing ----

void ArchiveMapControl::Redraw() {
  std::lock_guard lock(lock_);
  RedrawLocked();
}

void ArchiveMapControl::RedrawLocked() {
  axisLabels_.clear();
  if (!created_) return;
  offscreen_.fill(kBackground);
  LayOutRowsLocked();
  PaintRowsLocked();
  if (viewStart_ != viewEnd_) {
    QPainter painter(&offscreen_);
    PaintAxisLocked(painter);
    PaintMarkersLocked(painter);
    PaintSelectionLocked(painter);
  }
  // The cursor goes on the host's copy only, so that moving it never repaints the rows.
  screen_ = offscreen_.copy();
  MoveCursorLocked(INT_MIN);
  PostPictureLocked(rect_);
}

void ArchiveMapControl::LayOutRowsLocked() {
  const int enabled = static_cast<int>(std::count(rowEnabled_.begin(), rowEnabled_.end(), true));
  const double height = rect_.bottom() - rect_.top() - kAxisHeight;
  rowsArea_ = QRect();
  int k = 0;
  int previousBottom = 0;
  for (int c = 0; c < kRows; ++c) {
    QRect& row = rowRect_[static_cast<size_t>(c)];
    row = QRect();
    if (!rowEnabled_[static_cast<size_t>(c)]) continue;
    ++k;
    // Rows share the height evenly, rounded, with a two-pixel gap between them; `bottom` excluded.
    const int bottom = static_cast<int>(std::floor(height * k / enabled + rect_.top() + 0.5));
    const int top = k == 1 ? rect_.top() + 1 : previousBottom + 2;
    previousBottom = bottom;
    if (bottom > top) row = QRect(rect_.left(), top, columns_, bottom - top);
    rowsArea_ |= row;
  }
}

void ArchiveMapControl::PaintRowsLocked() {
  const size_t bytes = static_cast<size_t>(columns_) * sizeof(QRgb);
  for (int c = 0; c < kRows; ++c) {
    const QRect& row = rowRect_[static_cast<size_t>(c)];
    if (row.isEmpty()) continue;
    const QRgb* strip = rowStrip_[static_cast<size_t>(c)].data();
    for (int y = row.top(); y <= row.bottom(); ++y) {
      std::memcpy(offscreen_.scanLine(y - rect_.top()), strip, bytes);
    }
  }
}

void ArchiveMapControl::PaintAxisLocked(QPainter& painter) {
  const int64_t step = AxisStep(static_cast<int64_t>(viewEnd_ - viewStart_));
  const uint64_t last = viewEnd_ + 1;
  std::vector<uint64_t> ticks;
  if (step < static_cast<int64_t>(kUnitsPerDay)) {
    // Each instant whose wall-clock reading is a multiple of the step (every step divides a day,
    // so multiples count from midnight). The wall clock's offset is constant between changes, so
    // for each offset met in the view the candidates are the multiples shifted by it; a candidate
    // counts when the zone really gives it that reading. The hour the spring change skips gets no
    // tick. The hour the autumn change repeats would get its ticks twice: the axis reads each
    // wall-clock time once and in order, so a tick whose reading is not later than the one before
    // it is left out, and the repeated hour is labelled at its first (summer-time) instant.
    std::vector<int64_t> offsets;
    for (uint64_t t : {viewStart_, last}) {
      const int64_t offset = static_cast<int64_t>(ToWall(t)) - static_cast<int64_t>(t);
      if (std::find(offsets.begin(), offsets.end(), offset) == offsets.end()) offsets.push_back(offset);
    }
    for (int64_t offset : offsets) {
      const __int128 firstWall = static_cast<__int128>(viewStart_) + offset;
      for (__int128 wall = (firstWall + step - 1) / step * step; wall - offset <= last; wall += step) {
        const auto instant = static_cast<uint64_t>(wall - offset);
        if (ToWall(instant) == static_cast<uint64_t>(wall)) ticks.push_back(instant);
      }
    }
    std::sort(ticks.begin(), ticks.end());
    ticks.erase(std::unique(ticks.begin(), ticks.end()), ticks.end());
    size_t kept = 0;
    uint64_t previousWall = 0;
    for (uint64_t instant : ticks) {
      const uint64_t wall = ToWall(instant);
      if (wall <= previousWall) continue;
      previousWall = wall;
      ticks[kept++] = instant;
    }
    ticks.resize(kept);
  } else {
    // Whole days and months on the wall clock, each turned into its instant: days of 23 or 25
    // hours keep their ticks at midnight.
    const uint64_t wallStart = ToWall(viewStart_);
    uint64_t wall = wallStart - wallStart % kUnitsPerDay;
    if (step > 2 * static_cast<int64_t>(kUnitsPerDay)) {
      archive::TimeFields f = archive::FieldsOfTime(wallStart);
      f.day = 1;
      f.hour = f.minute = f.second = f.millisecond = 0;
      wall = archive::TimeOfFields(f).value_or(wall);
    }
    while (wall != 0) {
      const uint64_t instant = FromWall(wall);
      if (instant > last) break;
      if (instant >= viewStart_ && (ticks.empty() || instant > ticks.back())) ticks.push_back(instant);
      wall = step == kMonthStep ? NextMonth(wall) : wall + static_cast<uint64_t>(step);
    }
  }

  QFont font;
  font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans")});
  font.setPointSize(8);
  painter.setFont(font);
  painter.setPen(QColor(kAxisText));
  const int baseline = rect_.bottom() - rect_.top() - 1;
  constexpr int kLabelGap = 6;
  int drawnRight = 0;
  for (size_t i = 0; i < ticks.size(); ++i) {
    const bool date = i == 0 || step >= kHalfDay;
    const bool clock = step < static_cast<int64_t>(kUnitsPerDay);
    const bool fractions = step < static_cast<int64_t>(kUnitsPerSecond);
    MapAxisLabel label{ColumnOfLocked(ticks[i]), ticks[i], TimeText(ticks[i], date, clock, fractions)};
    // Centred under its tick, but kept whole inside the map: the labels at the view's ends (a day
    // view starts and ends on a tick) would otherwise be cut in half by the edges.
    const int width = painter.fontMetrics().horizontalAdvance(label.text) + 2;
    const int columns = rect_.right() - rect_.left() + 1;
    const int left = std::clamp(label.x - rect_.left() - width / 2, 0, std::max(0, columns - width));
    // A label that would run into the one before it (the long first label with its date) is left
    // out; its tick keeps its place in AxisLabels.
    if (left >= drawnRight) {
      painter.drawText(QRect(left, 0, width, baseline), Qt::AlignHCenter | Qt::AlignBottom, label.text);
      drawnRight = left + width + kLabelGap;
    }
    axisLabels_.push_back(std::move(label));
  }
}

void ArchiveMapControl::PaintMarkersLocked(QPainter& painter) {
  // Without rows, the markers span the band the rows would have.
  const QRect area = rowsArea_.isEmpty()
                         ? QRect(rect_.left(), rect_.top() + 1, columns_, rect_.height() - 2 - kAxisHeight)
                         : rowsArea_;
  const int y1 = area.top() - rect_.top() - 1;
  const int y2 = area.bottom() + 1 - rect_.top() + 5;
  for (uint64_t marker : markers_) {
    const int x = ColumnOfLocked(marker) - rect_.left();
    painter.fillRect(x - 1, y1, 3, y2 - y1, QColor(kMarkerSide));
    painter.fillRect(x, y1, 1, y2 - y1, Qt::white);
    painter.fillRect(x - 1, y1, 3, 1, QColor(kMarkerSide));
    painter.fillRect(x - 1, y2, 3, 1, QColor(kMarkerSide));
  }
}

void ArchiveMapControl::PaintSelectionLocked(QPainter& painter) {
  if (selectionStart_ == selectionEnd_ || rowsArea_.isEmpty()) return;
  int x1 = ColumnOfLocked(selectionStart_) - rect_.left();
  int x2 = ColumnOfLocked(selectionEnd_) - rect_.left();
  if (x2 < x1) std::swap(x1, x2);
  // XOR, so that drawing it twice restores the picture: the white outline inverts, the inside
  // takes the brush. Each pixel is touched once.
  const QRect box(x1, rowsArea_.top() - rect_.top(), x2 - x1, rowsArea_.height());
  if (box.isEmpty()) return;
  painter.save();
  painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  if (box.width() < 3 || box.height() < 3) {
    painter.fillRect(box, Qt::white);
  } else {
    painter.fillRect(box.adjusted(1, 1, -1, -1), QColor(kSelectionBrush));
    painter.fillRect(QRect(box.left(), box.top(), box.width(), 1), Qt::white);
    painter.fillRect(QRect(box.left(), box.bottom(), box.width(), 1), Qt::white);
    painter.fillRect(QRect(box.left(), box.top() + 1, 1, box.height() - 2), Qt::white);
    painter.fillRect(QRect(box.right(), box.top() + 1, 1, box.height() - 2), Qt::white);
  }
  painter.restore();
}

// ---- Texts and clocks ----

uint64_t ArchiveMapControl::ToWall(uint64_t time) const {
  return wallClock_ ? time : archive::ToWallClock(time);
}

uint64_t ArchiveMapControl::FromWall(uint64_t wall) const {
  return wallClock_ ? wall : archive::FromWallClock(wall);
}

QString ArchiveMapControl::TimeText(uint64_t time, bool date, bool clock, bool fractions) const {
  const uint64_t wall = ToWall(time);
  std::string text;
  if (clock) {
    std::string format(shell::Text(shell::text::kTimeFormat));
    if (const size_t seconds = format.find("%S"); fractions && seconds != std::string::npos) {
      char digits[8];
      std::snprintf(digits, sizeof digits, ".%03d", static_cast<int>(wall % kUnitsPerSecond / 10'000));
      format.insert(seconds + 2, digits);
    }
    text = archive::FormatLocal(wall, format.c_str());
  }
  if (date) {
    const std::string format(shell::Text(shell::text::kDateFormat));
    if (!text.empty()) text += " / ";
    text += archive::FormatLocal(wall, format.c_str());
  }
  return QString::fromStdString(text);
}

// ---- Host ----

template <class Call>
void ArchiveMapControl::PostLocked(Call call) {
  if (host_ == nullptr || hostContext_.isNull()) return;
  QPointer<QObject> guard = hostContext_;
  MapHost* host = host_;
  QMetaObject::invokeMethod(
      hostContext_.data(),
      [guard, host, call = std::move(call)] {
        if (guard) call(*host);
      },
      Qt::QueuedConnection);
}

void ArchiveMapControl::PostPictureLocked(const QRect& area) {
  if (host_ == nullptr || hostContext_.isNull()) return;
  std::lock_guard mailboxLock(mailbox_->lock);
  mailbox_->picture = screen_;
  mailbox_->area |= area;
  if (mailbox_->posted) return;
  mailbox_->posted = true;
  PostLocked([mailbox = mailbox_](MapHost& host) {
    QImage picture;
    QRect changed;
    {
      std::lock_guard lock(mailbox->lock);
      picture = std::move(mailbox->picture);
      changed = std::exchange(mailbox->area, QRect());
      mailbox->posted = false;
    }
    host.OnMapPicture(picture, changed);
  });
}

void ArchiveMapControl::PostCursorTextLocked() {
  const QString text = cursor_ == 0 ? shell::Tr(shell::text::kCursorNotSet) : TimeText(cursor_, true, true, false);
  PostLocked([text](MapHost& host) { host.OnMapCursorText(text); });
}

void ArchiveMapControl::PostNeedsDataLocked() {
  PostLocked([](MapHost& host) { host.OnMapNeedsData(); });
}

void ArchiveMapControl::PostNeedsTitleLocked(uint64_t time) {
  PostLocked([time](MapHost& host) { host.OnMapNeedsTitle(time); });
}

// ---- Accessors ----

std::vector<uint32_t> ArchiveMapControl::RecordedMasks() {
  std::lock_guard lock(lock_);
  return maskRecorded_;
}

std::vector<uint32_t> ArchiveMapControl::RedMasks() {
  std::lock_guard lock(lock_);
  return maskRed_;
}

std::vector<uint32_t> ArchiveMapControl::YellowMasks() {
  std::lock_guard lock(lock_);
  return maskYellow_;
}

std::vector<uint64_t> ArchiveMapControl::Markers() {
  std::lock_guard lock(lock_);
  return markers_;
}

QImage ArchiveMapControl::Picture() {
  std::lock_guard lock(lock_);
  return screen_;
}

std::vector<MapAxisLabel> ArchiveMapControl::AxisLabels() {
  std::lock_guard lock(lock_);
  return axisLabels_;
}

}  // namespace strixc::browser
