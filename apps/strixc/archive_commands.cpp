// The main window's archive commands: the archive browser on the local archive, on the archive
// files of a folder or on the connected server's archive, and the "Open archives" question of the
// archive button.

#include <QAction>
#include <QTimer>
#include <filesystem>
#include <optional>
#include <system_error>

#include "archive/archive_database.h"
#include "archive/archive_time.h"
#include "browser/archive_browser.h"
#include "browser/archive_map_control.h"
#include "browser/archive_path_dialog.h"
#include "browser/open_archives_dialog.h"
#include "browser/video_quality_dialog.h"
#include "browser_positioner.h"
#include "export/avi_writer.h"
#include "export/dialogs/compression_dialog.h"
#include "export/dialogs/export_dialog.h"
#include "main_window.h"
#include "playback/local_playback_source.h"
#include "playback/remote_playback_source.h"
#include "shell/archive_log_words.h"
#include "shell/string_ids.h"
#include "shell/texts.h"
#include "tools/backup_dialog.h"

namespace strixc::station {

namespace {

using shell::Tr;
using shell::TrFormat;
namespace text = shell::text;

}  // namespace

bool MainWindow::LocalArchiveAvailable() {
  // The creation's worker holds the database: asking it now would wait for the formatting.
  return !station_.CreatingArchive() && station_.Archive().IsOpen();
}

bool MainWindow::RemoteArchiveAvailable() const { return station_.RemoteArchiveAvailable(); }

void MainWindow::UpdateArchiveActions() {
  if (localArchives_ != nullptr) localArchives_->setEnabled(LocalArchiveAvailable());
  if (remoteArchives_ != nullptr) remoteArchives_->setEnabled(RemoteArchiveAvailable());
}

void MainWindow::RemoteArchivesCommand() {
  if (!RemoteArchiveAvailable() || browser_ != nullptr) return;
  playback::RemotePlaybackSource source(&station_.RemoteBuffer(), &station_.PlaybackFrames());
  if (!station_.AttachRemote(source)) {
    // A server that stops answering loses the connection as well: that break has been told.
    if (RemoteArchiveAvailable()) Tell(Tr(text::kRemoteArchiveUnavailable));
    return;
  }
  remoteLost_ = false;
  RunBrowser(source, nullptr);
  station_.DetachRemote(source);
}

void MainWindow::OnRemoteArchiveLost() {
  // The connection under the browser ended: its source was stopped, and the browser closes now
  // rather than play on from a connection that is no more. The operator hears of the break from
  // the disconnection that follows at once.
  remoteLost_ = true;
  if (browser_ != nullptr) static_cast<QDialog*>(browser_.data())->reject();
}

void MainWindow::LocalArchivesCommand() {
  if (!LocalArchiveAvailable()) return;
  playback::LocalPlaybackSource source(&station_.Archive());
  RunBrowser(source, nullptr);
}

void MainWindow::ArchivesFromPathCommand() {
  tools::ClientSettings& client = station_.Client();
  const std::optional<QString> folder =
      browser::AskArchiveFolder(QString::fromStdString(client.GetDefaultDir()), this);
  if (!folder) return;
  client.SetDefaultDir(folder->toStdString());
  QString error;
  if (!BrowseFolder(*folder, nullptr, &error)) Tell(error);
}

void MainWindow::ArchiveButtonCommand() {
  const std::optional<browser::ArchiveKind> kind =
      browser::AskArchiveKind(this, LocalArchiveAvailable(), RemoteArchiveAvailable());
  if (!kind) return;
  switch (*kind) {
    case browser::ArchiveKind::kLocal: LocalArchivesCommand(); break;
    case browser::ArchiveKind::kRemote: RemoteArchivesCommand(); break;
    case browser::ArchiveKind::kPath: ArchivesFromPathCommand(); break;
  }
}

bool MainWindow::BrowseFolder(const QString& folder, const BrowseStart* start, QString* error) {
  const std::string path = folder.toStdString();
  std::error_code ec;
  if (!std::filesystem::is_directory(path, ec)) {
    *error = TrFormat(text::kFolderNotFound, folder.toUtf8().constData());
    return false;
  }
  const std::unique_ptr<archive::ArchiveDatabase> database =
      archive::ArchiveDatabase::ForFolder(path, station_.DataFolder());
  if (!database->IsOpen()) {
    *error = QString::fromStdString(database->MessageLog().Summary(shell::ArchiveLogWords()));
    if (error->trimmed().isEmpty()) *error = Tr(text::kNoArchiveRecordings);
    return false;
  }
  // Declared after the database: it goes first.
  playback::LocalPlaybackSource source(database.get());
  RunBrowser(source, start);
  return true;
}

void MainWindow::RunBrowser(playback::PlaybackSource& source, const BrowseStart* start) {
  // One browser at a time: it is modal, but the tray's menu still reaches this window.
  if (browser_ != nullptr) return;
  if (!map_) map_ = std::make_unique<browser::ArchiveMapControl>();
  display::VideoDisplay& display = station_.Display();

  // The display is the browser's until it closes: no live picture reaches it meanwhile, and the
  // live view's widget lets it go so that a resize of this window cannot take it back.
  station_.SetLiveViewPaused(true);
  video_->Unbind();
  // The browser's exports: the writer asks for the compression with our own dialog, over the
  // browser, starting from the choice remembered in the settings.
  source.SetExportWriterFactory([this](int camera, uint64_t start, uint64_t end, const std::string& fileName) {
    return std::make_unique<exporting::AviWriter>(camera, start, end, fileName,
                                                  exporting::MakeCompressionChooser(station_.Settings()));
  });
  {
    browser::ArchiveBrowserTools tools;
    tools.askExport = exporting::AskExport;
    tools.backup = [](archive::ArchiveDatabase& database, uint64_t start, uint64_t end, uint32_t cameras,
                      QWidget* parent) { strixc::tools::RunBackup(database, start, end, cameras, parent); };
    // Asked only on a server's archive: the qualities go to the connection as the display settings
    // send them.
    tools.videoQuality = [this](QWidget* parent) {
      browser::RunVideoQuality(
          station_.Client(),
          [this](uint32_t key, uint32_t delta) {
            net::ConnectionController& controller = station_.Controller();
            controller.SetQualities(key, delta);
            if (controller.IsConnected()) controller.Connection().SetQuality(key, delta);
          },
          parent);
    };
    browser::ArchiveBrowser window(&source, &display, &station_.Live(), map_.get(), nullptr, std::move(tools), this);
    browser_ = &window;
    if (start != nullptr) new BrowserPositioner(window, display, source, start->time, start->layout);
    window.exec();
  }
  browser_ = nullptr;

  // The window gave the display the live store back; the opener unbinds the source, so that its
  // end touches neither the map nor the display.
  source.SetTimeline(nullptr);
  source.SetDisplay(nullptr);
  station_.SetLiveViewPaused(false);
  video_->Bind();
  // The browser's layout is the live view's now: the server sends what it shows.
  station_.SendVisibleCameras();
}

}  // namespace strixc::station
