#include "wall_command.h"

#include <QCommandLineParser>
#include <QImage>
#include <QTimer>
#include <atomic>
#include <optional>

#include "display/video_display.h"
#include "command_help.h"
#include "json_writer.h"
#include "net/frame_path.h"
#include "tool_session.h"

namespace strixc::tool {

namespace {

constexpr int kFileError = 5;
constexpr uint32_t kBackground = 0x4A4F55;

struct WallOptions {
  ServerOptions server;
  QString out;
  int layout = 16;
  int width = 1280;
  int height = 960;
  int waitSeconds = 10;
};

bool ReadSize(const QString& text, int* width, int* height) {
  const QStringList parts = text.split(QLatin1Char('x'));
  if (parts.size() != 2) return false;
  bool okW = false, okH = false;
  const int w = parts[0].toInt(&okW);
  const int h = parts[1].toInt(&okH);
  if (!okW || !okH || w < 16 || h < 16 || w > 8192 || h > 8192) return false;
  *width = w;
  *height = h;
  return true;
}

constexpr CommandHelp kHelp = {
    "snapshot",
    "strixc-tool snapshot --host H --port P --user U --password W --wall FILE.png [--layout L] [--size WxH]\n"
    "  [--wait SECONDS]",
    "Shows the layout's cameras, waits until each has a picture and saves the whole video area,\n"
    "composed offscreen with its overlays as the operator station shows it; prints\n"
    "{file, layout, width, height, cameras}. Exit codes as probe's, plus 4 when a picture did not\n"
    "come in time and 5 when the file cannot be written.",
};

void AddOptions(QCommandLineParser& parser) {
  ServerOptions::AddTo(parser);
  AddWallOptions(parser);
  parser.addOption({"wait", "Seconds to wait for the pictures (default 10).", "SECONDS"});
}

std::optional<WallOptions> ReadOptions(const QCommandLineParser& parser, QString* error) {
  if (!parser.positionalArguments().isEmpty()) {
    *error = QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first());
    return std::nullopt;
  }
  WallOptions o;
  if (!o.server.Read(parser, error)) return std::nullopt;
  o.out = parser.value("wall");
  if (o.out.isEmpty()) {
    *error = QStringLiteral("--wall takes the PNG file to write");
    return std::nullopt;
  }
  if (parser.isSet("layout") && !ReadNumberOption(parser, "layout", 0, display::kLayouts - 1, &o.layout, error)) {
    return std::nullopt;
  }
  if (parser.isSet("size") && !ReadSize(parser.value("size"), &o.width, &o.height)) {
    *error = QStringLiteral("--size takes WxH, each from 16 to 8192");
    return std::nullopt;
  }
  if (parser.isSet("wait") && !ReadNumberOption(parser, "wait", 1, 3600, &o.waitSeconds, error)) return std::nullopt;
  return o;
}

// No window: the picture is read from the composition at the end.
class NoWindow : public display::DisplayTarget {
 public:
  void RepaintArea(const video::Rect&) override {}
};

// On the network thread: hands each live frame to the display and tells the main thread once
// every wanted camera has drawn a picture.
class WallObserver : public net::LiveFrameObserver {
 public:
  WallObserver(display::VideoDisplay& display, QObject* receiver, std::function<void()> allSeen)
      : display_(display), receiver_(receiver), allSeen_(std::move(allSeen)) {}

  void Want(uint32_t cameras) { wanted_.store(cameras); }

  void OnFrame(int camera, bool marker) override {
    display_.OnFrame(camera, marker);
    const uint32_t seen = seen_.fetch_or(1u << camera) | (1u << camera);
    const uint32_t wanted = wanted_.load();
    if (wanted != 0 && (seen & wanted) == wanted && !told_.exchange(true)) {
      QMetaObject::invokeMethod(receiver_, allSeen_, Qt::QueuedConnection);
    }
  }

  uint32_t Seen() const { return seen_.load(); }

 private:
  display::VideoDisplay& display_;
  QObject* receiver_;
  std::function<void()> allSeen_;
  std::atomic<uint32_t> wanted_{0};
  std::atomic<uint32_t> seen_{0};
  std::atomic<bool> told_{false};
};

class WallSnapshot : public ToolSession {
 public:
  explicit WallSnapshot(const WallOptions& options)
      : ToolSession(options.server), options_(options), observer_(display_, this, [this] { Save(); }) {
    display_.SetFrameSource(&live_);
    display_.Attach(&window_, {0, 0, options.width - 1, options.height - 1}, kBackground);
    display_.SetLayout(options.layout);
    display_.SelectCamera(display_.CameraInCell(0));
    path_.SetObserver(&observer_);
    Controller().SetFrameSinks(&path_, nullptr);
  }

  ~WallSnapshot() override {
    // The network thread must be done with the display and the stores before they go.
    Controller().Teardown();
    Controller().Connection().Shutdown();
  }

 private:
  void OnStarted() override {
    MarkStarted();
    const uint32_t wanted = display_.VisibleCameras() & Controller().Connection().CameraMask();
    if (wanted == 0) {
      Fail(kNoPicture, QStringLiteral("Layout %1 shows none of the server's cameras.").arg(options_.layout));
      return;
    }
    wanted_ = wanted;
    observer_.Want(wanted);
    Controller().CompleteStart(wanted);
    QTimer::singleShot(options_.waitSeconds * 1000, this, [this] {
      const int missing = __builtin_popcount(wanted_ & ~observer_.Seen());
      Fail(kNoPicture, QStringLiteral("%1 of the layout's cameras sent no picture within %2 s.")
                           .arg(missing)
                           .arg(options_.waitSeconds));
    });
  }

  void Save() {
    if (Finishing()) return;
    // The server's camera names have come by now (they answer requests of the start).
    for (int camera = 0; camera < display::kCameras; ++camera) {
      if (wanted_ & (1u << camera)) display_.SetName(camera, Controller().CameraTitle(camera));
    }
    display_.RedrawAll();
    const QImage picture = display_.Grab();
    if (picture.isNull() || !picture.save(options_.out, "PNG")) {
      Fail(static_cast<ExitCode>(kFileError), QStringLiteral("Can't create file %1").arg(options_.out));
      return;
    }
    PrintLine(JsonObject()
                  .Add("file", options_.out)
                  .Add("layout", options_.layout)
                  .Add("width", picture.width())
                  .Add("height", picture.height())
                  .Add("cameras", __builtin_popcount(wanted_))
                  .Text());
    Finish();
  }

  WallOptions options_;
  video::LiveFrameStore live_;
  video::PlaybackFrameStore playback_;
  net::FramePath path_{live_, playback_};
  NoWindow window_;
  display::VideoDisplay display_;
  WallObserver observer_;
  uint32_t wanted_ = 0;
};

}  // namespace

void AddWallOptions(QCommandLineParser& parser) {
  parser.addOptions({
      {"wall", "PNG file to write: the whole video area of a layout.", "FILE"},
      {"layout", "With --wall: screen layout 0..16 (default 16).", "L"},
      {"size", "With --wall: size of the video area (default 1280x960).", "WxH"},
  });
}

int RunWallSnapshot(const QStringList& arguments) {
  QCommandLineParser parser;
  AddOptions(parser);
  if (const auto end = ParseCommand(parser, arguments, kHelp)) return *end;
  QString error;
  const auto options = ReadOptions(parser, &error);
  if (!options) {
    PrintLine(QStringLiteral("snapshot: ") + error, true);
    return kUsage;
  }
  WallSnapshot wall(*options);
  return wall.Run();
}

}  // namespace strixc::tool
