#include "export_command.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <optional>
#include <string>
#include <vector>

#include "archive/archive_database.h"
#include "archive_folders.h"
#include "command_help.h"
#include "export/avi_writer.h"
#include "export/export_run.h"
#include "json_writer.h"
#include "tool_session.h"

namespace strixc::tool {

namespace {

constexpr int kArchiveMissing = 8;
constexpr int kWriteError = 11;
constexpr int kCameras = 16;
constexpr int kDefaultFps = 15;

struct ExportOptions {
  std::vector<std::string> folders;
  int camera = 0;
  uint64_t from = 0;
  uint64_t to = 0;
  std::string out;
  int fps = kDefaultFps;
  exporting::ExportCompression compression;
};

constexpr CommandHelp kHelp = {
    "export",
    "strixc-tool export DIR... --camera C --from T --to T --out FILE [--fps N] [--codec NAME]",
    "Exports camera C of the local archive in the folders DIR (one archive, each folder a location)\n"
    "from T to T into FILE, as the archive browser's AVI export does: the pictures are played as fast\n"
    "as they decode and compressed with the encoder NAME (mjpeg, mpeg4, libx264, ffv1, rawvideo, as\n"
    "this FFmpeg build has them; default mjpeg for .avi, libx264 for .mkv and .mp4, else mpeg4). The\n"
    "container follows the extension: .mkv Matroska, .mp4 MPEG-4, anything else AVI. An AVI runs at N\n"
    "frames a second (default 15), repeating a picture up to five times to fill a gap; Matroska and\n"
    "MPEG-4 keep each picture's recording time. Prints {\"event\":\"progress\",\"percent\":P} whenever\n"
    "the percentage changes, then {\"file\",\"camera\",\"pictures\",\"frames\",\"width\",\"height\",\n"
    "\"codec\",\"fps\",\"result\"} (result 0 completed, 2 write error). Times T are local\n"
    "YYYY-MM-DDTHH:MM:SS[.fff] or raw archive units @N. A server's archive (--host) cannot be exported\n"
    "by this command yet. Exit codes: 0 done, 1 bad command line, 8 a folder is missing or holds no\n"
    "recordings, 11 the file could not be written (nothing half-written is left).",
};

void AddOptions(QCommandLineParser& parser) {
  parser.addOptions({
      {"camera", "The camera exported (0..15).", "C"},
      {"from", "Start: local time, or @UNITS of the archive.", "T"},
      {"to", "End: local time, or @UNITS of the archive.", "T"},
      {"out", "The file written (.avi, .mkv or .mp4).", "FILE"},
      {"fps", "Frames per second of an AVI file (1..60, default 15).", "N"},
      {"codec", "The encoder (mjpeg, mpeg4, libx264, ffv1, rawvideo).", "NAME"},
      {"host", "Not available yet: exporting a server's archive.", "H"},
      {"port", "Not available yet.", "P"},
      {"user", "Not available yet.", "U"},
      {"password", "Not available yet.", "W"},
  });
}

std::optional<ExportOptions> ReadOptions(const QCommandLineParser& parser, QString* error) {
  ExportOptions o;
  if (parser.isSet("host") || parser.isSet("port") || parser.isSet("user") || parser.isSet("password")) {
    *error = QStringLiteral("exporting a server's archive (--host) is not available yet; give archive folders");
    return std::nullopt;
  }
  if (parser.positionalArguments().isEmpty()) {
    *error = QStringLiteral("expected an archive folder");
    return std::nullopt;
  }
  if (!ReadArchiveFolders(parser.positionalArguments(), &o.folders, error)) return std::nullopt;
  for (const char* required : {"camera", "from", "to", "out"}) {
    if (!parser.isSet(required)) {
      *error = QStringLiteral("missing --%1").arg(QString::fromUtf8(required));
      return std::nullopt;
    }
  }
  if (!ReadNumberOption(parser, "camera", 0, kCameras - 1, &o.camera, error)) return std::nullopt;
  if (!ReadArchiveTimeOption(parser, "from", &o.from, error) || !ReadArchiveTimeOption(parser, "to", &o.to, error))
    return std::nullopt;
  if (o.to < o.from) {
    *error = QStringLiteral("--to is earlier than --from");
    return std::nullopt;
  }
  const QString out = parser.value("out");
  if (out.isEmpty() || QFileInfo(out).isDir()) {
    *error = QStringLiteral("--out takes a file name");
    return std::nullopt;
  }
  o.out = QDir::cleanPath(QFileInfo(out).absoluteFilePath()).toStdString();
  if (parser.isSet("fps") && !ReadNumberOption(parser, "fps", 1, 60, &o.fps, error)) return std::nullopt;
  const exporting::Container container = exporting::ContainerOf(o.out);
  o.compression.codec =
      parser.isSet("codec") ? parser.value("codec").toStdString() : exporting::DefaultExportCodec(container);
  if (!exporting::ExportCodecAvailable(container, o.compression.codec)) {
    QStringList offered;
    for (const std::string& c : exporting::ExportCodecs(container)) offered << QString::fromStdString(c);
    *error = QStringLiteral("--codec %1 is not available for this file type (available: %2)")
                 .arg(QString::fromStdString(o.compression.codec), offered.join(QStringLiteral(", ")));
    return std::nullopt;
  }
  return o;
}

// The source opens its writer at its own fixed rate; the command's --fps is the one the file gets.
class RateWriter : public playback::ExportWriter {
 public:
  RateWriter(std::unique_ptr<exporting::AviWriter> writer, int fps) : writer_(std::move(writer)), fps_(fps) {}
  bool Open(QObject* owner, int) override { return writer_->Open(owner, fps_); }
  bool Write(const video::BitmapInfoHeader& header, const uint8_t* bits, uint64_t time) override {
    return writer_->Write(header, bits, time);
  }
  int Percent() override { return writer_->Percent(); }
  uint64_t EndTime() override { return writer_->EndTime(); }
  bool Finish() override { return writer_->Finish(); }

 private:
  std::unique_ptr<exporting::AviWriter> writer_;
  int fps_;
};

}  // namespace

int RunExport(const QStringList& arguments) {
  QCommandLineParser parser;
  AddOptions(parser);
  if (const auto end = ParseCommand(parser, arguments, kHelp)) return *end;
  QString error;
  const auto options = ReadOptions(parser, &error);
  if (!options) {
    PrintLine(QStringLiteral("export: ") + error, true);
    return kUsage;
  }
  std::unique_ptr<archive::ArchiveDatabase> db = OpenArchiveFolders(options->folders, &error);
  if (db && (!db->IsOpen() || db->Latest() == 0)) {
    error = QStringLiteral("no recordings in %1").arg(QString::fromStdString(options->folders.front()));
    db.reset();
  }
  if (!db) {
    PrintLine(QStringLiteral("export: ") + error, true);
    return kArchiveMissing;
  }

  exporting::ExportSummary summary;
  summary.codec = options->compression.codec;
  auto factory = [&](int camera, uint64_t start, uint64_t end, const std::string& fileName) {
    auto writer = std::make_unique<exporting::AviWriter>(camera, start, end, fileName, options->compression);
    writer->SetOnClosed([&](const exporting::ExportSummary& s) {
      summary = s;
    });
    return std::make_unique<RateWriter>(std::move(writer), options->fps);
  };
  exporting::ExportRun run(db.get());
  int result = run.Run(options->out, options->camera, options->from, options->to, factory, [](int percent) {
    PrintLine(JsonObject().Add("event", "progress").Add("percent", percent).Text());
  });
  // Not started: the file could not be created.
  if (result < 0) result = playback::kExportWriteError;
  if (result == playback::kExportWriteError && !summary.error.empty())
    PrintLine(QStringLiteral("export: ") + QString::fromStdString(summary.error), true);
  JsonObject json;
  json.Add("file", options->out)
      .Add("camera", options->camera)
      .Add("pictures", static_cast<long long>(summary.pictures))
      .Add("frames", static_cast<long long>(summary.frames))
      .Add("width", summary.width)
      .Add("height", summary.height)
      .Add("codec", summary.codec)
      .Add("fps", options->fps)
      .Add("result", result);
  PrintLine(json.Text());
  if (result == playback::kExportWriteError) return kWriteError;
  return result == playback::kExportCompleted ? kOk : kUsage;
}

}  // namespace strixc::tool
