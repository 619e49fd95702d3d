// strixc-tool: headless commands over the operator station's libraries.

#include <QCoreApplication>
#include <QGuiApplication>
#include <memory>
#include <QStringList>
#include <cstdio>
#include <string_view>

#include "archive_command.h"
#include "backup_command.h"
#include "command_help.h"
#include "dome_command.h"
#include "map_command.h"
#include "export_command.h"
#include "play_command.h"
#include "probe_command.h"
#include "record_command.h"
#include "settings_command.h"
#include "snapshot_command.h"
#include "wall_command.h"

namespace {

void Usage(FILE* stream) {
  std::fputs(
      "Usage: strixc-tool COMMAND [OPTIONS]\n"
      "Headless commands over the operator station's libraries. Each prints JSON on standard output\n"
      "(one object, or one object a line for listings) and errors as one line on standard error.\n"
      "\n"
      "Commands:\n"
      "  probe     Connect as the operator station does, print the server's configuration, switch an\n"
      "            output, watch events.\n"
      "  snapshot  Save a camera's picture, report its frames with their motion flag, or save the\n"
      "            whole video area of a layout.\n"
      "  dome      Send one dome request (move, step, presets, tours, patterns, position) and print\n"
      "            the server's reply.\n"
      "  settings  Export or import the operator's settings tree as JSON.\n"
      "  archive   Create, summarise, verify or dump a local archive.\n"
      "  record    Record the server's live cameras into a local archive.\n"
      "  play      Play a local archive as the archive browser does, one JSON line per frame.\n"
      "  map       Print the archive map of a local archive for a period, column by column.\n"
      "  export    Export one camera of a local archive for a period to an AVI, MKV or MP4 file.\n"
      "  backup    Copy chosen cameras of a period of a local archive into a new archive.\n"
      "\n"
      "strixc-tool COMMAND --help lists the forms and options of a command.\n"
      "Commands that connect also take --encoding NAME: the code page of the server's texts\n"
      "(a single-byte one such as Windows-1250; default: the program's \"Server text encoding\").\n"
      "Archive times are YYYY-MM-DDTHH:MM:SS[.fff] on the local wall clock, or @UNITS as stored.\n"
      "\n"
      "Options:\n"
      "  -h, --help  Show this help.\n"
      "  --version   Show the version.\n",
      stream);
}

}  // namespace

bool WantsWall(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]) == "--wall" || std::string_view(argv[i]).starts_with("--wall=")) return true;
  }
  return false;
}

// The archive map draws its time axis with a font.
bool WantsMap(int argc, char** argv) { return argc > 1 && std::string_view(argv[1]) == "map"; }

int main(int argc, char** argv) {
  // The wall picture and the map draw text, which needs the GUI application object; they never
  // need a screen.
  std::unique_ptr<QCoreApplication> application;
  if (WantsWall(argc, argv) || WantsMap(argc, argv)) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    application = std::make_unique<QGuiApplication>(argc, argv);
  } else {
    application = std::make_unique<QCoreApplication>(argc, argv);
  }
  QCoreApplication::setApplicationName(QStringLiteral("strixc-tool"));
  QStringList arguments = QCoreApplication::arguments();
  if (arguments.size() < 2) {
    Usage(stderr);
    return 1;
  }
  const QString command = arguments.takeAt(1);
  if (command == QLatin1String("--help") || command == QLatin1String("-h")) {
    Usage(stdout);
    return 0;
  }
  if (command == QLatin1String("--version")) {
    std::printf("%s\n", strixc::tool::VersionText().toUtf8().constData());
    return 0;
  }
  // The parser of each command expects the program name first.
  if (command == QLatin1String("probe")) return strixc::tool::RunProbe(arguments);
  if (command == QLatin1String("snapshot")) {
    return WantsWall(argc, argv) ? strixc::tool::RunWallSnapshot(arguments) : strixc::tool::RunSnapshot(arguments);
  }
  if (command == QLatin1String("dome")) return strixc::tool::RunDome(arguments);
  if (command == QLatin1String("settings")) return strixc::tool::RunSettings(arguments);
  if (command == QLatin1String("archive")) return strixc::tool::RunArchive(arguments);
  if (command == QLatin1String("record")) return strixc::tool::RunRecord(arguments);
  if (command == QLatin1String("play")) return strixc::tool::RunPlay(arguments);
  if (command == QLatin1String("map")) return strixc::tool::RunMap(arguments);
  if (command == QLatin1String("export")) return strixc::tool::RunExport(arguments);
  if (command == QLatin1String("backup")) return strixc::tool::RunBackup(arguments);
  std::fprintf(stderr, "strixc-tool: unknown command '%s'\n", command.toUtf8().constData());
  Usage(stderr);
  return 1;
}
