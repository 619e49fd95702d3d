#include "record_command.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QTimer>
#include <atomic>
#include <optional>

#include "archive/archive_database.h"
#include "archive/archive_recorder.h"
#include "json_writer.h"
#include "net/frame_path.h"
#include "settings/settings_database.h"
#include "tool_session.h"

namespace strixc::tool {

namespace {

using net::ConnectionController;

constexpr int kArchiveError = 9;
constexpr uint64_t kMiB = 1024 * 1024;
constexpr char kEnabledText[] = "Recording enabled";
constexpr char kDisabledText[] = "Recording disabled";

struct RecordOptions {
  ServerOptions server;
  QString archive;
  int seconds = 0;
  int spaceMb = 60;
  int fileSizeMb = 20;
};

std::optional<RecordOptions> ParseOptions(const QStringList& arguments, QString* error) {
  QCommandLineParser parser;
  ServerOptions::AddTo(parser);
  parser.addOptions({
      {"archive", "Archive folder.", "DIR"},
      {"seconds", "How long to record.", "N"},
      {"space-mb", "Space of a new archive in MiB (default 60).", "N"},
      {"file-size-mb", "File size of a new archive in MiB (default 20).", "M"},
  });
  if (!parser.parse(arguments)) {
    *error = parser.errorText();
    return std::nullopt;
  }
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

// The recorder as the frame path sees it; counts what it writes.
class RecorderSink : public net::FrameRecorder {
 public:
  explicit RecorderSink(archive::ArchiveRecorder& recorder) : recorder_(recorder) {}
  bool IsRecording() const override { return on_.load(); }
  void RecordFrame(int camera, const uint8_t* data, size_t length, bool keyFrame) override {
    if (recorder_.RecordFrame(camera, data, length, keyFrame)) {
      records_.fetch_add(1);
      bytes_.fetch_add(length);
      cameras_.fetch_or(1u << camera);
    }
  }
  void SetRecording(bool on) { on_.store(on); }
  uint64_t Records() const { return records_.load(); }
  uint64_t Bytes() const { return bytes_.load(); }
  uint32_t Cameras() const { return cameras_.load(); }

 private:
  archive::ArchiveRecorder& recorder_;
  std::atomic<bool> on_{false};
  std::atomic<uint64_t> records_{0};
  std::atomic<uint64_t> bytes_{0};
  std::atomic<uint32_t> cameras_{0};
};

class Record : public ToolSession {
 public:
  Record(const RecordOptions& options, archive::ArchiveDatabase& database)
      : ToolSession(options.server), options_(options), database_(database), sink_(recorder_) {
    recorder_.Attach(&database);
    path_.SetRecorder(&sink_);
    Controller().SetFrameSinks(&path_, nullptr);
  }

  ~Record() override {
    // The network thread must be done with the frame path and the recorder before they go.
    Controller().Teardown();
    Controller().Connection().Shutdown();
    recorder_.Detach();
  }

 private:
  void OnStarted() override {
    MarkStarted();
    net::ServerConnection& server = Controller().Connection();
    Controller().CompleteStart(server.CameraMask());
    // As the recording button does: enable, mark every camera, and ask for key frames, since a
    // camera's recording starts with its next key frame.
    recorder_.SetEnabled(true);
    ForEachCamera([this](int camera) { recorder_.RecordEvent(camera, 1, kEnabledText); });
    sink_.SetRecording(true);
    server.KeyFrameRequest(0xFFFFFFFF);
    QTimer::singleShot(options_.seconds * 1000, this, [this] { Stop(); });
  }

  void ForEachCamera(const std::function<void(int)>& each) {
    const uint32_t mask = Controller().Connection().CameraMask();
    for (int camera = 0; camera < net::kCameraCount; ++camera)
      if (mask & (1u << camera)) each(camera);
  }

  void Stop() {
    sink_.SetRecording(false);
    ForEachCamera([this](int camera) { recorder_.RecordEvent(camera, 1, kDisabledText); });
    recorder_.SetEnabled(false);
    if (sink_.Records() == 0) {
      Fail(static_cast<ExitCode>(kArchiveError), QStringLiteral("Nothing was recorded."));
      return;
    }
    QStringList files;
    for (const archive::ArchiveFileInfo& file : database_.Files())
      if (file.firstTime != 0) files << JsonObject::Quote(QString::fromStdString(file.path));
    PrintLine(JsonObject()
                  .Add("records", static_cast<long long>(sink_.Records()))
                  .Add("bytes", static_cast<long long>(sink_.Bytes()))
                  .Add("cameras", sink_.Cameras())
                  .AddRaw("files", JsonObject::Array(files))
                  .Text());
    Finish();
  }

  RecordOptions options_;
  archive::ArchiveDatabase& database_;
  video::LiveFrameStore live_;
  video::PlaybackFrameStore playback_;
  net::FramePath path_{live_, playback_};
  archive::ArchiveRecorder recorder_;
  RecorderSink sink_;
};

// Opens the folder as the only location of a database, creating its files when it has none.
bool OpenArchive(const RecordOptions& options, settings::SettingsDatabase& settings, archive::ArchiveDatabase& db,
                 QString* error) {
  settings.OpenInMemory();
  db.LoadSettings(settings, "ArchDatabase");
  const std::string folder = options.archive.toStdString();
  const int index = db.AddLocation(folder, static_cast<uint64_t>(options.spaceMb) * kMiB,
                                   static_cast<uint64_t>(options.fileSizeMb) * kMiB, 0);
  if (index < 0) {
    *error = QStringLiteral("cannot use %1 as an archive location").arg(options.archive);
    return false;
  }
  if (db.ScanPath(folder).fileCount == 0) {
    std::vector<archive::ArchiveFileInfo> remove, create;
    if (!db.PlanLocation(index, &remove, &create) ||
        !db.ApplyLocation(index, remove, create, {}, {}, /*fastFormatting=*/true)) {
      *error = QString::fromStdString(db.MessageLog().Summary());
      return false;
    }
  }
  if (!db.Open(false)) {
    *error = QString::fromStdString(db.MessageLog().Summary());
    return false;
  }
  return true;
}

}  // namespace

int RunRecord(const QStringList& arguments) {
  QString error;
  const auto options = ParseOptions(arguments, &error);
  if (!options) {
    PrintLine(QStringLiteral("record: ") + error, true);
    return kUsage;
  }
  settings::SettingsDatabase settings;
  archive::ArchiveDatabase database(QDir::tempPath().toStdString());
  if (!OpenArchive(*options, settings, database, &error)) {
    PrintLine(QStringLiteral("record: ") + error, true);
    return kArchiveError;
  }
  int code;
  {
    Record record(*options, database);
    code = record.Run();
  }
  database.Close();
  return code;
}

}  // namespace strixc::tool
