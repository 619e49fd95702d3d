#include "remote_archive_session.h"

#include "archive_folders.h"

namespace strixc::tool {

bool ReadArchivePlace(const QCommandLineParser& parser, std::vector<std::string>* folders,
                      std::optional<ServerOptions>* server, QString* error) {
  const bool remote = parser.isSet("host");
  if (remote && !parser.positionalArguments().isEmpty()) {
    *error = QStringLiteral("archive folders and --host exclude each other");
    return false;
  }
  if (!remote) {
    for (const char* option : {"port", "user", "password", "encoding"}) {
      if (parser.isSet(QString::fromUtf8(option))) {
        *error = QStringLiteral("--%1 needs --host").arg(QString::fromUtf8(option));
        return false;
      }
    }
    if (parser.positionalArguments().isEmpty()) {
      *error = QStringLiteral("expected an archive folder or --host");
      return false;
    }
    return ReadArchiveFolders(parser.positionalArguments(), folders, error);
  }
  // The server keeps its own bookmarks.
  if (parser.isSet("profile")) {
    *error = QStringLiteral("--profile is for archive folders, not --host");
    return false;
  }
  ServerOptions options;
  if (!options.Read(parser, error)) return false;
  *server = std::move(options);
  return true;
}

RemoteArchiveSession::RemoteArchiveSession(ServerOptions options) : ToolSession(std::move(options)) {
  path_.SetRemoteBuffer(&adapter_);
  path_.SetRemoteSink(&forwarder_);
  Controller().SetFrameSinks(&path_, &forwarder_);
}

RemoteArchiveSession::~RemoteArchiveSession() {
  source_.Detach();
  Controller().Teardown();
  Controller().Connection().Shutdown();
}

void RemoteArchiveSession::OnStarted() {
  MarkStarted();
  // Playback only: no camera is shown live, so only the archive's frames come.
  Controller().CompleteStart(0);
  link_.emplace(Controller().Connection());
  if (!source_.Attach(&*link_, &forwarder_)) {
    EndRun(kBroken, QStringLiteral("The server did not tell its archive range."));
    return;
  }
  const uint32_t mask = source_.ArchiveCameraMask() & playback::RemotePlaybackSource::kCameraBits;
  if (mask == 0) {
    EndRun(kArchiveMissing, QStringLiteral("The server's archive holds no recordings."));
    return;
  }
  OnArchiveReady(mask);
}

void RemoteArchiveSession::EndRun(int code, const QString& text) {
  if (Finishing()) return;
  source_.Detach();
  if (code == kOk) {
    Finish();
  } else {
    Fail(static_cast<ExitCode>(code), text);
  }
}

}  // namespace strixc::tool
