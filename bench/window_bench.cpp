// The operator station as it runs in a control room: strixc-sim sends 16 cameras of 352x288 at 25
// pictures a second, strixc shows them in the 16-camera layout (offscreen), and this benchmark
// reads the station's CPU time and resident memory from /proc after 30 and 60 seconds.

#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <cstring>

#include "settings/settings_database.h"
#include "settings/settings_key.h"

namespace {

constexpr int kStartTimeoutMs = 10000;
constexpr int kFirstSampleS = 30;
constexpr int kSecondSampleS = 60;

// CPU seconds (user + system) of a process, from /proc; -1 if unknown.
double ProcessCpuSeconds(qint64 pid) {
  FILE* f = std::fopen(QStringLiteral("/proc/%1/stat").arg(pid).toLocal8Bit().constData(), "r");
  if (!f) return -1;
  char text[1024] = {};
  const size_t n = std::fread(text, 1, sizeof text - 1, f);
  std::fclose(f);
  const char* p = std::strrchr(text, ')');
  if (n == 0 || !p) return -1;
  unsigned long utime = 0, stime = 0;
  if (std::sscanf(p + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime, &stime) != 2) return -1;
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Resident memory of a process in MiB, from /proc; -1 if unknown.
double ResidentMiB(qint64 pid) {
  QFile status(QStringLiteral("/proc/%1/status").arg(pid));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
  }
  return -1;
}

void Wait(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QThread::msleep(50);
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  const QString bin = QCoreApplication::applicationDirPath();

  QProcess sim;
  sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  sim.start(bin + "/strixc-sim", {"--port", "0", "--cameras", "16", "--size", "352x288", "--fps", "25"});
  if (!sim.waitForStarted(kStartTimeoutMs) || !sim.waitForReadyRead(kStartTimeoutMs)) {
    std::fprintf(stderr, "bench_window: strixc-sim did not start\n");
    return 1;
  }
  const int port = QJsonDocument::fromJson(sim.readLine()).object().value("port").toInt();

  // A profile whose language is chosen already, so that nothing waits for an operator.
  QTemporaryDir profile;
  {
    strixc::settings::SettingsDatabase db;
    db.Open(strixc::settings::SettingsDatabase::DefaultPath(profile.path().toStdString()));
    strixc::settings::SettingsKey(db).WriteDword("Language", 0);
  }
  QProcess station;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  station.setProcessEnvironment(env);
  station.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  station.start(bin + "/strixc", {"--profile", profile.path(), "--quit-after", QString::number(kSecondSampleS + 5),
                                  "demo", "demo", "127.0.0.1", QString::number(port)});
  if (!station.waitForStarted(kStartTimeoutMs)) {
    std::fprintf(stderr, "bench_window: strixc did not start\n");
    return 1;
  }
  const qint64 pid = station.processId();
  Wait(kFirstSampleS * 1000);
  const double cpu30 = ProcessCpuSeconds(pid);
  const double rss30 = ResidentMiB(pid);
  Wait((kSecondSampleS - kFirstSampleS) * 1000);
  const double cpu60 = ProcessCpuSeconds(pid);
  const double rss60 = ResidentMiB(pid);
  station.waitForFinished(15000);
  sim.terminate();
  sim.waitForFinished(5000);
  if (cpu30 < 0 || cpu60 < 0 || rss60 < 0) {
    std::fprintf(stderr, "bench_window: could not read the station's figures\n");
    return 1;
  }
  std::printf("window16: %.1f MiB after %d s, %.1f MiB after %d s\n", rss30, kFirstSampleS, rss60, kSecondSampleS);
  std::printf("RESULT window16_cpu_share %.3f share target < 0.6\n",
              (cpu60 - cpu30) / (kSecondSampleS - kFirstSampleS));
  std::printf("RESULT window16_memory_mib %.1f MiB target < 300\n", rss60);
  std::printf("RESULT window16_memory_growth_mib %.1f MiB target < 10\n", rss60 - rss30);
  return 0;
}
