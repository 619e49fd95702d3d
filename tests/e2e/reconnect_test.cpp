// The operator station as a control room runs it: started with four parameters and --record under
// a real window manager (Xvfb with openbox), watched and driven from outside with xdotool, while
// the recording server (strixc-sim) is killed and started again on its port.

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <functional>

#include "settings/settings_database.h"
#include "settings/settings_key.h"
#include "support/archive_dump.h"

namespace {

constexpr char kConnectedTitle[] = "Strix-C connected to 'Strix Simulator'";
constexpr QRgb kStaleOutline = 0xE02020;

bool WaitUntil(const std::function<bool()>& done, int milliseconds) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > milliseconds) return false;
    QThread::msleep(100);
  }
  return true;
}

class ReconnectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (QStandardPaths::findExecutable("Xvfb").isEmpty()) GTEST_SKIP() << "Xvfb is not installed";
    // A display number nobody uses.
    for (int n = 90; n < 200 && display_.isEmpty(); ++n) {
      if (!QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)) && !QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)))
        display_ = QStringLiteral(":%1").arg(n);
    }
    ASSERT_FALSE(display_.isEmpty());
    xvfb_.start("Xvfb", {display_, "-screen", "0", "1280x900x24", "-nolisten", "tcp"});
    ASSERT_TRUE(xvfb_.waitForStarted(10000));
    ASSERT_TRUE(WaitUntil([&] { return QFile::exists("/tmp/.X11-unix/X" + display_.mid(1)); }, 10000));
    environment_ = QProcessEnvironment::systemEnvironment();
    environment_.insert("DISPLAY", display_);
    environment_.remove("QT_QPA_PLATFORM");
    environment_.insert("LANG", "en_US.UTF-8");
    environment_.remove("LC_ALL");
    environment_.remove("LC_MESSAGES");
    windowManager_.setProcessEnvironment(environment_);
    windowManager_.start("openbox", {});
    ASSERT_TRUE(windowManager_.waitForStarted(10000)) << "openbox is needed (Debian package openbox)";
    // A window mapped before the window manager took the screen is never managed by it.
    ASSERT_TRUE(WaitUntil(
        [&] {
          QProcess desktops;
          desktops.setProcessEnvironment(environment_);
          desktops.start("xdotool", {"get_num_desktops"});
          return desktops.waitForFinished(10000) && desktops.exitCode() == 0;
        },
        20000))
        << "the window manager did not start";
    profile_ = dir_.filePath("profile");
  }

  void TearDown() override {
    for (QProcess* p : {&station_, &sim_, &windowManager_, &xvfb_}) {
      if (p->state() == QProcess::NotRunning) continue;
      p->terminate();
      if (!p->waitForFinished(5000)) p->kill();
      p->waitForFinished(5000);
    }
  }

  // `freeze`: the simulator's --freeze value, or empty.
  void StartSimulator(int port, const QString& freeze = {}) {
    QStringList arguments{"--port", QString::number(port), "--cameras", "4", "--fps", "25"};
    if (!freeze.isEmpty()) arguments << "--freeze" << freeze;
    sim_.start(QStringLiteral(STRIXC_SIM), arguments);
    ASSERT_TRUE(sim_.waitForReadyRead(10000)) << sim_.readAllStandardError().toStdString();
    port_ = QJsonDocument::fromJson(sim_.readLine()).object().value("port").toInt();
    ASSERT_NE(port_, 0);
  }
  void KillSimulator() {
    sim_.kill();
    sim_.waitForFinished(5000);
  }

  void StartStation() {
    station_.setProcessEnvironment(environment_);
    station_.start(QStringLiteral(STRIXC), {"--profile", profile_, "--record", "--quit-after", "600", "demo", "demo",
                                            "127.0.0.1", QString::number(port_)});
    ASSERT_TRUE(station_.waitForStarted(10000));
  }

  QString Xdotool(const QStringList& arguments) {
    QProcess xdotool;
    xdotool.setProcessEnvironment(environment_);
    xdotool.start("xdotool", arguments);
    EXPECT_TRUE(xdotool.waitForFinished(10000)) << "xdotool is needed (Debian package xdotool)";
    return QString::fromUtf8(xdotool.readAllStandardOutput()).trimmed();
  }
  // The station's visible windows, by id, with their titles.
  QList<std::pair<QString, QString>> Windows() {
    QList<std::pair<QString, QString>> windows;
    const QString ids = Xdotool({"search", "--onlyvisible", "--pid", QString::number(station_.processId())});
    for (const QString& id : ids.split('\n', Qt::SkipEmptyParts)) windows.append({id, Xdotool({"getwindowname", id})});
    return windows;
  }
  QString MainWindow() {
    for (const auto& [id, title] : Windows())
      if (title.startsWith("Strix-C")) return id;
    return {};
  }
  // What the station shows and said, for failure messages; with STRIXC_E2E_SHOTS=FILE the screen
  // too.
  std::string Seen() {
    QStringList titles;
    for (const auto& [id, title] : Windows()) titles << title;
    const QString all = Xdotool({"search", "--pid", QString::number(station_.processId())});
    for (const QString& id : all.split('\n', Qt::SkipEmptyParts)) titles << "(any) " + Xdotool({"getwindowname", id});
    if (qEnvironmentVariableIsSet("STRIXC_E2E_SHOTS")) {
      QProcess import;
      import.setProcessEnvironment(environment_);
      import.start("import", {"-window", "root", qEnvironmentVariable("STRIXC_E2E_SHOTS")});
      import.waitForFinished(20000);
    }
    return ("windows: " + titles.join(" | ") + "; running: " + QString::number(station_.state()) +
            "; exit: " + QString::number(station_.exitCode()) + "; stderr: " + station_.readAllStandardError())
        .toStdString();
  }
  QString MainTitle() {
    const QString id = MainWindow();
    return id.isEmpty() ? QString() : Xdotool({"getwindowname", id});
  }
  // The main window as the screen shows it.
  QImage Shot() {
    const QString id = MainWindow();
    if (id.isEmpty()) return {};
    const QString file = dir_.filePath("shot.png");
    QProcess import;
    import.setProcessEnvironment(environment_);
    import.start("import", {"-window", id, file});
    import.waitForFinished(20000);
    return QImage(file);
  }
  // Camera pictures are drawn: thousands of colours, where the empty cells and the panel have a few
  // hundred.
  static bool CamerasDrawn(const QImage& shot) {
    QSet<QRgb> colours;
    for (int y = 0; y < shot.height(); y += 2)
      for (int x = 0; x < shot.width(); x += 2) colours.insert(shot.pixel(x, y) & 0xFFFFFF);
    return colours.size() > 2000;
  }
  static int Count(const QImage& shot, QRgb rgb) {
    int n = 0;
    for (int y = 0; y < shot.height(); ++y)
      for (int x = 0; x < shot.width(); ++x) n += (shot.pixel(x, y) & 0xFFFFFF) == rgb;
    return n;
  }

  int Tool(const QStringList& arguments, QByteArray* out) {
    QProcess tool;
    tool.start(QStringLiteral(STRIXC_TOOL), arguments);
    EXPECT_TRUE(tool.waitForFinished(60000));
    *out = tool.readAllStandardOutput() + tool.readAllStandardError();
    return tool.exitCode();
  }

  QTemporaryDir dir_;
  QString profile_;
  QString display_;
  QProcessEnvironment environment_;
  QProcess xvfb_, windowManager_, sim_, station_;
  int port_ = 0;
};

TEST_F(ReconnectTest, KilledServerIsReconnectedByItselfAndTheRecordingGoesOnAcrossTheBreak) {
  StartSimulator(0);
  StartStation();
  ASSERT_TRUE(WaitUntil([&] { return MainTitle() == kConnectedTitle; }, 60000)) << Seen();
  ASSERT_TRUE(WaitUntil([&] { return CamerasDrawn(Shot()); }, 20000)) << "the window shows the cameras";
  QThread::msleep(1500);

  const int port = port_;
  KillSimulator();
  ASSERT_TRUE(WaitUntil([&] { return MainTitle() == "Strix-C"; }, 20000));
  QThread::msleep(1500);
  EXPECT_EQ(Windows().size(), 1) << "no message box while reconnecting";

  // Back on the same port, with camera 2 silent for a while.
  StartSimulator(port, "2:30");
  ASSERT_EQ(port_, port);
  EXPECT_TRUE(WaitUntil([&] { return MainTitle() == kConnectedTitle; }, 10000)) << "reconnected within 10 s";
  ASSERT_TRUE(WaitUntil([&] { return MainTitle() == kConnectedTitle; }, 30000));
  EXPECT_TRUE(WaitUntil([&] { return Count(Shot(), kStaleOutline) > 500; }, 20000))
      << "the silent camera's cell is outlined in red";
  QThread::msleep(1500);

  // Closed as the operator closes it: recording is on, so the station asks first, and Enter
  // takes the question's default answer (stop recording and close).
  // A key lost on a loaded machine is pressed again, as the operator would.
  const QString main = MainWindow();
  QString question;
  for (int attempt = 0; attempt < 4 && question.isEmpty(); ++attempt) {
    Xdotool({"windowactivate", "--sync", main, "key", "--clearmodifiers", "alt+F4"});
    WaitUntil(
        [&] {
          for (const auto& [id, title] : Windows())
            if (id != main) question = id;
          return !question.isEmpty();
        },
        15000);
  }
  ASSERT_FALSE(question.isEmpty()) << Seen();
  Xdotool({"windowactivate", "--sync", question, "key", "--clearmodifiers", "Return"});
  ASSERT_TRUE(station_.waitForFinished(30000)) << Seen();

  const QString archive = QDir(profile_).filePath("FilesStrixC");
  QByteArray out;
  EXPECT_EQ(Tool({"archive", "verify", archive}, &out), 0) << out.toStdString();
  ASSERT_EQ(Tool({"archive", "dump", archive}, &out), 0) << out.toStdString();
  // Frames before and after the break, between the switch's events in their order.
  EXPECT_EQ(strixc::test::RecordingSequence(out, 0).substr(0, 5), "EFDEF");
}

TEST_F(ReconnectTest, WithReconnectingOffTheBreakIsToldAndNothingFollows) {
  {
    QDir().mkpath(profile_);
    strixc::settings::SettingsDatabase db;
    db.Open(strixc::settings::SettingsDatabase::DefaultPath(profile_.toStdString()));
    ASSERT_TRUE(strixc::settings::SettingsKey(db, "ClientSettings").WriteDword("ReconnectAutomatically", 0));
  }
  StartSimulator(0);
  StartStation();
  ASSERT_TRUE(WaitUntil([&] { return MainTitle() == kConnectedTitle; }, 60000)) << Seen();
  const int port = port_;
  KillSimulator();
  // The modal message over the main window.
  ASSERT_TRUE(WaitUntil([&] { return Windows().size() == 2; }, 20000));
  EXPECT_EQ(MainTitle(), "Strix-C");
  StartSimulator(port);
  QThread::msleep(6000);
  EXPECT_EQ(MainTitle(), "Strix-C") << "no reconnect";
  EXPECT_EQ(Windows().size(), 2);
}

}  // namespace
