#include "sim/sim_command_line.h"

#include <QCommandLineParser>
#include <QHostAddress>
#include <limits>

namespace strixc::sim {

namespace {

// An option's value as an int within [low, high].
std::optional<int> IntIn(const QString& text, int low, int high) {
  bool ok = false;
  const qlonglong value = text.trimmed().toLongLong(&ok, 10);
  if (!ok || value < low || value > high) return std::nullopt;
  return static_cast<int>(value);
}

}  // namespace

std::optional<std::pair<int, int>> SimCommandLine::ParseSize(const QString& text) {
  const QStringList parts = text.toLower().split(QLatin1Char('x'));
  if (parts.size() != 2) return std::nullopt;
  const auto width = IntIn(parts[0], 1, std::numeric_limits<int>::max());
  const auto height = IntIn(parts[1], 1, std::numeric_limits<int>::max());
  if (!width || !height) return std::nullopt;
  return std::pair{*width, *height};
}

std::optional<uint32_t> SimCommandLine::ParseNumber(const QString& text) {
  const QString t = text.trimmed();
  const bool hex = t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
  const QString digits = hex ? t.mid(2) : t;
  // toULongLong accepts a sign and surrounding blanks; a number here is digits only.
  if (digits.isEmpty()) return std::nullopt;
  for (QChar c : digits) {
    const char a = c.toLatin1();
    const bool digit = a >= '0' && a <= '9';
    const bool letter = (a >= 'a' && a <= 'f') || (a >= 'A' && a <= 'F');
    if (!digit && !(hex && letter)) return std::nullopt;
  }
  bool ok = false;
  const qulonglong value = digits.toULongLong(&ok, hex ? 16 : 10);
  if (!ok || value > std::numeric_limits<uint32_t>::max()) return std::nullopt;
  return static_cast<uint32_t>(value);
}

std::optional<SimUser> SimCommandLine::ParseUser(const QString& text) {
  const qsizetype colon = text.indexOf(QLatin1Char(':'));
  if (colon <= 0) return std::nullopt;
  return SimUser{text.left(colon).toStdString(), text.mid(colon + 1).toStdString()};
}

std::optional<std::chrono::seconds> SimCommandLine::ParseDuration(const QString& text) {
  QString t = text.trimmed().toLower();
  if (t.isEmpty()) return std::nullopt;
  constexpr std::pair<char, qlonglong> kUnits[] = {{'s', 1}, {'m', 60}, {'h', 3600}, {'d', 86400}};
  qlonglong unit = 1;
  for (const auto& [suffix, seconds] : kUnits) {
    if (t.back() == QLatin1Char(suffix)) {
      unit = seconds;
      t.chop(1);
      break;
    }
  }
  // At most ten years: more than any archive holds, and far from overflowing anything.
  const auto count = IntIn(t, 0, static_cast<int>(3650LL * 86400 / unit));
  if (!count) return std::nullopt;
  return std::chrono::seconds{*count * unit};
}

SimCommandLine::Result SimCommandLine::Fail(const QString& text) {
  errorText_ = text;
  return Result::kError;
}

SimCommandLine::Result SimCommandLine::Parse(const QStringList& arguments) {
  config_ = SimConfig{};
  errorText_.clear();
  helpText_.clear();

  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("A recording server for tests and demonstrations. Prints one JSON line with its "
                     "ports once it listens and runs until SIGINT or SIGTERM."));
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                QStringLiteral("Show this help."));
  const QCommandLineOption showVersion(QStringLiteral("version"), QStringLiteral("Show the version."));
  const QCommandLineOption listen(QStringLiteral("listen"),
                                  QStringLiteral("Address to listen on (default 127.0.0.1)."),
                                  QStringLiteral("ADDR"));
  const QCommandLineOption port(
      QStringLiteral("port"),
      QStringLiteral("Video port; the control port is N + 1 (default 9000; 0 picks a free pair)."),
      QStringLiteral("N"));
  const QCommandLineOption user(QStringLiteral("user"),
                                QStringLiteral("An account, repeatable; replaces the default demo:demo."),
                                QStringLiteral("NAME:PASSWORD"));
  const QCommandLineOption cameras(QStringLiteral("cameras"),
                                   QStringLiteral("Number of cameras, 1..16 (default 16)."),
                                   QStringLiteral("N"));
  const QCommandLineOption size(QStringLiteral("size"),
                                QStringLiteral("Picture size of the cameras (default 352x288)."),
                                QStringLiteral("WxH"));
  const QCommandLineOption fps(QStringLiteral("fps"),
                               QStringLiteral("Pictures per second and camera (default 10)."),
                               QStringLiteral("N"));
  const QCommandLineOption name(
      QStringLiteral("name"), QStringLiteral("Server name, at most 29 characters (default \"Strix Simulator\")."),
      QStringLiteral("TEXT"));
  const QCommandLineOption cameraName(
      QStringLiteral("camera-name"),
      QStringLiteral("Name of camera N (1..16), at most 29 characters; repeatable."),
      QStringLiteral("N=TEXT"));
  const QCommandLineOption encoding(
      QStringLiteral("encoding"),
      QStringLiteral("Single-byte code page of the names and texts on the wire (default Windows-1252)."),
      QStringLiteral("NAME"));
  const QCommandLineOption domes(
      QStringLiteral("domes"),
      QStringLiteral("Mask of the cameras that are domes, decimal or 0x hex (default 0)."),
      QStringLiteral("MASK"));
  const QCommandLineOption events(QStringLiteral("events"),
                                  QStringLiteral("Report an event on every camera now and then (every 24 s each)."));
  const QCommandLineOption freeze(
      QStringLiteral("freeze"),
      QStringLiteral("Camera N (1..16) sends nothing for SECONDS (1..86400), from the first client's login on, "
                     "or DELAY seconds later with +DELAY; repeatable."),
      QStringLiteral("N:SECONDS[+DELAY]"));
  const QCommandLineOption archive(
      QStringLiteral("archive"),
      QStringLiteral("Serve the archive in DIR for remote playback; its files are made when there are none."),
      QStringLiteral("DIR"));
  const QCommandLineOption history(
      QStringLiteral("history"),
      QStringLiteral("An archive without recordings first gets this much synthetic past: N[s|m|h|d]."),
      QStringLiteral("DURATION"));
  const QCommandLineOption record(QStringLiteral("record"),
                                  QStringLiteral("Record the cameras into the archive while running."));
  const QCommandLineOption bookmarksReadOnly(QStringLiteral("bookmarks-readonly"),
                                             QStringLiteral("Refuse adding and removing bookmarks."));
  const QCommandLineOption verbose(QStringLiteral("verbose"),
                                   QStringLiteral("Log each archive and dome request on standard error."));
  const QCommandLineOption inputPeriod(
      QStringLiteral("input-period"),
      QStringLiteral("Milliseconds between input changes; 0 keeps them still "
                     "(default 3000)."),
      QStringLiteral("MS"));
  const QCommandLineOption version(QStringLiteral("protocol-version"),
                                   QStringLiteral("Protocol version the server reports (default 5)."),
                                   QStringLiteral("N"));
  parser.addOptions({help, showVersion, listen, port, user, cameras, size, fps, name, cameraName, encoding, domes, events,
                     archive, history, inputPeriod, version, freeze, record, bookmarksReadOnly, verbose});

  if (!parser.parse(arguments)) return Fail(parser.errorText());
  if (parser.isSet(help)) {
    // Qt's first line names the program by the path it was started with.
    helpText_ = parser.helpText();
    helpText_.replace(0, helpText_.indexOf(QLatin1Char('\n')), QStringLiteral("Usage: strixc-sim [options]"));
    return Result::kHelp;
  }
  if (parser.isSet(showVersion)) return Result::kVersion;
  if (!parser.positionalArguments().isEmpty())
    return Fail(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));

  if (parser.isSet(listen)) {
    config_.listenAddress = QHostAddress(parser.value(listen));
    if (config_.listenAddress.isNull()) return Fail(QStringLiteral("--listen wants an IP address"));
  }
  if (parser.isSet(port)) {
    const auto value = IntIn(parser.value(port), 0, 65534);
    if (!value)
      return Fail(QStringLiteral("--port wants a number 0..65534 (the control channel uses N + 1)"));
    config_.videoPort = static_cast<quint16>(*value);
  }
  if (parser.isSet(user)) {
    config_.users.clear();
    for (const QString& text : parser.values(user)) {
      const auto account = ParseUser(text);
      // The value holds a password: the message must not repeat it.
      if (!account) return Fail(QStringLiteral("--user wants NAME:PASSWORD"));
      config_.users.push_back(*account);
    }
  }
  if (parser.isSet(cameras)) {
    const auto value = IntIn(parser.value(cameras), 1, SimConfig::kMaxCameras);
    if (!value) return Fail(QStringLiteral("--cameras wants a number 1..16"));
    config_.cameraCount = *value;
  }
  if (parser.isSet(size)) {
    const auto value = ParseSize(parser.value(size));
    if (!value) return Fail(QStringLiteral("--size wants WIDTHxHEIGHT, for example 352x288"));
    config_.cameraWidth = value->first;
    config_.cameraHeight = value->second;
  }
  if (parser.isSet(fps)) {
    const auto value = IntIn(parser.value(fps), 1, SimConfig::kMaxFps);
    if (!value) return Fail(QStringLiteral("--fps wants a number 1..100"));
    config_.fps = *value;
  }
  if (parser.isSet(name)) config_.serverName = parser.value(name).toStdString();
  for (const QString& text : parser.values(cameraName)) {
    const qsizetype equals = text.indexOf(QLatin1Char('='));
    const auto camera = IntIn(text.left(equals), 1, SimConfig::kMaxCameras);
    if (equals <= 0 || !camera) return Fail(QStringLiteral("--camera-name wants N=TEXT with N 1..16"));
    config_.cameraNames[static_cast<size_t>(*camera - 1)] = text.mid(equals + 1).toStdString();
  }
  if (parser.isSet(encoding)) config_.encoding = parser.value(encoding).toStdString();
  if (parser.isSet(domes)) {
    const auto value = ParseNumber(parser.value(domes));
    if (!value) return Fail(QStringLiteral("--domes wants a mask, decimal or 0x hex"));
    config_.domeMask = *value;
  }
  for (const QString& text : parser.values(freeze)) {
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    const qsizetype plus = text.indexOf(QLatin1Char('+'));
    const QString secondsText = plus < 0 ? text.mid(colon + 1) : text.mid(colon + 1, plus - colon - 1);
    const auto camera = IntIn(text.left(colon), 1, SimConfig::kMaxCameras);
    const auto seconds = IntIn(secondsText, 1, 24 * 3600);
    const auto delay = plus < 0 ? std::optional<int>(0) : IntIn(text.mid(plus + 1), 0, 24 * 3600);
    if (colon <= 0 || !camera || !seconds || !delay)
      return Fail(QStringLiteral("--freeze wants N:SECONDS[+DELAY] with N 1..16 and SECONDS 1..86400"));
    config_.freezes.push_back({*camera - 1, std::chrono::seconds(*seconds), std::chrono::seconds(*delay)});
  }
  config_.events = parser.isSet(events);
  if (parser.isSet(archive)) {
    config_.archiveDir = parser.value(archive);
    if (config_.archiveDir.isEmpty()) return Fail(QStringLiteral("--archive wants a folder"));
  }
  config_.record = parser.isSet(record);
  config_.bookmarksReadOnly = parser.isSet(bookmarksReadOnly);
  config_.verbose = parser.isSet(verbose);
  if ((config_.record || config_.bookmarksReadOnly) && config_.archiveDir.isEmpty())
    return Fail(QStringLiteral("--record and --bookmarks-readonly need --archive DIR"));
  if (parser.isSet(history)) {
    const auto value = ParseDuration(parser.value(history));
    if (!value) return Fail(QStringLiteral("--history wants a duration such as 90s, 30m, 2h or 7d"));
    config_.history = *value;
  }
  if (parser.isSet(inputPeriod)) {
    const auto value = IntIn(parser.value(inputPeriod), 0, 24 * 3600 * 1000);
    if (!value) return Fail(QStringLiteral("--input-period wants milliseconds, 0..86400000"));
    config_.inputPeriodMs = *value;
  }
  if (parser.isSet(version)) {
    const auto value = ParseNumber(parser.value(version));
    if (!value) return Fail(QStringLiteral("--protocol-version wants a number"));
    config_.protocolVersion = *value;
  }

  QString invalid;
  if (!config_.Validate(&invalid)) return Fail(invalid);
  return Result::kRun;
}

}  // namespace strixc::sim
