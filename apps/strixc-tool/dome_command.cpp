#include "dome_command.h"

#include <QCommandLineParser>
#include <QTimer>
#include <array>
#include <cmath>
#include <functional>
#include <memory>
#include <optional>

#include "command_help.h"
#include "dome/dome_control.h"
#include "dome/dome_link.h"
#include "dome/dome_request_queue.h"
#include "json_writer.h"
#include "tool_session.h"

namespace strixc::tool {

namespace {

namespace code = dome::code;

constexpr CommandHelp kHelp = {
    "dome",
    "strixc-tool dome --host H --port P --user U --password W --camera C ACTION [ARGS]",
    "Sends one dome request for camera C (0..15) as the operator station's dome controls do, waits\n"
    "for the server's reply and prints {camera, command, reply}: the command code sent and the reply\n"
    "byte. ACTION is one of:\n"
    "  move PAN TILT ZOOM FOCUS IRIS   continuous move, speeds -1..1 (code 1); positive pan turns\n"
    "                                  left, positive tilt down, negative zoom zooms in\n"
    "  step PAN TILT ZOOM FOCUS IRIS   one step, the same values (code 2)\n"
    "  stop                            a move with all speeds 0 (code 1)\n"
    "  recall N | save N               recall or save preset position N, 0..255 (codes 11, 12)\n"
    "  browse FIRST LAST HOLD_MS       tour positions FIRST..LAST holding each HOLD_MS, 0..3600000\n"
    "                                  (code 13); end-browse ends it (code 14)\n"
    "  record-pattern N | end-pattern  record pattern N, 0..255 (code 15), end recording (code 16)\n"
    "  run-pattern [N]                 run pattern N, default 0 (code 17)\n"
    "  aux STATE                       set the auxiliary output, STATE 0..255 (code 18)\n"
    "  menu                            show the dome's configuration menu (code 21)\n"
    "  absolute P0 P1 P2 P3 P4 P5      set the absolute position, each -360..360 (code 23)\n"
    "Exit codes: 0 answered, 1 bad command line, 2 login refused or protocol version not supported,\n"
    "3 connection broken, timed out or failed, or the request not answered in time.",
};

constexpr unsigned kMaxNumber = 255;
constexpr unsigned kMaxHoldMs = 3600000;
constexpr double kMaxPosition = 360.0;
// The link closes the channel after the control channel's request time-out (5 s); this bound only
// keeps the command from waiting for ever should that never be reported.
constexpr int kReplyLimitMs = 8000;

struct DomeOptions {
  ServerOptions server;
  uint16_t camera = 0;
  uint16_t command = code::kNone;
  std::array<double, 6> values{};
};

// How the arguments of an action read.
enum class Arguments { kNone, kSpeeds, kNumber, kOptionalNumber, kBrowse, kPosition };

struct Action {
  const char* name;
  uint16_t command;
  Arguments arguments;
};

constexpr std::array<Action, 13> kActions = {{
    {"move", code::kMove, Arguments::kSpeeds},
    {"step", code::kStep, Arguments::kSpeeds},
    {"stop", code::kMove, Arguments::kNone},
    {"recall", code::kRecallPreset, Arguments::kNumber},
    {"save", code::kSavePreset, Arguments::kNumber},
    {"browse", code::kBrowse, Arguments::kBrowse},
    {"end-browse", code::kEndBrowse, Arguments::kNone},
    {"record-pattern", code::kRecordPattern, Arguments::kNumber},
    {"end-pattern", code::kEndPatternRecording, Arguments::kNone},
    {"run-pattern", code::kRunPattern, Arguments::kOptionalNumber},
    {"aux", code::kSetAuxOutput, Arguments::kNumber},
    {"menu", code::kShowMenu, Arguments::kNone},
    {"absolute", code::kSetPosition, Arguments::kPosition},
}};

void AddOptions(QCommandLineParser& parser) {
  ServerOptions::AddTo(parser);
  parser.addOption({"camera", "Camera (dome) number 0..15.", "C"});
  parser.addPositionalArgument("ACTION", "What to send; see above.", "ACTION [ARGS]");
}

std::optional<double> Decimal(const QString& text, double limit) {
  bool ok = false;
  const double v = text.toDouble(&ok);
  if (!ok || !std::isfinite(v) || v < -limit || v > limit) return std::nullopt;
  return v;
}

std::optional<double> Whole(const QString& text, unsigned limit) {
  bool ok = false;
  const unsigned v = text.toUInt(&ok);
  if (!ok || v > limit) return std::nullopt;
  return static_cast<double>(v);
}

// Reads the action's arguments into `o`; false with `error` set when they do not fit.
bool ReadArguments(const Action& action, const QStringList& args, DomeOptions& o, QString* error) {
  const QString name = QString::fromUtf8(action.name);
  const auto expect = [&](qsizetype count, const QString& what) {
    if (args.size() == count) return true;
    *error = QStringLiteral("%1 takes %2").arg(name, what);
    return false;
  };
  const auto read = [&](int i, std::optional<double> value, const QString& what) {
    if (!value) {
      *error = QStringLiteral("%1: '%2' is not %3").arg(name, args[i], what);
      return false;
    }
    o.values[static_cast<size_t>(i)] = *value;
    return true;
  };
  switch (action.arguments) {
    case Arguments::kNone:
      return expect(0, QStringLiteral("no arguments"));
    case Arguments::kSpeeds:
      if (!expect(5, QStringLiteral("PAN TILT ZOOM FOCUS IRIS"))) return false;
      for (int i = 0; i < 5; ++i)
        if (!read(i, Decimal(args[i], 1.0), QStringLiteral("a speed from -1 to 1"))) return false;
      return true;
    case Arguments::kOptionalNumber:
      if (args.isEmpty()) return true;
      [[fallthrough]];
    case Arguments::kNumber:
      if (!expect(1, QStringLiteral("one number from 0 to %1").arg(kMaxNumber))) return false;
      return read(0, Whole(args[0], kMaxNumber), QStringLiteral("a number from 0 to %1").arg(kMaxNumber));
    case Arguments::kBrowse:
      if (!expect(3, QStringLiteral("FIRST LAST HOLD_MS"))) return false;
      for (int i = 0; i < 2; ++i)
        if (!read(i, Whole(args[i], kMaxNumber), QStringLiteral("a position from 0 to %1").arg(kMaxNumber)))
          return false;
      return read(2, Whole(args[2], kMaxHoldMs), QStringLiteral("a hold time from 0 to %1 ms").arg(kMaxHoldMs));
    case Arguments::kPosition:
      if (!expect(6, QStringLiteral("P0 P1 P2 P3 P4 P5"))) return false;
      for (int i = 0; i < 6; ++i)
        if (!read(i, Decimal(args[i], kMaxPosition), QStringLiteral("a value from -360 to 360"))) return false;
      return true;
  }
  return false;
}

std::optional<DomeOptions> ReadOptions(const QCommandLineParser& parser, QString* error) {
  DomeOptions o;
  if (!o.server.Read(parser, error)) return std::nullopt;
  if (!parser.isSet("camera")) {
    *error = QStringLiteral("missing --camera");
    return std::nullopt;
  }
  int camera = 0;
  if (!ReadNumberOption(parser, "camera", 0, net::kCameraCount - 1, &camera, error)) return std::nullopt;
  o.camera = static_cast<uint16_t>(camera);
  QStringList args = parser.positionalArguments();
  if (args.isEmpty()) {
    *error = QStringLiteral("missing ACTION");
    return std::nullopt;
  }
  const QString name = args.takeFirst();
  for (const Action& action : kActions) {
    if (name != QLatin1String(action.name)) continue;
    o.command = action.command;
    if (!ReadArguments(action, args, o, error)) return std::nullopt;
    return o;
  }
  *error = QStringLiteral("unknown action '%1'").arg(name);
  return std::nullopt;
}

// Hands the request through the command set, so that it leaves as the station's controls send it.
void Send(dome::DomeControl& control, const DomeOptions& o) {
  const auto& v = o.values;
  const auto number = [&](size_t i) { return static_cast<unsigned>(v[i]); };
  switch (o.command) {
    case code::kMove:
      control.Move(v[0], v[1], v[2], v[3], v[4]);
      break;
    case code::kStep:
      control.Step(v[0], v[1], v[2], v[3], v[4]);
      break;
    case code::kRecallPreset:
      control.RecallPreset(number(0));
      break;
    case code::kSavePreset:
      control.SavePreset(number(0));
      break;
    case code::kBrowse:
      control.Browse(number(0), number(1), number(2));
      break;
    case code::kEndBrowse:
      control.EndBrowse();
      break;
    case code::kRecordPattern:
      control.RecordPattern(number(0));
      break;
    case code::kEndPatternRecording:
      control.EndPatternRecording();
      break;
    case code::kRunPattern:
      control.RunPattern(number(0));
      break;
    case code::kSetAuxOutput:
      control.SetAuxOutput(number(0));
      break;
    case code::kShowMenu:
      control.ShowMenu();
      break;
    case code::kSetPosition:
      control.SetPosition(v);
      break;
    default:
      break;
  }
}

// Passes every request on to the link and tells the command how its reply went, leaving the
// queue's own bookkeeping as it is.
class ReplyWatch : public dome::DomeTransport {
 public:
  using Seen = std::function<void(bool answered, uint8_t reply)>;
  ReplyWatch(dome::DomeTransport& inner, Seen seen) : inner_(inner), seen_(std::move(seen)) {}

  bool Started() const { return started_; }

  bool Start(const dome::DomeRequest& request, Done done) override {
    const bool started = inner_.Start(request, [this, done](bool answered, uint8_t reply) {
      seen_(answered, reply);
      done(answered, reply);
    });
    started_ = started_ || started;
    return started;
  }
  bool SendNow(const dome::DomeRequest& request, int flushMs) override { return inner_.SendNow(request, flushMs); }

 private:
  dome::DomeTransport& inner_;
  Seen seen_;
  bool started_ = false;
};

class DomeRun : public ToolSession {
 public:
  explicit DomeRun(const DomeOptions& options) : ToolSession(options.server), options_(options) {}

 private:
  void OnStarted() override {
    // Nothing else is needed of the start: no pictures, no names.
    MarkStarted();
    link_ = std::make_unique<dome::DomeLink>(Controller().Connection());
    watch_ = std::make_unique<ReplyWatch>(*link_, [this](bool answered, uint8_t reply) { OnReply(answered, reply); });
    queue_ = std::make_unique<dome::DomeRequestQueue>(*watch_);
    control_.SetSink(queue_.get());
    control_.SetCamera(options_.camera);
    Send(control_, options_);
    if (!watch_->Started()) {
      Fail(kBroken, QStringLiteral("The dome request could not be sent: the control channel is not open."));
      return;
    }
    QTimer::singleShot(kReplyLimitMs, this, [this] { Fail(kBroken, NotAnswered()); });
  }

  void OnReply(bool answered, uint8_t reply) {
    if (!answered) {
      Fail(kBroken, NotAnswered());
      return;
    }
    PrintLine(JsonObject()
                  .Add("camera", unsigned{options_.camera})
                  .Add("command", unsigned{options_.command})
                  .Add("reply", unsigned{reply})
                  .Text());
    Finish();
  }

  static QString NotAnswered() { return QStringLiteral("The server did not answer the dome request in time."); }

  DomeOptions options_;
  dome::DomeControl control_;
  // Destroyed in reverse order: the queue before the transports it uses.
  std::unique_ptr<dome::DomeLink> link_;
  std::unique_ptr<ReplyWatch> watch_;
  std::unique_ptr<dome::DomeRequestQueue> queue_;
};

}  // namespace

int RunDome(const QStringList& arguments) {
  QCommandLineParser parser;
  // Negative speeds are values, not options.
  parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
  AddOptions(parser);
  if (const auto end = ParseCommand(parser, arguments, kHelp)) return *end;
  QString error;
  const auto options = ReadOptions(parser, &error);
  if (!options) {
    PrintLine(QStringLiteral("dome: ") + error, true);
    return kUsage;
  }
  DomeRun run(*options);
  return run.Run();
}

}  // namespace strixc::tool
