#include "map_command.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QObject>
#include <QRect>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
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
#include "playback/timeline.h"
#include "remote_archive_session.h"
#include "tool_session.h"

namespace strixc::tool {

namespace {

// The map's own limits: at least 2 columns, at most 16384; a view of at most 365 days.
constexpr int kMaxWidth = 16384;
constexpr uint64_t kMaxSpan = 365 * archive::kUnitsPerDay;
// The height of the browser's map (5..120).
constexpr int kHeight = 116;
// The map asks for its data as soon as it has a view; this only bounds a fault of ours.
constexpr int kTimeoutMs = 30000;

struct BookmarkEdit {
  uint64_t time = 0;
  std::string title;  // UTF-8
};

struct MapOptions {
  std::vector<std::string> folders;
  std::optional<ServerOptions> server;  // set: the server's archive instead of folders
  std::vector<BookmarkEdit> adds;
  std::vector<uint64_t> removes;
  uint64_t from = 0;
  uint64_t to = 0;
  int width = 0;
  QString profile;
};

constexpr CommandHelp kHelp = {
    "map",
    "strixc-tool map DIR... --from T --to T --width W [--profile DIR]\n"
    "strixc-tool map --host H --port P --user U --password W [--encoding NAME] --from T --to T\n"
    "                --width W [--bookmark-add T=TITLE]... [--bookmark-remove T]...",
    "Fills the archive map W columns wide for the period from T to T with the local archive in the\n"
    "folders DIR (one archive, each folder a location), or with --host the archive of that server,\n"
    "as the archive browser does, and prints what the map holds as one JSON object: {from, fromUnits,\n"
    "to, toUnits, columns, recorded, red, yellow, bookmarks}. recorded, red and yellow hold one\n"
    "camera mask per column (bit c: camera c has recordings, clear-events, set-events there);\n"
    "bookmarks lists the markers in the view with {time, timeUnits, title} (bookmarks of the\n"
    "profile's settings, or the server's). With --host, --bookmark-add and --bookmark-remove first\n"
    "edit the server's bookmarks (adds, then removes), as the browser's bookmark buttons do. Times T\n"
    "are local YYYY-MM-DDTHH:MM:SS[.fff] or raw archive units @N, for a server's archive too. Exit\n"
    "codes: 0 done, 1 bad command line, 2 login refused, 3 connection broken or timed out, or no map\n"
    "came, 5 the server refused a bookmark edit, 8 a folder is missing or the archive holds no\n"
    "recordings.",
};

void AddOptions(QCommandLineParser& parser) {
  ServerOptions::AddTo(parser);
  parser.addOptions({
      {"bookmark-add", "With --host: add (or retitle) the server's bookmark at T; repeatable.", "T=TITLE"},
      {"bookmark-remove", "With --host: remove the server's bookmark at T; repeatable.", "T"},
      {"from", "Start of the view: local time, or @UNITS of the archive.", "T"},
      {"to", "End of the view.", "T"},
      {"width", "Columns of the map, 2..16384.", "W"},
      {"profile", "Profile folder whose settings hold the bookmarks.", "DIR"},
  });
}

std::optional<MapOptions> ReadOptions(const QCommandLineParser& parser, QString* error) {
  MapOptions o;
  if (!ReadArchivePlace(parser, &o.folders, &o.server, error)) return std::nullopt;
  if (!o.server && (parser.isSet("bookmark-add") || parser.isSet("bookmark-remove"))) {
    *error = QStringLiteral("--bookmark-add and --bookmark-remove edit a server's bookmarks: they need --host");
    return std::nullopt;
  }
  for (const QString& text : parser.values("bookmark-add")) {
    const qsizetype split = text.indexOf(QLatin1Char('='));
    const std::optional<uint64_t> t =
        split > 0 ? archive::ParseArchiveTime(text.left(split).toStdString()) : std::nullopt;
    if (!t || *t == 0) {
      *error = QStringLiteral("--bookmark-add takes T=TITLE (T: YYYY-MM-DDTHH:MM:SS[.fff] or @UNITS)");
      return std::nullopt;
    }
    o.adds.push_back({*t, text.mid(split + 1).toStdString()});
  }
  for (const QString& text : parser.values("bookmark-remove")) {
    const std::optional<uint64_t> t = archive::ParseArchiveTime(text.toStdString());
    if (!t || *t == 0) {
      *error = QStringLiteral("--bookmark-remove takes YYYY-MM-DDTHH:MM:SS[.fff] or @UNITS");
      return std::nullopt;
    }
    o.removes.push_back(*t);
  }
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

// The browser's part: the map's host, answering its requests through the playback source. It is
// also the source's timeline and passes every call on to the map, so that it sees the data and the
// titles arrive: a server's come later, on the network thread; a local archive's at once.
class MapRun : public QObject, public browser::MapHost, public playback::PlaybackReceiver, public playback::Timeline {
 public:
  // `titlesLater`: titles answer ShowBookmarkText later (a server), not within it. `barrier`:
  // returns once the map's bookmarks, which the source gives right after the map data, are in too.
  // `done`: the run is over with this exit code (the text for standard error when not kOk).
  struct Hooks {
    bool titlesLater = false;
    // The source's times are the wall clock (a server's): the command line and the output stay on
    // the local archive's clock.
    bool wallClock = false;
    std::function<void()> barrier;
    std::function<void(int code, const QString& text)> done;
  };

  MapRun(const MapOptions& options, Hooks hooks) : options_(options), hooks_(std::move(hooks)) {}
  // Reset before the host goes: the map may still hold queued calls for it.
  ~MapRun() override { map_.Reset(); }

  // Opens `source` (not owned; it outlives the run) with the map as its timeline and sets the view;
  // the map then asks for its data.
  void Start(playback::PlaybackSource* source) {
    if (!map_.Create(QRect(0, 0, options_.width, kHeight), this, this)) {
      End(kUsage, QStringLiteral("map: the map refused %1 columns").arg(options_.width));
      return;
    }
    source_ = source;
    map_.SetWallClockTimes(hooks_.wallClock);
    source_->SetTimeline(this);
    source_->Open(this, this);
    map_.SetView(ToSource(options_.from), ToSource(options_.to));
    QTimer::singleShot(kTimeoutMs, this, [this] {
      End(hooks_.titlesLater ? kBroken : kArchiveMissing,
          hooks_.titlesLater ? QStringLiteral("map: the server sent no map in time")
                             : QStringLiteral("map: the map asked for no data"));
    });
  }

  // This thread; the source calls the timeline no more afterwards.
  void Close() {
    if (source_ == nullptr) return;
    source_->Close();
    source_->SetTimeline(nullptr);
    source_ = nullptr;
  }

  // MapHost, on this thread.
  void OnMapNeedsData() override {
    if (ended_) return;
    waitingForMap_ = true;
    source_->FillTimeline(map_.GetViewStart(), map_.GetViewEnd(), map_.GetColumns());
  }
  void OnMapNeedsTitle(uint64_t time) override {
    if (!ended_) source_->ShowBookmarkText(time);
  }

  // PlaybackReceiver: the map command plays nothing.
  void OnPlaybackStatus(int, int64_t) override {}
  void OnPlaybackPosition(uint64_t) override {}

  // Timeline, on the source's threads: to the map, and word of what came to this thread.
  void SetCursor(uint64_t time) override { map_.SetCursor(time); }
  void SetMapData(uint64_t t1, uint64_t t2, std::span<const uint32_t> recorded, std::span<const uint32_t> red,
                  std::span<const uint32_t> yellow) override {
    map_.SetMapData(t1, t2, recorded, red, yellow);
    QMetaObject::invokeMethod(this, [this] { OnMapData(); }, Qt::QueuedConnection);
  }
  void AddBookmarks(std::span<const uint64_t> times) override { map_.AddBookmarks(times); }
  void InsertBookmark(uint64_t time) override { map_.InsertBookmark(time); }
  void RemoveBookmark(uint64_t time) override { map_.RemoveBookmark(time); }
  void SetTitle(uint64_t time, const std::string& title) override {
    map_.SetTitle(time, title);
    QMetaObject::invokeMethod(this, [this, time] { OnTitle(time); }, Qt::QueuedConnection);
  }
  void SetRowEnabled(int camera, bool enabled) override { map_.SetRowEnabled(camera, enabled); }

 private:
  uint64_t ToSource(uint64_t time) const { return hooks_.wallClock ? archive::ToWallClock(time) : time; }
  uint64_t FromSource(uint64_t time) const { return hooks_.wallClock ? archive::FromWallClock(time) : time; }

  void OnMapData() {
    if (ended_ || !waitingForMap_) return;
    waitingForMap_ = false;
    hooks_.barrier();
    // The browser shows a marker's title when the pointer meets it; the command wants them all.
    titlesDue_.clear();
    for (const uint64_t t : map_.Markers()) {
      if (hooks_.titlesLater) titlesDue_.insert(t);
      source_->ShowBookmarkText(t);
    }
    PrintWhenComplete();
  }

  void OnTitle(uint64_t time) {
    if (titlesDue_.erase(time) > 0) PrintWhenComplete();
  }

  void PrintWhenComplete() {
    if (ended_ || waitingForMap_ || !titlesDue_.empty()) return;
    Print();
    End(kOk, {});
  }

  void End(int code, const QString& text) {
    if (ended_) return;
    ended_ = true;
    hooks_.done(code, text);
  }

  void Print() {
    QStringList bookmarks;
    for (const uint64_t t : map_.Markers()) {
      JsonObject mark;
      AddArchiveTime(mark, "time", FromSource(t)).Add("title", map_.Title(t));
      bookmarks << mark.Text();
    }
    JsonObject json;
    AddArchiveTime(json, "from", FromSource(map_.GetViewStart()));
    AddArchiveTime(json, "to", FromSource(map_.GetViewEnd()));
    json.Add("columns", map_.GetColumns())
        .AddRaw("recorded", MaskArray(map_.RecordedMasks()))
        .AddRaw("red", MaskArray(map_.RedMasks()))
        .AddRaw("yellow", MaskArray(map_.YellowMasks()))
        .AddRaw("bookmarks", JsonObject::Array(bookmarks));
    PrintLine(json.Text());
  }

  const MapOptions& options_;
  const Hooks hooks_;
  browser::ArchiveMapControl map_;
  playback::PlaybackSource* source_ = nullptr;
  // This thread only:
  bool waitingForMap_ = false;
  bool ended_ = false;
  std::set<uint64_t> titlesDue_;
};

// map --host: the bookmark edits, then the run over a RemotePlaybackSource of the connection.
class RemoteMap : public RemoteArchiveSession {
 public:
  explicit RemoteMap(const MapOptions& options)
      : RemoteArchiveSession(*options.server),
        options_(options),
        run_(options, MapRun::Hooks{
                          true,
                          true,
                          // The source gives a map and its bookmarks under its request lock, which
                          // CurrentTime takes too: once it returns, the bookmarks are in.
                          [this] { (void)Source().CurrentTime(); },
                          [this](int code, const QString& text) {
                            // Queued: the run's own call stack unwinds before the source closes.
                            QMetaObject::invokeMethod(this, [this, code, text] {
                              run_.Close();
                              EndRun(code, text);
                            }, Qt::QueuedConnection);
                          },
                      }) {}

  ~RemoteMap() override { run_.Close(); }

 private:
  static constexpr int kBookmarkRefused = 5;

  void OnArchiveReady(uint32_t) override {
    for (const BookmarkEdit& add : options_.adds) {
      if (!Source().AddBookmark(archive::ToWallClock(add.time), add.title)) {
        EndRun(kBookmarkRefused,
               QStringLiteral("map: the server refused the bookmark at %1").arg(ArchiveTimeText(add.time)));
        return;
      }
    }
    for (const uint64_t time : options_.removes) {
      if (!Source().DeleteBookmark(archive::ToWallClock(time))) {
        EndRun(kBookmarkRefused,
               QStringLiteral("map: the server refused to remove the bookmark at %1").arg(ArchiveTimeText(time)));
        return;
      }
    }
    run_.Start(&Source());
  }

  const MapOptions& options_;
  MapRun run_;
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
  if (options->server) {
    RemoteMap map(*options);
    return map.Run();
  }
  PlayedArchive archive;
  if (!OpenPlayedArchive(options->folders, options->profile, &archive, &error)) {
    PrintLine(QStringLiteral("map: ") + error, true);
    return kArchiveMissing;
  }
  playback::LocalPlaybackSource source(archive.db.get());
  MapRun run(*options, MapRun::Hooks{false, false, [] {}, [](int code, const QString& text) {
                                       if (!text.isEmpty()) PrintLine(text, true);
                                       QCoreApplication::exit(code);
                                     }});
  run.Start(&source);
  const int code = QCoreApplication::exec();
  run.Close();
  return code;
}

}  // namespace strixc::tool
