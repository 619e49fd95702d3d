#include "browser_positioner.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>

#include "archive/archive_database.h"
#include "browser/archive_browser.h"
#include "display/video_display.h"
#include "playback/playback_source.h"

namespace strixc::station {

namespace {

// The lowest camera with recordings in `database`, else 0.
int FirstRecordedCamera(archive::ArchiveDatabase* database) {
  const uint32_t mask = database != nullptr ? database->CameraMask() : 0;
  for (int camera = 0; camera < display::kCameras; ++camera) {
    if (mask & (1u << camera)) return camera;
  }
  return 0;
}

}  // namespace

BrowserPositioner::BrowserPositioner(browser::ArchiveBrowser& window, display::VideoDisplay& display,
                                     playback::PlaybackSource& source, uint64_t time, int layout)
    : QObject(&window), window_(window), display_(display), source_(source), time_(time), layout_(layout) {
  // From the window's loop: the window opens the source when it is first shown.
  QTimer::singleShot(0, this, &BrowserPositioner::TryNow);
}

bool BrowserPositioner::eventFilter(QObject* watched, QEvent* event) {
  // The video widget attaches the display in its own handling of the event, after this.
  if (event->type() == QEvent::Resize) QTimer::singleShot(0, this, &BrowserPositioner::TryNow);
  return QObject::eventFilter(watched, event);
}

void BrowserPositioner::TryNow() {
  if (done_) return;
  if (display_.GetDisplayRect().Empty()) {
    QWidget* video = window_.findChild<QWidget*>(QStringLiteral("video"));
    if (video != nullptr && !watching_) {
      watching_ = true;
      video->installEventFilter(this);
    }
    return;
  }
  done_ = true;
  browser::BrowserCommands& commands = window_.Commands();
  commands.SelectLayout(layout_ != 0 ? layout_ : commands.LayoutButton());
  const uint64_t time = time_ != 0 ? time_ : source_.Latest();
  if (time == 0) return;
  const int camera = FirstRecordedCamera(source_.Database());
  commands.ShowDayOf(time);
  commands.SelectCamera(camera);
  source_.SeekCamera(camera, time);
}

}  // namespace strixc::station
