// strixc: the operator station.

#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>

#include "shell/gallery.h"

int main(int argc, char** argv) {
  // The gallery renders offscreen: it needs no screen, and must not flash windows on one.
  for (int i = 1; i < argc; ++i) {
    if (QByteArray(argv[i]) == "--gallery" && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
      qputenv("QT_QPA_PLATFORM", "offscreen");
    }
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("strixc"));
  QCommandLineParser parser;
  parser.addHelpOption();
  parser.addOption({"gallery", "Render every dialog and control in each language into DIR as PNG files, and exit.", "DIR"});
  parser.process(app);

  if (parser.isSet("gallery")) {
    QString error;
    const int written = strixc::shell::RenderGallery(parser.value("gallery"), strixc::shell::ShellGalleryPages(), &error);
    if (written < 0) {
      std::fprintf(stderr, "strixc: %s\n", error.toUtf8().constData());
      return 1;
    }
    std::printf("{\"gallery\":\"%s\",\"files\":%d}\n", parser.value("gallery").toUtf8().constData(), written);
    return 0;
  }
  std::fputs("usage: strixc --gallery DIR\n", stderr);
  return 2;
}
