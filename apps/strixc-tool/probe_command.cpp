#include "probe_command.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>
#include <array>
#include <cstdio>
#include <optional>
#include <set>
#include <utility>

#include "command_help.h"
#include "json_writer.h"
#include "net/connection_controller.h"
#include "tool_session.h"

namespace strixc::tool {

namespace {

using net::ConnectionController;

struct ProbeOptions {
  ServerOptions server;
  std::optional<std::pair<int, bool>> setOutput;
  int watchSeconds = 0;
};

constexpr CommandHelp kHelp = {
    "probe",
    "strixc-tool probe --host H --port P --user U --password W [--set-output N=0|1] [--watch SECONDS]",
    "Connects as the operator station does and prints the server's configuration as one JSON object;\n"
    "optionally switches a relay output, and prints every server event and input or output change\n"
    "as one JSON line for SECONDS. Exit codes: 0 done, 1 bad command line, 2 login refused or\n"
    "protocol version not supported, 3 connection broken, timed out or failed.",
};

void AddOptions(QCommandLineParser& parser) {
  ServerOptions::AddTo(parser);
  parser.addOptions({
      {"set-output", "Switch relay output N (0..11) on (1) or off (0).", "N=0|1"},
      {"watch", "Print server events and input/output changes for SECONDS.", "SECONDS"},
  });
}

std::optional<ProbeOptions> ReadOptions(const QCommandLineParser& parser, QString* error) {
  if (!parser.positionalArguments().isEmpty()) {
    *error = QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first());
    return std::nullopt;
  }
  ProbeOptions o;
  if (!o.server.Read(parser, error)) return std::nullopt;
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
    bool ok = false;
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

// One probe run: prints the configuration, then optionally switches an output and watches.
class Probe : public ToolSession {
 public:
  explicit Probe(const ProbeOptions& options) : ToolSession(options.server), options_(options) {
    ConnectionController& c = Controller();
    connect(&c, &ConnectionController::InfoAnswered, this, &Probe::OnInfoAnswered);
    connect(&c, &ConnectionController::ServerEvent, this, [this](quint32 kind, quint32 index) {
      if (watching_) PrintLine(JsonObject().Add("event", "server").Add("kind", kind).Add("index", index).Text());
    });
    connect(&c, &ConnectionController::InputChanged, this,
            [this](int index, int state) { PrintPoint("input", Controller().Points().inputs[index], state); });
    connect(&c, &ConnectionController::OutputChanged, this,
            [this](int index, int state) { PrintPoint("output", Controller().Points().outputs[index], state); });
  }

 private:
  void OnStarted() override {
    ExpectAnswers();
    Controller().CompleteStart(Controller().Connection().CameraMask());
  }

  // The answers the configuration is complete with: the I/O states, and the name of every camera,
  // input and output that the masks announce. A server answers only for what it has.
  void ExpectAnswers() {
    const net::ServerConnection& c = Controller().Connection();
    pending_.clear();
    pending_.insert({net::info_kind::kIoState, 0});
    const auto expect = [this](int kind, uint32_t mask, int count) {
      for (int n = 0; n < count; ++n)
        if (mask & (1u << n)) pending_.insert({kind, n});
    };
    expect(net::info_kind::kCamera, c.CameraMask(), net::kCameraCount);
    expect(net::info_kind::kInput, c.InputMask(), net::kInputCount);
    expect(net::info_kind::kOutput, c.OutputMask(), net::kOutputCount);
  }

  void PrintPoint(const char* kind, const net::IoPoint& point, int state) {
    if (!watching_) return;
    PrintLine(JsonObject()
                  .Add("event", kind)
                  .Add("index", point.Index())
                  .Add("name", point.Name())
                  .Add("state", state)
                  .Text());
  }

  void OnInfoAnswered(int kind, int index) {
    if (printed_ || pending_.erase({kind, index}) == 0 || !pending_.empty()) return;
    printed_ = true;
    MarkStarted();
    PrintLine(Configuration(Controller()));
    watching_ = options_.watchSeconds > 0;
    if (options_.setOutput) {
      const auto [output, on] = *options_.setOutput;
      const bool ok = Controller().Connection().SetOutput(output, on);
      if (watching_)
        PrintLine(JsonObject().Add("event", "setOutput").Add("index", output).Add("state", on ? 1 : 0).Add("ok", ok).Text());
      if (!ok) return;  // the teardown's ConnectionClosed reports why
    }
    QTimer::singleShot(options_.watchSeconds * 1000, this, [this] { Finish(); });
  }

  ProbeOptions options_;
  std::set<std::pair<int, int>> pending_;  // (kind, index) of the answers still missing
  bool printed_ = false;
  bool watching_ = false;
};

}  // namespace

int RunProbe(const QStringList& arguments) {
  QCommandLineParser parser;
  AddOptions(parser);
  if (const auto end = ParseCommand(parser, arguments, kHelp)) return *end;
  QString error;
  const auto options = ReadOptions(parser, &error);
  if (!options) {
    PrintLine(QStringLiteral("probe: ") + error, true);
    return kUsage;
  }
  Probe probe(*options);
  return probe.Run();
}

}  // namespace strixc::tool
