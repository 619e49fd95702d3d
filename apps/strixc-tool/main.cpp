// strixc-tool: headless commands over the operator station's libraries.

#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

#include "archive_command.h"
#include "probe_command.h"
#include "record_command.h"
#include "settings_command.h"
#include "snapshot_command.h"

namespace {

void Usage() {
  std::fputs(
      "usage: strixc-tool COMMAND [OPTIONS]\n"
      "commands:\n"
      "  probe --host H --port P --user U --password W [--set-output N=0|1] [--watch SECONDS]\n"
      "  snapshot --host H --port P --user U --password W --camera C --out FILE.jpg [--wait SECONDS]\n"
      "  snapshot ... --camera C --motion L,T,R,B --sensitivity S --frames N [--wait SECONDS]\n"
      "  settings export|import FILE [--profile DIR]\n"
      "  archive create DIR --space-mb N --file-size-mb M [--fast] [--min-file-number K] [--yes]\n"
      "  archive info|verify DIR...\n"
      "  archive dump DIR... [--camera C] [--from T] [--to T]\n"
      "  record --host H --port P --user U --password W --archive DIR --seconds N [--space-mb N --file-size-mb M]\n",
      stderr);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("strixc-tool"));
  QStringList arguments = QCoreApplication::arguments();
  if (arguments.size() < 2) {
    Usage();
    return 1;
  }
  const QString command = arguments.takeAt(1);
  // The parser of each command expects the program name first.
  if (command == QLatin1String("probe")) return strixc::tool::RunProbe(arguments);
  if (command == QLatin1String("snapshot")) return strixc::tool::RunSnapshot(arguments);
  if (command == QLatin1String("settings")) return strixc::tool::RunSettings(arguments);
  if (command == QLatin1String("archive")) return strixc::tool::RunArchive(arguments);
  if (command == QLatin1String("record")) return strixc::tool::RunRecord(arguments);
  std::fprintf(stderr, "strixc-tool: unknown command '%s'\n", command.toUtf8().constData());
  Usage();
  return 1;
}
