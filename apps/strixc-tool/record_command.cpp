#include "record_command.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QTimer>
#include <optional>

#include "archive/archive_database.h"
#include "command_help.h"
#include "json_writer.h"
#include "settings/settings_database.h"
#include "station/station.h"
#include "tool_session.h"

namespace strixc::tool {

namespace {

using archive::ArchiveDatabase;

constexpr int kArchiveError = 9;
constexpr uint64_t kMiB = 1024 * 1024;

struct RecordOptions {
  ServerOptions server;
  QString archive;
  int seconds = 0;
  // The first-start archive's sizes.
  int spaceMb = static_cast<int>(ArchiveDatabase::kFirstRunSpace / kMiB);
  int fileSizeMb = static_cast<int>(ArchiveDatabase::kFirstRunMaxFileSize / kMiB);
};

constexpr CommandHelp kHelp = {
    "record",
    "strixc-tool record --host H --port P --user U --password W --archive DIR --seconds N\n"
    "  [--space-mb N --file-size-mb M]",
    "Records the server's live cameras into the archive in DIR for N seconds as the recording button\n"
    "does, creating the archive files first when DIR has none; prints {records, bytes, cameras,\n"
    "files}. Exit codes as probe's, plus 9 when the archive cannot be opened or nothing could be\n"
    "written.",
};

void AddOptions(QCommandLineParser& parser) {
  const RecordOptions defaults;
  ServerOptions::AddTo(parser);
  parser.addOptions({
      {"archive", "Archive folder.", "DIR"},
      {"seconds", "How long to record.", "N"},
      {"space-mb", QStringLiteral("Space of a new archive in MiB (default %1).").arg(defaults.spaceMb), "N"},
      {"file-size-mb", QStringLiteral("File size of a new archive in MiB (default %1).").arg(defaults.fileSizeMb),
       "M"},
  });
}

std::optional<RecordOptions> ReadOptions(const QCommandLineParser& parser, QString* error) {
  if (!parser.positionalArguments().isEmpty()) {
    *error = QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first());
    return std::nullopt;
  }
  RecordOptions o;
  if (!o.server.Read(parser, error)) return std::nullopt;
  if (!parser.isSet("archive") || !parser.isSet("seconds")) {
    *error = QStringLiteral("missing --archive DIR or --seconds N");
    return std::nullopt;
  }
  o.archive = QDir(parser.value("archive")).absolutePath();
  if (!ReadNumberOption(parser, "seconds", 1, 24 * 3600, &o.seconds, error)) return std::nullopt;
  if (parser.isSet("space-mb") && !ReadNumberOption(parser, "space-mb", 1, 1 << 20, &o.spaceMb, error)) return std::nullopt;
  if (parser.isSet("file-size-mb") && !ReadNumberOption(parser, "file-size-mb", 1, 2047, &o.fileSizeMb, error))
    return std::nullopt;
  return o;
}

// One recording session: the station's recording switch on when the connection stands, off after
// the given time.
class Record : public ToolSession {
 public:
  Record(const RecordOptions& options, station::Station& station)
      : ToolSession(options.server, &station.Controller()), options_(options), station_(station) {
    connect(&station_, &station::Station::Connected, this, [this] { Begin(); });
  }

 private:
  // The station places the cameras and completes the start itself (Connected).
  void OnStarted() override { MarkStarted(); }

  void Begin() {
    station_.SetRecording(true);
    QTimer::singleShot(options_.seconds * 1000, this, [this] { Stop(); });
  }

  void Stop() {
    station_.SetRecording(false);
    const station::Station::RecordedFrames recorded = station_.Recorded();
    if (recorded.records == 0) {
      Fail(static_cast<ExitCode>(kArchiveError), QStringLiteral("Nothing was recorded."));
      return;
    }
    QStringList files;
    for (const archive::ArchiveFileInfo& file : station_.Archive().Files())
      if (file.firstTime != 0) files << JsonObject::Quote(QString::fromStdString(file.path));
    PrintLine(JsonObject()
                  .Add("records", static_cast<long long>(recorded.records))
                  .Add("bytes", static_cast<long long>(recorded.bytes))
                  .Add("cameras", recorded.cameras)
                  .AddRaw("files", JsonObject::Array(files))
                  .Text());
    Finish();
  }

  RecordOptions options_;
  station::Station& station_;
};

}  // namespace

int RunRecord(const QStringList& arguments) {
  QCommandLineParser parser;
  AddOptions(parser);
  if (const auto end = ParseCommand(parser, arguments, kHelp)) return *end;
  QString error;
  const auto options = ReadOptions(parser, &error);
  if (!options) {
    PrintLine(QStringLiteral("record: ") + error, true);
    return kUsage;
  }
  // The folder is the archive's only location: the settings tree starts empty and stays in memory.
  settings::SettingsDatabase settings;
  settings.OpenInMemory();
  station::Station station(settings, QDir::tempPath().toStdString());
  station.SetHeadless(true);
  station.LoadAll();
  if (!station.CreateArchive(options->archive.toStdString(), static_cast<uint64_t>(options->spaceMb) * kMiB,
                             static_cast<uint64_t>(options->fileSizeMb) * kMiB, &error)) {
    PrintLine(QStringLiteral("record: ") + error, true);
    return kArchiveError;
  }
  Record record(*options, station);
  return record.Run();
}

}  // namespace strixc::tool
