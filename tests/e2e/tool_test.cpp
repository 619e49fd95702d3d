// The headless tools as an operator runs them: strixc-sim as its own process, strixc-tool against it.

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include "fake_peer.h"
#include "video/jpeg_codec.h"

namespace {

class ToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim_.setProgram(QStringLiteral(STRIXC_SIM));
    sim_.setArguments(SimArguments());
    sim_.start();
    ASSERT_TRUE(sim_.waitForReadyRead(10000));
    const QJsonObject line = QJsonDocument::fromJson(sim_.readLine()).object();
    port_ = QString::number(line.value("port").toInt());
    ASSERT_NE(port_, "0");
  }

  void TearDown() override {
    sim_.terminate();
    sim_.waitForFinished(5000);
  }

  struct Result {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
  };

  virtual QStringList SimArguments() const { return {"--port", "0", "--cameras", "4", "--input-period", "200"}; }

  Result Tool(QStringList arguments, const QString& password = "demo", const QString& user = "demo") {
    arguments = QStringList{arguments.takeFirst(), "--host", "127.0.0.1", "--port", port_, "--user", user,
                            "--password", password} + arguments;
    QProcess tool;
    tool.start(QStringLiteral(STRIXC_TOOL), arguments);
    EXPECT_TRUE(tool.waitForFinished(30000));
    return {tool.exitCode(), tool.readAllStandardOutput(), tool.readAllStandardError()};
  }

  QProcess sim_;
  QString port_;
};

TEST_F(ToolTest, ProbePrintsTheConfigurationAndWatchesEvents) {
  const Result r = Tool({"probe", "--set-output", "4=1", "--watch", "1"});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  const QList<QByteArray> lines = r.out.trimmed().split('\n');
  const QJsonObject config = QJsonDocument::fromJson(lines.first()).object();
  EXPECT_EQ(config.value("cameraCount").toInt(), 4);
  EXPECT_EQ(config.value("protocolVersion").toInt(), 5);
  EXPECT_EQ(config.value("cameras").toArray().size(), 4);
  EXPECT_EQ(config.value("outputs").toArray().size(), 12);
  EXPECT_TRUE(r.out.contains("\"event\":\"output\",\"index\":4")) << r.out.toStdString();
  EXPECT_TRUE(r.out.contains("\"event\":\"input\"")) << "inputs change every 200 ms";
  EXPECT_FALSE(r.out.contains("demo\"")) << "no password in the output";
}

// A Polish server: names and accounts in Windows-1250.
class PolishServerTest : public ToolTest {
 protected:
  QStringList SimArguments() const override {
    return {"--port", "0", "--cameras", "2", "--encoding", "Windows-1250", "--camera-name", "2=Wejście",
            "--name", "Serwer Łódź", "--user", "Józef:hasło"};
  }
};

TEST_F(PolishServerTest, ProbeLogsInAndPrintsTheNamesAsUtf8) {
  const Result r = Tool({"probe", "--encoding", "Windows-1250"}, "hasło", "Józef");
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  EXPECT_TRUE(r.out.contains("\"name\":\"Wej\xC5\x9B" "cie\"")) << r.out.toStdString();
  const QJsonObject config = QJsonDocument::fromJson(r.out).object();
  EXPECT_EQ(config.value("serverName").toString(), QStringLiteral("Serwer Łódź"));
  EXPECT_EQ(config.value("cameras").toArray().at(1).toObject().value("name").toString(), QStringLiteral("Wejście"));

  const Result multibyte = Tool({"probe", "--encoding", "UTF-16"}, "hasło", "Józef");
  EXPECT_EQ(multibyte.exitCode, 1);
  EXPECT_TRUE(multibyte.err.contains("'UTF-16' is not a single-byte code page")) << multibyte.err.toStdString();
  EXPECT_EQ(Tool({"probe", "--encoding", "Windows-1252"}, "hasło", "Józef").exitCode, 2)
      << "\"ł\" has no byte in Windows-1252: the password differs";
}

TEST_F(ToolTest, RefusedLoginExitsWithTwo) {
  const Result r = Tool({"probe"}, "wrong");
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err.trimmed(), "Authorization failed.");
}

TEST_F(ToolTest, SnapshotSavesTheCamerasPictureInFourToThree) {
  QTemporaryDir dir;
  const QString file = dir.filePath("cam1.jpg");
  const Result r = Tool({"snapshot", "--camera", "1", "--out", file});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  const QJsonObject json = QJsonDocument::fromJson(r.out).object();
  EXPECT_EQ(json.value("camera").toInt(), 1);
  EXPECT_EQ(json.value("width").toInt(), 352);
  EXPECT_EQ(json.value("height").toInt(), 264);
  EXPECT_EQ(json.value("file").toString(), file);

  QFile saved(file);
  ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
  const QByteArray bytes = saved.readAll();
  strixc::video::JpegCodec codec;
  int w = 0, h = 0;
  ASSERT_EQ(codec.ReadParameters(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &w, &h), 0);
  EXPECT_EQ(w, 352);
  EXPECT_EQ(h, 264);

  const Result missing = Tool({"snapshot", "--camera", "1", "--out", "/nonexistent/dir/x.jpg"});
  EXPECT_EQ(missing.exitCode, 5);
  EXPECT_EQ(missing.err.trimmed(), "Can't create file !");
  EXPECT_EQ(Tool({"snapshot", "--camera", "9", "--out", file, "--wait", "2"}).exitCode, 4)
      << "the server has 4 cameras";
}

TEST_F(ToolTest, MotionReportHasOneLinePerFrame) {
  const Result r = Tool({"snapshot", "--camera", "0", "--motion", "0,0,10000,10000", "--sensitivity", "100",
                         "--frames", "5"});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  const QList<QByteArray> lines = r.out.trimmed().split('\n');
  ASSERT_EQ(lines.size(), 5);
  EXPECT_EQ(QJsonDocument::fromJson(lines[0]).object().value("kind").toString(), "key");
  // The clock in the picture changes every tenth of a second: sensitivity 100 sees it.
  EXPECT_TRUE(QJsonDocument::fromJson(lines[4]).object().value("motion").toBool());
}

TEST_F(ToolTest, WallComposesTheLayoutsCamerasIntoOnePicture) {
  QTemporaryDir dir;
  const QString file = dir.filePath("wall.png");
  const Result r = Tool({"snapshot", "--wall", file, "--layout", "3", "--size", "640x480"});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  const QJsonObject json = QJsonDocument::fromJson(r.out).object();
  EXPECT_EQ(json.value("cameras").toInt(), 4);

  const QImage wall(file);
  ASSERT_EQ(wall.size(), QSize(640, 480));
  const QRgb background = qRgb(74, 79, 85);
  EXPECT_EQ(wall.pixel(1, 1), background) << "the gap around the cells";
  // Layout 3 is a 2 x 2 grid: each quarter shows a camera's room, not the background.
  for (const QPoint centre : {QPoint(160, 120), QPoint(480, 120), QPoint(160, 360), QPoint(480, 360)}) {
    EXPECT_NE(wall.pixel(centre), background) << centre.x() << "," << centre.y();
  }

  EXPECT_EQ(Tool({"snapshot", "--wall", file, "--layout", "14"}).exitCode, 4) << "layout 14 has no cells";
  EXPECT_EQ(Tool({"snapshot", "--wall", file, "--size", "12x9000"}).exitCode, 1);
}

// A server with fewer points than the protocol allows, which answers only for its own.
TEST(ToolAgainstSmallServerTest, ProbeWaitsOnlyForTheNamesTheMasksAnnounce) {
  using strixc::net::test::FakePeer;
  namespace net = strixc::net;
  FakePeer peer;
  peer.Run([](FakePeer& p) {
    auto d = FakePeer::Description();
    d.inputMask = 0x5;
    d.outputMask = 0x3;
    if (!p.LogIn(d)) return;
    net::test::PeerMessage m;
    while (p.Read(p.VideoFd(), &m, 20000)) {
      if (m.code != net::video_out::kInfoRequest) continue;
      const auto r = net::ParseInfoRequest(m.payload.data(), m.payload.size());
      const uint8_t i = r->index;
      const auto has = [i](uint32_t mask) { return ((mask >> i) & 1) != 0; };
      const int fd = p.VideoFd();
      if (r->kind == net::info_kind::kIoState) p.Write(fd, net::video_in::kIoState, net::BuildIoState({0, 0}));
      if (r->kind == net::info_kind::kCamera && has(d.cameraMask))
        p.Write(fd, net::video_in::kCameraInfo, net::BuildCameraInfo({i, 0, "Cam"}));
      if (r->kind == net::info_kind::kInput && has(d.inputMask))
        p.Write(fd, net::video_in::kInputName, net::BuildPointName({i, "In"}));
      if (r->kind == net::info_kind::kOutput && has(d.outputMask))
        p.Write(fd, net::video_in::kOutputName, net::BuildPointName({i, "Out " + std::to_string(i)}));
    }
  });
  QProcess tool;
  tool.start(QStringLiteral(STRIXC_TOOL), {"probe", "--host", "127.0.0.1", "--port", QString::number(peer.Port()),
                                           "--user", "demo", "--password", "demo"});
  ASSERT_TRUE(tool.waitForFinished(30000));
  ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
  const QJsonObject config = QJsonDocument::fromJson(tool.readAllStandardOutput().trimmed()).object();
  const QJsonArray outputs = config.value("outputs").toArray();
  ASSERT_EQ(outputs.size(), 2);
  EXPECT_EQ(outputs[1].toObject().value("name").toString(), "Out 1");
  EXPECT_EQ(config.value("inputs").toArray().size(), 2);
}

}  // namespace
