#include "map_command.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QObject>
#include <QRect>
#include <QTimer>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/archive_database.h"
#include "archive/archive_time.h"
#include "archive_folders.h"
#include "browser/archive_map_control.h"
#include "command_help.h"
#include "json_writer.h"
#include "playback/local_playback_source.h"
#include "playback/playback_receiver.h"
#include "tool_session.h"

namespace strixc::tool {

namespace {

constexpr int kArchiveMissing = 8;
// The map's own limits: at least 2 columns, at most 16384; a view of at most 365 days.
constexpr int kMaxWidth = 16384;
constexpr uint64_t kMaxSpan = 365 * archive::kUnitsPerDay;
// The height of the browser's map (5..120).
constexpr int kHeight = 116;
// The map asks for its data as soon as it has a view; this only bounds a fault of ours.
constexpr int kTimeoutMs = 30000;

struct MapOptions {
  std::vector<std::string> folders;
  uint64_t from = 0;
  uint64_t to = 0;
  int width = 0;
  QString profile;
};

constexpr CommandHelp kHelp = {
    "map",
    "strixc-tool map DIR... --from T --to T --width W [--profile DIR]",
    "Fills the archive map W columns wide for the period from T to T with the local archive in the\n"
    "folders DIR (one archive, each folder a location), as the archive browser does, and prints what\n"
    "the map holds as one JSON object: {from, fromUnits, to, toUnits, columns, recorded, red, yellow,\n"
    "bookmarks}. recorded, red and yellow hold one camera mask per column (bit c: camera c has\n"
    "recordings, clear-events, set-events there); bookmarks lists the markers in the view with\n"
    "{time, timeUnits, title} (bookmarks of the profile's settings). Times T are local\n"
    "YYYY-MM-DDTHH:MM:SS[.fff] or raw archive units @N. Exit codes: 0 done, 1 bad command line, 8 a\n"
    "folder is missing or holds no recordings.",
};

void AddOptions(QCommandLineParser& parser) {
  parser.addOptions({
      {"from", "Start of the view: local time, or @UNITS of the archive.", "T"},
      {"to", "End of the view.", "T"},
      {"width", "Columns of the map, 2..16384.", "W"},
      {"profile", "Profile folder whose settings hold the bookmarks.", "DIR"},
  });
}

std::optional<MapOptions> ReadOptions(const QCommandLineParser& parser, QString* error) {
  MapOptions o;
  if (parser.positionalArguments().isEmpty()) {
    *error = QStringLiteral("expected an archive folder");
    return std::nullopt;
  }
  if (!ReadArchiveFolders(parser.positionalArguments(), &o.folders, error)) return std::nullopt;
  if (!parser.isSet("from") || !parser.isSet("to") || !parser.isSet("width")) {
    *error = QStringLiteral("map needs --from T --to T --width W");
    return std::nullopt;
  }
  if (!ReadArchiveTimeOption(parser, "from", &o.from, error)) return std::nullopt;
  if (!ReadArchiveTimeOption(parser, "to", &o.to, error)) return std::nullopt;
  if (o.from == 0 || o.to <= o.from) {
    *error = QStringLiteral("--to must be later than --from, and --from later than @0");
    return std::nullopt;
  }
  if (o.to - o.from > kMaxSpan) {
    *error = QStringLiteral("the map shows at most 365 days");
    return std::nullopt;
  }
  if (!ReadNumberOption(parser, "width", 2, kMaxWidth, &o.width, error)) return std::nullopt;
  o.profile = parser.value("profile");
  return o;
}

QString MaskArray(const std::vector<uint32_t>& masks) {
  QStringList items;
  items.reserve(static_cast<qsizetype>(masks.size()));
  for (const uint32_t m : masks) items << QString::number(m);
  return JsonObject::Array(items);
}

// The browser's part: the map's host, answering its requests through the playback source.
class MapRun : public QObject, public browser::MapHost, public playback::PlaybackReceiver {
 public:
  MapRun(const MapOptions& options, archive::ArchiveDatabase* db) : options_(options), source_(db) {}

  int Run() {
    // Reset before the host goes: the map may still hold queued calls for it.
    struct ResetOnExit {
      browser::ArchiveMapControl& map;
      ~ResetOnExit() { map.Reset(); }
    } reset{map_};
    if (!map_.Create(QRect(0, 0, options_.width, kHeight), this, this)) {
      PrintLine(QStringLiteral("map: the map refused %1 columns").arg(options_.width), true);
      return kUsage;
    }
    source_.SetTimeline(&map_);
    source_.Open(this, this);
    map_.SetView(options_.from, options_.to);
    QTimer::singleShot(kTimeoutMs, this, [this] {
      PrintLine(QStringLiteral("map: the map asked for no data"), true);
      QCoreApplication::exit(kArchiveMissing);
    });
    const int code = QCoreApplication::exec();
    source_.Close();
    source_.SetTimeline(nullptr);
    return code;
  }

  // MapHost, on this thread.
  void OnMapNeedsData() override {
    source_.FillTimeline(map_.GetViewStart(), map_.GetViewEnd(), map_.GetColumns());
    // The browser shows a marker's title when the pointer meets it; the command wants them all.
    for (const uint64_t t : map_.Markers()) source_.ShowBookmarkText(t);
    Print();
    QCoreApplication::exit(kOk);
  }
  void OnMapNeedsTitle(uint64_t time) override { source_.ShowBookmarkText(time); }

  // PlaybackReceiver: the map command plays nothing.
  void OnPlaybackStatus(int, int64_t) override {}
  void OnPlaybackPosition(uint64_t) override {}

 private:
  void Print() {
    QStringList bookmarks;
    for (const uint64_t t : map_.Markers()) {
      JsonObject mark;
      AddArchiveTime(mark, "time", t).Add("title", map_.Title(t));
      bookmarks << mark.Text();
    }
    JsonObject json;
    AddArchiveTime(json, "from", map_.GetViewStart());
    AddArchiveTime(json, "to", map_.GetViewEnd());
    json.Add("columns", map_.GetColumns())
        .AddRaw("recorded", MaskArray(map_.RecordedMasks()))
        .AddRaw("red", MaskArray(map_.RedMasks()))
        .AddRaw("yellow", MaskArray(map_.YellowMasks()))
        .AddRaw("bookmarks", JsonObject::Array(bookmarks));
    PrintLine(json.Text());
  }

  const MapOptions& options_;
  browser::ArchiveMapControl map_;
  playback::LocalPlaybackSource source_;
};

}  // namespace

int RunMap(const QStringList& arguments) {
  QCommandLineParser parser;
  AddOptions(parser);
  if (const auto end = ParseCommand(parser, arguments, kHelp)) return *end;
  QString error;
  const auto options = ReadOptions(parser, &error);
  if (!options) {
    PrintLine(QStringLiteral("map: ") + error, true);
    return kUsage;
  }
  PlayedArchive archive;
  if (!OpenPlayedArchive(options->folders, options->profile, &archive, &error)) {
    PrintLine(QStringLiteral("map: ") + error, true);
    return kArchiveMissing;
  }
  MapRun run(*options, archive.db.get());
  return run.Run();
}

}  // namespace strixc::tool
