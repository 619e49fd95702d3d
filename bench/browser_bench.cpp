// The archive browser over a day of sixteen cameras: how long a click on the map takes until every
// visible camera shows its picture of the clicked moment, against the same seeks done straight on
// the playback source without the window (measured in the same run), and how long the map's
// request for a whole day's data takes at 1920 columns.
//
// The archive: sixteen CIF cameras at one frame a second for a whole day, a key frame every ten
// seconds (a seek decodes a key frame and 4.5 delta frames per camera on average), half of the
// cameras moving with their pictures repeating every minute: about 4.1 GiB in a temporary folder
// (TMPDIR), written in 25 to 60 s depending on the disk, and removed at the end.

#include <QApplication>
#include <QMouseEvent>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

#include "archive/archive_database.h"
#include "archive/archive_time.h"
#include "browser/archive_browser.h"
#include "browser/archive_map_control.h"
#include "browser/browser_clock.h"
#include "display/video_display.h"
#include "playback/local_playback_source.h"
#include "playback/playback_receiver.h"
#include "sim/scene_archive_writer.h"
#include "video/frame_store.h"

using namespace strixc;

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint64_t kSecond = archive::kUnitsPerSecond;
constexpr int kCameras = 16;
constexpr uint32_t kAllCameras = 0xFFFF;
constexpr int kClicks = 50;
constexpr int kFills = 20;
// The window: its map (MapRect) is then 1920 columns wide.
constexpr int kWindowWidth = 1929;
constexpr int kWindowHeight = 1080;
constexpr int kFps = 1;
constexpr int kKeyInterval = 10;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size() - 1) + 0.5))];
}

// Runs the event loop until `done` or `seconds` passed; false on the timeout.
template <class Done>
bool WaitUntil(Done done, double seconds = 30) {
  const auto end = Clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (Clock::now() > end) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  return true;
}

// What the baseline source reports: nothing is needed of it.
class Quiet : public QObject, public playback::PlaybackReceiver {
 public:
  void OnPlaybackStatus(int, int64_t) override {}
  void OnPlaybackPosition(uint64_t) override {}
};

// Sees the video area's paint events.
class PaintWatch : public QObject {
 public:
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

// Whether every camera's picture in `frames` is its frame of the position `time` (the latest at or
// before it: one frame a second, so less than two seconds earlier).
bool AllShowPosition(video::PlaybackFrameStore& frames, uint64_t time) {
  for (int c = 0; c < kCameras; ++c) {
    frames.LockFrame(c);
    const uint64_t shown = frames.GetFrameTime(c);
    frames.UnlockFrame(c);
    if (shown == 0 || shown > time || time - shown >= 2 * kSecond) return false;
  }
  return true;
}

void SendMouse(QWidget* widget, QEvent::Type type, QPoint local) {
  const QPointF position(local);
  QMouseEvent event(type, position, widget->mapToGlobal(position), Qt::LeftButton,
                    type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(widget, &event);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QTemporaryDir dir;
  if (!dir.isValid()) {
    std::fprintf(stderr, "browser_bench: no temporary folder\n");
    return 1;
  }

  // A whole day of the archive's clock, the one the browser shows for it.
  const archive::ArchiveDay day = browser::WholeDayOf(*archive::TimeOfFields({2026, 1, 15, 12, 0, 0, 0}), false);
  sim::SceneArchiveOptions o;
  o.folder = dir.filePath("archive").toStdString();
  o.start = day.first;
  o.duration = day.last - day.first + 1;
  o.cameraMask = kAllCameras;
  o.movingMask = 0x00FF;
  o.fps = kFps;
  o.keyInterval = kKeyInterval;
  o.loop = 60 * kSecond;
  o.fileSize = 256 * archive::kMiB;
  o.space = 20 * o.fileSize;  // the day takes about 4.1 GiB
  const auto made = Clock::now();
  const sim::SceneArchiveResult written = sim::WriteSceneArchive(o);
  if (!written.ok || written.earliest != o.start) {
    std::fprintf(stderr, "browser_bench: cannot write the archive (%s): %s, %.1f MiB written, %llu frames\n",
                 written.ok ? "the oldest recordings dropped" : "failed", written.error.c_str(),
                 static_cast<double>(written.payloadBytes) / archive::kMiB,
                 static_cast<unsigned long long>(written.frames));
    return 1;
  }
  std::printf("archive: %llu frames, %.1f MiB in %d files, written in %.1f s\n",
              static_cast<unsigned long long>(written.frames), static_cast<double>(written.payloadBytes) / archive::kMiB,
              written.files, std::chrono::duration<double>(Clock::now() - made).count());

  const auto opened = Clock::now();
  const auto db = archive::ArchiveDatabase::ForFolder(o.folder, dir.path().toStdString());
  if (!db->IsOpen()) {
    std::fprintf(stderr, "browser_bench: cannot open the archive\n");
    return 1;
  }
  std::printf("archive opened in %.0f ms\n", Ms(Clock::now() - opened));

  // The browser as the main window runs it: over the main window's display, with the live store
  // as the display's frame source until it opens.
  display::VideoDisplay display;
  video::LiveFrameStore liveFrames;
  display.SetFrameSource(&liveFrames);
  browser::ArchiveMapControl map;
  playback::LocalPlaybackSource source(db.get());
  int messages = 0;
  {
    browser::ArchiveBrowser window(&source, &display, &liveFrames, &map, nullptr, browser::ArchiveBrowserTools{});
    window.SetNotifier([&messages](int) { ++messages; });
    window.setWindowState(Qt::WindowNoState);
    window.resize(kWindowWidth, kWindowHeight);
    window.show();
    browser::BrowserCommands& commands = window.Commands();
    if (!WaitUntil([&] { return map.GetColumns() > 0 && map.GetViewStart() != 0; })) {
      std::fprintf(stderr, "browser_bench: the browser did not open its map\n");
      return 1;
    }
    // Layout button 7 (the one the browser opens with) shows all sixteen cameras of a
    // sixteen-camera archive in its 4 x 4 grid.
    commands.SelectLayout(browser::BrowserCommands::kLayoutButtons);
    if (display.VisibleCameras() != kAllCameras || source.CameraMask() != kAllCameras) {
      std::fprintf(stderr, "browser_bench: the layout shows cameras %04x\n", display.VisibleCameras());
      return 1;
    }
    commands.ShowDayOf(o.start);
    if (!WaitUntil([&] {
          const std::vector<uint32_t> recorded = map.RecordedMasks();
          return map.GetViewStart() == day.first && !recorded.empty() && recorded[recorded.size() / 2] == kAllCameras;
        })) {
      std::fprintf(stderr, "browser_bench: the map did not fill with the archive's day\n");
      return 1;
    }
    auto* mapArea = window.findChild<QWidget*>(QStringLiteral("map"));
    auto* video = window.findChild<QWidget*>(QStringLiteral("video"));
    PaintWatch paints;
    video->installEventFilter(&paints);
    std::printf("window %dx%d, map %d columns, video area %dx%d\n", window.width(), window.height(),
                map.GetColumns(), video->width(), video->height());

    // The same clicks seeked straight on a second source, without display or window: reading and
    // decoding only.
    Quiet quiet;
    playback::LocalPlaybackSource plain(db.get());
    plain.Open(&quiet, &quiet);
    plain.SetCameraMask(kAllCameras);

    std::mt19937 random(20260115);
    const QRect rect = map.GetRect();
    std::uniform_int_distribution<int> column(rect.left(), rect.right());
    std::uniform_int_distribution<int> row(0, kCameras - 1);
    std::vector<double> composed, painted, plainMs, pressMs;
    int faults = 0;
    for (int i = 0; i < kClicks; ++i) {
      const int camera = row(random);
      const QPoint host(column(random), map.RowRect(camera).center().y());
      const uint64_t clicked = map.TimeAt(host.x());
      const QPoint local = host - mapArea->pos();
      // Nothing of the last click is left to run inside this one's time.
      WaitUntil([] { return false; }, 0.05);
      const int paintsBefore = paints.paints;

      const auto t0 = Clock::now();
      SendMouse(mapArea, QEvent::MouseButtonPress, local);
      const auto pressed = Clock::now();
      SendMouse(mapArea, QEvent::MouseButtonRelease, local);
      // The source composes every camera's cell into the display on this thread before the click
      // returns; the pictures in its store are what the cells were composed from.
      const uint64_t position = source.CurrentTime();
      const bool shown = AllShowPosition(source.FrameStore(), position);
      const auto t1 = Clock::now();
      // Then the window paints the video area from the composition.
      WaitUntil([&] { return paints.paints > paintsBefore; }, 5);
      const auto t2 = Clock::now();

      const auto t3 = Clock::now();
      plain.SeekCamera(camera, clicked);
      const auto t4 = Clock::now();

      if (!shown || source.CurrentCamera() != camera || position < clicked || position - clicked >= 2 * kSecond ||
          plain.CurrentTime() != position || !AllShowPosition(plain.FrameStore(), position)) {
        ++faults;
      }
      composed.push_back(Ms(t1 - t0));
      pressMs.push_back(Ms(pressed - t0));
      painted.push_back(Ms(t2 - t0));
      plainMs.push_back(Ms(t4 - t3));
    }
    if (faults != 0) std::printf("seek: %d of %d clicks did not show the clicked moment (a fault)\n", faults, kClicks);

    // Where the window's time goes besides the source's: the press (camera selection, the map's
    // selection drawn), the map drawn again, and the sixteen cells composed.
    std::vector<double> redraws, compositions;
    for (int i = 0; i < kFills; ++i) {
      auto t0 = Clock::now();
      map.Redraw();
      redraws.push_back(Ms(Clock::now() - t0));
      t0 = Clock::now();
      display.RedrawAll();
      compositions.push_back(Ms(Clock::now() - t0));
      WaitUntil([] { return false; }, 0.02);
    }
    std::printf("window's part: press %.2f ms, map redraw %.2f ms, 16 cells composed %.2f ms (medians)\n",
                Percentile(pressMs, 0.5), Percentile(redraws, 0.5), Percentile(compositions, 0.5));

    // The map's request for data, as the browser answers it, over the whole day.
    std::vector<double> fills;
    for (int i = 0; i < kFills; ++i) {
      WaitUntil([] { return false; }, 0.02);
      const auto t0 = Clock::now();
      commands.OnMapNeedsData();
      fills.push_back(Ms(Clock::now() - t0));
    }
    const std::vector<uint32_t> filled = map.RecordedMasks();
    if (map.GetColumns() != 1920 || std::count(filled.begin(), filled.end(), kAllCameras) != 1920) {
      std::printf("fill timeline: %d of %d columns show the day's recordings (a fault)\n",
                  static_cast<int>(std::count(filled.begin(), filled.end(), kAllCameras)), map.GetColumns());
    }

    const double seek = Percentile(composed, 0.5);
    const double base = Percentile(plainMs, 0.5);
    std::printf("RESULT seek_to_picture_ms %.2f ms target <= 100\n", seek);
    std::printf("RESULT seek_to_picture_p90_ms %.2f ms\n", Percentile(composed, 0.9));
    std::printf("RESULT seek_to_paint_ms %.2f ms\n", Percentile(painted, 0.5));
    std::printf("RESULT seek_source_only_ms %.2f ms\n", base);
    std::printf("RESULT seek_window_overhead %.3f ratio\n", base > 0 ? seek / base : 0);
    std::printf("RESULT fill_timeline_day_1920_ms %.2f ms\n", Percentile(fills, 0.5));
    window.reject();
  }
  // As the main window does once the browser is gone.
  source.SetTimeline(nullptr);
  source.SetDisplay(nullptr);
  if (messages != 0) std::printf("browser: %d messages to the operator (a fault)\n", messages);
  return 0;
}
