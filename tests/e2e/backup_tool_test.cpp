// strixc-tool backup as an operator runs it on an archive of three simulated cameras.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <memory>
#include <vector>

#include "archive/archive_time.h"
#include "sim/scene_archive_writer.h"

namespace {

using strixc::archive::kUnitsPerSecond;

class BackupToolTest : public ::testing::Test {
 protected:
  struct Result {
    int exitCode = -1;
    std::vector<QJsonObject> lines;
    QString err;
  };

  static uint64_t Start() { return *strixc::archive::TimeOfFields({2026, 5, 4, 9, 0, 0, 0}); }
  static QString At(uint64_t time) { return QStringLiteral("@%1").arg(time); }

  static void SetUpTestSuite() {
    dir_ = std::make_unique<QTemporaryDir>();
    strixc::sim::SceneArchiveOptions o;
    o.folder = dir_->filePath("archive").toStdString();
    o.start = Start();
    o.duration = 60 * kUnitsPerSecond;
    o.cameraMask = 0b111;
    o.movingMask = 0b001;
    o.fps = 10;
    o.space = 16 * strixc::archive::kMiB;
    o.fileSize = 4 * strixc::archive::kMiB;
    const strixc::sim::SceneArchiveResult written = strixc::sim::WriteSceneArchive(o);
    ASSERT_TRUE(written.ok) << written.error;
  }
  static void TearDownTestSuite() { dir_.reset(); }

  static Result Backup(const QStringList& arguments) {
    QProcess tool;
    tool.start(QStringLiteral(STRIXC_TOOL), QStringList{QStringLiteral("backup"), dir_->filePath("archive")} + arguments);
    tool.closeWriteChannel();
    EXPECT_TRUE(tool.waitForFinished(60000));
    Result r;
    r.exitCode = tool.exitCode();
    r.err = QString::fromUtf8(tool.readAllStandardError()).trimmed();
    for (const QByteArray& line : tool.readAllStandardOutput().split('\n')) {
      if (!line.trimmed().isEmpty()) r.lines.push_back(QJsonDocument::fromJson(line).object());
    }
    return r;
  }

  static std::unique_ptr<QTemporaryDir> dir_;
};

std::unique_ptr<QTemporaryDir> BackupToolTest::dir_;

TEST_F(BackupToolTest, CopiesWithProgressAndVerifiesClean) {
  const QString dest = dir_->filePath("dest");
  const Result r = Backup({"--from", At(Start() + 10 * kUnitsPerSecond), "--to", At(Start() + 50 * kUnitsPerSecond),
                           "--cameras", "0,2", "--dest", dest, "--file-size-mb", "1"});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  ASSERT_GE(r.lines.size(), 2u);
  const QJsonObject last = r.lines.back();
  EXPECT_EQ(last.value("result").toString(), QStringLiteral("finished"));
  // Camera 0 frames 100..500 (its key frame is at exactly --from, --to is its frame 500); camera 2
  // is stamped 200 ns after camera 0, so it starts at its key frame 75 and ends with frame 499.
  const int records = last.value("records").toInt();
  EXPECT_EQ(records, 401 + 425);
  int progress = 0;
  for (const QJsonObject& line : r.lines) progress += line.value("event").toString() == QLatin1String("progress");
  EXPECT_EQ(progress, records / 500);
  EXPECT_EQ(static_cast<int>(QDir(dest).entryList({"*.vsd"}, QDir::Files).size()), last.value("files").toArray().size());

  QProcess verify;
  verify.start(QStringLiteral(STRIXC_TOOL), {QStringLiteral("archive"), QStringLiteral("verify"), dest});
  ASSERT_TRUE(verify.waitForFinished(60000));
  EXPECT_EQ(verify.exitCode(), 0) << verify.readAllStandardOutput().toStdString();
}

TEST_F(BackupToolTest, RefusalsSayTheDialogsWords) {
  const QString dest = dir_->filePath("refused");
  const QString from = At(Start() + kUnitsPerSecond);
  Result r = Backup({"--from", from, "--to", from, "--cameras", "0", "--dest", dest});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, QStringLiteral("The time range is empty !"));
  r = Backup({"--from", from, "--to", At(Start() + 2 * kUnitsPerSecond), "--cameras", "", "--dest", dest});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, QStringLiteral("There is no cam selected !"));
  for (const char* size : {"0", "abc"}) {
    r = Backup({"--from", from, "--to", At(Start() + 2 * kUnitsPerSecond), "--cameras", "1", "--dest", dest,
                "--file-size-mb", size});
    EXPECT_EQ(r.exitCode, 1) << size;
    EXPECT_EQ(r.err, QStringLiteral("Minimum file size is 1MB !"));
  }
  QFile plain(dir_->filePath("plain"));
  ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
  plain.close();
  r = Backup({"--from", from, "--to", At(Start() + 2 * kUnitsPerSecond), "--cameras", "1", "--dest",
              dir_->filePath("plain/sub")});
  EXPECT_EQ(r.exitCode, 11);
}

}  // namespace
