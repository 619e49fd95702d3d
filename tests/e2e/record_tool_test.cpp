// strixc-tool record against a strixc-sim process, as an operator's recording session runs, and
// killed at random moments: the archive must always open, read back and verify.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <vector>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

namespace {

class RecordToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim_.setProgram(QStringLiteral(STRIXC_SIM));
    sim_.setArguments({"--port", "0", "--cameras", "4", "--fps", "25"});
    sim_.start();
    ASSERT_TRUE(sim_.waitForReadyRead(10000));
    port_ = QString::number(QJsonDocument::fromJson(sim_.readLine()).object().value("port").toInt());
    ASSERT_NE(port_, "0");
    archive_ = dir_.filePath("archive");
  }

  void TearDown() override {
    sim_.terminate();
    sim_.waitForFinished(5000);
  }

  QStringList RecordArguments(int seconds) {
    return {"record", "--host", "127.0.0.1", "--port", port_, "--user", "demo", "--password", "demo",
            "--archive", archive_, "--seconds", QString::number(seconds), "--space-mb", "3", "--file-size-mb", "1"};
  }

  // `zone`: the tool's TZ; `fakeStart`: a faked clock for it that starts there and runs on
  // (faketime's date text).
  int Tool(const QStringList& arguments, QByteArray* out = nullptr, const QString& zone = {},
           const QString& fakeStart = {}) {
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!zone.isEmpty()) environment.insert("TZ", zone);
    if (!fakeStart.isEmpty()) {
      // libfaketime comes before the sanitizer's runtime in the library list.
      const QString asan = environment.value("ASAN_OPTIONS");
      environment.insert("ASAN_OPTIONS", (asan.isEmpty() ? QString() : asan + ":") + "verify_asan_link_order=0");
    }
    tool.setProcessEnvironment(environment);
    if (fakeStart.isEmpty()) {
      tool.start(QStringLiteral(STRIXC_TOOL), arguments);
    } else {
      tool.start(QStringLiteral("faketime"), QStringList{fakeStart, QStringLiteral(STRIXC_TOOL)} + arguments);
    }
    EXPECT_TRUE(tool.waitForFinished(60000));
    if (out) *out = tool.readAllStandardOutput();
    return tool.exitCode();
  }

  QProcess sim_;
  QString port_;
  QTemporaryDir dir_;
  QString archive_;
};

TEST_F(RecordToolTest, RecordsLiveVideoWithTheSwitchEvents) {
  QByteArray out;
  ASSERT_EQ(Tool(RecordArguments(2), &out), 0) << out.toStdString();
  const QJsonObject result = QJsonDocument::fromJson(out).object();
  EXPECT_GT(result.value("records").toInt(), 20);
  EXPECT_EQ(result.value("cameras").toInt(), 0xF);
  EXPECT_FALSE(result.value("files").toArray().isEmpty());

  EXPECT_EQ(Tool({"archive", "verify", archive_}, &out), 0) << out.toStdString();
  // The station's switch: each camera of the connection opens with "Recording enabled" and closes
  // with "Recording disabled", once.
  for (int camera = 0; camera < 4; ++camera) {
    ASSERT_EQ(Tool({"archive", "dump", archive_, "--camera", QString::number(camera)}, &out), 0);
    const QList<QByteArray> lines = out.trimmed().split('\n');
    ASSERT_GT(lines.size(), 3) << camera;
    EXPECT_TRUE(lines.first().contains("Recording enabled")) << lines.first().toStdString();
    EXPECT_TRUE(lines.last().contains("Recording disabled")) << lines.last().toStdString();
    EXPECT_EQ(out.count("\"Recording "), 2) << camera;
  }
}

TEST_F(RecordToolTest, KilledAtAnyMomentLeavesAnArchiveThatVerifies) {
  qsizetype recorded = 0;
  for (int round = 0; round < 4; ++round) {
    QProcess record;
    record.start(QStringLiteral(STRIXC_TOOL), RecordArguments(30));
    ASSERT_TRUE(record.waitForStarted(10000));
    QThread::msleep(static_cast<unsigned long>(900 + 430 * round));
    ::kill(static_cast<pid_t>(record.processId()), SIGKILL);
    record.waitForFinished(10000);

    QByteArray out;
    EXPECT_EQ(Tool({"archive", "verify", archive_}, &out), 0) << "round " << round << ": " << out.toStdString();
    EXPECT_EQ(Tool({"archive", "dump", archive_}, &out), 0) << "round " << round;
    recorded = std::max(recorded, out.count('\n'));
  }
  EXPECT_GT(recorded, 10) << "the sessions recorded before they were killed";
}

// Warsaw's clocks change at 01:00 UTC: on 2026-03-29 from 02:00 to 03:00, on 2026-10-25 from 03:00
// back to 02:00. A session recorded across each change keeps real steps between its records (the
// archive counts standard time), and the dump shows them on the wall clock.
TEST_F(RecordToolTest, RecordingAcrossTheDaylightSavingChangesKeepsRealTimeSteps) {
  if (QStandardPaths::findExecutable("faketime").isEmpty()) GTEST_SKIP() << "faketime is not installed";
  struct Change {
    const char* name;
    const char* before;  // wall-clock text of the records before the change
    const char* after;   // and after it
  };
  for (const Change& change : {Change{"2026-03-29", "2026-03-29T01:59:5", "2026-03-29T03:00:0"},
                               Change{"2026-10-25", "2026-10-25T02:59:5", "2026-10-25T02:00:0"}}) {
    QTemporaryDir dir;
    archive_ = dir.filePath("archive");
    QByteArray out;
    ASSERT_EQ(Tool(RecordArguments(6), &out, "Europe/Warsaw", QString(change.name) + " 00:59:57 UTC"), 0)
        << change.name << ": " << out.toStdString();
    ASSERT_EQ(Tool({"archive", "dump", archive_, "--camera", "0"}, &out, "Europe/Warsaw"), 0);
    const QList<QByteArray> lines = out.trimmed().split('\n');
    ASSERT_GT(lines.size(), 50) << change.name;
    std::vector<qint64> times;
    // Read as text: the units are beyond a double's exact integers.
    const QRegularExpression units(QStringLiteral("\"timeUnits\":(\\d+)"));
    for (const QByteArray& line : lines) times.push_back(units.match(QString::fromUtf8(line)).captured(1).toLongLong());
    // A clock that went back would show as the recorder's clamp: each record one unit after the one
    // written before it, a few units after the camera's last one. Every real record costs a write,
    // so honest steps are microseconds at least, however the frames bunch on a loaded machine. The
    // session also spans its seconds on the archive's clock (an hour more in spring was the wall
    // clock's jump, a session cut short in autumn the clamp).
    int clampedSteps = 0;
    for (size_t i = 1; i < times.size(); ++i) {
      EXPECT_GT(times[i], times[i - 1]) << change.name << " record " << i;
      clampedSteps += times[i] - times[i - 1] < 10;
    }
    EXPECT_EQ(clampedSteps, 0) << change.name;
    EXPECT_GT(times.back() - times.front(), 4 * 10'000'000LL) << change.name;
    EXPECT_LT(times.back() - times.front(), 60 * 10'000'000LL) << change.name;
    EXPECT_TRUE(lines.first().contains(QByteArray("\"time\":\"") + change.before)) << lines.first().toStdString();
    EXPECT_TRUE(lines.last().contains(QByteArray("\"time\":\"") + change.after)) << lines.last().toStdString();
  }
}

}  // namespace
