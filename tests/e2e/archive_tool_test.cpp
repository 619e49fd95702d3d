// strixc-tool archive as an operator runs it, on archive folders made by the tool and filled with
// records by the test writer.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <string>
#include <vector>

#include "../archive/archive_test_writer.h"
#include "archive/archive_format.h"
#include "archive/archive_time.h"

namespace {

using strixc::archive::ArchiveFileName;
using strixc::archive::kMiB;
using strixc::archive::kRecordNextRecord;
using strixc::archive::kUnitsPerSecond;
using strixc::archive::RecordType;
using strixc::archive::TimeFields;
using strixc::archive::TimeOfFields;
using strixc::archive::testing::TestArchiveWriter;

class ArchiveToolTest : public ::testing::Test {
 protected:
  struct Result {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    std::vector<QJsonObject> Lines() const {
      std::vector<QJsonObject> lines;
      for (const QByteArray& line : out.split('\n')) {
        if (line.isEmpty()) continue;
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
        lines.push_back(doc.object());
      }
      return lines;
    }
  };

  Result Tool(const QStringList& arguments) {
    QProcess tool;
    tool.start(QStringLiteral(STRIXC_TOOL), QStringList{"archive"} + arguments);
    EXPECT_TRUE(tool.waitForFinished(60000));
    return {tool.exitCode(), tool.readAllStandardOutput(), tool.readAllStandardError()};
  }

  QString Folder() const { return dir_.filePath("loc"); }
  std::string PathOf(int number) const { return (Folder() + "/").toStdString() + ArchiveFileName(number); }

  static uint64_t Start() { return *TimeOfFields(TimeFields{2026, 12, 6, 8, 30, 0, 0}); }

  // A 4 MiB location of 1 MiB files, the first two holding records: file 1 ten records of cameras
  // 0 and 1 (an event first), file 2 five more continuing it.
  void MakeArchive() {
    const Result created = Tool({"create", Folder(), "--space-mb", "4", "--file-size-mb", "1", "--fast"});
    ASSERT_EQ(created.exitCode, 0) << created.err.toStdString();
    TestArchiveWriter first(PathOf(1), kMiB);
    uint64_t t = Start();
    ASSERT_NE(first.Append(RecordType::kEvent, 0, t), 0u);
    for (int i = 1; i < 10; ++i) {
      t += kUnitsPerSecond;
      ASSERT_NE(first.Append(i % 3 == 1 ? RecordType::kKeyFrame : RecordType::kDeltaFrame, i % 2, t, 100 + i), 0u);
    }
    TestArchiveWriter second(PathOf(2), kMiB, &first);
    for (int i = 0; i < 5; ++i) {
      t += kUnitsPerSecond;
      ASSERT_NE(second.Append(RecordType::kKeyFrame, i % 2, t, 50), 0u);
    }
  }

  QByteArray Digest() const {
    QCryptographicHash hash(QCryptographicHash::Sha1);
    const QStringList names = QDir(Folder()).entryList(QDir::Files, QDir::Name);
    for (const QString& name : names) {
      QFile f(Folder() + "/" + name);
      EXPECT_TRUE(f.open(QIODevice::ReadOnly));
      hash.addData(name.toUtf8());
      hash.addData(f.readAll());
    }
    return hash.result();
  }

  QTemporaryDir dir_;
};

TEST_F(ArchiveToolTest, CreateMakesTheLocationsFiles) {
  const Result r = Tool({"create", Folder(), "--space-mb", "4", "--file-size-mb", "1", "--fast"});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  const auto lines = r.Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].value("location").toString(), Folder());
  EXPECT_EQ(lines[0].value("created").toInt(), 4);
  EXPECT_EQ(lines[0].value("deleted").toInt(), 0);
  const QJsonArray files = lines[0].value("files").toArray();
  ASSERT_EQ(files.size(), 4);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(files[i].toObject().value("number").toInt(), i + 1);
    EXPECT_EQ(files[i].toObject().value("length").toInteger(), static_cast<qint64>(kMiB));
    EXPECT_EQ(QFileInfo(files[i].toObject().value("path").toString()).size(), static_cast<qint64>(kMiB));
  }
  EXPECT_TRUE(r.err.contains("Creating file:"));
  // Freshly formatted files are sound.
  EXPECT_EQ(Tool({"verify", Folder()}).exitCode, 0);
}

TEST_F(ArchiveToolTest, InfoSummarisesTheArchive) {
  MakeArchive();
  const Result r = Tool({"info", Folder()});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  const auto lines = r.Lines();
  ASSERT_EQ(lines.size(), 1u);
  const QJsonObject info = lines[0];
  EXPECT_EQ(info.value("earliestUnits").toInteger(), static_cast<qint64>(Start()));
  EXPECT_EQ(info.value("earliest").toString(), "2026-12-06T08:30:00.000");
  EXPECT_EQ(info.value("latestUnits").toInteger(), static_cast<qint64>(Start() + 14 * kUnitsPerSecond));
  EXPECT_EQ(info.value("cameraMask").toInt(), 3);
  EXPECT_EQ(info.value("totalSize").toInteger(), static_cast<qint64>(4 * kMiB));
  const QJsonArray files = info.value("files").toArray();
  ASSERT_EQ(files.size(), 4);
  EXPECT_EQ(files[0].toObject().value("number").toInt(), 1);
  EXPECT_EQ(files[0].toObject().value("recordCount").toInt(), 10);
  EXPECT_EQ(files[1].toObject().value("number").toInt(), 2);
  EXPECT_EQ(files[1].toObject().value("recordCount").toInt(), 5);
  EXPECT_EQ(files[1].toObject().value("firstTime").toString(), "2026-12-06T08:30:10.000");
  EXPECT_EQ(files[3].toObject().value("recordCount").toInt(), 0);
  EXPECT_EQ(files[3].toObject().value("firstTime").toString(), "");
}

TEST_F(ArchiveToolTest, VerifyPassesASoundArchive) {
  MakeArchive();
  const Result r = Tool({"verify", Folder()});
  EXPECT_EQ(r.exitCode, 0) << r.out.toStdString() << r.err.toStdString();
  EXPECT_TRUE(r.out.isEmpty());
}

TEST_F(ArchiveToolTest, VerifyReportsDamage) {
  MakeArchive();
  // A link loop in file 1 and a truncated file 3.
  {
    QFile f(QString::fromStdString(PathOf(1)));
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    uint8_t loop[8] = {0x80, 0x04};  // 1152: the first record's own offset
    ASSERT_TRUE(f.seek(static_cast<qint64>(strixc::archive::kDataStart + 32000 + kRecordNextRecord)));
    ASSERT_EQ(f.write(reinterpret_cast<const char*>(loop), 8), 8);
  }
  ASSERT_EQ(::truncate(PathOf(3).c_str(), 4096), 0);
  const Result r = Tool({"verify", Folder()});
  EXPECT_EQ(r.exitCode, 8);
  bool loop = false;
  bool truncated = false;
  for (const QJsonObject& line : r.Lines()) {
    EXPECT_TRUE(line.contains("offset"));
    const QString file = line.value("file").toString();
    const QString problem = line.value("problem").toString();
    loop = loop || (file.endsWith(QString::fromStdString(ArchiveFileName(1))) && problem.contains("backwards"));
    truncated = truncated || (file.endsWith(QString::fromStdString(ArchiveFileName(3))) && problem.contains("shorter"));
  }
  EXPECT_TRUE(loop) << r.out.toStdString();
  EXPECT_TRUE(truncated) << r.out.toStdString();
  // The damaged archive can still be listed and dumped; both end.
  EXPECT_EQ(Tool({"info", Folder()}).exitCode, 0);
  EXPECT_EQ(Tool({"dump", Folder()}).exitCode, 0);
}

TEST_F(ArchiveToolTest, DumpListsEveryRecordInTimeOrder) {
  MakeArchive();
  const Result r = Tool({"dump", Folder()});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  const auto lines = r.Lines();
  ASSERT_EQ(lines.size(), 15u);
  EXPECT_EQ(lines[0].value("type").toString(), "event");
  EXPECT_EQ(lines[0].value("text").toString(), "Recording enabled");
  EXPECT_EQ(lines[0].value("offset").toInteger(), static_cast<qint64>(strixc::archive::kDataStart + 32000));
  EXPECT_TRUE(lines[0].value("file").toString().endsWith(QString::fromStdString(ArchiveFileName(1))));
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].value("timeUnits").toInteger(), static_cast<qint64>(Start() + i * kUnitsPerSecond));
  }
  EXPECT_EQ(lines[3].value("type").toString(), "delta");
  EXPECT_EQ(lines[3].value("size").toInt(), 103);
  EXPECT_EQ(lines[3].value("keyTimeUnits").toInteger(), static_cast<qint64>(Start() + 1 * kUnitsPerSecond));
  EXPECT_TRUE(lines[10].value("file").toString().endsWith(QString::fromStdString(ArchiveFileName(2))));
}

TEST_F(ArchiveToolTest, DumpOfOneCameraWithinATimeRange) {
  MakeArchive();
  const QString from = QString::fromStdString(strixc::archive::FormatTime(Start() + 4 * kUnitsPerSecond));
  const QString to = QStringLiteral("@%1").arg(Start() + 12 * kUnitsPerSecond);
  const Result r = Tool({"dump", Folder(), "--camera", "1", "--from", from, "--to", to});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  const auto lines = r.Lines();
  // Camera 1 has the odd seconds 1..9 in file 1 and 11, 13 in file 2.
  ASSERT_EQ(lines.size(), 4u);
  const qint64 expected[] = {5, 7, 9, 11};
  for (size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].value("camera").toInt(), 1);
    EXPECT_EQ(lines[i].value("timeUnits").toInteger(), static_cast<qint64>(Start() + expected[i] * kUnitsPerSecond));
  }
}

TEST_F(ArchiveToolTest, CreateOverRecordingsRefusesWithoutYes) {
  MakeArchive();
  const QByteArray before = Digest();
  // Files of another size are all deleted, the two with recordings among them.
  const Result r = Tool({"create", Folder(), "--space-mb", "4", "--file-size-mb", "2", "--fast"});
  EXPECT_EQ(r.exitCode, 9);
  EXPECT_TRUE(r.out.isEmpty());
  EXPECT_TRUE(r.err.contains("You will loose recordings")) << r.err.toStdString();
  EXPECT_EQ(Digest(), before);

  const Result yes = Tool({"create", Folder(), "--space-mb", "4", "--file-size-mb", "2", "--fast", "--yes"});
  EXPECT_EQ(yes.exitCode, 0) << yes.err.toStdString();
  EXPECT_EQ(yes.Lines().at(0).value("deleted").toInt(), 4);
  EXPECT_EQ(QDir(Folder()).entryList(QDir::Files).size(), 2);
}

TEST_F(ArchiveToolTest, BadCommandLines) {
  EXPECT_EQ(Tool({}).exitCode, 1);
  EXPECT_EQ(Tool({"create", Folder()}).exitCode, 1);
  EXPECT_EQ(Tool({"create", Folder(), "--space-mb", "0", "--file-size-mb", "1"}).exitCode, 1);
  EXPECT_EQ(Tool({"dump", Folder(), "--camera", "18"}).exitCode, 1);
  EXPECT_EQ(Tool({"dump", Folder(), "--from", "yesterday"}).exitCode, 1);
  EXPECT_EQ(Tool({"info", Folder(), "--yes"}).exitCode, 1);
  EXPECT_EQ(Tool({"info", dir_.filePath("missing")}).exitCode, 10);
}

}  // namespace
