// strixc: the operator station.

#include <QApplication>
#include <cstdio>

#include "client_app.h"
#include "dialogs.h"
#include "shell/gallery.h"

namespace {

bool Has(int argc, char** argv, const char* flag) {
  for (int i = 1; i < argc; ++i) {
    if (QByteArray(argv[i]) == flag) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  // --help and --version answer before the application object exists, which needs a display.
  QStringList rawArguments;
  for (int i = 0; i < argc; ++i) rawArguments.append(QString::fromLocal8Bit(argv[i]));
  const strixc::station::CommandLine early = strixc::station::ParseCommandLine(rawArguments);
  if (!early.helpText.isEmpty()) {
    std::fputs(early.helpText.toUtf8().constData(), stdout);
    return 0;
  }
  if (early.version) {
    std::printf("strixc %s\n", STRIXC_VERSION);
    return 0;
  }
  // Pictures for review, and screenshots and timed runs where no screen exists, are made offscreen.
  const bool noScreen = qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
  const bool offscreen = Has(argc, argv, "--gallery") ||
                         (noScreen && (Has(argc, argv, "--screenshot") || Has(argc, argv, "--quit-after")));
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && offscreen) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("strixc"));
  QApplication::setApplicationVersion(QStringLiteral(STRIXC_VERSION));

  const strixc::station::CommandLine commandLine = strixc::station::ParseCommandLine(QApplication::arguments());
  if (!commandLine.error.isEmpty()) {
    std::fprintf(stderr, "strixc: %s\n", commandLine.error.toUtf8().constData());
    return 2;
  }
  if (!commandLine.gallery.isEmpty()) {
    QString error;
    const int written = strixc::shell::RenderGallery(commandLine.gallery, strixc::station::GalleryPages(), &error);
    if (written < 0) {
      std::fprintf(stderr, "strixc: %s\n", error.toUtf8().constData());
      return 1;
    }
    std::printf("{\"gallery\":\"%s\",\"files\":%d}\n", commandLine.gallery.toUtf8().constData(), written);
    return 0;
  }
  return strixc::station::RunClientApp(commandLine);
}
