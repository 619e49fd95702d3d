#include "tool_session.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>

#include "settings/settings_database.h"
#include "shell/language.h"
#include "tools/client_settings.h"
#include "tools/data_folder.h"

namespace strixc::tool {

using net::ConnectionController;

void PrintLine(const QString& line, bool toStdErr) {
  FILE* stream = toStdErr ? stderr : stdout;
  std::fputs(line.toUtf8().constData(), stream);
  std::fputc('\n', stream);
  std::fflush(stream);
}

bool ReadNumberOption(const QCommandLineParser& parser, const char* name, qint64 low, qint64 high, qint64* value,
                      QString* error) {
  bool ok = false;
  const qint64 v = parser.value(QString::fromUtf8(name)).toLongLong(&ok);
  if (!ok || v < low || v > high) {
    *error = QStringLiteral("--%1 takes a number from %2 to %3").arg(QString::fromUtf8(name)).arg(low).arg(high);
    return false;
  }
  *value = v;
  return true;
}

bool ReadNumberOption(const QCommandLineParser& parser, const char* name, int low, int high, int* value,
                      QString* error) {
  qint64 wide = 0;
  if (!ReadNumberOption(parser, name, qint64{low}, qint64{high}, &wide, error)) return false;
  *value = static_cast<int>(wide);
  return true;
}

namespace {

// The station's "Server text encoding", read from the operator's settings file when one exists
// (never created here); without one, the default of the default language.
net::TextCodec ProgramTextCodec() {
  tools::ClientSettings client(tools::DataFolder());
  const std::string path = settings::SettingsDatabase::DefaultPath();
  if (QFileInfo::exists(QString::fromStdString(path))) {
    settings::SettingsDatabase db;
    db.Open(path);
    shell::ReadLanguage(db);
    client.Load(db);
  }
  return client.ServerTextCodec();
}

}  // namespace

void ServerOptions::AddTo(QCommandLineParser& parser) {
  parser.addOptions({
      {"host", "Server address.", "H"},
      {"port", "Video-channel port (control channel: port + 1).", "P"},
      {"user", "User name.", "U"},
      {"password", "Password.", "W"},
      {"encoding", "Code page of the server's texts, e.g. Windows-1250 (default: the program setting).", "NAME"},
  });
}

bool ServerOptions::Read(const QCommandLineParser& parser, QString* error) {
  for (const char* required : {"host", "port", "user", "password"}) {
    if (!parser.isSet(QString::fromUtf8(required))) {
      *error = QStringLiteral("missing --%1").arg(QString::fromUtf8(required));
      return false;
    }
  }
  bool ok = false;
  const uint value = parser.value("port").toUInt(&ok);
  if (!ok || value == 0 || value >= 65535) {
    *error = QStringLiteral("--port must be a number from 1 to 65534");
    return false;
  }
  host = parser.value("host");
  port = static_cast<quint16>(value);
  user = parser.value("user").toStdString();
  password = parser.value("password").toStdString();
  if (!parser.isSet("encoding")) {
    codec = ProgramTextCodec();
    return true;
  }
  std::string problem;
  const auto chosen = net::TextCodec::Create(parser.value("encoding").toStdString(), &problem);
  if (!chosen) {
    *error = QStringLiteral("--encoding: %1").arg(QString::fromStdString(problem));
    return false;
  }
  codec = *chosen;
  return true;
}

ToolSession::ToolSession(ServerOptions options, net::ConnectionController* controller)
    : options_(std::move(options)),
      ownController_(controller == nullptr ? std::make_unique<net::ConnectionController>() : nullptr),
      controller_(controller == nullptr ? *ownController_ : *controller) {
  connect(&controller_, &ConnectionController::Started, this, [this] { OnStarted(); });
  connect(&controller_, &ConnectionController::LoginFailed, this,
          [this](ConnectionController::LoginFailure failure, const QString& text) {
            Fail(failure == ConnectionController::LoginFailure::kSocketError ? kBroken : kRefused, text);
          });
  connect(&controller_, &ConnectionController::ConnectionClosed, this,
          [this](int, const QString& text) { OnClosed(text); });
}

int ToolSession::Run() {
  controller_.SetTextCodec(options_.codec);
  controller_.Connect(options_.host, options_.port, options_.user, options_.password);
  QTimer::singleShot(kStartTimeoutMs, this, [this] {
    if (!started_) Fail(kBroken, QStringLiteral("The server did not complete the connection in time."));
  });
  return QCoreApplication::exec();
}

void ToolSession::OnClosed(const QString& text) {
  if (finishing_) return;
  // A failed login reports its own reason right after the teardown's close: let it win.
  QTimer::singleShot(0, this, [this, text] { Fail(kBroken, text); });
}

void ToolSession::Fail(ExitCode code, const QString& text) {
  if (finishing_) return;
  finishing_ = true;
  PrintLine(text, true);
  QCoreApplication::exit(code);
}

void ToolSession::Finish() {
  if (finishing_) return;
  finishing_ = true;
  controller_.Teardown();
  QCoreApplication::exit(kOk);
}

}  // namespace strixc::tool
