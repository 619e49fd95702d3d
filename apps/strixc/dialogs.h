#pragma once

#include <vector>

#include "shell/gallery.h"

namespace strixc::station {

class MainWindow;
class OperatorStation;

// Gives the main window its Connection dialog.
void InstallDialogs(MainWindow& window, OperatorStation& station);

// Every page of the gallery: the shell's dialogs and controls and the station's dialogs.
std::vector<shell::GalleryPage> GalleryPages();

}  // namespace strixc::station
