// The gallery's page of the archive browser: the window over a small archive of the simulator's
// cameras, written once per run into a folder of its own.

#include <QApplication>
#include <QTemporaryDir>
#include <memory>

#include "archive/archive_database.h"
#include "archive/archive_time.h"
#include "browser/archive_browser.h"
#include "browser/archive_map_control.h"
#include "browser_positioner.h"
#include "dialogs.h"
#include "display/video_display.h"
#include "playback/local_playback_source.h"
#include "shell/string_ids.h"
#include "shell/texts.h"
#include "sim/scene_archive_writer.h"
#include "video/frame_store.h"

namespace strixc::station {

namespace {

constexpr uint64_t kSecond = archive::kUnitsPerSecond;

uint64_t SampleStart() { return *archive::TimeOfFields({2026, 5, 4, 9, 0, 0, 0}); }

// Six seconds of four cameras, two of them moving; empty when the archive cannot be written.
std::string SampleArchiveFolder() {
  static QTemporaryDir dir;
  static const std::string folder = [] {
    sim::SceneArchiveOptions o;
    o.folder = dir.filePath(QStringLiteral("archive")).toStdString();
    o.start = SampleStart();
    o.duration = 6 * kSecond;
    o.cameraMask = 0xF;
    o.movingMask = 0x5;
    o.fps = 5;
    o.events.push_back({1, SampleStart() + 2 * kSecond, true, "Door opened"});
    return dir.isValid() && sim::WriteSceneArchive(o).ok ? o.folder : std::string();
  }();
  return folder;
}

// What the browser works on, alive exactly as long as the window: a child of it, destroyed after
// the window closed the source. The source goes before the database it reads.
class BrowserSample : public QObject {
 public:
  display::VideoDisplay display;
  video::LiveFrameStore live;
  browser::ArchiveMapControl map;
  std::unique_ptr<archive::ArchiveDatabase> database;
  std::unique_ptr<playback::LocalPlaybackSource> source;
};

std::unique_ptr<QWidget> BrowserPage() {
  auto sample = std::make_unique<BrowserSample>();
  const std::string folder = SampleArchiveFolder();
  sample->database = archive::ArchiveDatabase::ForFolder(folder.empty() ? "/nonexistent" : folder, "/tmp");
  sample->source = std::make_unique<playback::LocalPlaybackSource>(sample->database.get());
  // The display speaks the page's language, as the main window's does.
  display::DisplayTexts texts;
  texts.timeFormat = shell::Tr(shell::text::kTimeFormat).toStdString();
  texts.dateFormat = shell::Tr(shell::text::kDateFormat).toStdString();
  texts.fpsFormat = shell::Tr(shell::text::kFramesPerSecond).toStdString();
  sample->display.SetTexts(texts);
  for (int camera = 0; camera < display::kCameras; ++camera) {
    sample->display.SetName(camera, shell::TrFormat(shell::text::kCameraDefaultName, camera + 1).toStdString());
    sample->display.SetShowName(camera, true);
    sample->display.SetShowTime(camera, true);
  }
  auto window = std::make_unique<browser::ArchiveBrowser>(sample->source.get(), &sample->display, &sample->live,
                                                          &sample->map, nullptr, browser::ArchiveBrowserTools{});
  // The size of a small screen rather than the gallery's own.
  window->setWindowState(Qt::WindowNoState);
  window->setFixedSize(1024, 720);
  auto* positioner = new BrowserPositioner(*window, sample->display, *sample->source, SampleStart() + 3 * kSecond, 0);
  BrowserSample* parts = sample.release();
  parts->setParent(window.get());
  // Shown (never on a screen) until the seek's position and the map's data came back through the
  // event loop; a bounded number of passes, whatever happens. The six recorded seconds are less
  // than a column of a whole day: the map is zoomed onto the minute that holds them.
  window->setAttribute(Qt::WA_DontShowOnScreen);
  window->show();
  bool zoomed = false;
  for (int pass = 0; pass < 20; ++pass) {
    QApplication::processEvents();
    if (positioner->Done() && !zoomed) {
      zoomed = true;
      parts->map.SetView(SampleStart() - 20 * kSecond, SampleStart() + 40 * kSecond);
    }
  }
  return window;
}

}  // namespace

std::vector<shell::GalleryPage> BrowserWindowGalleryPages() { return {{QStringLiteral("browser"), BrowserPage}}; }

}  // namespace strixc::station
