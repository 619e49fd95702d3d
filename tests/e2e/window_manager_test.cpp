// The operator station under a real window manager: its own Xvfb display with openbox, driven and
// watched with xdotool as an operator's desktop would be.

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <memory>

#include "settings/settings_database.h"
#include "settings/settings_key.h"

namespace {

// Xvfb on a display number it picks itself, with openbox on it; both end with the fixture.
class WindowManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (QStandardPaths::findExecutable("Xvfb").isEmpty()) GTEST_SKIP() << "Xvfb is not installed";
    for (const char* tool : {"openbox", "xdotool"}) {
      ASSERT_FALSE(QStandardPaths::findExecutable(tool).isEmpty()) << tool << " is needed beside Xvfb";
    }
    // -displayfd: the server writes the free display number it took.
    xvfb_.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp"});
    ASSERT_TRUE(xvfb_.waitForStarted());
    QByteArray number;
    QDeadlineTimer deadline(20000);
    while (!number.contains('\n') && !deadline.hasExpired() && xvfb_.waitForReadyRead(500)) number += xvfb_.readAllStandardOutput();
    ASSERT_TRUE(number.contains('\n')) << "Xvfb gave no display number";
    display_ = ":" + QString::fromLatin1(number.trimmed());
    environment_ = QProcessEnvironment::systemEnvironment();
    environment_.insert("DISPLAY", display_);
    environment_.insert("QT_QPA_PLATFORM", "xcb");
    environment_.remove("WAYLAND_DISPLAY");
    // The desktop platform's D-Bus library keeps a buffer to the end, which LeakSanitizer would
    // turn into the exit code this test reads.
    environment_.insert("ASAN_OPTIONS", "detect_leaks=0");
    openbox_.setProcessEnvironment(environment_);
    openbox_.start("openbox", {});
    ASSERT_TRUE(openbox_.waitForStarted());
  }

  void TearDown() override {
    for (QProcess* p : {&station_, &openbox_, &xvfb_}) {
      if (p->state() == QProcess::NotRunning) continue;
      p->terminate();
      if (!p->waitForFinished(10000)) p->kill();
      p->waitForFinished();
    }
  }

  void StartStation() {
    station_.setProcessEnvironment(environment_);
    station_.start(QStringLiteral(STRIXC), {"--demo", "--profile", profile_.path()});
    ASSERT_TRUE(station_.waitForStarted());
  }

  // xdotool's answer (its standard output, trimmed); empty when it failed.
  QString XDoTool(const QStringList& arguments) {
    QProcess tool;
    tool.setProcessEnvironment(environment_);
    tool.start("xdotool", arguments);
    if (!tool.waitForFinished(10000) || tool.exitCode() != 0) return {};
    return QString::fromLocal8Bit(tool.readAllStandardOutput()).trimmed();
  }

  // The station's main window once the window manager shows it (title "Strix-C ..."), or empty
  // after two minutes. A first start in the demonstration writes its server's synthetic minute
  // before the window shows: half a minute in a sanitized build, more beside a full test run.
  QString VisibleMainWindow() {
    QDeadlineTimer deadline(120000);
    while (!deadline.hasExpired()) {
      const QString found = XDoTool({"search", "--onlyvisible", "--name", "^Strix-C"});
      if (!found.isEmpty()) return found.split('\n').first();
      QThread::msleep(200);
    }
    return {};
  }

  // Stops the station as the system does, and waits for it to end.
  int Terminate() {
    ::kill(static_cast<pid_t>(station_.processId()), SIGTERM);
    if (!station_.waitForFinished(30000)) return -1;
    return station_.exitStatus() == QProcess::NormalExit ? station_.exitCode() : -1;
  }

  std::string SettingsPath() const {
    return strixc::settings::SettingsDatabase::DefaultPath(profile_.path().toStdString());
  }

  QTemporaryDir profile_;
  QProcess xvfb_;
  QProcess openbox_;
  QProcess station_;
  QString display_;
  QProcessEnvironment environment_;
};

TEST_F(WindowManagerTest, MainWindowAppearsWithAndWithoutASavedPlacementAndTermSavesIt) {
  StartStation();
  ASSERT_FALSE(VisibleMainWindow().isEmpty()) << "first start";
  EXPECT_EQ(Terminate(), 0);
  {
    strixc::settings::SettingsDatabase db;
    db.Open(SettingsPath());
    strixc::settings::SettingsKey window(db, "Window");
    uint32_t right = 0;
    EXPECT_TRUE(window.ReadDword("Right", &right)) << "SIGTERM saves the placement as Exit does";
    // The next start in Preview, at a place of its own.
    window.WriteDword("DisplayMode", 2);
    window.WriteDword("Left", 100);
    window.WriteDword("Top", 80);
    window.WriteDword("Right", 500);
    window.WriteDword("Bottom", 380);
  }
  StartStation();
  const QString id = VisibleMainWindow();
  ASSERT_FALSE(id.isEmpty()) << "start with a saved Preview placement";
  const QString geometry = XDoTool({"getwindowgeometry", id});
  EXPECT_TRUE(geometry.contains("400x300")) << geometry.toStdString();
  EXPECT_EQ(Terminate(), 0);
}

TEST_F(WindowManagerTest, MinimizeWithoutATrayGoesToTheTaskBarAndComesBack) {
  StartStation();
  const QString id = VisibleMainWindow();
  ASSERT_FALSE(id.isEmpty());
  // Tools, then from the bottom of the menu: Exit, Minimize. On a loaded machine the menu may not
  // be open yet when the keys come: then nothing happened, and the operator tries again.
  for (int attempt = 0; attempt < 4; ++attempt) {
    XDoTool({"key", "Escape"});
    XDoTool({"mousemove", "--window", id, "20", "8", "click", "1"});
    QThread::msleep(1000);
    XDoTool({"key", "Up", "Up", "Return"});
    QDeadlineTimer deadline(8000);
    while (!deadline.hasExpired() && !XDoTool({"search", "--onlyvisible", "--name", "^Strix-C"}).isEmpty()) {
      QThread::msleep(200);
    }
    if (XDoTool({"search", "--onlyvisible", "--name", "^Strix-C"}).isEmpty()) break;
  }
  ASSERT_TRUE(XDoTool({"search", "--onlyvisible", "--name", "^Strix-C"}).isEmpty()) << "minimised";
  EXPECT_FALSE(XDoTool({"search", "--name", "^Strix-C"}).isEmpty()) << "still there to come back to";
  XDoTool({"windowactivate", id});
  EXPECT_EQ(VisibleMainWindow(), id) << "back from the task bar";
  EXPECT_EQ(Terminate(), 0);
}

}  // namespace
