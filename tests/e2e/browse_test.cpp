// strixc --browse as a reviewer runs it without a screen: the archive browser over a folder of
// simulated recordings, positioned and photographed, then the program ends by itself.

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSet>
#include <QTemporaryDir>
#include <memory>

#include "archive/archive_time.h"
#include "sim/scene_archive_writer.h"

namespace {

using strixc::archive::kUnitsPerSecond;

class BrowseTest : public ::testing::Test {
 protected:
  static uint64_t Start() { return *strixc::archive::TimeOfFields({2026, 5, 4, 9, 0, 0, 0}); }

  static void SetUpTestSuite() {
    dir_ = std::make_unique<QTemporaryDir>();
    strixc::sim::SceneArchiveOptions o;
    o.folder = Folder().toStdString();
    o.start = Start();
    o.duration = 6 * kUnitsPerSecond;
    o.cameraMask = 0b0110;  // the first camera recorded is camera 1
    o.movingMask = 0b0010;
    o.fps = 10;
    const strixc::sim::SceneArchiveResult written = strixc::sim::WriteSceneArchive(o);
    ASSERT_TRUE(written.ok) << written.error;
  }
  static void TearDownTestSuite() { dir_.reset(); }

  static QString Folder() { return dir_->filePath("archive"); }

  // Runs strixc offscreen with a profile of its own; its exit code, or -1 when it did not end.
  int Station(const QStringList& arguments, QByteArray* err) {
    QProcess station;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("LANG", "en_US.UTF-8");
    station.setProcessEnvironment(environment);
    station.start(QStringLiteral(STRIXC), QStringList{"--profile", profile_.path()} + arguments);
    const bool ended = station.waitForFinished(90000);
    if (!ended) station.kill();
    EXPECT_TRUE(ended) << "strixc still runs: it waits on something";
    station.waitForFinished(5000);
    *err = station.readAllStandardError();
    return ended ? station.exitCode() : -1;
  }

  static std::unique_ptr<QTemporaryDir> dir_;
  QTemporaryDir profile_;
};

std::unique_ptr<QTemporaryDir> BrowseTest::dir_;

TEST_F(BrowseTest, ScreenshotShowsTheBrowserWithTheRecordedPicture) {
  const QString shot = QDir(profile_.path()).filePath("browser.png");
  QByteArray err;
  ASSERT_EQ(Station({"--browse", Folder(), "--at", QStringLiteral("@%1").arg(Start() + 3 * kUnitsPerSecond),
                     "--layout", "2", "--screenshot", shot, "--quit-after", "5"},
                    &err),
            0)
      << err.toStdString();
  const QImage picture(shot);
  ASSERT_FALSE(picture.isNull()) << "no screenshot";
  // The dark theme around the controls ...
  EXPECT_EQ(picture.pixel(picture.width() / 2, picture.height() - 3) & 0xFFFFFF, 0x4A4F55u);
  // ... and decoded camera pictures in the video area: the window without them has about a
  // thousand colours (anti-aliased icons and text), a picture of the simulator's room thousands.
  QSet<QRgb> colours;
  for (int y = 0; y < picture.height(); y += 2) {
    for (int x = 0; x < picture.width(); x += 2) colours.insert(picture.pixel(x, y));
  }
  EXPECT_GT(colours.size(), 5000);
  // Browsing a folder asks for no archive of the station's own.
  EXPECT_FALSE(QDir(profile_.path()).exists("FilesStrixC"));
}

TEST_F(BrowseTest, AFolderWithoutAnArchiveEndsWithItsReasonAndNoPicture) {
  const QString shot = QDir(profile_.path()).filePath("browser.png");
  QByteArray err;
  EXPECT_EQ(Station({"--browse", profile_.path(), "--screenshot", shot, "--quit-after", "20"}, &err), 1);
  EXPECT_FALSE(err.isEmpty());
  EXPECT_FALSE(QFile::exists(shot));
  EXPECT_EQ(Station({"--browse", QDir(profile_.path()).filePath("missing"), "--quit-after", "20"}, &err), 1);
  EXPECT_TRUE(err.contains("does not exist")) << err.toStdString();
}

}  // namespace
