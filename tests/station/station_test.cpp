#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QFile>
#include <QMenuBar>
#include <QTemporaryDir>
#include <cstdlib>
#include <functional>
#include <limits>
#include <memory>

#include "control_panel.h"
#include "main_window.h"
#include "settings/settings_key.h"
#include "shell/string_ids.h"
#include "shell/texts.h"
#include "sim/sim_server_thread.h"
#include "operator_station.h"
#include "window_geometry.h"

namespace strixc::station {
namespace {

using shell::Tr;
namespace text = shell::text;

// Runs the event loop until `done` holds or 10 s pass.
bool WaitFor(const std::function<bool()>& done) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < 10000) QApplication::processEvents(QEventLoop::AllEvents, 20);
  return done();
}

// One start of the operator station over a profile folder: its settings file, station and window,
// with every message recorded instead of shown.
struct Session {
  Session(const QString& profile, QStringList parameters) {
    settings.Open(settings::SettingsDatabase::DefaultPath(profile.toStdString()));
    station = std::make_unique<OperatorStation>(settings, profile.toStdString());
    window = std::make_unique<MainWindow>(*station, std::move(parameters));
    window->SetAsker([this](const QString& text, shell::MessageStyle, const QString&) {
      messages << text;
      return answer;
    });
    window->SetConnectionAsker([this](MainWindow::ConnectionChoice* choice) {
      ++dialogs;
      if (!connectTo) return false;
      *choice = *connectTo;
      return true;
    });
  }
  ~Session() {
    window.reset();
    station.reset();
  }
  void Start() {
    window->show();
    window->Start();
  }
  bool Connected() {
    return WaitFor([this] { return window->windowTitle().startsWith("Strix-C connected to"); });
  }

  settings::SettingsDatabase settings;
  std::unique_ptr<OperatorStation> station;
  std::unique_ptr<MainWindow> window;
  QStringList messages;
  shell::MessageResult answer = shell::MessageResult::kNo;
  int dialogs = 0;
  std::optional<MainWindow::ConnectionChoice> connectTo;
};

class StationTest : public ::testing::Test {
 protected:
  void StartServer(uint32_t protocolVersion = 5) {
    sim::SimConfig config;
    config.videoPort = 0;
    config.cameraCount = 4;
    config.fps = 25;
    config.protocolVersion = protocolVersion;
    server_ = std::make_unique<sim::SimServerThread>(config);
    ASSERT_TRUE(server_->Start()) << server_->ErrorText().toStdString();
  }
  QStringList Parameters(const QString& password = "demo") {
    return {"demo", password, "127.0.0.1", QString::number(server_->VideoPort())};
  }

  QTemporaryDir profile_;
  std::unique_ptr<sim::SimServerThread> server_;
};

TEST_F(StationTest, FourParametersConnectWithoutTheDialog) {
  StartServer();
  Session s(profile_.path(), Parameters());
  s.Start();
  ASSERT_TRUE(s.Connected()) << s.messages.join('|').toStdString();
  EXPECT_EQ(s.window->windowTitle(), "Strix-C connected to 'Strix Simulator'");
  EXPECT_EQ(s.dialogs, 0);
  EXPECT_TRUE(s.messages.isEmpty()) << "no archive question with four parameters";
  EXPECT_EQ(s.window->StatusText(), " Connected to 'demo@Strix Simulator (127.0.0.1)'");
  EXPECT_EQ(s.station->Display().VisibleCameras(), 0xFu);
}

TEST_F(StationTest, RefusedLoginAndNewerProtocolAreToldAfterTheBrokenConnection) {
  StartServer();
  {
    Session s(profile_.path(), Parameters("wrong"));
    s.Start();
    ASSERT_TRUE(WaitFor([&] { return s.messages.size() >= 2; }));
    EXPECT_EQ(s.messages, QStringList({Tr(text::kConnectionBroken), Tr(text::kAuthorizationFailed)}));
    EXPECT_EQ(s.window->StatusText(), Tr(text::kStatusNotConnected));
  }
  server_->Stop();
  StartServer(6);
  Session s(profile_.path(), Parameters());
  s.Start();
  ASSERT_TRUE(WaitFor([&] { return s.messages.size() >= 2; }));
  EXPECT_EQ(s.messages[0], Tr(text::kConnectionBroken));
  EXPECT_TRUE(s.messages[1].startsWith(Tr(text::kUnrecognizedProtocol))) << s.messages[1].toStdString();
}

TEST_F(StationTest, StoppedServerTearsDownAndANewConnectionWorks) {
  StartServer();
  Session s(profile_.path(), Parameters());
  s.Start();
  ASSERT_TRUE(s.Connected());
  server_->Stop();
  ASSERT_TRUE(WaitFor([&] { return s.window->windowTitle() == "Strix-C"; }));
  EXPECT_EQ(s.window->StatusText(), Tr(text::kStatusNotConnected));
  ASSERT_FALSE(s.messages.isEmpty());

  StartServer();
  s.connectTo = MainWindow::ConnectionChoice{"127.0.0.1", server_->VideoPort(), "demo", "demo"};
  s.window->ConnectCommand();
  EXPECT_EQ(s.dialogs, 1);
  EXPECT_TRUE(s.Connected());

  // Connecting again asks first; answered No, the connection stays.
  s.answer = shell::MessageResult::kNo;
  s.window->ConnectCommand();
  EXPECT_EQ(s.messages.last(), Tr(text::kBreakConnectionQuestion));
  EXPECT_EQ(s.dialogs, 1);
}

TEST_F(StationTest, RecordingWritesOneEnabledAndOneDisabledEventPerCamera) {
  StartServer();
  Session s(profile_.path(), Parameters());
  QString error;
  s.station->LoadAll();
  ASSERT_TRUE(s.station->CreateDefaultArchive(&error)) << error.toStdString();
  s.station->Archive().Close();
  ASSERT_TRUE(s.station->SaveAll());
  s.Start();
  ASSERT_TRUE(s.Connected());
  s.window->ToggleRecording();
  EXPECT_TRUE(s.station->RecordingOn());
  ASSERT_TRUE(WaitFor([&] { return s.station->RecorderWriting(); }));
  QElapsedTimer pause;
  pause.start();
  while (pause.elapsed() < 600) QApplication::processEvents(QEventLoop::AllEvents, 20);
  s.window->ToggleRecording();
  EXPECT_FALSE(s.station->RecordingOn());
  s.window.reset();
  s.station.reset();

  const QString folder = QDir(profile_.path()).filePath(archive::ArchiveDatabase::kFirstRunFolderName);
  QProcess tool;
  tool.start(QStringLiteral(STRIXC_TOOL), {"archive", "verify", folder});
  ASSERT_TRUE(tool.waitForFinished(30000));
  EXPECT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
  tool.start(QStringLiteral(STRIXC_TOOL), {"archive", "dump", folder});
  ASSERT_TRUE(tool.waitForFinished(30000));
  const QByteArray dump = tool.readAllStandardOutput();
  for (int camera = 0; camera < 4; ++camera) {
    const QByteArray cam = "\"camera\":" + QByteArray::number(camera) + ",";
    int enabled = 0, disabled = 0;
    for (const QByteArray& line : dump.split('\n')) {
      if (!line.contains(cam)) continue;
      enabled += line.contains("Recording enabled");
      disabled += line.contains("Recording disabled");
    }
    EXPECT_EQ(enabled, 1) << camera;
    EXPECT_EQ(disabled, 1) << camera;
  }
}

TEST_F(StationTest, ExitSavesAndTheNextStartRestores) {
  {
    Session s(profile_.path(), {});
    s.Start();
    s.window->SetDisplayMode(static_cast<int>(DisplayMode::kPreview));
    s.window->setGeometry(120, 80, 400, 300);
    s.station->Display().SetLayout(9);
    s.window->ExitCommand();
  }
  Session s(profile_.path(), {});
  s.Start();
  EXPECT_EQ(s.window->Mode(), DisplayMode::kPreview);
  EXPECT_EQ(s.station->Display().GetLayout(), 9);
  EXPECT_EQ(s.window->normalGeometry().size(), QSize(400, 300));
}

TEST_F(StationTest, FirstStartAsksAndMakesTheArchiveOnAWorkerUnderTheProgressWindow) {
  Session s(profile_.path(), {});
  s.answer = shell::MessageResult::kYes;
  s.Start();
  ASSERT_FALSE(s.messages.isEmpty());
  EXPECT_EQ(s.messages[0], Tr(text::kCreateArchivesQuestion));
  // Start is back before the files exist: the result comes through the event loop.
  EXPECT_TRUE(s.station->CreatingArchive());
  EXPECT_TRUE(s.window->ProgressShown());
  EXPECT_EQ(s.dialogs, 0);
  ASSERT_TRUE(WaitFor([&] { return s.dialogs == 1; })) << "then the Connection dialog";
  EXPECT_FALSE(s.station->CreatingArchive());
  EXPECT_FALSE(s.window->ProgressShown());
  EXPECT_TRUE(s.station->Archive().IsOpen());
  EXPECT_EQ(s.station->Archive().TotalSize(), archive::ArchiveDatabase::kFirstRunSpace);
  EXPECT_EQ(s.window->Panel().Capacity().TotalSize(), archive::ArchiveDatabase::kFirstRunSpace);
  EXPECT_TRUE(QDir(profile_.path()).exists(archive::ArchiveDatabase::kFirstRunFolderName));
}

TEST_F(StationTest, ClosingWhileTheArchiveIsMadeWaitsForCompleteFiles) {
  {
    Session s(profile_.path(), {});
    s.answer = shell::MessageResult::kYes;
    s.Start();
    ASSERT_TRUE(s.station->CreatingArchive());
  }
  auto db = archive::ArchiveDatabase::ForFolder(
      QDir(profile_.path()).filePath(archive::ArchiveDatabase::kFirstRunFolderName).toStdString(),
      profile_.path().toStdString());
  EXPECT_EQ(db->TotalSize(), archive::ArchiveDatabase::kFirstRunSpace) << db->MessageLog().Summary();
}

TEST_F(StationTest, UnknownDisplayModeIsToldAndTheProgramRuns) {
  {
    settings::SettingsDatabase db;
    db.Open(settings::SettingsDatabase::DefaultPath(profile_.path().toStdString()));
    settings::SettingsKey(db, "Window").WriteDword("DisplayMode", 3);
  }
  Session s(profile_.path(), {});
  s.Start();
  EXPECT_TRUE(s.messages.contains(Tr(text::kDirectXError)));
  EXPECT_TRUE(s.window->isVisible());
}

TEST_F(StationTest, SettingsAtTheEndsOfTheirRangesNeverStopTheStart) {
  {
    Session s(profile_.path(), {});
    s.Start();
    s.window->ExitCommand();
  }
  settings::Tree saved;
  {
    settings::SettingsDatabase db;
    db.Open(settings::SettingsDatabase::DefaultPath(profile_.path().toStdString()));
    settings::SettingsKey(db).WriteDword("Language", 0);
    saved = db.Export();
  }
  // Every stored number of every subsystem at once: window placement, display mode, layouts,
  // camera views, client settings, archive locations, language.
  for (const uint32_t extreme : {0x80000000u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
    {
      settings::Tree tree = saved;
      for (settings::TreeValue& value : tree.values) {
        if (value.kind == settings::ValueKind::kDword) {
          value.data = std::string(reinterpret_cast<const char*>(&extreme), 4);
        } else if (value.kind == settings::ValueKind::kBinary && value.data.size() == 8) {
          value.data = std::string(reinterpret_cast<const char*>(&extreme), 4) + std::string(4, '\xFF');
        }
      }
      settings::SettingsDatabase db;
      db.Open(settings::SettingsDatabase::DefaultPath(profile_.path().toStdString()));
      ASSERT_TRUE(db.Import(tree));
    }
    Session s(profile_.path(), {});
    s.Start();
    EXPECT_TRUE(s.window->isVisible()) << extreme;
    EXPECT_TRUE(s.messages.contains(Tr(text::kDirectXError))) << extreme;
    const QRect placement = s.window->normalGeometry();
    EXPECT_GE(placement.width(), kMinWindowSize) << extreme;
    EXPECT_LE(placement.width(), kMaxWindowSize) << extreme;
    EXPECT_LE(std::abs(placement.left()), kMaxCoordinate) << extreme;
  }
}

// --- The window under the operator's hands ---

TEST_F(StationTest, ArchiveQuestionIsClearedWhenTheOfferWasNotMade) {
  {
    Session s(profile_.path(), {});
    s.station->LoadAll();
    QString error;
    ASSERT_TRUE(s.station->CreateDefaultArchive(&error)) << error.toStdString();
    s.station->Archive().Close();
    ASSERT_TRUE(s.station->SaveAll());
  }
  Session s(profile_.path(), {});
  s.Start();
  EXPECT_FALSE(s.messages.contains(Tr(text::kCreateArchivesQuestion)));
  EXPECT_FALSE(s.station->Client().GetArchCreateQuestion()) << "an archive exists: no offer, so none later";
}

TEST_F(StationTest, ClosingWhileRecordingAsksFirstButExitCommandDoesNot) {
  StartServer();
  Session s(profile_.path(), Parameters());
  s.station->LoadAll();
  QString error;
  ASSERT_TRUE(s.station->CreateDefaultArchive(&error)) << error.toStdString();
  s.station->Archive().Close();
  ASSERT_TRUE(s.station->SaveAll());
  s.Start();
  ASSERT_TRUE(s.Connected());
  s.window->ToggleRecording();
  s.answer = shell::MessageResult::kNo;
  EXPECT_FALSE(s.window->close());
  EXPECT_TRUE(s.window->isVisible());
  EXPECT_EQ(s.messages.last(), Tr(text::kCloseWhileRecordingQuestion));
  s.window->ExitChosen();
  EXPECT_TRUE(s.window->isVisible()) << "Exit from the menus asks too";
  const qsizetype asked = s.messages.size();
  s.window->ExitCommand();
  EXPECT_FALSE(s.window->isVisible());
  EXPECT_EQ(s.messages.size(), asked) << "the program's own exit asks nothing";
}

TEST_F(StationTest, MinimizeWithoutTrayKeepsAWayBackAndHidingTellsTheDisplay) {
  Session s(profile_.path(), {});
  s.Start();
  EXPECT_TRUE(s.station->Display().IsEnabled());
  s.window->MinimizeCommand();
  EXPECT_TRUE(s.window->windowState() & Qt::WindowMinimized);
  EXPECT_FALSE(s.window->isHidden()) << "no tray here: to the task bar, never hidden";
  s.window->hide();
  EXPECT_FALSE(s.station->Display().IsEnabled());
  s.window->show();
  EXPECT_TRUE(s.station->Display().IsEnabled());
}

TEST_F(StationTest, PreviewKeepsTheVideoAreaFourToThreeWithTheMenuShown) {
  Session s(profile_.path(), {});
  s.Start();
  s.window->SetDisplayMode(static_cast<int>(DisplayMode::kPreview));
  ASSERT_EQ(s.window->Mode(), DisplayMode::kPreview);
  QApplication::processEvents();
  ASSERT_EQ(s.window->Mode(), DisplayMode::kPreview);
  s.window->menuBar()->show();
  s.window->resize(480, 300);
  QApplication::processEvents();
  const QRect video = s.window->Video().geometry();
  EXPECT_EQ(video.width() * 3 / 4, video.height()) << video.width() << " x " << video.height() << " window "
      << s.window->width() << " x " << s.window->height() << " state " << s.window->windowState().toInt();
  EXPECT_GT(s.window->height(), video.height());
}

TEST_F(StationTest, DemoEntryOfTheAddressBookPointsAtTheSimulatorsPort) {
  Session s(profile_.path(), {});
  s.station->SetDemoPort(47123);
  s.Start();
  const shell::AddressBook& book = s.station->Book();
  ASSERT_GT(book.Count(), 0);
  EXPECT_EQ(book.Get(0).name, shell::AddressBook::DemoEntry(0).name);
  EXPECT_EQ(book.Get(0).port, "47123");
  EXPECT_EQ(book.Get(1).port, shell::AddressBook::DemoEntry(1).port) << "the other servers keep theirs";
}

TEST_F(StationTest, DamagedSettingsFileIsToldOnceAtTheStart) {
  const std::string path = settings::SettingsDatabase::DefaultPath(profile_.path().toStdString());
  {
    QFile damaged(QString::fromStdString(path));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write(QByteArray(8192, 'x'));
  }
  Session s(profile_.path(), {});
  s.Start();
  const QString aside = QString::fromStdString(path + ".damaged-");
  EXPECT_TRUE(WaitFor([&] { return !s.messages.filter(aside).isEmpty(); })) << s.messages.join('|').toStdString();
  s.window->Start();
  QApplication::processEvents();
  EXPECT_EQ(s.messages.filter(aside).size(), 1);
}

TEST(WindowGeometryTest, StoredPlacementIsClampedBeforeAnyArithmetic) {
  EXPECT_EQ(StoredPlacement(200, 200, 600, 500), QRect(200, 200, 400, 300));
  EXPECT_EQ(StoredPlacement(static_cast<uint32_t>(-100), static_cast<uint32_t>(-50), 300, 250),
            QRect(-100, -50, 400, 300));
  EXPECT_EQ(StoredPlacement(0x80000000u, 0x80000000u, 0x7FFFFFFFu, 0x7FFFFFFFu),
            QRect(-kMaxCoordinate, -kMaxCoordinate, kMaxWindowSize, kMaxWindowSize));
  EXPECT_EQ(StoredPlacement(0x7FFFFFFFu, 0x7FFFFFFFu, 0x80000000u, 0x80000000u),
            QRect(kMaxCoordinate, kMaxCoordinate, kMinWindowSize, kMinWindowSize));
  EXPECT_EQ(StoredPlacement(500, 500, 100, 100).size(), QSize(kMinWindowSize, kMinWindowSize)) << "negative size";
  // The sizing rules saturate instead of overflowing on rectangles at the ends of the int range.
  const int kMax = std::numeric_limits<int>::max();
  EXPECT_EQ(PreviewSizing(QRect(0, 0, 100, 2000000000), SizingEdge::kBottom).width(), kMax);
  EXPECT_EQ(PreviewSizing(QRect(kMax - 1000, 0, 1000, 1000), SizingEdge::kBottom).right(), kMax - 1);
  EXPECT_EQ(VideoArea(QRect(0, 0, kMax, 2000000000), DisplayMode::kNormal).width(), kMax - 100);
}

TEST(WindowGeometryTest, PreviewKeepsFourToThreeAndTheVideoAreaLeavesRoomForThePanel) {
  EXPECT_EQ(PreviewSizing(QRect(0, 0, 480, 300), SizingEdge::kRight).size(), QSize(480, 360));
  EXPECT_EQ(PreviewSizing(QRect(0, 0, 400, 600), SizingEdge::kBottom).size(), QSize(800, 600));
  EXPECT_EQ(PreviewSizing(QRect(100, 0, 400, 600), SizingEdge::kTopLeft), QRect(-300, 0, 800, 600));
  EXPECT_EQ(VideoArea(QRect(0, 0, 1000, 700), DisplayMode::kNormal), QRect(40, 25, 886, 665));
  EXPECT_EQ(VideoArea(QRect(0, 0, 1000, 300), DisplayMode::kFullscreen), QRect(0, 0, 400, 300));
  EXPECT_EQ(VideoArea(QRect(0, 0, 1000, 300), DisplayMode::kPreview), QRect(0, 0, 1000, 300));
}

TEST(WindowGeometryTest, PreviewEdgeDragsKeepTheVideoAreaFourToThreeBelowTheMenu) {
  const QRect window(200, 200, 400, 300);
  EXPECT_EQ(PreviewSizingDrag(window, Qt::RightEdge, QPoint(80, 5), 0), QRect(200, 200, 480, 360));
  EXPECT_EQ(PreviewSizingDrag(QRect(200, 200, 400, 320), Qt::RightEdge, QPoint(80, 0), 20), QRect(200, 200, 480, 380));
  // The top-left corner keeps the bottom-right one in place.
  const QRect corner = PreviewSizingDrag(window, Qt::TopEdge | Qt::LeftEdge, QPoint(-40, -30), 0);
  EXPECT_EQ(corner.bottomRight(), window.bottomRight());
  EXPECT_EQ(corner.size(), QSize(440, 330));
  // Never below the smallest window, whatever the drag.
  EXPECT_GE(PreviewSizingDrag(window, Qt::BottomEdge, QPoint(0, -1000), 0).height(), kMinWindowSize);
}

}  // namespace
}  // namespace strixc::station
