#include "command_help.h"

#include <QCoreApplication>
#include <cstdio>

#include "tool_session.h"

namespace strixc::tool {

std::optional<int> ParseCommand(QCommandLineParser& parser, const QStringList& arguments, const CommandHelp& help) {
  const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."));
  const QCommandLineOption versionOption(QStringLiteral("version"), QStringLiteral("Show the version."));
  parser.addOptions({helpOption, versionOption});
  parser.setApplicationDescription(QString::fromUtf8(help.description));
  const QString name = QString::fromUtf8(help.name);
  if (!parser.parse(arguments)) {
    PrintLine(name + QStringLiteral(": ") + parser.errorText(), true);
    return kUsage;
  }
  if (parser.isSet(helpOption)) {
    std::fputs(HelpText(parser, QString::fromUtf8(help.usage)).toUtf8().constData(), stdout);
    return kOk;
  }
  if (parser.isSet(versionOption)) {
    PrintLine(VersionText());
    return kOk;
  }
  return std::nullopt;
}

QString HelpText(const QCommandLineParser& parser, const QString& usage) {
  QString text = parser.helpText();
  const qsizetype firstLineEnd = text.indexOf(QLatin1Char('\n'));
  text.replace(0, firstLineEnd, QStringLiteral("Usage: ") + QString(usage).replace(QLatin1Char('\n'), QStringLiteral("\n       ")));
  return text;
}

QString VersionText() {
  return QStringLiteral("strixc-tool ") + QStringLiteral(STRIXC_VERSION);
}

}  // namespace strixc::tool
