// strixc-tool export as an operator runs it on the fixture's archive.

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <fstream>

#include "export_fixture.h"

namespace strixc::exporting::test {
namespace {

constexpr uint64_t kSecond = 10'000'000;

class ExportTool : public ExportArchive {
 protected:
  struct Result {
    int exitCode = -1;
    std::vector<QJsonObject> lines;
    QString err;
  };

  Result Tool(const QStringList& arguments) {
    QProcess tool;
    tool.start(QStringLiteral(STRIXC_TOOL), QStringList{"export"} + arguments);
    Result r;
    if (!tool.waitForFinished(120000)) return r;
    r.exitCode = tool.exitCode();
    for (const QByteArray& line : tool.readAllStandardOutput().split('\n')) {
      if (!line.trimmed().isEmpty()) r.lines.push_back(QJsonDocument::fromJson(line).object());
    }
    r.err = QString::fromUtf8(tool.readAllStandardError());
    return r;
  }
  QStringList Range(uint64_t from, uint64_t to) const {
    return {QString::fromStdString(options_.folder), "--from", QStringLiteral("@%1").arg(from), "--to",
            QStringLiteral("@%1").arg(to)};
  }
};

TEST_F(ExportTool, ExportsWithProgressThenTheSummary) {
  const std::string file = Path("tool.mkv");
  const uint64_t from = options_.start + kSecond;
  const Result r = Tool(Range(from, from + 2 * kSecond) +
                        QStringList{"--camera", "0", "--out", QString::fromStdString(file), "--codec", "ffv1"});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  ASSERT_GE(r.lines.size(), 2u);
  int last = -1;
  for (size_t i = 0; i + 1 < r.lines.size(); ++i) {
    EXPECT_EQ(r.lines[i].value("event").toString(), "progress");
    const int percent = r.lines[i].value("percent").toInt();
    EXPECT_GT(percent, last);  // printed only when it changed, and it only grows
    last = percent;
  }
  EXPECT_GE(last, 95);
  const QJsonObject end = r.lines.back();
  EXPECT_EQ(end.value("result").toInt(), 0);
  EXPECT_EQ(end.value("codec").toString(), "ffv1");
  EXPECT_EQ(end.value("width").toInt(), kWidth);
  EXPECT_EQ(end.value("height").toInt(), kHeight);
  EXPECT_EQ(end.value("fps").toInt(), 15);
  EXPECT_NEAR(end.value("pictures").toInt(), 50, 1);
  EXPECT_EQ(end.value("frames").toInt(), end.value("pictures").toInt());
  if (HaveFfmpegTools()) EXPECT_EQ(ProbeFile(file).frames, end.value("frames").toInt());
}

TEST_F(ExportTool, TheChosenRateSetsTheAviRepeats) {
  const std::string file = Path("tool.avi");
  // The slow camera at five a second into 10 a second: one repeat before each later picture.
  const Result r = Tool(Range(options_.start, options_.start + 2 * kSecond) +
                        QStringList{"--camera", "1", "--out", QString::fromStdString(file), "--fps", "10"});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  const QJsonObject end = r.lines.back();
  EXPECT_EQ(end.value("codec").toString(), "mjpeg");
  EXPECT_EQ(end.value("fps").toInt(), 10);
  const int pictures = end.value("pictures").toInt();
  EXPECT_EQ(end.value("frames").toInt(), 2 * pictures - 1);
}

TEST_F(ExportTool, ExitCodesForBadOptionsMissingArchivesAndWriteErrors) {
  const QString out = QString::fromStdString(Path("x.mp4"));
  const QStringList range = Range(options_.start, options_.start + kSecond);
  EXPECT_EQ(Tool(range + QStringList{"--camera", "0", "--out", out, "--codec", "rawvideo"}).exitCode, 1);
  EXPECT_EQ(Tool(range + QStringList{"--camera", "16", "--out", out}).exitCode, 1);
  EXPECT_EQ(Tool(range + QStringList{"--camera", "0"}).exitCode, 1);
  EXPECT_EQ(Tool(Range(options_.start + kSecond, options_.start) + QStringList{"--camera", "0", "--out", out}).exitCode, 1);
  EXPECT_EQ(Tool(QStringList{"--host", "h", "--camera", "0", "--from", "@1", "--to", "@2", "--out", out}).exitCode, 1);
  EXPECT_EQ(Tool(QStringList{QString::fromStdString(Path("missing")), "--camera", "0", "--from", "@1", "--to", "@2",
                             "--out", out})
                .exitCode,
            8);
  EXPECT_FALSE(FileExists(out.toStdString()));

  const std::string notAFolder = Path("plain-file");
  std::ofstream(notAFolder) << "x";
  const std::string file = notAFolder + "/out.avi";
  const Result r = Tool(range + QStringList{"--camera", "0", "--out", QString::fromStdString(file)});
  EXPECT_EQ(r.exitCode, 11);
  ASSERT_FALSE(r.lines.empty());
  EXPECT_EQ(r.lines.back().value("result").toInt(), 2);
  EXPECT_FALSE(FileExists(file));
}

}  // namespace
}  // namespace strixc::exporting::test
