#include "snapshot_command.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>
#include <atomic>
#include <optional>
#include <vector>

#include "archive/archive_time.h"
#include "command_help.h"
#include "json_writer.h"
#include "net/frame_path.h"
#include "tool_session.h"
#include "video/region.h"
#include "video/snapshot.h"
#include "wall_command.h"

namespace strixc::tool {

namespace {

using net::ConnectionController;

constexpr int kFileError = 5;

struct SnapshotOptions {
  ServerOptions server;
  int camera = 0;
  QString out;
  int waitSeconds = 10;
  std::optional<video::Rect> motionArea;
  int sensitivity = 50;
  int frames = 0;
};

constexpr CommandHelp kHelp = {
    "snapshot",
    "strixc-tool snapshot --host H --port P --user U --password W --camera C --out FILE.jpg [--wait SECONDS]\n"
    "strixc-tool snapshot ... --camera C --motion L,T,R,B [--sensitivity S] --frames N [--wait SECONDS]\n"
    "strixc-tool snapshot ... --wall FILE.png [--layout L] [--size WxH] [--wait SECONDS]",
    "The first form makes camera C the only visible one, waits for its picture and saves it as the\n"
    "operator station's snapshot does (4:3, bicubic, JPEG quality 80); prints\n"
    "{camera, width, height, time, timeUnits, file}. The second prints one JSON line per frame of\n"
    "camera C with its time, kind, marker and motion flag. The third saves the whole video area of a\n"
    "layout once each of its cameras has a picture. Exit codes as probe's, plus 4 when no picture\n"
    "came in time and 5 when the file cannot be written.",
};

void AddOptions(QCommandLineParser& parser) {
  ServerOptions::AddTo(parser);
  parser.addOptions({
      {"camera", "Camera number 0..15.", "C"},
      {"out", "JPEG file to write.", "FILE"},
      {"wait", "Seconds to wait for the pictures (default 10).", "SECONDS"},
      {"motion", "Motion area in frame units 0..10000.", "L,T,R,B"},
      {"sensitivity", "Motion sensitivity 0..100 (default 50).", "S"},
      {"frames", "Number of frames to report.", "N"},
  });
  // The wall form has its own parser; its options are here so that one help lists every form.
  AddWallOptions(parser);
}

std::optional<SnapshotOptions> ReadOptions(const QCommandLineParser& parser, QString* error) {
  for (const char* name : {"layout", "size"}) {
    if (parser.isSet(QString::fromUtf8(name))) {
      *error = QStringLiteral("--%1 goes with --wall").arg(QString::fromUtf8(name));
      return std::nullopt;
    }
  }
  if (!parser.positionalArguments().isEmpty()) {
    *error = QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first());
    return std::nullopt;
  }
  SnapshotOptions o;
  if (!o.server.Read(parser, error)) return std::nullopt;
  if (!parser.isSet("camera")) {
    *error = QStringLiteral("missing --camera");
    return std::nullopt;
  }
  if (!ReadNumberOption(parser, "camera", 0, net::kCameraCount - 1, &o.camera, error)) return std::nullopt;
  if (parser.isSet("wait") && !ReadNumberOption(parser, "wait", 1, 3600, &o.waitSeconds, error)) return std::nullopt;

  if (parser.isSet("motion")) {
    const QStringList parts = parser.value("motion").split(QLatin1Char(','));
    int v[4];
    bool ok = parts.size() == 4;
    for (int i = 0; ok && i < 4; ++i) {
      v[i] = parts[i].toInt(&ok);
      ok = ok && v[i] >= 0 && v[i] <= video::kFrameUnits;
    }
    if (!ok) {
      *error = QStringLiteral("--motion takes L,T,R,B, each from 0 to 10000");
      return std::nullopt;
    }
    o.motionArea = video::Rect{v[0], v[1], v[2], v[3]};
    if (parser.isSet("sensitivity") && !ReadNumberOption(parser, "sensitivity", 0, 100, &o.sensitivity, error))
      return std::nullopt;
    if (!parser.isSet("frames")) {
      *error = QStringLiteral("--motion needs --frames N");
      return std::nullopt;
    }
    if (!ReadNumberOption(parser, "frames", 1, 1000000, &o.frames, error)) return std::nullopt;
  } else {
    if (!parser.isSet("out")) {
      *error = QStringLiteral("missing --out FILE (or --motion for a motion report)");
      return std::nullopt;
    }
    o.out = parser.value("out");
  }
  return o;
}

// What the network thread saw of one frame of the camera.
struct ObservedFrame {
  uint64_t time = 0;
  int kind = 0;
  bool marker = false;
  bool motion = false;
  // Snapshot mode: the whole picture as a packed bitmap, taken right after the frame was decoded.
  std::vector<uint8_t> dib;
};

const char* KindName(int kind) {
  switch (kind) {
    case video::frame_kind::kKey: return "key";
    case video::frame_kind::kDelta: return "delta";
    case video::frame_kind::kEvent: return "event";
    default: return "none";
  }
}

// Runs every frame through the real frame path, then reports the watched camera's frames to the
// main thread.
class FrameTap : public net::FrameSink {
 public:
  FrameTap(video::LiveFrameStore& live, net::FramePath& path, int camera, bool wantPicture, QObject* receiver,
           std::function<void(ObservedFrame)> deliver)
      : live_(live), path_(path), camera_(camera), wantPicture_(wantPicture), receiver_(receiver),
        deliver_(std::move(deliver)) {}

  void OnFrame(const net::FrameView& frame, bool remote, bool& keyFrameSeen) override {
    path_.OnFrame(frame, remote, keyFrameSeen);
    if (remote || frame.header.camera != camera_ || done_.load()) return;
    ObservedFrame seen;
    seen.time = frame.header.time;
    seen.kind = static_cast<int>(net::KindOfFrame(frame.header.flags));
    seen.marker = (frame.header.flags & net::frame_flag::kMarker) != 0;
    seen.motion = live_.HasMotion(camera_);
    if (wantPicture_) {
      // Taken here, on the thread that writes the picture, so it is the picture of this frame.
      if (!video::ExtractRegion(live_, camera_, video::Rect{}, seen.dib)) return;
      done_.store(true);
    }
    QMetaObject::invokeMethod(
        receiver_, [deliver = deliver_, seen = std::move(seen)]() mutable { deliver(std::move(seen)); },
        Qt::QueuedConnection);
  }

  void Stop() { done_.store(true); }

 private:
  video::LiveFrameStore& live_;
  net::FramePath& path_;
  const int camera_;
  const bool wantPicture_;
  QObject* receiver_;
  std::function<void(ObservedFrame)> deliver_;
  std::atomic<bool> done_{false};
};

class Snapshot : public ToolSession {
 public:
  explicit Snapshot(const SnapshotOptions& options)
      : ToolSession(options.server),
        options_(options),
        tap_(live_, path_, options.camera, !options.motionArea, this,
             [this](ObservedFrame frame) { OnFrame(std::move(frame)); }) {
    if (options_.motionArea) live_.SetMotionDetection(options_.camera, options_.sensitivity, *options_.motionArea);
    Controller().SetFrameSinks(&tap_, nullptr);
  }

  ~Snapshot() override {
    // The network thread must be done with the tap and the stores before they go.
    Controller().Teardown();
    Controller().Connection().Shutdown();
  }

 private:
  void OnStarted() override {
    MarkStarted();
    const uint32_t bit = 1u << options_.camera;
    if (!(Controller().Connection().CameraMask() & bit)) {
      Fail(kNoPicture, QStringLiteral("The server has no camera %1.").arg(options_.camera));
      return;
    }
    Controller().CompleteStart(bit);
    QTimer::singleShot(options_.waitSeconds * 1000, this, [this] {
      tap_.Stop();
      Fail(kNoPicture, options_.motionArea
                           ? QStringLiteral("Only %1 of %2 frames of camera %3 came within %4 s.")
                                 .arg(reported_).arg(options_.frames).arg(options_.camera).arg(options_.waitSeconds)
                           : QStringLiteral("No picture from camera %1 within %2 s.")
                                 .arg(options_.camera).arg(options_.waitSeconds));
    });
  }

  void OnFrame(ObservedFrame frame) {
    if (Finishing()) return;
    if (options_.motionArea) {
      PrintLine(JsonObject()
                    .Add("camera", options_.camera)
                    .Add("time", archive::FormatTime(frame.time))
                    .Add("timeUnits", static_cast<long long>(frame.time))
                    .Add("kind", KindName(frame.kind))
                    .Add("marker", frame.marker)
                    .Add("motion", frame.motion)
                    .Text());
      if (++reported_ >= options_.frames) {
        tap_.Stop();
        Finish();
      }
      return;
    }
    const video::SnapshotResult saved = video::SaveSnapshot(frame.dib.data(), frame.dib.size(), options_.out.toStdString());
    if (!saved.ok) {
      Fail(static_cast<ExitCode>(kFileError), QString::fromStdString(saved.error));
      return;
    }
    PrintLine(JsonObject()
                  .Add("camera", options_.camera)
                  .Add("width", saved.width)
                  .Add("height", saved.height)
                  .Add("time", archive::FormatTime(frame.time))
                  .Add("timeUnits", static_cast<long long>(frame.time))
                  .Add("file", options_.out)
                  .Text());
    Finish();
  }

  SnapshotOptions options_;
  video::LiveFrameStore live_;
  video::PlaybackFrameStore playback_;
  net::FramePath path_{live_, playback_};
  FrameTap tap_;
  int reported_ = 0;
};

}  // namespace

int RunSnapshot(const QStringList& arguments) {
  QCommandLineParser parser;
  AddOptions(parser);
  if (const auto end = ParseCommand(parser, arguments, kHelp)) return *end;
  QString error;
  const auto options = ReadOptions(parser, &error);
  if (!options) {
    PrintLine(QStringLiteral("snapshot: ") + error, true);
    return kUsage;
  }
  Snapshot snapshot(*options);
  return snapshot.Run();
}

}  // namespace strixc::tool
