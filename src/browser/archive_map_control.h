#pragma once

#include <QImage>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "playback/timeline.h"

class QPainter;

namespace strixc::browser {

// The window that shows the archive map and feeds it. Every call reaches it as a queued call on
// its context object's thread (see ArchiveMapControl::Create); the map never waits for it.
class MapHost {
 public:
  virtual ~MapHost() = default;
  // The visible period changed: ask the playback source for its data (FillTimeline with
  // GetViewStart, GetViewEnd and GetColumns).
  virtual void OnMapNeedsData() = 0;
  // The map met a bookmark at `time` whose title it does not know: ask the source for it.
  virtual void OnMapNeedsTitle(uint64_t time) = 0;
  // The text of the cursor label.
  virtual void OnMapCursorText(const QString& text) {}
  // A new picture of the map: `picture` covers the map's rectangle (GetRect) and `area`, in the
  // host's coordinates, is the part of it that changed. The picture is the host's own copy. When
  // pictures come faster than the host's thread takes them, only the latest arrives, with the
  // union of the changed areas.
  virtual void OnMapPicture(const QImage& picture, const QRect& area) {}
};

// One label of the time axis as last drawn: `x` in host coordinates, `time` on the map's clock.
struct MapAxisLabel {
  int x = 0;
  uint64_t time = 0;
  QString text;
};

// The archive map: for one visible period (the view), one row per enabled camera coloured by what
// the archive holds in each pixel column, a time axis, bookmark markers, a rubber-band selection
// and the playback cursor. It is no widget: it paints into an off-screen picture of its rectangle
// and hands copies to its host, which shows them and forwards the mouse to it.
//
// Times are 100 ns units since 1601 (0 = none) on the clock of the source that fills the map: by
// default the local archive's clock (labels and day boundaries go through archive::ToWallClock and
// FromWallClock); SetWallClockTimes(true) for a source whose times are already the wall clock.
//
// Threads: any thread may call any operation (the browser from the user-interface thread, the
// playback source from its timer thread); each one takes the control's lock for its whole
// duration, painting included, and never calls the host directly. A QGuiApplication must exist
// (the axis is drawn with a font). The control does nothing visible until Create, and again after
// Reset.
class ArchiveMapControl final : public playback::Timeline {
 public:
  static constexpr int kRows = 16;

  ArchiveMapControl();
  ~ArchiveMapControl() override;
  ArchiveMapControl(const ArchiveMapControl&) = delete;
  ArchiveMapControl& operator=(const ArchiveMapControl&) = delete;

  // Binds the control to its host and to `rect` (host coordinates, right and bottom included:
  // the browser gives (5, 5, W - 5, 120)); clears cursor, view, selection and the data, enables
  // every row, no row selected. Posts to `host` go through `hostContext`'s thread and are dropped
  // once it is gone; `host` must stay valid as long as `hostContext` lives, and the host calls
  // Reset (or Create again) before it goes. False, and the control stays reset, for a rectangle
  // narrower than 2 columns, lower than 20 rows or larger than 16384 in either direction.
  bool Create(const QRect& rect, QObject* hostContext, MapHost* host);
  // Forgets the host and returns to the state before Create: nothing is drawn or posted.
  void Reset();
  // Whether the map's times are on the wall clock (true) or the local archive's clock (false, the
  // default). Redraws.
  void SetWallClockTimes(bool wallClock);

  // The visible period. SetView makes a value of 0 (or above INT64_MAX) 1, swaps reversed ends,
  // widens a span under 0.1 s to 0.1 s and ignores a span above 365 days or an unchanged view.
  // A new view drops the markers, the map data (and the cached titles when more than 1000),
  // asks the host for data and redraws.
  void SetView(uint64_t start, uint64_t end);
  // SetView(start + delta, end + delta), saturating at the ends of the time range.
  void Shift(int64_t delta);
  uint64_t GetViewStart();
  uint64_t GetViewEnd();
  // Number of pixel columns (0 before Create).
  int GetColumns();
  QRect GetRect();

  // (0, 0) = none. Redraws when it changes.
  void SetSelection(uint64_t start, uint64_t end);
  uint64_t GetSelectionStart();
  uint64_t GetSelectionEnd();

  // The playback position (0 = not set). Moving within one pixel column only stores the value;
  // otherwise the cursor is redrawn without repainting the rows. The host's cursor label follows
  // every change. A cursor at or beyond either end of a shown view re-centres the view on it (which
  // asks for new data); no view is made from a cursor while none is shown.
  void SetCursor(uint64_t time) override;
  uint64_t GetCursor();

  // Whether camera `camera`'s row is shown; takes effect at the next Redraw.
  void SetRowEnabled(int camera, bool enabled) override;
  // Highlights camera `camera`'s row (-1 or any other value outside 0..15: none). Redraws.
  void SetSelectedRow(int camera);
  int SelectedRow();

  // The host x of `time` (0 when the view is empty).
  int ColumnOf(uint64_t time);
  // The time at host x `x`; a bookmark marker within 3 pixels wins (the nearer of two).
  uint64_t TimeAt(int x);
  // The camera whose row holds `point` (host coordinates), else -1.
  int RowAt(const QPoint& point);
  // The row's rectangle in host coordinates as last drawn; empty for a disabled row.
  QRect RowRect(int camera);
  // The pointer's time (or the selection) as time and date, followed by the title of a bookmark
  // under the pointer (" ??? " while unknown, and the host is asked for it).
  QString HoverText(const QPoint& point);

  // Activity over [t1, t2): the three arrays hold `count` samples each (the shortest array counts);
  // columns whose time falls outside keep their values, so consecutive parts fill the map piece by
  // piece. Ignored unless t1 < t2 and the interval meets the view. Redraws.
  void SetMapData(uint64_t t1, uint64_t t2, std::span<const uint32_t> recorded,
                  std::span<const uint32_t> red, std::span<const uint32_t> yellow) override;

  // Markers of the bookmarks in the view. AddBookmarks keeps those inside the view and redraws;
  // InsertBookmark adds one (inside the view, not yet there) and always drops its cached title;
  // RemoveBookmark removes it. `title` of SetTitle is UTF-8.
  void AddBookmarks(std::span<const uint64_t> times) override;
  void InsertBookmark(uint64_t time) override;
  void RemoveBookmark(uint64_t time) override;
  void SetTitle(uint64_t time, const std::string& title) override;
  // Whether `time` is a marker; for a marker without a known title the host is asked for it.
  bool HasBookmark(uint64_t time);
  // The cached title; " ??? " for a marker without one; empty for no marker.
  QString Title(uint64_t time);

  // Paints the whole picture again and hands it to the host.
  void Redraw();

  // For commands and tests: the column masks (GetColumns entries each), the markers, the picture as
  // the host sees it (null before Create) and the axis labels of the last redraw.
  std::vector<uint32_t> RecordedMasks();
  std::vector<uint32_t> RedMasks();
  std::vector<uint32_t> YellowMasks();
  std::vector<uint64_t> Markers();
  QImage Picture();
  std::vector<MapAxisLabel> AxisLabels();

 private:
  void ResetLocked();
  bool SetViewLocked(uint64_t start, uint64_t end);
  void ShiftLocked(__int128 delta);
  int ColumnOfLocked(uint64_t time) const;
  uint64_t TimeAtLocked(int x) const;
  bool HasBookmarkLocked(uint64_t time);
  QString TitleLocked(uint64_t time) const;
  void BuildStripLocked(int camera);
  void BuildStripsLocked();
  void RedrawLocked();
  void LayOutRowsLocked();
  void PaintRowsLocked();
  void PaintAxisLocked(QPainter& painter);
  void PaintMarkersLocked(QPainter& painter);
  void PaintSelectionLocked(QPainter& painter);
  // Erases the cursor drawn at `oldX` (if any) and draws the current one; returns the changed area
  // in host coordinates.
  QRect MoveCursorLocked(int oldX);
  int CursorXLocked() const;
  QString TimeText(uint64_t time, bool date, bool clock, bool fractions) const;
  uint64_t ToWall(uint64_t time) const;
  uint64_t FromWall(uint64_t wall) const;
  void PostPictureLocked(const QRect& area);
  void PostCursorTextLocked();
  void PostNeedsDataLocked();
  void PostNeedsTitleLocked(uint64_t time);
  template <class Call>
  void PostLocked(Call call);

  // The picture waiting for the host: pictures made faster than the host takes them replace each
  // other there instead of queueing up. Shared with the queued call; its own lock.
  struct PictureMailbox {
    std::mutex lock;
    QImage picture;
    QRect area;
    bool posted = false;
  };

  std::mutex lock_;
  // Guarded by lock_:
  std::shared_ptr<PictureMailbox> mailbox_ = std::make_shared<PictureMailbox>();
  bool created_ = false;
  QPointer<QObject> hostContext_;
  MapHost* host_ = nullptr;
  QRect rect_;
  int columns_ = 0;
  bool wallClock_ = false;
  uint64_t cursor_ = 0;
  uint64_t viewStart_ = 0;
  uint64_t viewEnd_ = 0;
  uint64_t selectionStart_ = 0;
  uint64_t selectionEnd_ = 0;
  std::array<bool, kRows> rowEnabled_{};
  std::array<QRect, kRows> rowRect_{};
  QRect rowsArea_;
  int selectedRow_ = -1;
  std::vector<uint32_t> maskRecorded_;
  std::vector<uint32_t> maskRed_;
  std::vector<uint32_t> maskYellow_;
  std::array<std::vector<QRgb>, kRows> rowStrip_;
  QImage offscreen_;  // rows, axis, markers and selection
  QImage screen_;     // offscreen_ with the cursor: what the host gets
  std::vector<uint64_t> markers_;
  std::unordered_map<uint64_t, std::string> titles_;
  std::vector<MapAxisLabel> axisLabels_;
};

}  // namespace strixc::browser
