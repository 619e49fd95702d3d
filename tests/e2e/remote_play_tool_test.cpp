// strixc-tool play and map on a server's archive (strixc-sim --archive) against the same commands
// on the archive's folder: a moving camera 0 and a still camera 1 over several files.
//
// What the server legitimately changes: fast backward and a step backward go by key frames (the
// server sends earlier key frames, each decodable alone), and the position a run ends on may lie a
// picture apart (the run stops a tick later or earlier). Everything else is compared as equal.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "archive/archive_time.h"
#include "sim/scene_archive_writer.h"

namespace {

using strixc::archive::kUnitsPerSecond;

constexpr uint64_t kMs = kUnitsPerSecond / 1000;

struct ToolRun {
  int exitCode = -1;
  std::vector<QJsonObject> lines;
  QString err;

  std::vector<QJsonObject> Events(const char* name) const {
    std::vector<QJsonObject> found;
    for (const QJsonObject& line : lines) {
      if (line.value("event").toString() == QLatin1String(name)) found.push_back(line);
    }
    return found;
  }
  // (camera, time) of every frame event, in order.
  std::vector<std::pair<int, qint64>> Frames() const {
    std::vector<std::pair<int, qint64>> frames;
    for (const QJsonObject& f : Events("frame"))
      frames.emplace_back(f.value("camera").toInt(), f.value("timeUnits").toInteger());
    return frames;
  }
  std::vector<std::pair<int, qint64>> Statuses() const {
    std::vector<std::pair<int, qint64>> statuses;
    for (const QJsonObject& s : Events("status"))
      statuses.emplace_back(s.value("code").toInt(), s.value("value").toInteger());
    return statuses;
  }
};

class RemotePlayToolTest : public ::testing::Test {
 protected:
  static uint64_t Start() { return *strixc::archive::TimeOfFields({2026, 5, 4, 9, 0, 0, 0}); }
  static QString At(uint64_t time) { return QStringLiteral("@%1").arg(time); }

  static QProcessEnvironment Environment() {
    // Archive and wall clock agree in UTC: the server sends wall-clock times.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("TZ", "UTC");
    environment.insert("HOME", dir_->filePath("home"));
    return environment;
  }

  static void SetUpTestSuite() {
    dir_ = std::make_unique<QTemporaryDir>();
    strixc::sim::SceneArchiveOptions o;
    o.folder = Folder().toStdString();
    o.start = Start();
    o.duration = 6 * kUnitsPerSecond;
    o.cameraMask = 0b11;
    o.movingMask = 0b01;
    o.fps = 25;
    o.cameraFps[1] = 10;
    o.space = 8 * strixc::archive::kMiB;
    o.fileSize = 2 * strixc::archive::kMiB;
    o.events.push_back({1, Start() + 2100 * kMs, true, "Door opened"});
    o.events.push_back({0, Start() + 4100 * kMs, false, "Door closed"});
    const strixc::sim::SceneArchiveResult written = strixc::sim::WriteSceneArchive(o);
    ASSERT_TRUE(written.ok) << written.error;

    sim_ = std::make_unique<QProcess>();
    sim_->setProcessEnvironment(Environment());
    sim_->start(QStringLiteral(STRIXC_SIM), {"--archive", Folder(), "--port", "0", "--cameras", "2"});
    ASSERT_TRUE(sim_->waitForReadyRead(20000)) << sim_->readAllStandardError().toStdString();
    port_ = QJsonDocument::fromJson(sim_->readLine()).object().value("port").toInt();
    ASSERT_NE(port_, 0);
  }
  static void TearDownTestSuite() {
    if (sim_) {
      sim_->kill();
      sim_->waitForFinished(5000);
    }
    sim_.reset();
    dir_.reset();
  }

  static QString Folder() { return dir_->filePath("archive"); }
  static QStringList Server(const char* password = "demo") {
    return {"--host", "127.0.0.1", "--port", QString::number(port_), "--user", "demo", "--password", password};
  }

  static ToolRun Tool(const QString& command, const QStringList& arguments) {
    QProcess tool;
    tool.setProcessEnvironment(Environment());
    tool.start(QStringLiteral(STRIXC_TOOL), QStringList{command} + arguments);
    EXPECT_TRUE(tool.waitForFinished(60000));
    ToolRun r;
    r.exitCode = tool.exitCode();
    r.err = QString::fromUtf8(tool.readAllStandardError());
    for (const QByteArray& line : tool.readAllStandardOutput().split('\n')) {
      if (line.isEmpty()) continue;
      QJsonParseError error;
      const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
      EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
      r.lines.push_back(doc.object());
    }
    return r;
  }
  // The same command on the folder and on the server.
  static std::pair<ToolRun, ToolRun> Both(const QString& command, const QStringList& arguments) {
    ToolRun local = Tool(command, QStringList{Folder()} + arguments);
    ToolRun remote = Tool(command, Server() + arguments);
    EXPECT_EQ(local.exitCode, 0) << local.err.toStdString();
    EXPECT_EQ(remote.exitCode, 0) << remote.err.toStdString();
    return {std::move(local), std::move(remote)};
  }

  static std::unique_ptr<QTemporaryDir> dir_;
  static std::unique_ptr<QProcess> sim_;
  static int port_;
};

std::unique_ptr<QTemporaryDir> RemotePlayToolTest::dir_;
std::unique_ptr<QProcess> RemotePlayToolTest::sim_;
int RemotePlayToolTest::port_ = 0;

TEST_F(RemotePlayToolTest, PlayStepsAndMotionSearchMatchTheLocalArchive) {
  // A picture time of both cameras: the local source moves to the first picture at or after it,
  // the server to the last one at or before it, which is then the same picture.
  const uint64_t at = Start() + 1 * kUnitsPerSecond;
  for (const char* mode : {"play", "double", "step-forward"}) {
    SCOPED_TRACE(mode);
    const auto [local, remote] = Both("play", {"--at", At(at), "--mode", mode, "--frames", "40"});
    ASSERT_FALSE(local.Frames().empty());
    EXPECT_EQ(remote.Frames(), local.Frames());
    EXPECT_EQ(remote.Statuses(), local.Statuses());
    const qint64 gap =
        remote.lines.back().value("timeUnits").toInteger() - local.lines.back().value("timeUnits").toInteger();
    EXPECT_LE(std::abs(gap), 40 * static_cast<qint64>(kMs));
  }
  // Fast forward stops on the moving camera at the same picture.
  {
    const auto [local, remote] = Both("play", {"--at", At(at), "--mode", "fast-forward", "--motion",
                                               "0:0,0,10000,10000:50", "--motion", "1:0,0,10000,10000:50"});
    EXPECT_EQ(remote.Statuses(), local.Statuses());
    ASSERT_FALSE(remote.Statuses().empty());
    EXPECT_EQ(remote.Statuses()[1], std::make_pair(5, qint64{0}));
    EXPECT_EQ(remote.Frames(), local.Frames());
  }
  // Backward the server sends key frames: the remote fast backward shows some of the local
  // pictures, newest first, and ends at the start of the archive as the local one does; a step
  // backward goes to the picture before (locally) or to the key frame before (from the server).
  const uint64_t from = Start() + 3 * kUnitsPerSecond;
  {
    const auto [local, remote] = Both("play", {"--at", At(from), "--mode", "fast-backward", "--frames", "400"});
    const auto remoteFrames = remote.Frames();
    ASSERT_GT(remoteFrames.size(), 2u);
    const auto localFrames = local.Frames();
    const std::set<std::pair<int, qint64>> shown(localFrames.begin(), localFrames.end());
    for (size_t i = 0; i < remoteFrames.size(); ++i) {
      EXPECT_LT(remoteFrames[i].second, static_cast<qint64>(from)) << i;
      EXPECT_TRUE(shown.count(remoteFrames[i]))
          << i << " camera " << remoteFrames[i].first << " at "
          << (remoteFrames[i].second - static_cast<qint64>(Start())) / 10000 << " ms";
      if (i > 0) EXPECT_LE(remoteFrames[i].second, remoteFrames[i - 1].second + 100 * static_cast<qint64>(kMs)) << i;
    }
    EXPECT_EQ(remote.Statuses(), local.Statuses());
  }
  {
    const auto [local, remote] = Both("play", {"--at", At(from), "--mode", "step-backward"});
    ASSERT_EQ(local.Frames().size(), 1u);
    ASSERT_EQ(remote.Frames().size(), 1u);
    EXPECT_LT(remote.Frames()[0].second, static_cast<qint64>(from));
    EXPECT_LE(remote.Frames()[0].second, local.Frames()[0].second);
    EXPECT_EQ(remote.Statuses(), local.Statuses());
  }
}

TEST_F(RemotePlayToolTest, MapAndBookmarksMatchTheLocalArchive) {
  const QStringList view{"--from", At(Start() - kUnitsPerSecond), "--to", At(Start() + 7 * kUnitsPerSecond),
                         "--width", "40"};
  const auto [local, remote] = Both("map", view);
  ASSERT_EQ(local.lines.size(), 1u);
  ASSERT_EQ(remote.lines.size(), 1u);
  // The map samples one time per column. The server answers with one slot per column over the
  // whole view, the local source with finer bins over ten parts of it: a column whose time lies
  // near the start or the end of the recordings, or near an event (an instant), may see either side.
  // Away from those the two maps agree exactly; the server's shows each event in the column whose
  // slot holds it.
  const QJsonObject& l = local.lines[0];
  const QJsonObject& r = remote.lines[0];
  const int columns = r.value("columns").toInt();
  ASSERT_EQ(columns, 40);
  const qint64 from = r.value("fromUnits").toInteger();
  const qint64 span = r.value("toUnits").toInteger() - from;
  const qint64 slot = span / columns;
  const std::vector<qint64> edges{static_cast<qint64>(Start()), static_cast<qint64>(Start() + 6 * kUnitsPerSecond),
                                  static_cast<qint64>(Start() + 2100 * kMs), static_cast<qint64>(Start() + 4100 * kMs)};
  uint32_t red = 0;
  uint32_t yellow = 0;
  int compared = 0;
  for (int k = 0; k < columns; ++k) {
    red |= static_cast<uint32_t>(r.value("red")[k].toInt());
    yellow |= static_cast<uint32_t>(r.value("yellow")[k].toInt());
    const qint64 tk = from + span * k / (columns - 1);
    bool near = false;
    for (const qint64 edge : edges) near = near || std::abs(tk - edge) <= 2 * slot;
    if (near) continue;
    ++compared;
    for (const char* key : {"recorded", "red", "yellow"})
      EXPECT_EQ(r.value(key)[k].toInt(), l.value(key)[k].toInt()) << key << " column " << k;
  }
  EXPECT_GT(compared, columns / 2);
  EXPECT_EQ(red, 0b01u);
  EXPECT_EQ(yellow, 0b10u);

  // Bookmarks made through the control channel come back with the map, titles and all.
  const uint64_t first = Start() + 2 * kUnitsPerSecond;
  const uint64_t second = Start() + 5 * kUnitsPerSecond;
  ToolRun added = Tool("map", Server() + view + QStringList{"--bookmark-add", At(first) + "=Parcel left",
                                                        "--bookmark-add", At(second) + "=Van=parked"});
  ASSERT_EQ(added.exitCode, 0) << added.err.toStdString();
  QJsonArray marks = added.lines.at(0).value("bookmarks").toArray();
  ASSERT_EQ(marks.size(), 2);
  EXPECT_EQ(marks[0].toObject().value("timeUnits").toInteger(), static_cast<qint64>(first));
  EXPECT_EQ(marks[0].toObject().value("title").toString(), "Parcel left");
  EXPECT_EQ(marks[1].toObject().value("title").toString(), "Van=parked");

  ToolRun removed = Tool("map", Server() + view + QStringList{"--bookmark-remove", At(first)});
  ASSERT_EQ(removed.exitCode, 0) << removed.err.toStdString();
  marks = removed.lines.at(0).value("bookmarks").toArray();
  ASSERT_EQ(marks.size(), 1);
  EXPECT_EQ(marks[0].toObject().value("timeUnits").toInteger(), static_cast<qint64>(second));
  // Removing where no bookmark is: the server refuses, the command says so.
  EXPECT_EQ(Tool("map", Server() + view + QStringList{"--bookmark-remove", At(first)}).exitCode, 5);

  // Jumping to the bookmark plays to it as a local jump does.
  ToolRun jump = Tool("play", Server() + QStringList{"--at", At(Start()), "--bookmark", "next"});
  ASSERT_EQ(jump.exitCode, 0) << jump.err.toStdString();
  EXPECT_EQ(jump.lines.back().value("event").toString(), "end");
  const qint64 end = jump.lines.back().value("timeUnits").toInteger();
  EXPECT_LE(end, static_cast<qint64>(second));
  EXPECT_GT(end, static_cast<qint64>(second - 100 * kMs));
}

TEST_F(RemotePlayToolTest, BadPlacesAndServersGiveTheirExitCodes) {
  const QStringList at{"--at", At(Start())};
  EXPECT_EQ(Tool("play", QStringList{Folder()} + Server() + at).exitCode, 1);
  EXPECT_EQ(Tool("play", at).exitCode, 1);
  EXPECT_EQ(Tool("map", QStringList{Folder(), "--bookmark-remove", At(Start()), "--from", At(Start()), "--to",
                                    At(Start() + kUnitsPerSecond), "--width", "10"})
                .exitCode,
            1);
  EXPECT_EQ(Tool("play", Server("wrong") + at).exitCode, 2);
  EXPECT_EQ(Tool("play", QStringList{"--host", "127.0.0.1", "--port", "1", "--user", "demo", "--password", "demo"} + at)
                .exitCode,
            3);
}

}  // namespace
