#pragma once

#include <vector>

#include "shell/gallery.h"

namespace strixc::exporting {

// The gallery's pages of the export's windows, with sample content: "export_dialog",
// "export_compression" (for an .avi file) and "export_progress".
std::vector<shell::GalleryPage> ExportGalleryPages();

}  // namespace strixc::exporting
