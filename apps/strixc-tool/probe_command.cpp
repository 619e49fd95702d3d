#include "probe_command.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>
#include <array>
#include <cstdio>
#include <optional>

#include "json_writer.h"
#include "net/connection_controller.h"

namespace strixc::tool {

namespace {

using net::ConnectionController;

// How long the whole start (video login, control login, configuration answers) may take.
constexpr int kStartTimeoutMs = 15000;

enum ExitCode { kOk = 0, kUsage = 1, kRefused = 2, kBroken = 3 };

void PrintLine(const QString& line, FILE* stream = stdout) {
  std::fputs(line.toUtf8().constData(), stream);
  std::fputc('\n', stream);
  std::fflush(stream);
}

struct ProbeOptions {
  QString host;
  quint16 port = 0;
  std::string user;
  std::string password;
  std::optional<std::pair<int, bool>> setOutput;
  int watchSeconds = 0;
};

std::optional<ProbeOptions> ParseOptions(const QStringList& arguments, QString* error) {
  QCommandLineParser parser;
  parser.addOptions({
      {"host", "Server address.", "H"},
      {"port", "Video-channel port (control channel: port + 1).", "P"},
      {"user", "User name.", "U"},
      {"password", "Password.", "W"},
      {"set-output", "Switch relay output N (0..11) on (1) or off (0).", "N=0|1"},
      {"watch", "Print server events and input/output changes for SECONDS.", "SECONDS"},
  });
  if (!parser.parse(arguments)) {
    *error = parser.errorText();
    return std::nullopt;
  }
  if (!parser.positionalArguments().isEmpty()) {
    *error = QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first());
    return std::nullopt;
  }
  for (const char* required : {"host", "port", "user", "password"}) {
    if (!parser.isSet(QString::fromUtf8(required))) {
      *error = QStringLiteral("missing --%1").arg(QString::fromUtf8(required));
      return std::nullopt;
    }
  }
  ProbeOptions o;
  o.host = parser.value("host");
  bool ok = false;
  const uint port = parser.value("port").toUInt(&ok);
  if (!ok || port == 0 || port >= 65535) {
    *error = QStringLiteral("--port must be a number from 1 to 65534");
    return std::nullopt;
  }
  o.port = static_cast<quint16>(port);
  o.user = parser.value("user").toStdString();
  o.password = parser.value("password").toStdString();
  if (parser.isSet("set-output")) {
    const QStringList parts = parser.value("set-output").split(QLatin1Char('='));
    bool indexOk = false;
    const int index = parts.value(0).toInt(&indexOk);
    const QString state = parts.value(1);
    if (parts.size() != 2 || !indexOk || index < 0 || index >= net::kOutputCount ||
        (state != QLatin1String("0") && state != QLatin1String("1"))) {
      *error = QStringLiteral("--set-output takes N=0 or N=1 with N from 0 to 11");
      return std::nullopt;
    }
    o.setOutput = std::make_pair(index, state == QLatin1String("1"));
  }
  if (parser.isSet("watch")) {
    const int seconds = parser.value("watch").toInt(&ok);
    if (!ok || seconds < 0 || seconds > 24 * 3600) {
      *error = QStringLiteral("--watch takes a number of seconds from 0 to 86400");
      return std::nullopt;
    }
    o.watchSeconds = seconds;
  }
  return o;
}

template <size_t N>
QString PointsJson(const std::array<net::IoPoint, N>& points, uint32_t mask) {
  QStringList items;
  for (const net::IoPoint& point : points) {
    if (!(mask & (1u << point.Index()))) continue;
    items << JsonObject().Add("index", point.Index()).Add("name", point.Name()).Add("state", point.State()).Text();
  }
  return JsonObject::Array(items);
}

QString Configuration(ConnectionController& controller) {
  net::ServerConnection& c = controller.Connection();
  QStringList cameras;
  for (int i = 0; i < net::kCameraCount; ++i) {
    if (!(c.CameraMask() & (1u << i))) continue;
    cameras << JsonObject()
                   .Add("index", i)
                   .Add("name", controller.CameraName(i))
                   .Add("dome", controller.CameraIsDome(i))
                   .Text();
  }
  return JsonObject()
      .Add("serverName", c.ServerName())
      .Add("protocolVersion", controller.ServerVersion())
      .Add("cameraCount", c.CameraCount())
      .Add("cameraMask", c.CameraMask())
      .Add("inputMask", c.InputMask())
      .Add("outputMask", c.OutputMask())
      .AddRaw("cameras", JsonObject::Array(cameras))
      .AddRaw("inputs", PointsJson(controller.Points().inputs, c.InputMask()))
      .AddRaw("outputs", PointsJson(controller.Points().outputs, c.OutputMask()))
      .Text();
}

// One probe run; lives on the main thread's event loop.
class Probe : public QObject {
 public:
  Probe(const ProbeOptions& options) : options_(options) {
    connect(&controller_, &ConnectionController::Started, this, &Probe::OnStarted);
    connect(&controller_, &ConnectionController::InfoAnswered, this, &Probe::OnInfoAnswered);
    connect(&controller_, &ConnectionController::LoginFailed, this, &Probe::OnLoginFailed);
    connect(&controller_, &ConnectionController::ConnectionClosed, this, &Probe::OnClosed);
    connect(&controller_, &ConnectionController::ServerEvent, this, [this](quint32 kind, quint32 index) {
      if (watching_)
        PrintLine(JsonObject().Add("event", "server").Add("kind", kind).Add("index", index).Text());
    });
    connect(&controller_, &ConnectionController::InputChanged, this,
            [this](int index, int state) { PrintPoint("input", controller_.Points().inputs[index], state); });
    connect(&controller_, &ConnectionController::OutputChanged, this,
            [this](int index, int state) { PrintPoint("output", controller_.Points().outputs[index], state); });
  }

  int Run() {
    controller_.Connect(options_.host, options_.port, options_.user, options_.password);
    QTimer::singleShot(kStartTimeoutMs, this, [this] {
      if (!printed_) Fail(kBroken, QStringLiteral("The server did not complete the connection in time."));
    });
    return QCoreApplication::exec();
  }

 private:
  void PrintPoint(const char* kind, const net::IoPoint& point, int state) {
    if (!watching_) return;
    PrintLine(JsonObject()
                  .Add("event", kind)
                  .Add("index", point.Index())
                  .Add("name", point.Name())
                  .Add("state", state)
                  .Text());
  }

  void OnStarted() {
    controller_.CompleteStart(controller_.Connection().CameraMask());
  }

  // The configuration requests go out in a fixed order and the last one asks for the name of output
  // 11, so its answer means every earlier answer is in.
  void OnInfoAnswered(int kind, int index) {
    if (printed_ || kind != net::info_kind::kOutput || index != net::kOutputCount - 1) return;
    printed_ = true;
    PrintLine(Configuration(controller_));
    watching_ = options_.watchSeconds > 0;
    if (options_.setOutput) {
      const auto [output, on] = *options_.setOutput;
      const bool ok = controller_.Connection().SetOutput(output, on);
      if (watching_)
        PrintLine(JsonObject().Add("event", "setOutput").Add("index", output).Add("state", on ? 1 : 0).Add("ok", ok).Text());
      if (!ok) return;  // the teardown's ConnectionClosed reports why
    }
    QTimer::singleShot(options_.watchSeconds * 1000, this, [this] { Finish(); });
  }

  void OnLoginFailed(ConnectionController::LoginFailure failure, const QString& text) {
    Fail(failure == ConnectionController::LoginFailure::kSocketError ? kBroken : kRefused, text);
  }

  void OnClosed(int, const QString& text) {
    if (finishing_) return;
    // A failed login reports its own reason right after the teardown's close: let it win.
    QTimer::singleShot(0, this, [this, text] { Fail(kBroken, text); });
  }

  void Fail(ExitCode code, const QString& text) {
    if (finishing_) return;
    finishing_ = true;
    PrintLine(text, stderr);
    QCoreApplication::exit(code);
  }

  void Finish() {
    if (finishing_) return;
    finishing_ = true;
    controller_.Teardown();
    QCoreApplication::exit(kOk);
  }

  ProbeOptions options_;
  ConnectionController controller_;
  bool printed_ = false;
  bool watching_ = false;
  bool finishing_ = false;
};

}  // namespace

int RunProbe(const QStringList& arguments) {
  QString error;
  const auto options = ParseOptions(arguments, &error);
  if (!options) {
    PrintLine(QStringLiteral("probe: ") + error, stderr);
    return kUsage;
  }
  Probe probe(*options);
  return probe.Run();
}

}  // namespace strixc::tool
