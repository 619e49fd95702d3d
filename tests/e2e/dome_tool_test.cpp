// strixc-tool dome against the simulator: the requests as they arrive at the server, byte for byte;
// a server that never answers; and a dome camera's picture following the requests.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "sim/sim_server.h"
#include "sim/sim_server_thread.h"
#include "video/jpeg_codec.h"

namespace {

using strixc::sim::SimServerThread;

// The 52-byte DomeCommand record, little-endian, written out here by hand.
std::vector<uint8_t> Record(uint16_t camera, uint16_t command, std::array<double, 6> p) {
  std::vector<uint8_t> bytes;
  const auto put = [&](uint64_t v, int size) {
    for (int i = 0; i < size; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  put(camera, 2);
  put(command, 2);
  for (double d : p) {
    uint64_t bits = 0;
    std::memcpy(&bits, &d, sizeof bits);
    put(bits, 8);
  }
  return bytes;
}

class DomeToolTest : public ::testing::Test {
 protected:
  static strixc::sim::SimConfig Config() {
    strixc::sim::SimConfig config;
    config.videoPort = 0;
    config.cameraCount = 2;
    config.domeMask = 0x1;
    config.inputPeriodMs = 0;
    return config;
  }

  void SetUp() override { ASSERT_TRUE(sim_.Start()) << sim_.ErrorText().toStdString(); }

  struct Result {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
  };

  Result Tool(QStringList arguments) {
    arguments = QStringList{arguments.takeFirst(), "--host",     "127.0.0.1", "--port", QString::number(sim_.VideoPort()),
                            "--user",              "demo",       "--password", "demo"} +
                arguments;
    QProcess tool;
    tool.start(QStringLiteral(STRIXC_TOOL), arguments);
    EXPECT_TRUE(tool.waitForFinished(30000));
    return {tool.exitCode(), tool.readAllStandardOutput(), tool.readAllStandardError()};
  }

  Result Dome(int camera, const QStringList& action) {
    return Tool(QStringList{"dome", "--camera", QString::number(camera)} + action);
  }

  // Camera `camera`'s picture as the snapshot command saves it, decoded.
  std::vector<uint8_t> Picture(int camera) {
    const QString file = dir_.filePath(QStringLiteral("shot%1.jpg").arg(shots_++));
    const Result r = Tool({"snapshot", "--camera", QString::number(camera), "--out", file});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    QFile saved(file);
    if (!saved.open(QIODevice::ReadOnly)) return {};
    const QByteArray jpeg = saved.readAll();
    strixc::video::JpegCodec codec;
    int w = 0, h = 0;
    const auto* data = reinterpret_cast<const uint8_t*>(jpeg.data());
    if (codec.ReadParameters(data, jpeg.size(), &w, &h) != 0) return {};
    std::vector<uint8_t> bits(strixc::video::JpegCodec::ImageSize(w, h));
    if (codec.Decode(data, jpeg.size(), bits.data(), w, h) != 0) return {};
    return bits;
  }

  static double MeanDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.empty() || a.size() != b.size()) return 255.0;
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) sum += std::abs(int{a[i]} - int{b[i]});
    return sum / static_cast<double>(a.size());
  }

  SimServerThread sim_{Config()};
  QTemporaryDir dir_;
  int shots_ = 0;
};

TEST_F(DomeToolTest, EachActionLeavesAsItsRecordAndPrintsTheReply) {
  struct Case {
    int camera;
    QStringList action;
    std::vector<uint8_t> record;
  };
  const std::vector<Case> cases = {
      {1, {"recall", "4"}, Record(1, 11, {4, 0, 0, 0, 0, 0})},
      {0, {"move", "0.5", "0", "-1", "0", "0"}, Record(0, 1, {0.5, 0, -1, 0, 0, 0})},
      {0, {"stop"}, Record(0, 1, {})},
      {15, {"step", "-0.7", "0.2", "0", "1", "-1"}, Record(15, 2, {-0.7, 0.2, 0, 1, -1, 0})},
      {0, {"browse", "0", "98", "2000"}, Record(0, 13, {98, 0, 2000, 0, 0, 0})},
      {0, {"record-pattern", "3"}, Record(0, 15, {3, 0, 0, 0, 0, 0})},
      {0, {"run-pattern"}, Record(0, 17, {})},
      {2, {"aux", "1"}, Record(2, 18, {1, 0, 0, 0, 0, 0})},
      {0, {"menu"}, Record(0, 21, {})},
      {0, {"absolute", "0.25", "-2", "1", "0", "-2", "-2"}, Record(0, 23, {0.25, -2, 1, 0, -2, -2})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.action.join(' ').toStdString());
    const Result r = Dome(c.camera, c.action);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QJsonObject json = QJsonDocument::fromJson(r.out).object();
    EXPECT_EQ(json.value("camera").toInt(), c.camera);
    EXPECT_EQ(json.value("command").toInt(), c.record[2]);
    EXPECT_EQ(json.value("reply").toInt(), 0);
    const auto payloads = sim_.Server().DomePayloads();
    ASSERT_FALSE(payloads.empty());
    EXPECT_EQ(payloads.back(), c.record);
  }
  EXPECT_EQ(sim_.Server().DomePayloads().size(), cases.size()) << "one request per run";
}

TEST_F(DomeToolTest, BadArgumentsExitWithOneBeforeConnecting) {
  const std::vector<QStringList> bad = {
      {"dome", "--camera", "16", "stop"},          {"dome", "stop"},
      {"dome", "--camera", "0"},                   {"dome", "--camera", "0", "fly"},
      {"dome", "--camera", "0", "move", "1.5", "0", "0", "0", "0"},
      {"dome", "--camera", "0", "move", "nan", "0", "0", "0", "0"},
      {"dome", "--camera", "0", "move", "0", "0"}, {"dome", "--camera", "0", "recall", "4.5"},
      {"dome", "--camera", "0", "recall", "256"},  {"dome", "--camera", "0", "stop", "1"},
      {"dome", "--camera", "0", "absolute", "0", "0", "0", "0", "0", "inf"},
  };
  for (const QStringList& arguments : bad) {
    const Result r = Tool(arguments);
    EXPECT_EQ(r.exitCode, 1) << arguments.join(' ').toStdString() << ": " << r.err.toStdString();
    EXPECT_TRUE(r.err.startsWith("dome: ")) << r.err.toStdString();
  }
  EXPECT_TRUE(sim_.Server().DomePayloads().empty());
}

TEST_F(DomeToolTest, AServerThatNeverAnswersEndsWithThree) {
  sim_.Server().SetControlSilent(true);
  const Result r = Dome(0, {"recall", "1"});
  EXPECT_EQ(r.exitCode, 3) << r.err.toStdString();
  EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
  EXPECT_GE(sim_.Server().UnansweredRequests(), 1);
}

TEST_F(DomeToolTest, TheDomesPictureFollowsAMoveAndComesBackWithItsPreset) {
  const std::vector<uint8_t> home = Picture(0);
  ASSERT_EQ(Dome(0, {"save", "1"}).exitCode, 0);
  ASSERT_EQ(Dome(0, {"move", "1", "0", "0", "0", "0"}).exitCode, 0);
  for (int i = 0; i < 400 && std::fabs(sim_.Server().DomeViewOf(0).pan) < 30.0; ++i) QThread::msleep(50);
  ASSERT_EQ(Dome(0, {"stop"}).exitCode, 0);
  const auto view = sim_.Server().DomeViewOf(0);
  EXPECT_FALSE(view.moving);
  EXPECT_GT(view.pan, 30.0) << "a positive pan turns left";
  const std::vector<uint8_t> turned = Picture(0);
  EXPECT_GT(MeanDifference(home, turned), 12.0);

  ASSERT_EQ(Dome(0, {"recall", "1"}).exitCode, 0);
  EXPECT_EQ(sim_.Server().DomeViewOf(0).pan, 0.0);
  EXPECT_LT(MeanDifference(home, Picture(0)), 4.0) << "only the clock differs";
}

}  // namespace
