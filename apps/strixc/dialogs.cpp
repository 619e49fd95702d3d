// The main window's commands that open dialogs, and the gallery of every dialog.

#include "dialogs.h"

#include "browser/archive_locations_dialog.h"
#include "browser/bookmark_title_dialog.h"
#include "browser/calendar_dialog.h"
#include "browser/panel_gallery_pages.h"
#include "dome/dialogs/dome_gallery_pages.h"
#include "export/dialogs/export_gallery_pages.h"
#include "control_panel.h"
#include "main_window.h"
#include "shell/about_box.h"
#include "shell/address_book_dialog.h"
#include "shell/connection_dialog.h"
#include "shell/language_dialog.h"
#include "tools/display_settings_dialog.h"
#include "tools/backup_dialog.h"
#include "tools/snapshot_dialog.h"

namespace strixc::station {

void InstallDialogs(MainWindow& window, OperatorStation& station) {
  window.SetConnectionAsker([&window, &station](MainWindow::ConnectionChoice* choice) {
    shell::ConnectionDialog dialog(station.Book(), &window);
    if (dialog.exec() != QDialog::Accepted) return false;
    bool ok = false;
    const uint port = dialog.Port().toUInt(&ok);
    choice->host = dialog.Host();
    choice->port = static_cast<quint16>(ok && port < 65536 ? port : 0);
    choice->user = dialog.User().toUtf8().toStdString();
    choice->password = dialog.Password().toUtf8().toStdString();
    return true;
  });
}

bool RunArchiveLocations(Station& station, QWidget* parent, bool markChanged) {
  if (station.CreatingArchive()) return false;
  // Each rebuild's list is saved at once: the files on disk follow it from now on.
  return browser::RunArchiveLocations(station.Archive(), QString::fromStdString(station.DataFolder()), parent,
                                      markChanged, [&station] {
                                        station.Archive().SaveSettings(station.Settings(), Station::kArchiveKey);
                                      });
}

void MainWindow::ArchiveLocationsCommand() {
  RunArchiveLocations(station_, this);
  panel_->Capacity().Refresh();
}

void MainWindow::AddressBookCommand() { shell::EditAddressBook(this, station_.Settings(), &station_.Book()); }

void MainWindow::DisplaySettingsCommand() {
  if (tools::RunDisplaySettings(station_.Display(), station_.Client(), this)) {
    station_.Controller().SetQualities(station_.Client().GetKeyQuality(), station_.Client().GetDeltaQuality());
    // The code page applies from the next connection on; the display already reads with it.
    station_.Controller().SetTextCodec(station_.Client().ServerTextCodec());
    if (station_.Controller().IsConnected()) {
      station_.Controller().Connection().SetQuality(station_.Client().GetKeyQuality(),
                                                    station_.Client().GetDeltaQuality());
    }
  }
  station_.ApplyLinkSettings();
  station_.Display().RedrawAll();
}

void MainWindow::LanguageCommand() {
  shell::LanguageDialog dialog(shell::LanguageDialog::Kind::kProgram, this);
  if (dialog.exec() == QDialog::Accepted) dialog.AcceptInto(station_.Settings());
}

void MainWindow::SnapshotCommand() { tools::RunSnapshot(station_.Display(), this); }

void MainWindow::AboutCommand() { shell::ShowAboutBox(this); }

std::vector<shell::GalleryPage> GalleryPages() {
  std::vector<shell::GalleryPage> pages = shell::ShellGalleryPages();
  for (auto more : {shell::AddressGalleryPages(), shell::AboutGalleryPages(), tools::ToolsGalleryPages(), tools::BackupGalleryPages(),
                    browser::BrowserGalleryPages(), browser::PanelGalleryPages(), browser::CalendarGalleryPages(),
                    browser::BookmarkGalleryPages(), BrowserWindowGalleryPages(),
                    exporting::ExportGalleryPages(), dome::DomeGalleryPages()}) {
    pages.insert(pages.end(), more.begin(), more.end());
  }
  return pages;
}

}  // namespace strixc::station
