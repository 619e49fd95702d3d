#include "export_fixture.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <cmath>
#include <cstring>

#include "archive/archive_time.h"
#include "export/export_run.h"
#include "video/picture.h"

namespace strixc::exporting::test {

sim::SceneArchiveOptions ExportArchive::options_;
sim::SceneArchiveResult ExportArchive::archive_;
std::unique_ptr<QTemporaryDir> ExportArchive::archiveDir_;
std::unique_ptr<archive::ArchiveDatabase> ExportArchive::db_;

void EnsureApplication() {
  static int argc = 1;
  static char name[] = "test_export";
  static char* argv[] = {name, nullptr};
  if (QCoreApplication::instance() == nullptr) new QCoreApplication(argc, argv);
}

bool HaveFfmpegTools() {
  return !QStandardPaths::findExecutable("ffmpeg").isEmpty() && !QStandardPaths::findExecutable("ffprobe").isEmpty();
}

namespace {

QByteArray RunTool(const QString& program, const QStringList& arguments) {
  QProcess p;
  p.start(program, arguments);
  if (!p.waitForFinished(60000) || p.exitCode() != 0) return {};
  return p.readAllStandardOutput();
}

}  // namespace

Probe ProbeFile(const std::string& file) {
  Probe probe;
  const QByteArray out = RunTool("ffprobe", {"-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                                             "stream=codec_name,width,height,nb_read_frames:format=duration", "-of",
                                             "default=nw=1", QString::fromStdString(file)});
  for (const QByteArray& line : out.split('\n')) {
    const int eq = line.indexOf('=');
    if (eq < 0) continue;
    const QByteArray key = line.left(eq), value = line.mid(eq + 1);
    if (key == "codec_name") probe.codec = value.toStdString();
    if (key == "width") probe.width = value.toInt();
    if (key == "height") probe.height = value.toInt();
    if (key == "nb_read_frames") probe.frames = value.toLong();
    if (key == "duration") probe.duration = value.toDouble();
  }
  probe.ok = !probe.codec.empty();
  return probe;
}

std::vector<uint8_t> FirstPictureOf(const std::string& file, int width, int height) {
  const QByteArray out = RunTool("ffmpeg", {"-v", "error", "-i", QString::fromStdString(file), "-frames:v", "1",
                                            "-f", "rawvideo", "-pix_fmt", "bgr24", "-"});
  if (out.size() != width * height * 3) return {};
  return std::vector<uint8_t>(out.begin(), out.end());
}

double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  if (a.size() != b.size() || a.empty()) return 0;
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    const double d = static_cast<double>(a[i]) - b[i];
    sum += d * d;
  }
  if (sum == 0) return 99;
  return 10 * std::log10(255.0 * 255.0 / (sum / static_cast<double>(a.size())));
}

bool FileExists(const std::string& file) { return QFileInfo::exists(QString::fromStdString(file)); }

void ExportArchive::SetUpTestSuite() {
  EnsureApplication();
  archiveDir_ = std::make_unique<QTemporaryDir>();
  options_.folder = archiveDir_->filePath("archive").toStdString();
  options_.start = *archive::TimeOfFields({2026, 3, 10, 9, 0, 0, 0});
  options_.duration = 4 * archive::kUnitsPerSecond;
  options_.cameraMask = (1u << kMoving) | (1u << kSlow);
  options_.movingMask = (1u << kMoving) | (1u << kSlow);
  options_.width = kWidth;
  options_.height = kHeight;
  options_.cameraFps[kSlow] = 5;
  archive_ = sim::WriteSceneArchive(options_);
  ASSERT_TRUE(archive_.ok) << archive_.error;
  db_ = archive::ArchiveDatabase::ForFolder(options_.folder, archiveDir_->path().toStdString());
  ASSERT_TRUE(db_);
}

void ExportArchive::TearDownTestSuite() {
  db_.reset();
  archiveDir_.reset();
}

namespace {

// Passes everything to an AviWriter and keeps what the test checks against.
class TappedWriter : public playback::ExportWriter {
 public:
  TappedWriter(std::unique_ptr<AviWriter> writer, Exported* out) : writer_(std::move(writer)), out_(out) {}
  bool Open(QObject* owner, int fps) override { return writer_->Open(owner, fps); }
  bool Write(const video::BitmapInfoHeader& header, const uint8_t* bits, uint64_t time) override {
    if (out_->times.empty()) {
      // Bottom-up rows to the top-down order ffmpeg decodes into.
      const int w = header.biWidth, h = header.biHeight, stride = video::PictureStride(w);
      for (int y = h - 1; y >= 0; --y) out_->firstPicture.insert(out_->firstPicture.end(), bits + y * stride, bits + y * stride + 3 * w);
    }
    out_->times.push_back(time);
    return writer_->Write(header, bits, time);
  }
  int Percent() override { return writer_->Percent(); }
  uint64_t EndTime() override { return writer_->EndTime(); }
  bool Finish() override { return writer_->Finish(); }

 private:
  std::unique_ptr<AviWriter> writer_;
  Exported* out_;
};

}  // namespace

Exported ExportArchive::Export(const std::string& file, int camera, uint64_t from, uint64_t to,
                               ExportCompression compression) {
  Exported out;
  ExportRun run(db_.get());
  auto factory = [&](int c, uint64_t start, uint64_t end, const std::string& name) {
    auto writer = std::make_unique<AviWriter>(c, start, end, name, compression);
    writer->SetOnClosed([&](const ExportSummary& s) { out.summary = s; });
    return std::make_unique<TappedWriter>(std::move(writer), &out);
  };
  out.result = run.Run(file, camera, from, to, factory, {});
  return out;
}

}  // namespace strixc::exporting::test
