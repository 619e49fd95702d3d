#pragma once

#include <QDialog>
#include <QImage>
#include <QPointer>
#include <QTimer>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "browser/archive_map_control.h"
#include "browser/browser_commands.h"
#include "display/video_display.h"
#include "playback/playback_source.h"
#include "video/frame_source.h"

class QLabel;
class QMenu;

namespace strixc::archive {
class ArchiveDatabase;
}

namespace strixc::display {
class VideoWidget;
}

namespace strixc::exporting {
class ExportProgressWindow;
}

namespace strixc::shell {
class PictureButton;
}

namespace strixc::browser {

class ImageAdjustPanel;
class MapArea;

// The tools the browser starts that live elsewhere. A tool left empty keeps its button disabled.
struct ArchiveBrowserTools {
  // The backup of [start, end] of `cameras` (bit c: camera c) from a local database.
  std::function<void(archive::ArchiveDatabase& database, uint64_t start, uint64_t end, uint32_t cameras,
                     QWidget* parent)>
      backup;
  // The AVI export dialog for one camera over [start, end]: true on OK, with the file name and the
  // chosen frame rate.
  std::function<bool(int camera, const QString& cameraName, uint64_t start, uint64_t end, QWidget* parent,
                     std::string* fileName, int* framesPerSecond)>
      askExport;
  // "Video quality" of a server's archive.
  std::function<void(QWidget* parent)> videoQuality;
};

// The archive browser: the modal, maximised, frameless window in which the operator plays back
// recordings through a PlaybackSource, over the main window. It shows the map of the visible
// period (the main window's ArchiveMapControl), the main window's VideoDisplay in its own video
// area, and the playback, view, layout, bookmark, motion-search and tool buttons. The commands
// themselves are BrowserCommands; this class is their window.
//
// Use: construct, exec(), destroy; then unbind the source (SetTimeline(nullptr)) as the opener.
// The window opens the source when it is first shown and closes it when it ends (accept, reject,
// Exit, Escape) or is destroyed. While it is open the live view `liveView` (when given) is
// unbound, so it stops drawing; on closing the display gets `liveFrames` back as its frame source
// and `liveView` is bound again.
//
// Not owned, and all must outlive the window: `source` (bound by the opener to its archive),
// `display`, `liveFrames` (may be null), `map`, `liveView` (may be null). UI thread only.
//
// Controls by object name: picture buttons "stop", "play", "play_double", "fast_forward",
// "fast_backward", "step_forward", "step_backward", "earlier_half", "earlier_eighth",
// "later_eighth", "later_half", "zoom_in", "zoom_out", "whole_day", "calendar", "backup",
// "video_quality", "image_panel", "motion_search", "snapshot", "export_avi", "select_area",
// "zoom_area", "layout1".."layout7", "add_bookmark", "previous_bookmark", "next_bookmark", "exit";
// labels "cursor_time", "summary", "info"; the map "map" and the video area "video".
class ArchiveBrowser : public QDialog, private BrowserView {
  Q_OBJECT

 public:
  ArchiveBrowser(playback::PlaybackSource* source, display::VideoDisplay* display, video::FrameSource* liveFrames,
                 ArchiveMapControl* map, display::VideoWidget* liveView, ArchiveBrowserTools tools,
                 QWidget* parent = nullptr);
  ~ArchiveBrowser() override;

  BrowserCommands& Commands() { return *commands_; }

  // Messages to the operator; the default is the program's message box. Tests replace it.
  using Notifier = std::function<void(int textId)>;
  void SetNotifier(Notifier notifier) { notify_ = std::move(notifier); }

  // The geometry of a W x H window: the map, the video area and the three labels.
  static QRect MapRect(QSize size);
  static QRect VideoRect(QSize size);

  // The camera menu of the video area: the main window's popup with what the browser does not
  // offer disabled, "Visible camera" listing the browser's cameras.
  void FillCameraMenu(QMenu& popup);

  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // BrowserView
  void ShowMessage(int textId) override;
  void Beep() override;
  void StateChanged() override;
  void CameraSelected(int camera) override;
  void CursorText(const QString& text) override;
  void MapPicture(const QImage& picture, const QRect& area) override;
  bool AskDays(uint64_t viewStart, uint64_t viewEnd, uint64_t* from, uint64_t* to) override;
  bool AskBookmarkTitle(uint64_t time, const QString& initialTitle, QString* title) override;
  bool AskExport(int camera, uint64_t start, uint64_t end, std::string* fileName, int* framesPerSecond) override;
  void RunBackup(archive::ArchiveDatabase& database, uint64_t start, uint64_t end, uint32_t cameras) override;
  void ExportProgress(int percent) override;
  void SetInputEnabled(bool enabled) override;

  void BuildControls();
  shell::PictureButton* AddButton(const char* name, const QString& caption, int tooltip);
  void LayOut();
  void OpenBrowser();
  void CloseBrowser();
  void OpenMapMenu(QPoint point, QPoint global);
  void OpenCameraMenu(QPoint global);
  void ShowHover(QPoint point, QPoint global);
  void OnTimer();
  void Snapshot();
  void ToggleImagePanel();

  playback::PlaybackSource* const source_;
  display::VideoDisplay* const display_;
  video::FrameSource* const liveFrames_;
  ArchiveMapControl* const map_;
  QPointer<display::VideoWidget> liveView_;
  ArchiveBrowserTools tools_;
  Notifier notify_;
  std::unique_ptr<BrowserCommands> commands_;

  QWidget* body_ = nullptr;  // every control: disabled while an export runs
  MapArea* mapArea_ = nullptr;
  display::VideoWidget* video_ = nullptr;
  QLabel* cursorLabel_ = nullptr;
  QLabel* summaryLabel_ = nullptr;
  QLabel* infoLabel_ = nullptr;
  std::array<shell::PictureButton*, 4> modeButtons_{};  // modes 1..4
  std::array<shell::PictureButton*, BrowserCommands::kLayoutButtons> layoutButtons_{};
  shell::PictureButton* searchButton_ = nullptr;
  shell::PictureButton* selectAreaButton_ = nullptr;
  shell::PictureButton* zoomAreaButton_ = nullptr;
  shell::PictureButton* imagePanelButton_ = nullptr;
  std::vector<std::pair<shell::PictureButton*, QRect>> placed_;  // buttons and their cells
  QPointer<ImageAdjustPanel> imagePanel_;  // while open
  QPointer<exporting::ExportProgressWindow> progress_;
  QTimer timer_;
  bool opened_ = false;
};

}  // namespace strixc::browser
