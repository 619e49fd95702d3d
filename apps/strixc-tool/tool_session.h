#pragma once

#include <QCommandLineParser>
#include <QObject>
#include <QString>
#include <memory>
#include <optional>
#include <string>

#include "net/connection_controller.h"
#include "net/text_codec.h"

namespace strixc::tool {

// Exit codes shared by the commands that connect to a server.
enum ExitCode {
  kOk = 0,
  kUsage = 1,
  kRefused = 2,  // login refused, or a protocol version this client does not speak
  kBroken = 3,   // connection broken, timed out or failed
  kNoPicture = 4,
};

// Prints one line and flushes, so that a reader sees every JSON line as it happens.
void PrintLine(const QString& line, bool toStdErr = false);

// Reads the number option `name` into `value` when it lies in low..high; otherwise false with
// `error` naming the option and its range.
bool ReadNumberOption(const QCommandLineParser& parser, const char* name, qint64 low, qint64 high, qint64* value,
                      QString* error);
bool ReadNumberOption(const QCommandLineParser& parser, const char* name, int low, int high, int* value,
                      QString* error);

// --host, --port, --user, --password and --encoding: the options of every command that connects.
struct ServerOptions {
  QString host;
  quint16 port = 0;
  std::string user;
  std::string password;
  // The server's code page: --encoding, else the station's "Server text encoding".
  net::TextCodec codec;

  static void AddTo(QCommandLineParser& parser);
  // Reads them back; false with `error` set when one is missing or bad (an --encoding that is not
  // a single-byte code page the system converts is bad).
  bool Read(const QCommandLineParser& parser, QString* error);
};

// One connection of a headless command, on the main thread's event loop: connects as the operator
// station does, turns every failure into its message on standard error and its exit code, and
// bounds the start so that a server that never answers costs a known time.
class ToolSession : public QObject {
 public:
  // How long the whole start (video login, control login, configuration answers) may take.
  static constexpr int kStartTimeoutMs = 15000;

  // Connects through `controller` when given (not owned; it must outlive the session, e.g. the
  // controller of a station::Station), otherwise through a controller of its own.
  explicit ToolSession(ServerOptions options, net::ConnectionController* controller = nullptr);

  // Connects and runs the event loop until Finish or Fail; returns the exit code.
  int Run();

 protected:
  // The control channel stands; the command places its cameras with CompleteStart.
  virtual void OnStarted() = 0;
  // Called once the start is over for the command's purposes: the start time-out no longer applies.
  void MarkStarted() { started_ = true; }

  // Disconnects and ends the run with kOk.
  void Finish();
  // Prints `text` on standard error and ends the run with `code`. Only the first end counts.
  void Fail(ExitCode code, const QString& text);
  bool Finishing() const { return finishing_; }

  net::ConnectionController& Controller() { return controller_; }

 private:
  void OnClosed(const QString& text);

  ServerOptions options_;
  std::unique_ptr<net::ConnectionController> ownController_;
  net::ConnectionController& controller_;
  bool started_ = false;
  bool finishing_ = false;
};

}  // namespace strixc::tool
