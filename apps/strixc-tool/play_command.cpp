#include "play_command.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QObject>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/archive_database.h"
#include "archive_folders.h"
#include "command_help.h"
#include "json_writer.h"
#include "playback/local_playback_source.h"
#include "playback/playback_display.h"
#include "playback/playback_receiver.h"
#include "tool_session.h"
#include "video/region.h"

namespace strixc::tool {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kArchiveMissing = 8;
constexpr int kCameras = 16;

enum class Jump { kNone, kNext, kPrevious };

struct MotionOption {
  int camera = 0;
  video::Rect area;
  int sensitivity = 0;
};

struct PlayOptions {
  std::vector<std::string> folders;
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
    "                 [--motion C:L,T,R,B:S]... [--frames N] [--seconds S] [--profile DIR]",
    "Plays the local archive in the folders DIR (one archive, each folder a location) as the archive\n"
    "browser does: selects the cameras, moves camera C to time T, sets motion detection, then runs\n"
    "the mode (play, double, fast-forward, fast-backward, step-forward, step-backward) or jumps to\n"
    "the next or previous bookmark after T (bookmarks of the profile's settings). Prints one JSON\n"
    "line per event as it happens: {\"event\":\"frame\",\"camera\",\"time\",\"timeUnits\",\"wallMs\"} for\n"
    "each picture shown after the mode started (wallMs: milliseconds since then), \"status\" {code,\n"
    "value}, \"position\" {time, timeUnits} and \"beep\" for the player's notifications, and last\n"
    "{\"event\":\"end\",\"frames\",\"time\",\"timeUnits\"} with the playback position. Stops after N frames,\n"
    "S seconds, or when the player stops by itself (end of the archive, motion found, one step).\n"
    "Times T are local YYYY-MM-DDTHH:MM:SS[.fff] or raw archive units @N. Exit codes: 0 done, 1 bad\n"
    "command line, 8 a folder is missing or holds no recordings.",
};

void AddOptions(QCommandLineParser& parser) {
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
  if (parser.positionalArguments().isEmpty()) {
    *error = QStringLiteral("expected an archive folder");
    return std::nullopt;
  }
  if (!ReadArchiveFolders(parser.positionalArguments(), &o.folders, error)) return std::nullopt;
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
// OnFrame on its timer thread (and on this one during seeks and bookmark jumps); everything is
// printed from this thread, in the order it happened, through queued calls.
class PlayRun : public QObject, public playback::PlaybackReceiver, public playback::PlaybackDisplay {
 public:
  PlayRun(const PlayOptions& options, archive::ArchiveDatabase* db) : options_(options), source_(db) {}

  int Run() {
    source_.SetDisplay(this);
    source_.Open(this, this);
    uint32_t mask = options_.mask.value_or(source_.Database()->CameraMask() & 0xFFFFu);
    if (mask == 0) mask = 1;
    mask_ = mask;
    int camera = options_.camera;
    for (int c = 0; camera < 0 && c < kCameras; ++c) {
      if ((mask >> c) & 1) camera = c;
    }
    source_.SetCameraMask(mask);
    source_.SeekCamera(camera, options_.at);
    for (const MotionOption& m : options_.motions) source_.SetMotionDetection(m.camera, m.sensitivity, m.area);

    // Notifications of the set-up (the seek's position, the stop of a first Open) are still queued;
    // the mode's own end comes after this marker.
    QMetaObject::invokeMethod(this, [this] { armed_ = true; }, Qt::QueuedConnection);
    QTimer::singleShot(options_.seconds * 1000, this, [this] { Finish(); });
    start_ = Clock::now();
    counting_.store(true);
    switch (options_.jump) {
      case Jump::kNext:
        source_.NextBookmark(options_.at);
        break;
      case Jump::kPrevious:
        source_.PrevBookmark(options_.at);
        break;
      case Jump::kNone:
        StartMode();
        break;
    }
    // A jump is over when it returns; its notifications are queued before this.
    if (options_.jump != Jump::kNone) QMetaObject::invokeMethod(this, [this] { Finish(); }, Qt::QueuedConnection);
    QCoreApplication::exec();
    source_.Close();
    return kOk;
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
    PrintLine(AddArchiveTime(json, "time", time).Text());
  }
  void OnPlaybackBeep() override {
    if (!finished_) PrintLine(JsonObject().Add("event", "beep").Text());
  }

  // PlaybackDisplay, inside the source's lock, on either thread.
  void SetFrameSource(video::FrameSource*) override {}
  void ResetFrameRate(int) override {}
  uint32_t PlacedCameras() override { return mask_.load(); }
  void OnFrame(int camera, bool) override {
    if (!counting_.load()) return;
    const double wallMs = std::chrono::duration<double, std::milli>(Clock::now() - start_).count();
    const int n = ++shown_;
    if (n > options_.frames) return;
    video::PlaybackFrameStore& store = source_.FrameStore();
    store.LockFrame(camera);
    const uint64_t time = store.GetFrameTime(camera);
    store.UnlockFrame(camera);
    QMetaObject::invokeMethod(
        this,
        [this, camera, time, wallMs, last = n == options_.frames] {
          if (finished_) return;
          JsonObject json;
          json.Add("event", "frame").Add("camera", camera);
          AddArchiveTime(json, "time", time).AddRaw("wallMs", QString::number(wallMs, 'f', 3));
          PrintLine(json.Text());
          ++printed_;
          if (last) Finish();
        },
        Qt::QueuedConnection);
  }

 private:
  void StartMode() {
    switch (options_.mode) {
      case playback::kModePlayDouble: source_.PlayDouble(); break;
      case playback::kModeFastForward: source_.FastForward(); break;
      case playback::kModeFastBackward: source_.FastBackward(); break;
      case playback::kModeStepForward: source_.StepForward(); break;
      case playback::kModeStepBackward: source_.StepBackward(); break;
      default: source_.Play(); break;
    }
  }

  void Finish() {
    if (finished_) return;
    // Stop first, so that no further tick runs; its notifications are no longer printed.
    counting_.store(false);
    source_.Stop();
    finished_ = true;
    JsonObject json;
    json.Add("event", "end").Add("frames", printed_);
    PrintLine(AddArchiveTime(json, "time", source_.CurrentTime()).Text());
    QCoreApplication::quit();
  }

  const PlayOptions& options_;
  playback::LocalPlaybackSource source_;
  std::atomic<uint32_t> mask_{0};
  // Set on this thread before the mode starts, read by OnFrame on the timer thread.
  std::atomic<bool> counting_{false};
  Clock::time_point start_;
  std::atomic<int> shown_{0};
  // This thread only:
  bool armed_ = false;
  bool finished_ = false;
  int printed_ = 0;
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
  PlayedArchive archive;
  if (!OpenPlayedArchive(options->folders, options->profile, &archive, &error)) {
    PrintLine(QStringLiteral("play: ") + error, true);
    return kArchiveMissing;
  }
  PlayRun run(*options, archive.db.get());
  return run.Run();
}

}  // namespace strixc::tool
