// Export: frames per second of strixc's export (archive read, JPEG decode, conversion, encoding,
// AVI muxing, through the playback source's export mode) against the ffmpeg program encoding the
// same decoded pictures, fed as raw BGR from a file, with the same encoder and settings, measured
// in the same run. Best of three each, alternating.

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "archive/archive_database.h"
#include "archive/archive_time.h"
#include "export/avi_writer.h"
#include "export/export_run.h"
#include "sim/scene_archive_writer.h"
#include "video/picture.h"

using namespace strixc;

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint64_t kSecond = archive::kUnitsPerSecond;
constexpr int kWidth = 352;
constexpr int kHeight = 288;
constexpr int kFps = 15;

// Keeps every picture given to the writer as top-down BGR rows, the raw input ffmpeg reads.
class CopyingWriter : public playback::ExportWriter {
 public:
  explicit CopyingWriter(std::ofstream* raw, uint64_t end) : raw_(raw), end_(end) {}
  bool Open(QObject*, int) override { return true; }
  bool Write(const video::BitmapInfoHeader& h, const uint8_t* bits, uint64_t) override {
    const int stride = video::PictureStride(h.biWidth);
    for (int y = h.biHeight - 1; y >= 0; --y) raw_->write(reinterpret_cast<const char*>(bits + y * stride), 3 * h.biWidth);
    ++pictures;
    return true;
  }
  int Percent() override { return 0; }
  uint64_t EndTime() override { return end_; }
  static inline int pictures = 0;

 private:
  std::ofstream* raw_;
  uint64_t end_;
};

struct Encoder {
  const char* codec;
  const char* extension;
  QStringList ffmpegSettings;  // what ExportEncoder sets for the default quality
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (QStandardPaths::findExecutable("ffmpeg").isEmpty()) {
    std::fprintf(stderr, "export_bench: the ffmpeg program is needed as the baseline\n");
    return 1;
  }
  QTemporaryDir dir;
  sim::SceneArchiveOptions o;
  o.folder = dir.filePath("archive").toStdString();
  o.start = *archive::TimeOfFields({2026, 1, 15, 12, 0, 0, 0});
  o.duration = 20 * kSecond;
  o.cameraMask = 1;
  o.movingMask = 1;
  o.width = kWidth;
  o.height = kHeight;
  o.fps = 25;
  o.space = 32 * archive::kMiB;
  o.fileSize = 4 * archive::kMiB;
  o.loop = 4 * kSecond;
  const sim::SceneArchiveResult written = sim::WriteSceneArchive(o);
  if (!written.ok) {
    std::fprintf(stderr, "export_bench: cannot write the archive: %s\n", written.error.c_str());
    return 1;
  }
  const auto db = archive::ArchiveDatabase::ForFolder(o.folder, dir.path().toStdString());
  const uint64_t from = o.start, to = o.start + o.duration;

  // The decoded pictures, as the export hands them to its writer.
  const std::string raw = dir.filePath("pictures.bgr").toStdString();
  {
    std::ofstream out(raw, std::ios::binary);
    exporting::ExportRun run(db.get());
    run.Run(dir.filePath("copy.avi").toStdString(), 0, from, to,
            [&](int, uint64_t, uint64_t end, const std::string&) { return std::make_unique<CopyingWriter>(&out, end); },
            {});
  }
  const int pictures = CopyingWriter::pictures;
  std::printf("archive: %d pictures of %dx%d\n", pictures, kWidth, kHeight);

  const QString q = QString::number(exporting::QualityToQScale(exporting::ExportCompression::kDefaultQuality));
  const QString crf = QString::number(exporting::QualityToCrf(exporting::ExportCompression::kDefaultQuality));
  const QString g = QString::number(exporting::ExportCompression::kDefaultKeyFrameInterval);
  const Encoder encoders[] = {
      {"mjpeg", "avi", {"-c:v", "mjpeg", "-q:v", q, "-g", g, "-pix_fmt", "yuvj420p"}},
      {"mpeg4", "avi", {"-c:v", "mpeg4", "-q:v", q, "-g", g, "-pix_fmt", "yuv420p"}},
      {"libx264", "mkv", {"-c:v", "libx264", "-crf", crf, "-preset", "veryfast", "-g", g, "-pix_fmt", "yuv420p"}},
  };
  for (const Encoder& e : encoders) {
    const exporting::Container container = exporting::ContainerOf(std::string("x.") + e.extension);
    if (!exporting::ExportCodecAvailable(container, e.codec)) continue;
    double ours = 0, theirs = 0;
    uint64_t frames = 0;
    for (int round = 0; round < 3; ++round) {
      const std::string file = dir.filePath(QStringLiteral("ours.%1").arg(e.extension)).toStdString();
      exporting::ExportSummary summary;
      exporting::ExportRun run(db.get());
      auto t0 = Clock::now();
      const int result = run.Run(file, 0, from, to, exporting::MakeAviWriterFactory(exporting::ExportCompression{e.codec},
                                                                   [&](const exporting::ExportSummary& s) { summary = s; }),
                                 {});
      const double s = std::chrono::duration<double>(Clock::now() - t0).count();
      if (result != 0 || !summary.complete) {
        std::fprintf(stderr, "export_bench: the export failed: %s\n", summary.error.c_str());
        return 1;
      }
      frames = summary.frames;
      ours = std::max(ours, static_cast<double>(summary.frames) / s);

      // ffmpeg's own start (loading its libraries, opening the files) is not encoding: a run that
      // stops after one picture is taken off.
      const auto runFfmpeg = [&](const QStringList& extra) -> double {
        QProcess ffmpeg;
        const QStringList args = QStringList{"-v", "error", "-y", "-f", "rawvideo", "-pix_fmt", "bgr24", "-s",
                                             QStringLiteral("%1x%2").arg(kWidth).arg(kHeight), "-r",
                                             QString::number(kFps), "-i", QString::fromStdString(raw)} +
                                 e.ffmpegSettings + extra +
                                 QStringList{dir.filePath(QStringLiteral("theirs.%1").arg(e.extension))};
        const auto start = Clock::now();
        ffmpeg.start("ffmpeg", args);
        if (!ffmpeg.waitForFinished(300000) || ffmpeg.exitCode() != 0) {
          std::fprintf(stderr, "export_bench: ffmpeg failed: %s\n", ffmpeg.readAllStandardError().constData());
          return -1;
        }
        return std::chrono::duration<double>(Clock::now() - start).count();
      };
      const double whole = runFfmpeg({});
      const double startup = runFfmpeg({"-frames:v", "1"});
      if (whole < 0 || startup < 0) return 1;
      theirs = std::max(theirs, (pictures - 1) / std::max(whole - startup, 1e-3));
    }
    std::printf("%s: export %llu frames at %.0f/s; ffmpeg %d frames at %.0f/s\n", e.codec,
                static_cast<unsigned long long>(frames), ours, pictures, theirs);
    if (std::string(e.codec) == "mjpeg") {
      std::printf("RESULT export_fps_vs_ffmpeg %.3f ratio target >= 0.8\n", ours / theirs);
    } else {
      std::printf("RESULT export_fps_vs_ffmpeg_%s %.3f ratio\n", e.codec, ours / theirs);
    }
  }
  return 0;
}
