#pragma once

#include <QImage>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "browser/archive_map_control.h"
#include "browser/playback_display_adapter.h"
#include "display/video_display.h"
#include "playback/playback_receiver.h"
#include "playback/playback_source.h"
#include "video/picture.h"

namespace strixc::archive {
class ArchiveDatabase;
}

namespace strixc::browser {

// What the archive browser's commands ask of the window around them: dialogs, messages and the
// look of its controls. The widget implements it; tests put a recorder in its place. Every call
// comes on the user-interface thread, from inside a command or a notification.
class BrowserView {
 public:
  virtual ~BrowserView() = default;
  // A message to the operator, by string id.
  virtual void ShowMessage(int textId) = 0;
  virtual void Beep() = 0;
  // The pressed looks (playback mode, layout, mouse mode, motion search) changed.
  virtual void StateChanged() = 0;
  // The selected camera changed (the image panel follows it).
  virtual void CameraSelected(int camera) = 0;
  virtual void CursorText(const QString& text) = 0;
  // A new picture of the map; `area` (host coordinates) changed.
  virtual void MapPicture(const QImage& picture, const QRect& area) = 0;
  // The calendar: true on OK, with the first and last chosen day (any time within each).
  virtual bool AskDays(uint64_t viewStart, uint64_t viewEnd, uint64_t* from, uint64_t* to) = 0;
  // The bookmark title dialog: true on OK, with the title.
  virtual bool AskBookmarkTitle(uint64_t time, const QString& initialTitle, QString* title) = 0;
  // The AVI export dialog for `camera` over [start, end]: true on OK, with the file and the
  // frame rate.
  virtual bool AskExport(int camera, uint64_t start, uint64_t end, std::string* fileName,
                         int* framesPerSecond) = 0;
  virtual void RunBackup(archive::ArchiveDatabase& database, uint64_t start, uint64_t end,
                         uint32_t cameras) = 0;
  // The AVI progress window: 0..100 shows it with that value, -1 hides it.
  virtual void ExportProgress(int percent) = 0;
  // The whole window except the AVI progress window takes input or not (export running).
  virtual void SetInputEnabled(bool enabled) = 0;
};

// The archive browser's state and commands, without a window: it drives the playback source, the
// main window's video display and the archive map, and receives the source's notifications and
// the map's requests. ArchiveBrowser forwards its controls, mouse and timer here.
//
// Coordinates: map points are in the host window's coordinates (the map's own); video points are
// the display's (its widget's) coordinates.
//
// `source`, `display`, `map` and `view` must outlive the object. UI thread only. The object is
// the context of the source's notifications and of the map's posts, so those still queued when it
// is destroyed are dropped.
class BrowserCommands : public QObject, public playback::PlaybackReceiver, public MapHost {
 public:
  enum MouseMode : int { kMouseNormal = 0, kMouseSelectArea = 1, kMouseZoomArea = 2 };
  enum class ViewMove { kEarlierHalf, kEarlierEighth, kLaterEighth, kLaterHalf, kZoomIn, kZoomOut };
  static constexpr int kCameras = 16;
  static constexpr int kLayoutButtons = 7;
  static constexpr int kDefaultSensitivity = 50;
  // The picture a motion area is laid out on, and its grid.
  static constexpr int kMotionWidth = 384;
  static constexpr int kMotionHeight = 288;
  static constexpr int kMotionGrid = 8;
  // A drag in the map up to this many pixels is a click.
  static constexpr int kClickSlop = 3;
  // Timer ticks the pointer must rest on a map row before its camera is selected.
  static constexpr int kHoverTicks = 5;

  BrowserCommands(playback::PlaybackSource* source, display::VideoDisplay* display,
                  ArchiveMapControl* map, BrowserView* view);
  ~BrowserCommands() override;

  // ---- Opening and closing ----
  // Binds the display and the map to the source, creates the map in `mapRect`, opens the source,
  // applies layout 7, selects the display's selected camera and shows today. False when the map
  // rectangle is unusable (the rest still happens).
  bool Open(const QRect& mapRect);
  // A new map rectangle (the window changed size): keeps the view, cursor and selected row.
  void Relayout(const QRect& mapRect);
  // Closes the source, resets the map and every camera's browser adjustments, and unbinds the
  // display adapter from the source. Does nothing when not open.
  void Close();
  bool IsOpen() const { return open_; }

  // The number of cameras the layouts and the camera menu use: the highest camera index present
  // plus one, rounded up to a group of four, 4..16.
  static int CameraCountFor(int highestCamera);
  int CameraCount() const { return cameraCount_; }
  // "Archives: ..." or "No recordings" as of opening.
  QString SummaryText() const { return summary_; }
  // Whether times are on the wall clock (a source without a local database).
  bool WallClock() const { return wallClock_; }

  // ---- Playback buttons ----
  void Stop();
  // Modes 1..6 as the buttons start them: 4..6 stop first.
  void StartMode(int mode);
  // The play mode whose button looks pressed (1..4), or 0.
  int PressedMode() const { return pressedMode_; }

  // ---- The visible period ----
  // The view after a move or zoom command, or nothing when the command changes nothing.
  static std::optional<std::pair<uint64_t, uint64_t>> MovedView(ViewMove move, uint64_t start,
                                                                uint64_t end);
  void MoveView(ViewMove move);
  // The whole day that holds the view's start (today while the view is empty).
  void ShowWholeDay();
  void ShowDayOf(uint64_t time);
  // The calendar: on OK stops and shows the chosen days.
  void Calendar();
  // The mouse wheel over the map: `steps` > 0 zooms in, < 0 out, around host x `x`.
  void WheelZoom(int x, int steps);
  // Dragging the view sideways (middle button): start at host x, then follow it.
  void PanStart(int x);
  void PanMove(int x);
  void PanEnd();

  // ---- Layouts and cameras ----
  // Layout button k (1..7).
  void SelectLayout(int k);
  int LayoutButton() const { return layoutButton_; }
  // The camera menu: put `camera` into the selected camera's cell.
  void PutCamera(int camera);
  void SelectCamera(int camera);
  int SelectedCamera() const;

  // ---- Bookmarks ----
  void AddBookmarkAtCursor();
  void NextBookmark();
  void PreviousBookmark();
  // A right click in the map at host x `x`: remembers the time there for the map menu.
  void OpenMapMenu(int x);
  uint64_t MenuTime() const { return menuTime_; }
  // The text of the map menu's "Remove bookmark", or nothing while there is no bookmark there.
  std::optional<QString> RemoveBookmarkText();
  void SetBookmarkAtMenuTime();
  void RemoveBookmarkAtMenuTime();

  // ---- Motion search, mouse modes, tools ----
  void StartMotionSearch();
  bool SearchRunning() const { return searchRunning_; }
  // The motion-search button's look: pressed while a search runs, blinking with the timer.
  bool SearchButtonPressed() const { return searchRunning_ && !blinkOff_; }
  int Sensitivity(int camera) const;
  void SetSensitivity(int camera, int value);
  // The text of a camera where the search found motion ("Motion !"), shown as its caption from
  // the search's stop until playback goes on; empty otherwise.
  QString MotionText(int camera) const;
  // Mouse mode buttons: choosing the current mode again returns to the normal mode.
  void SwitchMouseMode(int mode);
  int Mode() const { return mouseMode_; }
  // Export of the selected camera over the view, and the backup of the view's shown cameras.
  void ExportSelectedCamera();
  void Backup();
  bool HasDatabase();

  // ---- Mouse in the video area (display coordinates) ----
  void VideoPress(QPoint point);
  void VideoMove(QPoint point);
  void VideoRelease(QPoint point);
  void VideoDoubleClick(QPoint point);
  // Selects the camera under the point before the camera menu opens.
  void VideoRightPress(QPoint point);
  // The motion area of a rectangle drawn from `start` to `end` (frame units): laid out on the
  // 384 x 288 picture on its 8-pixel grid, empty when smaller than one grid square.
  static video::Rect MotionArea(QPoint start, QPoint end);
  // The zoom area of a rectangle drawn from `start` to `end` (frame units), 4:3 by its width.
  static video::Rect ZoomArea(QPoint start, QPoint end);

  // ---- Mouse in the map (host coordinates) ----
  void MapPress(QPoint point);
  void MapMove(QPoint point);
  void MapRelease(QPoint point);
  bool Selecting() const { return selecting_; }

  // The 600 ms timer, with the pointer's host position.
  void Tick(QPoint pointer);

  // PlaybackReceiver
  void OnPlaybackStatus(int code, int64_t value) override;
  void OnPlaybackPosition(uint64_t time) override;
  void OnPlaybackBeep() override;
  // The remote source's request goes out through the source, from this thread.
  void OnRemoteRequest(uint32_t token) override;

  // MapHost
  void OnMapNeedsData() override;
  void OnMapNeedsTitle(uint64_t time) override;
  void OnMapCursorText(const QString& text) override;
  void OnMapPicture(const QImage& picture, const QRect& area) override;

 private:
  void SetView(uint64_t start, uint64_t end);
  void UpdateVisibleSet();
  // False when the source refused the bookmark (a cancelled title dialog is no refusal).
  bool SetBookmark(uint64_t time, const QString& initialTitle);
  void ClearPlaybackLook();
  static std::string MotionCaption();
  void ClearMotionFound();
  QString MakeSummary();
  bool InMap(QPoint point);

  playback::PlaybackSource* const source_;
  display::VideoDisplay* const display_;
  ArchiveMapControl* const map_;
  BrowserView* const view_;
  PlaybackDisplayAdapter adapter_;

  bool open_ = false;
  bool wallClock_ = false;
  int cameraCount_ = 4;
  QString summary_;
  int pressedMode_ = 0;
  int layoutButton_ = 0;
  int mouseMode_ = kMouseNormal;
  int dragCamera_ = -1;
  int areaCamera_ = -1;
  QPoint areaStart_;
  int zoomCamera_ = -1;
  QPoint zoomStart_;
  std::array<int, kCameras> sensitivity_{};
  std::array<bool, kCameras> motionFound_{};
  bool searchRunning_ = false;
  bool blinkOff_ = false;
  int hoverTicks_ = 0;
  uint64_t menuTime_ = 0;
  // A selection being drawn in the map, and where it began.
  bool selecting_ = false;
  int pressX_ = 0;
  // A sideways drag of the view: the last x it followed.
  bool panning_ = false;
  int panX_ = 0;
};

}  // namespace strixc::browser
