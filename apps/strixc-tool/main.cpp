// strixc-tool: headless commands over the operator station's libraries.

#include <QCoreApplication>
#include <QGuiApplication>
#include <memory>
#include <QStringList>
#include <cstdio>
#include <string_view>

#include "archive_command.h"
#include "probe_command.h"
#include "record_command.h"
#include "settings_command.h"
#include "snapshot_command.h"
#include "wall_command.h"

namespace {

void Usage() {
  std::fputs(
      "usage: strixc-tool COMMAND [OPTIONS]\n"
      "commands:\n"
      "  probe --host H --port P --user U --password W [--set-output N=0|1] [--watch SECONDS]\n"
      "  snapshot --host H --port P --user U --password W --camera C --out FILE.jpg [--wait SECONDS]\n"
      "  snapshot ... --camera C --motion L,T,R,B --sensitivity S --frames N [--wait SECONDS]\n"
      "  snapshot ... --wall FILE.png [--layout L] [--size WxH] [--wait SECONDS]\n"
      "  settings export|import FILE [--profile DIR]\n"
      "  archive create DIR --space-mb N --file-size-mb M [--fast] [--min-file-number K] [--yes]\n"
      "  archive info|verify DIR...\n"
      "  archive dump DIR... [--camera C] [--from T] [--to T]\n"
      "  record --host H --port P --user U --password W --archive DIR --seconds N [--space-mb N --file-size-mb M]\n"
      "commands that connect also take --encoding NAME: the code page of the server's texts\n"
      "  (a single-byte one such as Windows-1250; default: the program's \"Server text encoding\")\n"
      "archive times T are YYYY-MM-DDTHH:MM:SS[.fff] on the local wall clock, or @UNITS as stored\n",
      stderr);
}

}  // namespace

bool WantsWall(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]) == "--wall" || std::string_view(argv[i]).starts_with("--wall=")) return true;
  }
  return false;
}

int main(int argc, char** argv) {
  // The wall picture draws text, which needs the GUI application object; it never needs a screen.
  std::unique_ptr<QCoreApplication> application;
  if (WantsWall(argc, argv)) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    application = std::make_unique<QGuiApplication>(argc, argv);
  } else {
    application = std::make_unique<QCoreApplication>(argc, argv);
  }
  QCoreApplication::setApplicationName(QStringLiteral("strixc-tool"));
  QStringList arguments = QCoreApplication::arguments();
  if (arguments.size() < 2) {
    Usage();
    return 1;
  }
  const QString command = arguments.takeAt(1);
  // The parser of each command expects the program name first.
  if (command == QLatin1String("probe")) return strixc::tool::RunProbe(arguments);
  if (command == QLatin1String("snapshot")) {
    return WantsWall(argc, argv) ? strixc::tool::RunWallSnapshot(arguments) : strixc::tool::RunSnapshot(arguments);
  }
  if (command == QLatin1String("settings")) return strixc::tool::RunSettings(arguments);
  if (command == QLatin1String("archive")) return strixc::tool::RunArchive(arguments);
  if (command == QLatin1String("record")) return strixc::tool::RunRecord(arguments);
  std::fprintf(stderr, "strixc-tool: unknown command '%s'\n", command.toUtf8().constData());
  Usage();
  return 1;
}
