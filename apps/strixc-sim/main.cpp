// strixc-sim: the recording-server simulator. Prints one JSON line with its ports once both
// listen, then serves until SIGINT or SIGTERM.

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>

#include "sim/sim_command_line.h"
#include "sim/sim_server.h"

namespace {

constexpr int kUsageError = 2;
constexpr int kStartError = 1;

// Self-pipe: the handler only writes a byte, the event loop reads it and quits.
int signalPipe[2] = {-1, -1};

void OnSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = write(signalPipe[1], &byte, 1);
}

bool InstallSignalHandlers() {
  if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  return sigaction(SIGINT, &action, nullptr) == 0 && sigaction(SIGTERM, &action, nullptr) == 0;
}

void PrintError(const QString& text) { std::fprintf(stderr, "strixc-sim: %s\n", qPrintable(text)); }

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("strixc-sim"));

  strixc::sim::SimCommandLine commandLine;
  switch (commandLine.Parse(QCoreApplication::arguments())) {
    case strixc::sim::SimCommandLine::Result::kHelp:
      std::fputs(qPrintable(commandLine.HelpText()), stdout);
      return 0;
    case strixc::sim::SimCommandLine::Result::kVersion:
      std::printf("strixc-sim %s\n", STRIXC_VERSION);
      return 0;
    case strixc::sim::SimCommandLine::Result::kError:
      PrintError(commandLine.ErrorText());
      return kUsageError;
    case strixc::sim::SimCommandLine::Result::kRun:
      break;
  }

  if (!InstallSignalHandlers()) {
    PrintError(QStringLiteral("cannot install the signal handlers"));
    return kStartError;
  }
  QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
  QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [] {
    char byte;
    while (read(signalPipe[0], &byte, 1) > 0) {
    }
    QCoreApplication::quit();
  });

  strixc::sim::SimServer server(commandLine.Config());
  if (!server.Start()) {
    PrintError(QStringLiteral("cannot listen: %1").arg(server.ErrorText()));
    return kStartError;
  }
  // An IP address needs no escaping inside a JSON string.
  std::printf("{\"listen\":\"%s\",\"port\":%u,\"controlPort\":%u}\n",
              qPrintable(server.Config().listenAddress.toString()), static_cast<unsigned>(server.VideoPort()),
              static_cast<unsigned>(server.ControlPort()));
  std::fflush(stdout);

  const int code = QCoreApplication::exec();
  server.Stop();
  return code;
}
