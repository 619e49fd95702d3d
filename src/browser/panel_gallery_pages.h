#pragma once

#include <vector>

#include "shell/gallery.h"

namespace strixc::browser {

// The gallery's pages of the browser's small windows, with sample content: "open_archives",
// "archive_path", "image_panel" and "video_quality".
std::vector<shell::GalleryPage> PanelGalleryPages();

}  // namespace strixc::browser
