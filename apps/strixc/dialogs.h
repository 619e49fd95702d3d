#pragma once

#include <vector>

#include <QWidget>

#include "shell/gallery.h"

namespace strixc::station {

class MainWindow;
class OperatorStation;

class Station;

// The archive location dialog over the station's archive ("Settings → Archives ...", the archive
// question, the capacity indicator). A rebuild pauses recording while it has the archive closed,
// and each rebuild's location list is saved at once, since the files on disk now follow it. `markChanged`:
// the caller has just added a location for the dialog, so closing offers the rebuild. Returns
// whether a rebuild ran; does nothing while the station makes its first-start archive.
bool RunArchiveLocations(Station& station, QWidget* parent, bool markChanged = false);

// Gives the main window its Connection dialog.
void InstallDialogs(MainWindow& window, OperatorStation& station);

// Every page of the gallery: the shell's dialogs and controls and the station's dialogs.
std::vector<shell::GalleryPage> GalleryPages();
// The archive browser over a small archive of simulated cameras ("browser").
std::vector<shell::GalleryPage> BrowserWindowGalleryPages();

}  // namespace strixc::station
