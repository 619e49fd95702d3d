#include "play_command.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QObject>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "archive/archive_database.h"
#include "archive/archive_time.h"
#include "archive_folders.h"
#include "command_help.h"
#include "json_writer.h"
#include "playback/local_playback_source.h"
#include "playback/playback_display.h"
#include "playback/playback_receiver.h"
#include "remote_archive_session.h"
#include "tool_session.h"
#include "video/region.h"

namespace strixc::tool {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kCameras = 16;

enum class Jump { kNone, kNext, kPrevious };

struct MotionOption {
  int camera = 0;
  video::Rect area;
  int sensitivity = 0;
};

struct PlayOptions {
  std::vector<std::string> folders;
  std::optional<ServerOptions> server;  // set: the server's archive instead of folders
  uint64_t at = 0;
  int camera = -1;          // -1: the lowest camera of the mask
  std::optional<uint32_t> mask;  // none: every camera of the archive
  int mode = playback::kModePlay;
  Jump jump = Jump::kNone;
  std::vector<MotionOption> motions;
  int frames = 100;
  int seconds = 30;
  QString profile;
};

constexpr CommandHelp kHelp = {
    "play",
    "strixc-tool play DIR... --at T [--camera C] [--cameras LIST] [--mode MODE | --bookmark next|prev]\n"
    "                 [--motion C:L,T,R,B:S]... [--frames N] [--seconds S] [--profile DIR]\n"
    "strixc-tool play --host H --port P --user U --password W [--encoding NAME] --at T [options above]",
    "Plays the local archive in the folders DIR (one archive, each folder a location), or with --host\n"
    "the archive of that server, as the archive browser does: selects the cameras, moves camera C to\n"
    "time T, sets motion detection, then runs the mode (play, double, fast-forward, fast-backward,\n"
    "step-forward, step-backward) or jumps to the next or previous bookmark after T (bookmarks of the\n"
    "profile's settings, or the server's). Prints one JSON line per event as it happens:\n"
    "{\"event\":\"frame\",\"camera\",\"time\",\"timeUnits\",\"wallMs\"} for each picture shown after the\n"
    "mode started (wallMs: milliseconds since then), \"status\" {code, value}, \"position\" {time,\n"
    "timeUnits} and \"beep\" for the player's notifications, and last\n"
    "{\"event\":\"end\",\"frames\",\"time\",\"timeUnits\"} with the playback position. Stops after N\n"
    "frames, S seconds, or when the player stops by itself (end of the archive, motion found, one\n"
    "step). Times T are local YYYY-MM-DDTHH:MM:SS[.fff] or raw archive units @N, for a server's\n"
    "archive too (its wall-clock times are converted). Exit codes: 0 done, 1 bad command line, 2\n"
    "login refused, 3 connection broken or timed out, 8 a folder is missing or the archive holds no\n"
    "recordings.",
};

void AddOptions(QCommandLineParser& parser) {
  ServerOptions::AddTo(parser);
  parser.addOptions({
      {"at", "Where to start: local time, or @UNITS of the archive.", "T"},
      {"camera", "The camera moved to T (default: the lowest selected camera).", "C"},
      {"cameras", "Selected cameras, e.g. 0,2,5 (default: every camera of the archive).", "LIST"},
      {"mode", "play, double, fast-forward, fast-backward, step-forward or step-backward (default play).",
       "MODE"},
      {"bookmark", "Jump to the next or previous bookmark after T instead of playing.", "next|prev"},
      {"motion", "Motion detection on camera C over L,T,R,B (frame units 0..10000) at sensitivity S "
                 "(0..100); repeatable.", "C:L,T,R,B:S"},
      {"frames", "Stop after N frames (default 100).", "N"},
      {"seconds", "Stop after S seconds (default 30).", "S"},
      {"profile", "Profile folder whose settings hold the bookmarks.", "DIR"},
  });
}

std::optional<MotionOption> ReadMotion(const QString& text) {
  const QStringList parts = text.split(QLatin1Char(':'));
  if (parts.size() != 3) return std::nullopt;
  MotionOption m;
  bool ok = false;
  m.camera = parts[0].toInt(&ok);
  if (!ok || m.camera < 0 || m.camera >= kCameras) return std::nullopt;
  const QStringList edges = parts[1].split(QLatin1Char(','));
  if (edges.size() != 4) return std::nullopt;
  int v[4];
  for (int i = 0; i < 4; ++i) {
    v[i] = edges[i].toInt(&ok);
    if (!ok || v[i] < 0 || v[i] > video::kFrameUnits) return std::nullopt;
  }
  m.area = video::Rect{v[0], v[1], v[2], v[3]};
  m.sensitivity = parts[2].toInt(&ok);
  if (!ok || m.sensitivity < 0 || m.sensitivity > 100) return std::nullopt;
  return m;
}

std::optional<PlayOptions> ReadOptions(const QCommandLineParser& parser, QString* error) {
  PlayOptions o;
  if (!ReadArchivePlace(parser, &o.folders, &o.server, error)) return std::nullopt;
  if (!parser.isSet("at")) {
    *error = QStringLiteral("missing --at T");
    return std::nullopt;
  }
  if (!ReadArchiveTimeOption(parser, "at", &o.at, error)) return std::nullopt;
  if (o.at == 0) {
    *error = QStringLiteral("--at must be later than @0");
    return std::nullopt;
  }
  if (parser.isSet("camera") && !ReadNumberOption(parser, "camera", 0, kCameras - 1, &o.camera, error))
    return std::nullopt;
  if (parser.isSet("cameras")) {
    uint32_t mask = 0;
    for (const QString& item : parser.value("cameras").split(QLatin1Char(','))) {
      bool ok = false;
      const int c = item.toInt(&ok);
      if (!ok || c < 0 || c >= kCameras) {
        *error = QStringLiteral("--cameras takes camera numbers 0..15 separated by commas");
        return std::nullopt;
      }
      mask |= 1u << c;
    }
    o.mask = mask;
    if (o.camera >= 0 && !((mask >> o.camera) & 1)) {
      *error = QStringLiteral("--camera %1 is not among --cameras").arg(o.camera);
      return std::nullopt;
    }
  }
  if (parser.isSet("mode") && parser.isSet("bookmark")) {
    *error = QStringLiteral("--mode and --bookmark exclude each other");
    return std::nullopt;
  }
  if (parser.isSet("mode")) {
    static const std::pair<const char*, int> kModes[] = {
        {"play", playback::kModePlay},
        {"double", playback::kModePlayDouble},
        {"fast-forward", playback::kModeFastForward},
        {"fast-backward", playback::kModeFastBackward},
        {"step-forward", playback::kModeStepForward},
        {"step-backward", playback::kModeStepBackward},
    };
    const QString mode = parser.value("mode");
    o.mode = -1;
    for (const auto& [name, value] : kModes) {
      if (mode == QLatin1String(name)) o.mode = value;
    }
    if (o.mode < 0) {
      *error = QStringLiteral("--mode takes play, double, fast-forward, fast-backward, step-forward or step-backward");
      return std::nullopt;
    }
  }
  if (parser.isSet("bookmark")) {
    const QString which = parser.value("bookmark");
    if (which != QLatin1String("next") && which != QLatin1String("prev")) {
      *error = QStringLiteral("--bookmark takes next or prev");
      return std::nullopt;
    }
    o.jump = which == QLatin1String("next") ? Jump::kNext : Jump::kPrevious;
  }
  for (const QString& text : parser.values("motion")) {
    const std::optional<MotionOption> m = ReadMotion(text);
    if (!m) {
      *error = QStringLiteral("--motion takes C:L,T,R,B:S (camera 0..15, frame units 0..10000, sensitivity 0..100)");
      return std::nullopt;
    }
    o.motions.push_back(*m);
  }
  if (parser.isSet("frames") && !ReadNumberOption(parser, "frames", 1, 1000000, &o.frames, error)) return std::nullopt;
  if (parser.isSet("seconds") && !ReadNumberOption(parser, "seconds", 1, 86400, &o.seconds, error))
    return std::nullopt;
  o.profile = parser.value("profile");
  return o;
}

// Plays as the browser window does: it is the source's display and receiver. The source calls
// OnFrame on its timer thread, on this one during seeks and bookmark jumps, and (the remote source)
// on the network thread while a positioning answer comes; everything is printed from this thread,
// in the order it happened, through queued calls.
//
// The remote source answers a seek or a jump later, from the server: the run waits (Settled) until
// the request is over before it starts the mode, and before it ends a jump, so that the same events
// come in the same order as from a local archive.
class PlayRun : public QObject, public playback::PlaybackReceiver, public playback::PlaybackDisplay {
 public:
  // The hooks of the source at hand. `settled`: no request of the source is outstanding (always
  // true for a local archive); `position`: the playback position; `done`: the run is over.
  struct Hooks {
    // The source's times are the wall clock (a server's), not the local archive's clock: the command
    // line and the output stay on the archive's clock, as for a local archive.
    bool wallClock = false;
    std::function<bool()> settled;
    std::function<uint64_t()> position;
    std::function<void()> done;
  };

  PlayRun(const PlayOptions& options, Hooks hooks) : options_(options), hooks_(std::move(hooks)) {}

  // Opens `source` (not owned; it outlives the run) and starts: camera mask (`archiveMask` when
  // the command line named none), seek, motion detection, then the mode or the jump.
  void Start(playback::PlaybackSource* source, uint32_t archiveMask) {
    source_ = source;
    source_->SetDisplay(this);
    source_->Open(this, this);
    uint32_t mask = options_.mask.value_or(archiveMask & 0xFFFFu);
    if (mask == 0) mask = 1;
    mask_ = mask;
    int camera = options_.camera;
    for (int c = 0; camera < 0 && c < kCameras; ++c) {
      if ((mask >> c) & 1) camera = c;
    }
    source_->SetCameraMask(mask);
    source_->SeekCamera(camera, ToSource(options_.at));
    for (const MotionOption& m : options_.motions) source_->SetMotionDetection(m.camera, m.sensitivity, m.area);
    QTimer::singleShot(options_.seconds * 1000, this, [this] { Finish(); });
    WhenSettled([this] { StartMode(); });
  }

  // Closes the source and takes this display from it (this thread): the source may outlive the run.
  void Close() {
    if (source_ == nullptr) return;
    source_->Close();
    source_->SetDisplay(nullptr);
    source_ = nullptr;
  }

  // PlaybackReceiver, on this thread.
  void OnPlaybackStatus(int code, int64_t value) override {
    if (finished_) return;
    PrintLine(JsonObject().Add("event", "status").Add("code", code).Add("value", static_cast<long long>(value)).Text());
    if (armed_ && (code == playback::kStatusStopped || code == playback::kStatusMotionFound)) Finish();
  }
  void OnPlaybackPosition(uint64_t time) override {
    if (finished_) return;
    JsonObject json;
    json.Add("event", "position");
    PrintLine(AddArchiveTime(json, "time", FromSource(time)).Text());
  }
  void OnPlaybackBeep() override {
    if (!finished_) PrintLine(JsonObject().Add("event", "beep").Text());
  }
  // The remote source's requests leave from this thread, as from the browser window.
  void OnRemoteRequest(uint32_t token) override {
    if (source_ != nullptr) source_->SendRequest(token);
  }

  // PlaybackDisplay, inside the source's lock, on any of its threads.
  void SetFrameSource(video::FrameSource* source) override { frameSource_.store(source); }
  void ResetFrameRate(int) override {}
  uint32_t PlacedCameras() override { return mask_.load(); }
  void OnFrame(int camera, bool) override {
    if (!counting_.load()) return;
    // The count, the picture's time and the queued print go together: calls from two threads
    // print in the order they counted. The frame source's camera lock comes after this one, as a
    // display takes its own lock before it.
    std::lock_guard<std::mutex> guard(frameLock_);
    const double wallMs = std::chrono::duration<double, std::milli>(Clock::now() - start_).count();
    const int n = ++shown_;
    if (n > options_.frames) return;
    uint64_t time = 0;
    if (video::FrameSource* frames = frameSource_.load()) {
      frames->LockFrame(camera);
      time = frames->GetFrameTime(camera);
      frames->UnlockFrame(camera);
    }
    QMetaObject::invokeMethod(
        this,
        [this, camera, time, wallMs, last = n == options_.frames] {
          if (finished_) return;
          JsonObject json;
          json.Add("event", "frame").Add("camera", camera);
          AddArchiveTime(json, "time", FromSource(time)).AddRaw("wallMs", QString::number(wallMs, 'f', 3));
          PrintLine(json.Text());
          ++printed_;
          if (last) Finish();
        },
        Qt::QueuedConnection);
  }

 private:
  uint64_t ToSource(uint64_t time) const { return hooks_.wallClock ? archive::ToWallClock(time) : time; }
  uint64_t FromSource(uint64_t time) const { return hooks_.wallClock ? archive::FromWallClock(time) : time; }

  // Runs `then` on this thread once the source has no request outstanding (at once, queued, for a
  // local source); looks again every millisecond. The --seconds bound ends a wait that lasts.
  void WhenSettled(std::function<void()> then) {
    QMetaObject::invokeMethod(
        this,
        [this, then = std::move(then)]() mutable {
          if (finished_) return;
          if (hooks_.settled()) {
            then();
            return;
          }
          QTimer::singleShot(1, this, [this, then = std::move(then)]() mutable { WhenSettled(std::move(then)); });
        },
        Qt::QueuedConnection);
  }

  void StartMode() {
    // Notifications of the set-up (the seek's position, the stop of a first Open) are queued
    // already; the mode's own end comes after this marker.
    QMetaObject::invokeMethod(this, [this] { armed_ = true; }, Qt::QueuedConnection);
    start_ = Clock::now();
    counting_.store(true);
    switch (options_.jump) {
      case Jump::kNext:
        source_->NextBookmark(ToSource(options_.at));
        break;
      case Jump::kPrevious:
        source_->PrevBookmark(ToSource(options_.at));
        break;
      case Jump::kNone:
        break;
    }
    if (options_.jump != Jump::kNone) {
      // A jump is over when its answer is: its notifications are queued before the end.
      WhenSettled([this] { Finish(); });
      return;
    }
    switch (options_.mode) {
      case playback::kModePlayDouble: source_->PlayDouble(); break;
      case playback::kModeFastForward: source_->FastForward(); break;
      case playback::kModeFastBackward: source_->FastBackward(); break;
      case playback::kModeStepForward: source_->StepForward(); break;
      case playback::kModeStepBackward: source_->StepBackward(); break;
      default: source_->Play(); break;
    }
  }

  void Finish() {
    if (finished_) return;
    // Stop first, so that no further tick runs; its notifications are no longer printed.
    counting_.store(false);
    if (source_ != nullptr) source_->Stop();
    finished_ = true;
    JsonObject json;
    json.Add("event", "end").Add("frames", printed_);
    PrintLine(AddArchiveTime(json, "time", FromSource(hooks_.position())).Text());
    hooks_.done();
  }

  const PlayOptions& options_;
  const Hooks hooks_;
  playback::PlaybackSource* source_ = nullptr;
  std::atomic<video::FrameSource*> frameSource_{nullptr};
  std::atomic<uint32_t> mask_{0};
  // Set on this thread before the mode starts, read by OnFrame on the source's threads.
  std::atomic<bool> counting_{false};
  Clock::time_point start_;
  std::mutex frameLock_;
  // Guarded by frameLock_:
  int shown_ = 0;
  // This thread only:
  bool armed_ = false;
  bool finished_ = false;
  int printed_ = 0;
};

// play --host: the run over a RemotePlaybackSource of the session's connection.
class RemotePlay : public RemoteArchiveSession {
 public:
  explicit RemotePlay(const PlayOptions& options)
      : RemoteArchiveSession(*options.server),
        run_(options, PlayRun::Hooks{
                          true,
                          [this] {
                            return Source().CurrentRequest().token == 0 &&
                                   Source().CurrentDirection() != playback::RemotePlaybackSource::kPositioning;
                          },
                          [this] { return Source().CurrentTime(); },
                          // Queued: the run's own call stack unwinds before the source goes.
                          [this] { QMetaObject::invokeMethod(this, [this] { EndRun(kOk); }, Qt::QueuedConnection); },
                      }) {}

  ~RemotePlay() override { run_.Close(); }

 private:
  void OnArchiveReady(uint32_t cameraMask) override { run_.Start(&Source(), cameraMask); }

  PlayRun run_;
};

}  // namespace

int RunPlay(const QStringList& arguments) {
  QCommandLineParser parser;
  AddOptions(parser);
  if (const auto end = ParseCommand(parser, arguments, kHelp)) return *end;
  QString error;
  const auto options = ReadOptions(parser, &error);
  if (!options) {
    PrintLine(QStringLiteral("play: ") + error, true);
    return kUsage;
  }
  if (options->server) {
    RemotePlay play(*options);
    return play.Run();
  }
  PlayedArchive archive;
  if (!OpenPlayedArchive(options->folders, options->profile, &archive, &error)) {
    PrintLine(QStringLiteral("play: ") + error, true);
    return kArchiveMissing;
  }
  playback::LocalPlaybackSource source(archive.db.get());
  PlayRun run(*options, PlayRun::Hooks{
                            false,
                            [] { return true; },
                            [&source] { return source.CurrentTime(); },
                            [] { QCoreApplication::quit(); },
                        });
  run.Start(&source, source.Database()->CameraMask());
  QCoreApplication::exec();
  run.Close();
  return kOk;
}

}  // namespace strixc::tool
