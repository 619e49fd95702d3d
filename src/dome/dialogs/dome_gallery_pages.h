#pragma once

#include <vector>

#include "shell/gallery.h"

namespace strixc::dome {

// The gallery's pages of the dome windows, with sample content: "dome_panel" (speed "Fast",
// step mode on) and "dome_settings" (the first joystick half over to the right, a button held,
// two extra key bindings).
std::vector<shell::GalleryPage> DomeGalleryPages();

}  // namespace strixc::dome
