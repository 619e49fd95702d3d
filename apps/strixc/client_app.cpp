#include "client_app.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QLocale>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <optional>

#include "archive/archive_time.h"
#include "dialogs.h"
#include "main_window.h"
#include "settings/settings_database.h"
#include "shell/language.h"
#include "shell/language_choice.h"
#include "shell/language_dialog.h"
#include "sim/sim_server_thread.h"
#include "operator_station.h"
#include "shell/theme.h"
#include "termination_signal.h"
#include "tools/data_folder.h"

namespace strixc::station {

namespace {

constexpr int kMaxParameters = 4;
constexpr int kDemoFps = 25;
// The simulator's archive folder under the demonstration profile.
constexpr char kDemoServerArchive[] = "server-archive";
// Its size: some fifteen minutes of the 16 cameras, in a ring that keeps the newest.
constexpr uint64_t kDemoServerArchiveSpace = 128ull << 20;
constexpr uint64_t kDemoServerArchiveFileSize = 16ull << 20;

}  // namespace

CommandLine ParseCommandLine(const QStringList& arguments) {
  QCommandLineParser parser;
  parser.setApplicationDescription(
      "The operator station of a networked video-surveillance recorder: live video of up to 16 cameras,\n"
      "recording into the local archive, relay outputs and alarm inputs. With the four parameters it\n"
      "connects at once; otherwise the Connection dialog opens.");
  const QCommandLineOption help({"h", "help"}, "Show this help.");
  const QCommandLineOption version("version", "Show the version.");
  parser.addOptions({
      {"profile", "Keep every per-user file under DIR.", "DIR"},
      {"demo", "Start the built-in recording-server simulator and connect to it."},
      {"record", "Switch recording on once connected. With the four parameters the start is unattended: "
                 "no dialogs; the system's language and, when none exists, a new archive."},
      {"demo-record", "With --demo: record the simulator's cameras for SECONDS once connected, so that the "
                      "archive has something to browse (Tools > Local archives ...).", "SECONDS"},
      {"browse", "Open the archive browser on the archive files in DIR, as Tools > Archives from path ... "
                 "does, without the Connection dialog.", "DIR"},
      {"at", "With --browse: start at time T (YYYY-MM-DDTHH:MM:SS[.fff] local time, or @UNITS) on the "
             "first camera recorded, showing the whole day of T. Default: the latest recording.", "T"},
      {"layout", "With --browse: the browser's screen layout L (1..7).", "L"},
      {"screenshot", "Save a picture of the window (of the archive browser with --browse) to FILE "
                     "(with --quit-after).", "FILE"},
      {"quit-after", "Exit after SECONDS (after the screenshot).", "SECONDS"},
      {"gallery", "Render every dialog and control in each language into DIR, and exit.", "DIR"},
      help,
      version,
  });
  parser.addPositionalArgument("user", "User name on the recording server.");
  parser.addPositionalArgument("password", "Password of the user.");
  parser.addPositionalArgument("address", "Address of the recording server.");
  parser.addPositionalArgument("port", "Its video port (the control port is the next one).");
  CommandLine c;
  if (!parser.parse(arguments)) {
    c.error = parser.errorText();
    return c;
  }
  if (parser.isSet(help)) {
    // Qt's first line names the program by the path it was started with.
    c.helpText = parser.helpText();
    c.helpText.replace(0, c.helpText.indexOf(QLatin1Char('\n')), "Usage: strixc [options] [user password address port]");
    return c;
  }
  c.version = parser.isSet(version);
  if (c.version) return c;
  c.parameters = parser.positionalArguments().mid(0, kMaxParameters);
  c.profile = parser.value("profile");
  c.demo = parser.isSet("demo");
  c.record = parser.isSet("record");
  c.screenshot = parser.value("screenshot");
  c.gallery = parser.value("gallery");
  if (parser.isSet("quit-after")) {
    bool ok = false;
    c.quitAfterSeconds = parser.value("quit-after").toInt(&ok);
    if (!ok || c.quitAfterSeconds < 1 || c.quitAfterSeconds > 24 * 3600) c.error = "--quit-after takes 1 to 86400 seconds";
  }
  if (!c.screenshot.isEmpty() && c.quitAfterSeconds == 0) c.error = "--screenshot needs --quit-after SECONDS";
  if (parser.isSet("demo-record")) {
    bool ok = false;
    c.demoRecordSeconds = parser.value("demo-record").toInt(&ok);
    if (!ok || c.demoRecordSeconds < 1 || c.demoRecordSeconds > 24 * 3600) {
      c.error = "--demo-record takes 1 to 86400 seconds";
    } else if (!c.demo) {
      c.error = "--demo-record needs --demo";
    }
  }
  c.browse = parser.value("browse");
  if (parser.isSet("browse") && c.browse.isEmpty()) c.error = "--browse needs a folder";
  if (parser.isSet("at")) {
    const std::optional<uint64_t> at = archive::ParseArchiveTime(parser.value("at").toStdString());
    if (!at || *at == 0) {
      c.error = "--at takes YYYY-MM-DDTHH:MM:SS[.fff] or @UNITS";
    } else if (c.browse.isEmpty()) {
      c.error = "--at needs --browse";
    } else {
      c.browseAt = *at;
    }
  }
  if (parser.isSet("layout")) {
    bool ok = false;
    c.browseLayout = parser.value("layout").toInt(&ok);
    if (!ok || c.browseLayout < 1 || c.browseLayout > 7) {
      c.error = "--layout takes 1 to 7";
    } else if (c.browse.isEmpty()) {
      c.error = "--layout needs --browse";
    }
  }
  return c;
}

int RunClientApp(const CommandLine& commandLine) {
  std::string profile = commandLine.profile.toStdString();
  if (profile.empty() && commandLine.demo) profile = tools::DataFolder() + "/demo";
  if (!profile.empty()) QDir().mkpath(QString::fromStdString(profile));

  shell::theme::ApplyProgramTheme();
  settings::SettingsDatabase settings;
  settings.Open(settings::SettingsDatabase::DefaultPath(profile));

  // Language first: every window after this speaks it. The demonstration never stops to ask; an
  // unattended first start takes the system's language.
  if (commandLine.demo) {
    shell::ReadLanguage(settings);
    shell::ApplyLanguage();
  } else if (commandLine.Unattended()) {
    shell::ChooseLanguageAtStart(
        settings, [] { return shell::SystemLanguageIndex(QLocale::system().name().toStdString()); });
  } else {
    shell::ChooseLanguageWithDialog(settings);
  }

  QStringList parameters = commandLine.parameters;
  std::unique_ptr<sim::SimServerThread> simulator;
  if (commandLine.demo) {
    sim::SimConfig config;
    config.videoPort = 0;
    config.fps = kDemoFps;
    config.events = true;
    // The first two cameras are domes, so that the panel, the arrow keys and the presets have
    // something to steer (camera 1 is selected at the start).
    config.domeMask = 0x3;
    // The simulator keeps its own archive in the demonstration profile and records into it, so
    // that "Remote archives ..." has the server's recordings to play; a new one starts with a
    // short synthetic past (a second or two to write) so that there is something at once.
    config.archiveDir = QDir(QString::fromStdString(profile)).filePath(kDemoServerArchive);
    config.archiveSpace = kDemoServerArchiveSpace;
    config.archiveFileSize = kDemoServerArchiveFileSize;
    config.record = true;
    // A minute: every picture of it shows its own time, and the first start stays quick.
    config.history = std::chrono::minutes(1);
    simulator = std::make_unique<sim::SimServerThread>(config);
    if (!simulator->Start()) {
      std::fprintf(stderr, "strixc: the demonstration server did not start: %s\n",
                   simulator->ErrorText().toUtf8().constData());
      return 1;
    }
    parameters = {"demo", "demo", "127.0.0.1", QString::number(simulator->VideoPort())};
  }

  int code = 0;
  {
    OperatorStation station(settings, tools::DataFolder(profile));
    if (simulator) station.SetDemoPort(simulator->VideoPort());
    MainWindow window(station, parameters);
    InstallDialogs(window, station);
    window.SetUnattended(commandLine.Unattended());
    window.SetRecordOnConnect(commandLine.record);
    if (commandLine.demoRecordSeconds > 0) window.SetRecordFor(commandLine.demoRecordSeconds);
    if (!commandLine.browse.isEmpty()) {
      window.SetBrowseAtStart(commandLine.browse, {commandLine.browseAt, commandLine.browseLayout});
      // Nothing to browse is the end of a start that was only for browsing.
      QObject::connect(&window, &MainWindow::BrowseAtStartFailed, &window, [&window, &code](const QString& error) {
        std::fprintf(stderr, "strixc: %s\n", error.simplified().toUtf8().constData());
        code = 1;
        window.ExitCommand();
        QApplication::exit(1);
      });
    }
    // A stop asked by the system saves as Exit does, and ends the program even while a dialog
    // (with its own event loop) is open.
    TerminationSignal termination;
    QObject::connect(&termination, &TerminationSignal::Raised, &window, [&window] {
      window.ExitCommand();
      QCoreApplication::quit();
    });
    if (commandLine.demo) {
      // The demonstration records into its own profile: give it an archive when it has none.
      station.LoadAll();
      QString error;
      if (station.Archive().LocationCount() == 0 && !station.CreateDefaultArchive(&error)) {
        std::fprintf(stderr, "strixc: %s\n", error.toUtf8().constData());
      }
      station.Archive().Close();
      station.SaveAll();
    }
    // Placed and in its display mode before it is first shown: it appears once, as it was left.
    window.LoadPlacement();
    window.show();
    window.Start();
    if (!commandLine.screenshot.isEmpty()) {
      QTimer::singleShot(commandLine.quitAfterSeconds * 1000, &window, [&window, &commandLine] {
        // The archive browser, when one is open, is what the picture is of.
        QWidget* shown = window.Browser() != nullptr ? window.Browser() : &window;
        if (!shown->grab().save(commandLine.screenshot, "PNG")) {
          std::fprintf(stderr, "strixc: can't write %s\n", commandLine.screenshot.toUtf8().constData());
        }
        window.ExitCommand();
        // Also ends a message box's own event loop, should one be open.
        QApplication::exit(0);
      });
    } else if (commandLine.quitAfterSeconds > 0) {
      QTimer::singleShot(commandLine.quitAfterSeconds * 1000, &window, [&window] {
        window.ExitCommand();
        QApplication::exit(0);
      });
    }
    const int loop = QApplication::exec();
    if (code == 0) code = loop;
  }
  if (simulator) simulator->Stop();
  return code;
}

}  // namespace strixc::station
