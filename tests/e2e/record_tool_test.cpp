// strixc-tool record against a strixc-sim process, as an operator's recording session runs, and
// killed at random moments: the archive must always open, read back and verify.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
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

  int Tool(const QStringList& arguments, QByteArray* out = nullptr) {
    QProcess tool;
    tool.start(QStringLiteral(STRIXC_TOOL), arguments);
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

}  // namespace
