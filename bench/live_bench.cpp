// Live pictures end to end: strixc-sim runs as a process of its own with 16 cameras at 25 pictures
// a second, and one client in this process logs in on the video channel and decodes every frame,
// as the operator station does. Measures whether the client receives every frame the server means
// to send, and what each one costs the client in CPU time (reading, framing, decoding).

#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTimer>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>

#include "net/message_socket.h"
#include "net/messages.h"
#include "net/protocol.h"
#include "archive/archive_time.h"
#include "video/frame_decoder.h"
#include "video/jpeg_codec.h"

namespace {

using namespace strixc;

constexpr int kCameras = 16;
constexpr int kFps = 25;
constexpr int kWarmUpMs = 2000;
constexpr int kMeasureMs = 20000;
constexpr int kStartTimeoutMs = 10000;

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// CPU seconds another process of ours has used so far (user + system), from /proc; 0 if unknown.
double ProcessCpuSeconds(qint64 pid) {
  FILE* f = std::fopen(QStringLiteral("/proc/%1/stat").arg(pid).toLocal8Bit().constData(), "r");
  if (!f) return 0;
  char text[1024] = {};
  const size_t n = std::fread(text, 1, sizeof text - 1, f);
  std::fclose(f);
  // The fields after the command name, which is in parentheses and may hold blanks.
  const char* p = std::strrchr(text, ')');
  if (n == 0 || !p) return 0;
  unsigned long utime = 0, stime = 0;
  if (std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime) != 2) return 0;
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// The client: the video channel's login, then every camera, decoded.
class Viewer : public net::MessageSocket {
 public:
  Viewer() {
    for (auto& decoder : decoders_) decoder = std::make_unique<video::FrameDecoder>(codec_);
  }

  // Frames decoded, and the sum of their delay behind the wall clock (archive units), since the
  // last call.
  struct Window {
    uint64_t frames = 0;
    uint64_t lag = 0;
    uint64_t bytes = 0;
  };
  Window Take() {
    const Window w = window_;
    window_ = Window{};
    return w;
  }
  bool Failed() const { return failed_; }
  void Finish() {
    finished_ = true;
    Close();
  }

 protected:
  void OnConnected() override { Send(net::video_out::kLogin, net::BuildLogin({"demo", "demo"}, true)); }

  bool OnMessage(uint32_t code, const uint8_t* payload, size_t length) override {
    if (code == net::video_in::kLoginReply) {
      const auto reply = net::ParseServerDescription(payload, length);
      if (!reply || reply->accepted != 1) return false;
      Send(net::video_out::kVisibleCameras, net::BuildVisibleCameras(0xFFFF));
      Send(net::video_out::kTransmitSwitch, net::BuildTransmitSwitch(true));
      return true;
    }
    if (code != net::video_in::kFrame) return true;
    const auto frame = net::ParseFrame(payload, length);
    if (!frame || frame->header.camera >= kCameras) return false;
    decoders_[frame->header.camera]->Decode(frame->data, frame->header.dataLength,
                                            static_cast<int>(net::KindOfFrame(frame->header.flags)),
                                            frame->header.time);
    const uint64_t now = archive::ArchiveTimeNow();
    ++window_.frames;
    window_.bytes += length;
    window_.lag += now > frame->header.time ? now - frame->header.time : 0;
    return true;
  }

  void OnClosed(int error, const QString& text) override {
    if (finished_) return;
    failed_ = true;
    std::fprintf(stderr, "bench_live: video channel closed (%d) %s\n", error, qPrintable(text));
    QCoreApplication::exit(1);
  }

 private:
  video::JpegCodec codec_;
  std::array<std::unique_ptr<video::FrameDecoder>, kCameras> decoders_;
  Window window_;
  bool failed_ = false;
  bool finished_ = false;
};

double LagMs(const Viewer::Window& w) {
  return w.frames ? static_cast<double>(w.lag) / static_cast<double>(w.frames) / 1e4 : 0.0;
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);

  QProcess sim;
  sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  sim.start(QCoreApplication::applicationDirPath() + QStringLiteral("/strixc-sim"),
            {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--cameras"), QString::number(kCameras),
             QStringLiteral("--size"), QStringLiteral("352x288"), QStringLiteral("--fps"), QString::number(kFps)});
  if (!sim.waitForStarted(kStartTimeoutMs) || !sim.waitForReadyRead(kStartTimeoutMs)) {
    std::fprintf(stderr, "bench_live: strixc-sim did not start next to the benchmark\n");
    return 1;
  }
  QByteArray line = sim.readLine();
  while (!line.endsWith('\n') && sim.waitForReadyRead(kStartTimeoutMs)) line += sim.readLine();
  const QJsonObject ports = QJsonDocument::fromJson(line).object();
  const int port = ports.value(QStringLiteral("port")).toInt();
  if (port <= 0) {
    std::fprintf(stderr, "bench_live: no port in '%s'\n", line.trimmed().constData());
    return 1;
  }

  Viewer viewer;
  viewer.ConnectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(port));

  // Warm-up, then the measured span; the delay behind the wall clock is sampled over its first and
  // its last second, to see whether a backlog builds up.
  double cpu = 0, serverCpu = 0, seconds = 0;
  QElapsedTimer span;
  Viewer::Window total, firstSecond, lastSecond;
  const auto at = [&app](int ms, auto work) { QTimer::singleShot(ms, Qt::PreciseTimer, &app, work); };
  at(kWarmUpMs, [&] {
    viewer.Take();
    cpu = CpuSeconds();
    serverCpu = ProcessCpuSeconds(sim.processId());
    span.start();
  });
  at(kWarmUpMs + 1000, [&] { firstSecond = viewer.Take(); });
  at(kWarmUpMs + kMeasureMs - 1000, [&] {
    const Viewer::Window w = viewer.Take();
    total.frames = firstSecond.frames + w.frames;
    total.bytes = firstSecond.bytes + w.bytes;
  });
  at(kWarmUpMs + kMeasureMs, [&] {
    lastSecond = viewer.Take();
    seconds = span.nsecsElapsed() / 1e9;
    cpu = CpuSeconds() - cpu;
    serverCpu = ProcessCpuSeconds(sim.processId()) - serverCpu;
    total.frames += lastSecond.frames;
    total.bytes += lastSecond.bytes;
    QCoreApplication::exit(0);
  });
  const int code = QCoreApplication::exec();

  viewer.Finish();
  sim.terminate();
  if (!sim.waitForFinished(kStartTimeoutMs)) sim.kill();
  if (code != 0 || viewer.Failed() || seconds <= 0 || total.frames == 0) {
    std::fprintf(stderr, "bench_live: no frames measured\n");
    return 1;
  }

  const double fps = static_cast<double>(total.frames) / seconds;
  std::printf("%d cameras at %d fps, 352x288, %.1f s measured after %.1f s of warm-up\n", kCameras, kFps, seconds,
              kWarmUpMs / 1000.0);
  std::printf("received:  %.1f frames/s of %d sent, %.2f MB/s\n", fps, kCameras * kFps,
              static_cast<double>(total.bytes) / seconds / 1e6);
  std::printf("delay behind the wall clock: %.1f ms in the first second, %.1f ms in the last\n", LagMs(firstSecond),
              LagMs(lastSecond));
  std::printf("client CPU: %.2f s, %.1f%% of one core; strixc-sim CPU: %.1f%% of one core\n", cpu,
              100.0 * cpu / seconds, 100.0 * serverCpu / seconds);
  std::printf("RESULT live16_received_vs_sent %.3f ratio target >= 0.99\n", fps / (kCameras * kFps));
  std::printf("RESULT live16_cpu_us_per_frame %.0f us target <= 1000\n", cpu * 1e6 / static_cast<double>(total.frames));
  return 0;
}
