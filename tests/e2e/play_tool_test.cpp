// strixc-tool play and map as an operator runs them, on an archive of simulated cameras: camera 0
// shows its moving room, camera 1 a still picture, camera 2 a still picture from 4 s on.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive_time.h"
#include "archive/bookmark_store.h"
#include "settings/settings_database.h"
#include "sim/scene_archive_writer.h"

namespace {

using strixc::archive::kUnitsPerSecond;

constexpr uint64_t kMs = kUnitsPerSecond / 1000;

class PlayToolTest : public ::testing::Test {
 protected:
  struct Result {
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
  };

  static uint64_t Start() { return *strixc::archive::TimeOfFields({2026, 5, 4, 9, 0, 0, 0}); }
  static uint64_t Bookmark() { return Start() + 5 * kUnitsPerSecond + 130 * kMs; }
  static QString At(uint64_t time) { return QStringLiteral("@%1").arg(time); }

  static void SetUpTestSuite() {
    dir_ = std::make_unique<QTemporaryDir>();
    strixc::sim::SceneArchiveOptions o;
    o.folder = Folder().toStdString();
    o.start = Start();
    o.duration = 10 * kUnitsPerSecond;
    o.cameraMask = 0b111;
    o.movingMask = 0b001;
    o.fps = 25;
    o.cameraFps[1] = 10;
    o.cameraFps[2] = 5;
    o.startOffset[2] = 4 * kUnitsPerSecond;
    o.space = 8 * strixc::archive::kMiB;
    o.fileSize = 2 * strixc::archive::kMiB;
    o.events.push_back({1, Start() + 3100 * kMs, true, "Door opened"});
    o.events.push_back({2, Start() + 6100 * kMs, false, "Door closed"});
    const strixc::sim::SceneArchiveResult written = strixc::sim::WriteSceneArchive(o);
    ASSERT_TRUE(written.ok) << written.error;
    ASSERT_EQ(written.earliest, Start());

    // The operator's bookmark, in the profile's settings where the station keeps them.
    strixc::settings::SettingsDatabase settings;
    settings.Open(strixc::settings::SettingsDatabase::DefaultPath(Profile().toStdString()));
    strixc::archive::BookmarkStore bookmarks;
    bookmarks.Load(settings, "ArchDatabase\\Bookmarks");
    bookmarks.Add(static_cast<int64_t>(Bookmark()), "Parcel left");
  }
  static void TearDownTestSuite() { dir_.reset(); }

  static QString Folder() { return dir_->filePath("archive"); }
  static QString Profile() { return dir_->filePath("profile"); }

  static Result Tool(const QString& command, const QStringList& arguments) {
    QProcess tool;
    tool.start(QStringLiteral(STRIXC_TOOL), QStringList{command} + arguments);
    EXPECT_TRUE(tool.waitForFinished(60000));
    Result r;
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
  static Result Play(const QStringList& arguments) {
    return Tool("play", QStringList{Folder(), "--profile", Profile()} + arguments);
  }

  static bool HasStatus(const Result& r, int code) {
    for (const QJsonObject& s : r.Events("status")) {
      if (s.value("code").toInt() == code) return true;
    }
    return false;
  }

  static uint64_t Units(const QJsonObject& o, const char* key = "timeUnits") {
    return static_cast<uint64_t>(o.value(QLatin1String(key)).toInteger());
  }

  static std::unique_ptr<QTemporaryDir> dir_;
};

std::unique_ptr<QTemporaryDir> PlayToolTest::dir_;

TEST_F(PlayToolTest, PlayShowsFramesInTimeOrderPacedAsRecorded) {
  const uint64_t at = Start() + kUnitsPerSecond;
  const Result r = Play({"--at", At(at), "--cameras", "0", "--frames", "20"});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  const auto frames = r.Events("frame");
  ASSERT_EQ(frames.size(), 20u);
  for (size_t i = 1; i < frames.size(); ++i) {
    EXPECT_EQ(frames[i].value("camera").toInt(), 0);
    EXPECT_EQ(Units(frames[i]) - Units(frames[i - 1]), 40 * kMs) << i;
    EXPECT_GE(frames[i].value("wallMs").toDouble(), frames[i - 1].value("wallMs").toDouble());
  }
  EXPECT_GE(Units(frames.front()), at);
  EXPECT_EQ(frames.front().value("time").toString().toStdString(),
            strixc::archive::FormatArchiveTimeText(Units(frames.front())));
  // Paced as recorded: 19 gaps of 40 ms never go faster, and (loosely) not much slower.
  const double wall = frames.back().value("wallMs").toDouble() - frames.front().value("wallMs").toDouble();
  EXPECT_GE(wall, 19 * 40 * 0.9);
  EXPECT_LE(wall, 19 * 40 * 5.0);
  EXPECT_TRUE(HasStatus(r, 1));
  const QJsonObject& end = r.lines.back();
  EXPECT_EQ(end.value("event").toString(), "end");
  EXPECT_EQ(end.value("frames").toInt(), 20);
}

TEST_F(PlayToolTest, FastForwardStopsOnTheMovingCameraOnly) {
  const QString everywhere = QStringLiteral(":0,0,10000,10000:50");
  Result r = Play({"--at", At(Start()), "--mode", "fast-forward", "--motion", "0" + everywhere, "--motion",
                   "1" + everywhere, "--frames", "100000"});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  auto statuses = r.Events("status");
  ASSERT_GE(statuses.size(), 2u);
  EXPECT_TRUE(HasStatus(r, 3));
  EXPECT_EQ(statuses.back().value("code").toInt(), 5);
  EXPECT_EQ(statuses.back().value("value").toInt(), 0);
  EXPECT_EQ(r.Events("frame").back().value("camera").toInt(), 0);

  // Over the still cameras alone it runs to the end of the archive and stops there.
  r = Play({"--at", At(Start()), "--cameras", "1,2", "--mode", "fast-forward", "--motion", "1" + everywhere,
            "--motion", "2" + everywhere, "--frames", "100000"});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  statuses = r.Events("status");
  for (const QJsonObject& s : statuses) EXPECT_NE(s.value("code").toInt(), 5);
  EXPECT_EQ(statuses.back().value("code").toInt(), 0);
  // Camera 1's 99 frames after the first and camera 2's 30.
  EXPECT_GE(r.Events("frame").size(), 99u + 30u);
  EXPECT_GE(Units(r.lines.back()), Start() + 9 * kUnitsPerSecond);
}

TEST_F(PlayToolTest, StepsShowOneFrameAndStop) {
  const uint64_t at = Start() + 2 * kUnitsPerSecond;
  Result r = Play({"--at", At(at), "--cameras", "1", "--mode", "step-forward"});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  auto frames = r.Events("frame");
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(Units(frames[0]), at + 100 * kMs);
  EXPECT_EQ(Units(r.lines.back()), at + 100 * kMs);

  r = Play({"--at", At(at), "--cameras", "1", "--mode", "step-backward"});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_LE(r.Events("frame").size(), 1u);
  EXPECT_EQ(Units(r.lines.back()), at - 100 * kMs);
}

TEST_F(PlayToolTest, BookmarkJumpsLandOnTheBookmark) {
  Result r = Play({"--at", At(Start()), "--cameras", "0", "--bookmark", "next"});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  // The frame at or before the bookmark: camera 0's at 5.120 s.
  EXPECT_EQ(Units(r.lines.back()), Bookmark() - 10 * kMs);
  r = Play({"--at", At(Start() + 9 * kUnitsPerSecond), "--cameras", "0", "--bookmark", "prev"});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_EQ(Units(r.lines.back()), Bookmark() - 10 * kMs);
  // No bookmark before the first one: the position stays and the player beeps.
  r = Play({"--at", At(Start() + kUnitsPerSecond), "--cameras", "0", "--bookmark", "prev"});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_EQ(r.Events("beep").size(), 1u);
  EXPECT_EQ(Units(r.lines.back()), Start() + kUnitsPerSecond);
}

TEST_F(PlayToolTest, BadCommandLinesAndMissingArchives) {
  const QString at = At(Start());
  for (const QStringList& bad : std::vector<QStringList>{
           {},
           {"--mode", "rewind", "--at", at},
           {"--mode", "play", "--bookmark", "next", "--at", at},
           {"--at", "yesterday"},
           {"--at", at, "--camera", "16"},
           {"--at", at, "--camera", "2", "--cameras", "0,1"},
           {"--at", at, "--cameras", "0,x"},
           {"--at", at, "--motion", "0:0,0,10000:50"},
           {"--at", at, "--motion", "0:0,0,10000,10001:50"},
           {"--at", at, "--frames", "0"},
           {"--at", at, "--bookmark", "first"},
       }) {
    const Result r = Play(bad);
    EXPECT_EQ(r.exitCode, 1) << bad.join(' ').toStdString();
    EXPECT_TRUE(r.lines.empty());
  }
  const Result missing = Tool("play", {dir_->filePath("nowhere"), "--at", at});
  EXPECT_EQ(missing.exitCode, 8);
  EXPECT_TRUE(missing.err.contains("no such folder")) << missing.err.toStdString();
  QTemporaryDir empty;
  EXPECT_EQ(Tool("play", {empty.path(), "--at", at}).exitCode, 8);
  EXPECT_EQ(Tool("map", {empty.path(), "--from", at, "--to", At(Start() + 1), "--width", "10"}).exitCode, 8);
  for (const QStringList& bad : std::vector<QStringList>{
           {"--from", at, "--to", at, "--width", "100"},
           {"--from", at, "--to", At(Start() + kUnitsPerSecond), "--width", "1"},
           {"--from", at, "--width", "100"},
           {"--from", at, "--to", At(Start() + 366 * strixc::archive::kUnitsPerDay), "--width", "100"},
       }) {
    EXPECT_EQ(Tool("map", QStringList{Folder()} + bad).exitCode, 1) << bad.join(' ').toStdString();
  }
}

TEST_F(PlayToolTest, MapHoldsEachColumnsCamerasEventsAndBookmarks) {
  // 30 columns of a third of a second; the source asks for bins of a quarter of a second, which
  // hold a frame of every camera.
  constexpr int kWidth = 30;
  const Result r = Tool("map", {Folder(), "--profile", Profile(), "--from", At(Start()), "--to",
                                At(Start() + 10 * kUnitsPerSecond), "--width", QString::number(kWidth)});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  ASSERT_EQ(r.lines.size(), 1u);
  const QJsonObject map = r.lines[0];
  EXPECT_EQ(map.value("columns").toInt(), kWidth);
  EXPECT_EQ(Units(map, "fromUnits"), Start());
  const QJsonArray recorded = map.value("recorded").toArray();
  const QJsonArray red = map.value("red").toArray();
  const QJsonArray yellow = map.value("yellow").toArray();
  ASSERT_EQ(recorded.size(), kWidth);
  ASSERT_EQ(red.size(), kWidth);
  ASSERT_EQ(yellow.size(), kWidth);
  // Column k shows 10 s * k / 29: cameras 0 and 1 all along, camera 2 from 4 s on (column 12), the
  // set-event at 3.1 s (column 9) and the clear-event at 6.1 s (column 18). The last column is the
  // view's end: the data covers it too, with the frames of the last bin.
  for (int k = 0; k < 12; ++k) EXPECT_EQ(recorded[k].toInt(), 0b011) << k;
  for (int k = 12; k < kWidth; ++k) EXPECT_EQ(recorded[k].toInt(), 0b111) << k;
  int yellowColumns = 0, redColumns = 0;
  for (int k = 0; k < kWidth; ++k) {
    if (yellow[k].toInt() != 0) {
      EXPECT_EQ(yellow[k].toInt(), 0b010);
      EXPECT_EQ(k, 9);
      ++yellowColumns;
    }
    if (red[k].toInt() != 0) {
      EXPECT_EQ(red[k].toInt(), 0b100);
      EXPECT_EQ(k, 18);
      ++redColumns;
    }
  }
  EXPECT_EQ(yellowColumns, 1);
  EXPECT_EQ(redColumns, 1);
  const QJsonArray bookmarks = map.value("bookmarks").toArray();
  ASSERT_EQ(bookmarks.size(), 1);
  EXPECT_EQ(Units(bookmarks[0].toObject()), Bookmark());
  EXPECT_EQ(bookmarks[0].toObject().value("title").toString(), "Parcel left");
}

}  // namespace
